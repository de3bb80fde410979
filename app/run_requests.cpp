#include "app/run_requests.hpp"

#include <deque>
#include <exception>
#include <mutex>
#include <utility>

#include "app/commands.hpp"
#include "app/time_shift.hpp"
#include "engine/callsign_list.hpp"
#include "engine/removal.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "liveries/livery_index.hpp"
#include "parking/park_airport.hpp"

std::atomic<bool> flushStaticRequested{false};
std::atomic<bool> callsignToObjectIdRequested{false};
std::atomic<bool> blockRequested{false};
std::atomic<bool> reReadRequested{false};
std::atomic<bool> parkingUpdateRequested{false};
std::atomic<bool> parkingForce{false};
std::atomic<bool> parkedRetryOnly{false};

std::atomic<bool> limitLiveCountRequested{false};
std::atomic<bool> timeShiftRemovalRequested{false};
std::atomic<bool> clearCallsignListRequested{false};
std::atomic<bool> navLightsRequested{false};
std::atomic<std::uint32_t> navLightsData{0};
std::atomic<bool> autoRangeRequested{false};
std::atomic<bool> liveryResetRequested{false};

std::atomic<std::int32_t> secondCounter{0};
std::atomic<std::int32_t> runStartRange{RANGE_DEFAULT_NM};
std::atomic<std::int64_t> lastSimUtcSeconds{0};

namespace {

struct ParkAirportEntry {
    std::string icao;
    LatLon position;
};

std::mutex parkAirportQueueMutex;
std::deque<ParkAirportEntry> parkAirportQueue;

// One piece of work; its failure is logged so that the other requests are still served.
template <typename Work>
void lf_guarded(const char* name, Work&& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{} exception {}", name, e.what()));
    }
}

// The request is taken (cleared) before it is served: a click meanwhile stays for the next call.
template <typename Work>
void lf_serveOne(std::atomic<bool>& flag, const char* name, Work&& work)
{
    if (flag.exchange(false))
        lf_guarded(name, std::forward<Work>(work));
}

void lf_dropAircraftRequests()
{
    for (std::atomic<bool>* flag : {&limitLiveCountRequested, &timeShiftRemovalRequested,
                                    &clearCallsignListRequested, &navLightsRequested, &autoRangeRequested})
        flag->store(false);
}

}  // namespace

void gf_requestAddParkAirport(const std::string& icao, const LatLon& position)
{
    std::lock_guard lock(parkAirportQueueMutex);
    parkAirportQueue.push_back({icao, position});
}

std::size_t gf_pendingParkAirportCount()
{
    std::lock_guard lock(parkAirportQueueMutex);
    return parkAirportQueue.size();
}

void lf_serveCommandRequests()
{
    // The queue is taken whole under its lock; the park-airport list is then changed without it.
    std::deque<ParkAirportEntry> airports;
    {
        std::lock_guard lock(parkAirportQueueMutex);
        airports.swap(parkAirportQueue);
    }
    for (const ParkAirportEntry& entry : airports)
        lf_guarded("lf_addMyParkAirport", [&entry] { lf_addMyParkAirport(entry.icao, entry.position); });
    lf_serveOne(timeShiftRemovalRequested, "lf_removeTimeShiftedTraffic", [] { lf_removeTimeShiftedTraffic(); });
    lf_serveOne(limitLiveCountRequested, "lf_limitLiveCount", [] { lf_limitLiveCount(); });
    lf_serveOne(clearCallsignListRequested, "lf_clearCallsignList", [] { lf_clearCallsignList(); });
    lf_serveOne(navLightsRequested, "lf_setParkedNavLights", [] { lf_setParkedNavLights(navLightsData.load()); });
    lf_serveOne(autoRangeRequested, "gf_autoRange", [] {
        // Cleared meanwhile: the range the user had is back and stays.
        if (AUTO_RANGE.value())
            gf_autoRange();
    });
}

void lf_resetRunRequests()
{
    lf_dropAircraftRequests();
    lf_serveOne(liveryResetRequested, "gf_resetLiveryIndexes", [] {
        gf_resetLiveryIndexes();
        liveriesProcessed.store(false);
    });
}

void gf_resetRunRequestsForTest()
{
    for (std::atomic<bool>* flag : {&flushStaticRequested, &callsignToObjectIdRequested, &blockRequested,
                                    &reReadRequested, &parkingUpdateRequested, &parkingForce, &parkedRetryOnly,
                                    &liveryResetRequested})
        flag->store(false);
    lf_dropAircraftRequests();
    navLightsData.store(0);
    std::lock_guard lock(parkAirportQueueMutex);
    parkAirportQueue.clear();
}
