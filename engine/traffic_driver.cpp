#include "engine/traffic_driver.hpp"

#include <algorithm>
#include <cmath>

#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/removal.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_queues.hpp"

namespace {

constexpr std::uint32_t LIVE_POLL_DELAY_SECONDS = 30;
constexpr std::int32_t TICKS_PER_SECOND = 100;
constexpr std::int32_t REMOVAL_PERIOD_TICKS = 10;
constexpr std::int32_t CREATION_PERIOD_TICKS = 50;
constexpr std::int32_t USER_SNAPSHOT_PERIOD_TICKS = 100;
constexpr int RECORDS_PER_TICK = 2;

bool reserved = false;

void lf_eraseWithdrawnLive()
{
    std::erase_if(liveAircraft, [](const LiveAircraft& aircraft) { return aircraft.skip || aircraft.dequeued; });
}

void lf_handleSimQueues(std::int32_t tick)
{
    if (tick % REMOVAL_PERIOD_TICKS != 0)
        return;
    if (!removalQueue.empty()) {
        gf_queueRemoveAc(removalQueue.front());
        removalQueue.pop_front();
    }
    if (tick % CREATION_PERIOD_TICKS != 0)
        return;
    if (!liveCreationQueue.empty()) {
        gf_queueCreateAc(liveCreationQueue.front());
        liveCreationQueue.pop_front();
        return;
    }
    if (!staticCreationQueue.empty()) {
        gf_queueCreateAc(staticCreationQueue.front());
        staticCreationQueue.pop_front();
    }
}

void lf_takeFromIntake()
{
    std::lock_guard<std::mutex> lock(intakeMutex);
    for (int i = 0; i < RECORDS_PER_TICK && !intake.empty(); ++i) {
        lf_handleReceivedFlight(intake.back());
        intake.pop_back();
    }
}

CreationRequest lf_creationRequestOf(const LiveAircraft& aircraft)
{
    const SimPosition& at = aircraft.simPosition;
    CreationRequest request;
    request.position = SimInitPosition{at.lat,
                                       at.lon,
                                       at.altitude,
                                       at.pitch * RAD_TO_DEG,
                                       at.bank * RAD_TO_DEG,
                                       at.heading * RAD_TO_DEG,
                                       aircraft.track.empty() || !aircraft.track.front().airborne ? 1u : 0u,
                                       0};
    request.tailNumber = aircraft.identity.callsign;
    request.liveryTitle = std::string(aircraft.liveryTitle);
    request.hexid = aircraft.hexid;
    return request;
}

void lf_serveAddingStack()
{
    if (addingStack.empty())
        return;
    const std::uint32_t hexid = addingStack.back();
    addingStack.pop_back();
    const auto found = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                    [hexid](const LiveAircraft& aircraft) { return aircraft.hexid == hexid; });
    if (found == liveAircraft.end())
        return;
    if (found->identity.callsign.empty()) {
        gf_logWarn(vald::format("{} {} objectid = 0?", "lf_handleAddingStack", gf_flightKeyText(found->identity)));
        return;
    }
    liveCreationQueue.push_back(lf_creationRequestOf(*found));
}

void lf_handleSimResult(const SimResult& result)
{
    switch (result.kind) {
    case SIM_RESULT_OBJECT_REMOVED:
        lf_onObjectRemoved(result.objectId);
        break;
    case SIM_RESULT_BLOCKED:
        lf_removeBlocked(result.hexid);
        break;
    default:
        break;
    }
}

}  // namespace

void lf_scheduleReceived(std::vector<LiveTrafficRecord>& records, std::uint32_t delaySeconds)
{
    if (records.empty())
        return;
    std::vector<double> times;
    times.reserve(records.size());
    for (const LiveTrafficRecord& record : records)
        times.push_back(record.dataTime);
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const std::int64_t base =
        static_cast<std::int64_t>(delaySeconds) * TICKS_PER_SECOND + static_cast<std::int64_t>(tickCounter.load());
    for (LiveTrafficRecord& record : records) {
        const auto tenths = static_cast<std::int64_t>(std::trunc(10.0 * (record.dataTime - median)));
        // A point due before the run's first tick is due at once, not in the far future.
        record.playTick = static_cast<std::uint32_t>(std::max<std::int64_t>(0, base + 10 * tenths));
    }
    if (delaySeconds != LIVE_POLL_DELAY_SECONDS) {
        for (const LiveTrafficRecord& record : records)
            lf_handleReceivedFlight(record);
    } else {
        std::lock_guard<std::mutex> lock(intakeMutex);
        if (intakeOpen && intake.empty())
            intake.swap(records);
    }
    records.clear();
}

void lf_handleReceivedFlight(const LiveTrafficRecord&) {}

void lf_handleAddingStack()
{
    const std::int32_t tick = tickCounter.load();
    lf_processSimResults();
    lf_eraseWithdrawnLive();
    gf_swapPositionBuffers();
    lf_handleSimQueues(tick);
    lf_takeFromIntake();
    lf_serveAddingStack();
    if (tick % USER_SNAPSHOT_PERIOD_TICKS == 0)
        engineUserSnapshot = gf_getUserPosition();
    tickCounter.store(tick + 1);
}

void lf_processSimResults() { gf_drainSimResults(&lf_handleSimResult); }

void lf_setBufferedIntake(bool open)
{
    std::lock_guard<std::mutex> lock(intakeMutex);
    intakeOpen = open;
}

void lf_reserveTraffic()
{
    if (reserved)
        return;
    reserved = true;
    liveAircraft.reserve(512);
    staticAircraft.reserve(256);
    addingStack.reserve(64);
    gf_reserveSimResults(256);
}

void lf_resetTraffic()
{
    gf_engineHooks()->forgetParkAirport();
    gf_clearSimResults();
    addingStack.clear();
    staticAircraft.clear();
    liveCreationQueue = CreationQueue();
    staticCreationQueue = CreationQueue();
    removalQueue = std::deque<std::uint32_t>();
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        intake.clear();
    }
    liveAircraft.clear();
    coupledCallsignQueue.clear();
    engineQnh.store(STANDARD_QNH);
    engineUserSnapshot = UserAircraftSnapshot{};
    tickCounter.store(0);
}
