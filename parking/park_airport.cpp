#include "parking/park_airport.hpp"

#include <algorithm>
#include <mutex>

#include "engine/removal.hpp"
#include "foundation/thread_owner.hpp"
#include "platform/window_display.hpp"

std::atomic<bool> parkAirportOpen{false};
std::atomic<std::int32_t> parkingCountdownMinutes{20};
std::atomic<std::int32_t> maxLiveSelection{0};

namespace {

constexpr double NO_STAND_DISTANCE_NM = 100.0;

ThreadOwner parkAirportsOwner("parkAirports");
std::list<ParkAirport> parkAirports;  // the owner's only

std::mutex parkAirportMutex;
ParkAirportSnapshot parkAirport;  // guarded by parkAirportMutex
std::string reservedStand;        // guarded by parkAirportMutex

void lf_closeParkAirport()
{
    lf_forgetParkAirport();
    parkAirportOpen.store(false);
    vald::gf_updateDisplay(
        [](vald::StatusDisplayValues& values) {
            values.parkAirportSet = false;
            values.parkAirportOpen = false;
            values.parkFileRead = false;
            values.parkName.clear();
            values.parkPublisher.clear();
            values.learnedUpdates = 0;
        },
        vald::LIVE_STATUS_BAND);
}

}  // namespace

ParkAirportSnapshot gf_parkAirport()
{
    std::lock_guard<std::mutex> lock(parkAirportMutex);
    return parkAirport;
}

std::string gf_parkAirportIcao()
{
    std::lock_guard<std::mutex> lock(parkAirportMutex);
    return parkAirport.icao;
}

std::string gf_reservedStandName()
{
    std::lock_guard<std::mutex> lock(parkAirportMutex);
    return reservedStand;
}

void lf_forgetParkAirport()
{
    std::lock_guard<std::mutex> lock(parkAirportMutex);
    parkAirport = ParkAirportSnapshot{};
    reservedStand.clear();
}

// Reading airports/my_park_airports.txt and the park-position files comes with the stand logic;
// until then the list stays empty, so no park airport is ever chosen and no static aircraft
// parked, and the run goes on with live traffic alone.
bool lf_readMyParkAirports()
{
    gf_parkAirports().clear();
    return true;
}

void lf_checkParkAirport(bool) {}

void lf_adjustParking(bool) {}

void lf_resetParkAirport()
{
    lf_sweepStaticAircraft();
    lf_closeParkAirport();
}

bool lf_checkReservedStand(bool, std::string&)
{
    lf_readMyParkAirports();
    return false;
}

void lf_addMyParkAirport(const std::string& icao, const LatLon& position)
{
    parkAirportsOwner.assertOwner();
    const auto present =
        std::find_if(parkAirports.begin(), parkAirports.end(), [&icao](const ParkAirport& p) { return p.icao == icao; });
    ParkAirport entry{icao, std::string(), position.lat, position.lon, 0.0};
    if (present != parkAirports.end()) {
        entry = *present;
        parkAirports.erase(present);
    }
    parkAirports.push_front(std::move(entry));
}

double gf_readDestApfForClosestStand(const AirportRecord&, const LatLon&, std::string& standId)
{
    standId.clear();
    return NO_STAND_DISTANCE_NM;
}

std::list<ParkAirport>& gf_parkAirports()
{
    parkAirportsOwner.assertOwner();
    return parkAirports;
}

void gf_releaseParkAirports() { parkAirportsOwner.release(); }
