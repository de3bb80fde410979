#include "engine/traffic_driver.hpp"

#include <algorithm>

#include "engine/creation_answers.hpp"
#include "engine/creation_queue.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/ghosts.hpp"
#include "engine/park_limits.hpp"
#include "engine/pause_holds.hpp"
#include "engine/position_stream.hpp"
#include "engine/removal.hpp"
#include "engine/respawn_check.hpp"
#include "engine/sim_requests.hpp"
#include "engine/sim_results.hpp"
#include "engine/spawn_step.hpp"
#include "engine/stand_learning.hpp"
#include "engine/standing_pairs.hpp"
#include "engine/static_parking_step.hpp"
#include "engine/traffic_intake.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "liveries/livery_index.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"

namespace {

constexpr Tick REMOVAL_PERIOD_TICKS = 10;
constexpr Tick CREATION_PERIOD_TICKS = 50;
constexpr Tick USER_SNAPSHOT_PERIOD_TICKS = 100;
constexpr Tick IN_RANGE_PERIOD_TICKS = 100;
constexpr Tick IN_RANGE_FAST_PERIOD_TICKS = 20;

constexpr std::size_t LIVE_CAPACITY = 512;
constexpr std::size_t STATIC_CAPACITY = 256;
constexpr std::size_t RESULT_CAPACITY = 256;
constexpr std::size_t DEFERRED_CAPACITY = 128;

bool reserved = false;

void lf_requestAircraftInRange(Tick tick)
{
    const Tick period = fastInRangeRequests ? IN_RANGE_FAST_PERIOD_TICKS : IN_RANGE_PERIOD_TICKS;
    if (tick % period != 0 || simPaused.load())
        return;
    const auto radius = static_cast<std::uint32_t>(std::max(0, objectQueryRadiusM.load()));
    if (gf_engineSimRequests().aircraftInRange(radius))
        return;
    gf_logWarn("SimConnect request ac within range fails");
    gf_simRequestError();
}

}  // namespace

void lf_handleAddingStack()
{
    gf_assertEngineOwner();
    const Tick tick = tickCounter.load();
    lf_takeHistory();
    lf_processSimResults();
    lf_updateAllLiveAc();
    lf_handleSimQueues();
    lf_takeFromIntake();
    if (tick % TICKS_PER_SECOND == 0) {
        lf_startDueRespawns();
        gf_clearStandingOverlaps();
    }
    gf_serveAddingStack();
    lf_requestAircraftInRange(tick);
    if (tick % USER_SNAPSHOT_PERIOD_TICKS == 0)
        engineUserSnapshot = gf_getUserPosition();
    tickCounter.store(tick + 1);
}

void lf_updateAllLiveAc()
{
    bool erase = false;
    for (LiveAircraft& aircraft : liveAircraft)
        erase = updateLiveAc(aircraft) || erase;
    if (erase)
        lf_eraseDroppedLive();
    gf_swapPositionBuffers();
}

void lf_handleSimQueues()
{
    const Tick tick = tickCounter.load();
    if (tick % REMOVAL_PERIOD_TICKS != 0)
        return;
    if (!removalQueue.empty()) {
        gf_queueRemoveAc(removalQueue.front());
        removalQueue.pop_front();
    }
    if (tick % CREATION_PERIOD_TICKS != 0 || tick < creationsHeldUntil)
        return;
    if (gf_handOnCreation())
        return;
    if (lf_plannedParkPositionsRemain())
        lf_parkStaticNext();
}

void lf_reserveTraffic()
{
    gf_assertEngineOwner();
    if (reserved)
        return;
    reserved = true;
    liveAircraft.reserve(LIVE_CAPACITY);
    staticAircraft.reserve(STATIC_CAPACITY);
    gf_reserveCreationQueues();
    deferredResults.reserve(DEFERRED_CAPACITY);
    gf_reserveSimResults(RESULT_CAPACITY);
}

void lf_resetTraffic()
{
    // The previous run's worker has ended: whoever resets takes the lists, and gives them up
    // again for the next run's worker.
    gf_releaseEngineOwner();
    gf_assertEngineOwner();
    gf_engineHooks()->forgetParkAirport();
    gf_clearSimResults();
    deferredResults.clear();
    gf_resetCreationQueues();
    staticAircraft.clear();
    removalQueue = std::deque<std::uint32_t>();
    lf_emptyIntake();
    fastInRangeRequests = false;
    creationsHeldUntil = 0;
    gf_resetStaticParking();
    gf_resetGivenUpCreations();
    gf_resetCreationAnswers();
    gf_resetParkLimits();
    gf_resetPauseHolds();
    liveAircraft.clear();
    unmatchedLiveryKeys.clear();
    coupledCallsignQueue.clear();
    ghostList.clear();
    parkedLiveList.clear();
    standUseList.clear();
    gf_resetStandRecords();
    engineQnh.store(STANDARD_QNH);
    engineUserSnapshot = UserAircraftSnapshot{};
    tickCounter.store(0);
    gf_releaseEngineOwner();
}
