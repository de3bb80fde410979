#include "app/main_loop.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <gsl/narrow>

#include "app/collision_rules.hpp"
#include "app/commands.hpp"
#include "app/message_lines.hpp"
#include "app/run_log.hpp"
#include "app/run_requests.hpp"
#include "app/run_state.hpp"
#include "app/status_paint.hpp"
#include "app/time_shift.hpp"
#include "app/window_controls.hpp"
#include "engine/callsign_list.hpp"
#include "engine/engine_state.hpp"
#include "engine/ghosts.hpp"
#include "engine/removal.hpp"
#include "engine/static_neighbours.hpp"
#include "engine/traffic_driver.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "foundation/time_slots.hpp"
#include "liveries/livery_choice.hpp"
#include "liveries/matching_summary.hpp"
#include "parking/park_airport.hpp"
#include "parking/static_planning.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "traffic/service_client.hpp"
#include "simlink/user_stand.hpp"
#include "traffic/traffic_reader_thread.hpp"

namespace {

constexpr int SCHEDULE_SECONDS = 15;
constexpr int PARK_CHECK_SECONDS = 16;
constexpr int STATIC_TWIN_SECONDS = 61;
constexpr int HALF_MINUTE = 30;
constexpr int MINUTE = 60;
constexpr int UNMATCHED_LOG_SECONDS = 1200;
constexpr int DAY_SECONDS = 86400;
constexpr std::int32_t PARKING_PERIOD_MINUTES = 20;
constexpr std::int64_t SIM_TIME_JUMP_SECONDS = 30;
constexpr double NO_PARK_AIRPORT_NM = 10000.0;

int pauseTickCounter = PAUSE_TICKS;

ScheduledCalls lf_realCalls()
{
    return ScheduledCalls{&lf_checkParkAirport, &lf_adjustParking, &gf_logUnmatched, &gf_parkRebuildPending,
                          &gf_liveryMatchingSummary, &lf_retryParkedTraffic, &lf_askParkedTraffic};
}

// Worker thread only.
ScheduledCalls scheduled = lf_realCalls();

void lf_refreshWeekdaySlot() { currentWeekdaySlot.store(gf_weekSlotValue(gf_weekdayAndSlot())); }

// SIM_TIME: the time shift follows the simulator's clock when it jumps.
void lf_followSimulatorTime()
{
    const std::int64_t simUtc = simUtcSeconds.load();
    if (SIM_TIME.value() && std::llabs(simUtc - lastSimUtcSeconds.load()) >= SIM_TIME_JUMP_SECONDS) {
        std::int64_t minutes = (gf_realUtcNow() - simUtc) / 60;
        if (minutes < 1)
            minutes = 0;
        lf_setTimeShift(static_cast<std::int32_t>(std::min<std::int64_t>(minutes, MAX_TIME_SHIFT_MINUTES + 1)), false);
    }
    lastSimUtcSeconds.store(simUtc);
}

void lf_serveFlushStatic()
{
    if (!flushStaticRequested.exchange(false))
        return;
    lf_sweepStaticAircraft();
    if (!INITIAL_LOAD_ONLY.value()) {
        // In the window only: the user's saved choice stays.
        INITIAL_LOAD_ONLY.setValue(true);
        vald::gf_controls().setChecked(INITIAL_LOAD_ONLY.controlId(), true);
    }
}

void lf_serveBlock()
{
    if (!blockRequested.exchange(false))
        return;
    const std::string callsign = BLOCK_CALLSIGN.value();
    if (callsign.empty())
        return;
    for (LiveAircraft& aircraft : liveAircraft) {
        if (aircraft.state == SimState::active && aircraft.identity.callsign == callsign) {
            removeAircraftFromSim(aircraft);
            return;
        }
    }
}

void lf_parkingPhases()
{
    if (!parkingUpdateRequested.load())
        return;
    if (!parkingPhase.load()) {
        parkingPhase.store(true);
        gf_lockParkingControls();
        // The answer of the traffic reader is in by the second phase, which plans with it.
        if (parkAirportOpen.load())
            scheduled.askParkedTraffic();
        return;
    }
    parkingPhase.store(false);
    const bool force = parkingForce.load();
    gf_clearErrorLine();
    gf_clearStatus();
    const bool retryOnly = parkedRetryOnly.exchange(false);
    if (parkAirportOpen.load() && vald::gf_displaySnapshot().standCount > 0) {
        if (retryOnly) {
            scheduled.retryParkedTraffic();
        } else {
            scheduled.adjustParking(force);
            parkingForce.store(false);
        }
        lf_flushRunLog();
    } else {
        lf_flushRunLog();
    }
    parkingUpdateRequested.store(false);
}

void lf_paintCountdown(std::int32_t minutes)
{
    vald::gf_updateDisplay([minutes](vald::StatusDisplayValues& values) { values.paintedCountdown = minutes; },
                           vald::CONTROLS_BAND);
}

void lf_countDownParking()
{
    const std::int32_t minutes = parkingCountdownMinutes.fetch_sub(1) - 1;
    if (minutes >= 1) {
        lf_paintCountdown(minutes);
        return;
    }
    parkingCountdownMinutes.store(PARKING_PERIOD_MINUTES);
    lf_paintCountdown(PARKING_PERIOD_MINUTES);
    const bool retry = gf_parkedRetryPending();
    if (parkAirportOpen.load() && (!INITIAL_LOAD_ONLY.value() || retry) && !controlsLocked.load() &&
        !parkingUpdateRequested.load()) {
        lf_announceStaticParkingUpdate();
        // Only the initial load is wanted: the statics it made stay, the parked traffic comes now.
        parkedRetryOnly.store(INITIAL_LOAD_ONLY.value());
    }
}

}  // namespace

void lf_copyUserPositionToReader()
{
    const UserAircraftSnapshot user = gf_userSnapshot();
    trafficReader.setUserPosition(LatLon{user.latitude, user.longitude});
}

void lf_repaintOnCountChange()
{
    const auto live = static_cast<std::uint64_t>(std::count_if(
        liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& aircraft) {
            return aircraft.state == SimState::active && aircraft.phase != FlightPhase::parked;
        }));
    gf_repaintOnCountChange(live, lf_parkedStats(true), gf_staticParkedStats(true));
}

void lf_serveReRead()
{
    if (!reReadRequested.load() || controlsLocked.load())
        return;
    std::string message;
    if (lf_checkReservedStand(true, message))
        gf_showStatus(message, true);
    gf_enableControl(BUTTON_REREAD);
    gf_enableControl(DESTINATION);
    reReadRequested.store(false);
}

void gf_autoRange()
{
    const UserAircraftSnapshot user = gf_userSnapshot();
    std::int32_t range = 0;
    if (userOnGround.load()) {
        range = 10;
    } else if (user.altitude > AR_ABOVE_HEIGHT.value()) {
        range = 100;
    } else if (user.altitude > AIRP_HEIGHT.value()) {
        range = 40;
    } else {
        const double distance = gf_parkAirports().empty() ? NO_PARK_AIRPORT_NM : gf_parkAirports().front().distance;
        if (distance <= 7.0)
            range = 10;
        else if (distance < 37.0)
            range = gf_snapRange(gsl::narrow<std::int32_t>(std::round(distance)) + 3);
        else
            range = 40;
    }
    const std::int32_t before = RANGE.value();
    gf_setRangeNm(range);
    if (RANGE.value() != before) {
        gf_setIntParamText(RANGE);
        gf_updateTrafficBox();
    }
}

void lf_updateStep()
{
    if (flightPaused.exchange(false)) {
        gf_log(vald::format("{} Flight resumed", gf_timeOfDayText()));
        lf_setBufferedIntake(true);
    }
    gf_ageStatusLine();
    lf_repaintOnCountChange();
    lf_refreshWeekdaySlot();
    lf_followSimulatorTime();
    secondCounter.fetch_add(1);
    lf_checkNewLiveAircraft(currentWeekdaySlot.load());
    lf_serveFlushStatic();
    if (callsignToObjectIdRequested.exchange(false))
        lf_fillCallsignList();
    lf_checkUserCollisions(gf_userForCollision());
    lf_avoidStaticsOfMovingLive();
    lf_serveBlock();
    lf_serveCommandRequests();
    if (controlsLocked.load())
        vald::gf_invalidateWindow(vald::LIVE_STATUS_BAND);
}

void lf_scheduleStep(int second)
{
    lf_parkingPhases();
    if (second % HALF_MINUTE != 0)
        return;
    if (AUTO_RANGE.value())
        gf_autoRange();
    if (second % MINUTE == 0) {
        lf_countDownParking();
        if (second % UNMATCHED_LOG_SECONDS == 0) {
            scheduled.logUnmatched();
            if (second % DAY_SECONDS == 0) {
                secondCounter.store(0);
                scheduled.matchingSummary();
                gf_forgetRememberedLiveries();
            }
        }
    }
    lf_flushRunLog();
}

void lf_flightNotRunning()
{
    if (!flightPaused.load()) {
        lf_setBufferedIntake(false);
        flightPaused.store(true);
        pauseTickCounter = PAUSE_TICKS;
        gf_clearPositionBuffers();
        gf_log(vald::format("{} Flight not running", gf_timeOfDayText()));
    }
    lf_processSimResults();
    if (--pauseTickCounter > 0)
        return;
    lf_serveReRead();
    gf_updateTrafficBox();
    pauseTickCounter = PAUSE_TICKS;
    lf_repaintOnCountChange();
    lf_refreshWeekdaySlot();
}

bool lf_cycleStep()
{
    // Stand look-ups that the simulator client posted are served here, on the worker that owns
    // the stands.
    gf_serveUserStand();
    if (!simConnected.load() || simPaused.load()) {
        lf_flightNotRunning();
        return !gf_stopPending();
    }
    lf_handleAddingStack();
    if (!newUserDatum.exchange(false))
        return true;
    lf_updateStep();
    if (gf_stopPending())
        return false;
    const int second = secondCounter.load();
    if (second % SCHEDULE_SECONDS != 0) {
        if ((second % PARK_CHECK_SECONDS == 0 || scheduled.parkRebuildPending()) && !parkingPhase.load()) {
            scheduled.checkParkAirport(false);
        }
        if (second % STATIC_TWIN_SECONDS == 0 && !staticAircraft.empty() && !liveAircraft.empty())
            lf_removeStaticTwinOfGroundLive();
        return true;
    }
    gf_updateDataIndicators();
    lf_copyUserPositionToReader();
    gf_updateTrafficBox();
    if (!gf_reservedStandName().empty())
        lf_clearReservedStand();
    lf_serveReRead();
    lf_scheduleStep(second);
    return true;
}

void lf_mainLoop(SteadyTime firstTick)
{
    SteadyTime nextTick = firstTick;
    while (lf_cycleStep()) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - gf_steadyNow());
        if (remaining.count() > 0) {
            for (SteadyTime now = gf_steadyNow(); now < nextTick; now = gf_steadyNow())
                gf_sleepFor(nextTick - now);
        }
        // The cycle keeps to the simulator's own second.
        if (newUserDatum.load())
            nextTick = gf_steadyNow();
        nextTick += TICK_PERIOD;
    }
}

void gf_setScheduledCallsForTest(ScheduledCalls calls)
{
    ScheduledCalls real = lf_realCalls();
    scheduled.checkParkAirport = calls.checkParkAirport ? std::move(calls.checkParkAirport) : real.checkParkAirport;
    scheduled.adjustParking = calls.adjustParking ? std::move(calls.adjustParking) : real.adjustParking;
    scheduled.logUnmatched = calls.logUnmatched ? std::move(calls.logUnmatched) : real.logUnmatched;
    scheduled.parkRebuildPending =
        calls.parkRebuildPending ? std::move(calls.parkRebuildPending) : real.parkRebuildPending;
    scheduled.matchingSummary = calls.matchingSummary ? std::move(calls.matchingSummary) : real.matchingSummary;
    scheduled.retryParkedTraffic =
        calls.retryParkedTraffic ? std::move(calls.retryParkedTraffic) : real.retryParkedTraffic;
    scheduled.askParkedTraffic = calls.askParkedTraffic ? std::move(calls.askParkedTraffic) : real.askParkedTraffic;
}

void gf_resetMainLoopForTest()
{
    pauseTickCounter = PAUSE_TICKS;
    scheduled = lf_realCalls();
}
