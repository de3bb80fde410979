#include "app/closing.hpp"

#include <cstdlib>
#include <exception>
#include <mutex>

#include "app/commands.hpp"
#include "app/message_lines.hpp"
#include "foundation/clock.hpp"
#include "app/run_log.hpp"
#include "app/run_requests.hpp"
#include "app/run_state.hpp"
#include "app/sim_client_thread.hpp"
#include "app/time_shift.hpp"
#include "engine/engine_state.hpp"
#include "engine/flight_plans.hpp"
#include "engine/traffic_driver.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/scan_workers.hpp"
#include "foundation/strings.hpp"
#include "foundation/time_slots.hpp"
#include "liveries/livery_choice.hpp"
#include "liveries/matching_summary.hpp"
#include "parking/park_airport.hpp"
#include "parking/park_file.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/user_stand.hpp"
#include "traffic/reader_thread.hpp"
#include "traffic/service_client.hpp"

namespace {

constexpr std::chrono::milliseconds USER_CLOSE_POLL{500};
constexpr std::chrono::milliseconds COUNTDOWN_POLL{100};

bool lf_restartReason(std::uint32_t reason)
{
    return reason == closing_reason::NEW_SETTINGS || reason == closing_reason::SIMCONNECT_ERROR ||
           reason == closing_reason::READER_ERROR;
}

// Logs out once both readers have ended. A reader that does not end in time is only logged (by
// the wait) and the session is left to expire: the logout would clear the GUID that the running
// reader still reads.
void lf_stopReaders()
{
    if (weatherReader.guid.empty())
        return;
    gf_stopReaders();
    if (gf_waitReadersEnded(READER_END_LIMIT))
        trafficReader.deauthenticate();
    else
        gf_logWarn("Not logged out of the RT server: a reader is still running");
}

void lf_waitForUserClosing()
{
    if (productionMode.load()) {
        // Nobody is there to close the window.
        gf_logWarn("Production run failed, ending");
        exitCode.store(PRODUCTION_FAILURE_EXIT_CODE);
    } else {
        while (!userClosing.load())
            gf_sleepFor(USER_CLOSE_POLL);
    }
    gf_showStatus(vald::format("User closed {}", PROGRAM_ID), true);
}

void lf_closeTimeShift()
{
    timeShiftActive.store(false);
    if (!KEEP_SIM_TIME_PAR.value()) {
        SIM_TIME.setValue(false);
        gf_saveBoolParameter(SIM_TIME);
        lf_resetTimeShiftParams();
    } else if (SIM_TIME.value()) {
        lf_resetTimeShiftParams();
    }
}

void lf_switchOff(CheckBoxParameter& parameter)
{
    parameter.setValue(false);
    gf_saveBoolParameter(parameter);
}

// A restart, unless the user closes the window before the new run is prepared, or the previous
// run's client thread is still running (it shares what the reset would reset).
void lf_prepareRestart(std::uint32_t reason, bool clientEnded)
{
    if (!clientEnded) {
        gf_logWarn("SimClient still running: no restart, the program ends");
        restartPending.store(false);
        return;
    }
    restartPending.store(true);
    gf_clearErrorLine();
    gf_clearStatus();
    gf_showStatus("Prepare for a restart ...", true);
    // A scan that failed would only fail again. An airport scan clears its flag itself once it
    // completed: one still set here did not complete, and must not count as done, so it is held
    // for this process's error restarts instead of switched off.
    if (reason != closing_reason::NEW_SETTINGS) {
        lf_switchOff(SCAN_LIVERIES);
        airportScanHeld.store(SCAN_AIRPORTS.value());
    } else {
        airportScanHeld.store(false);
    }
    // A close by the user during the countdown or the reset ends the program.
    if (!lf_restartCountdown() || userClosing.load() || lf_resetSessionState()) {
        restartPending.store(false);
        gf_requestUserClose();
    }
}

// Every step of the closing but the final post.
void lf_closingSteps()
{
    const std::uint32_t reason = closingReason.load();
    gf_log(vald::format("Exiting: {}", gf_closingReasonText(reason)));
    lf_setBufferedIntake(false);
    gf_requestSimClientStop();
    lf_stopReaders();
    // Joined before anything it uses is reset. Its last act is to post the user's stand, served
    // below while the park airport is still open.
    const bool clientEnded = gf_finishSimClientThread(SIM_CLIENT_END_LIMIT);
    if (reason == closing_reason::SYSTEM_ERROR)
        lf_waitForUserClosing();
    if (parkAirportOpen.load()) {
        gf_serveUserStand();
        lf_resetParkAirport();
    }
    // Park files still on their way are joined before a new run.
    lf_stopParkFileDownload();
    gf_stopClosestStandDownload();
    // A new run chooses its liveries afresh.
    gf_forgetRememberedLiveries();
    // A folder that stays is logged by the removal; the next run writes its plans over it.
    static_cast<void>(gf_removeFlightPlanFolder());
    DESTINATION.setValue(std::string());
    gf_writeParameter(DESTINATION);
    BLOCK_CALLSIGN.setValue(std::string());
    gf_writeParameter(BLOCK_CALLSIGN);
    lf_closeTimeShift();
    ghostList.clear();
    gf_liveryMatchingSummary();
    gf_logUnmatched();

    if (lf_restartReason(reason)) {
        lf_prepareRestart(reason, clientEnded);
        return;
    }
    restartPending.store(false);
    if (reason == closing_reason::NEW_FLIGHT) {
        const SteadyTime announced = gf_steadyNow();
        gf_showStatus(vald::format("New flight detected, {} will close, please restart manually ...", PROGRAM_ID),
                      true);
        gf_sleepUntil(announced + NEW_FLIGHT_CLOSE_DELAY);
    }
}

}  // namespace

void lf_closingDown()
{
    try {
        lf_closingSteps();
    } catch (const std::exception& e) {
        // Half torn down, a new run cannot start cleanly: the program ends instead of hanging.
        restartPending.store(false);
        try {
            const std::string text = vald::format("{} exception {}", "lf_closingDown", e.what());
            gf_logWarn(text);
            gf_showStatus(text, true);
        } catch (...) {
        }
    } catch (...) {
        restartPending.store(false);
    }
    const bool restart = restartPending.load();
    if (!restart) {
        try {
            // A client left running is warned about here, and the program's end then leaves
            // without its cleanup (gf_leaveIfThreadsRemain).
            static_cast<void>(gf_finishSimClientThread(SIM_CLIENT_END_LIMIT));
        } catch (...) {
            // The quit matters more than a clean end of that thread.
        }
    }
    // The next run's worker is another thread: it takes the worker's lists over.
    gf_releaseParkAirports();
    vald::gf_postWindowMessage(restart ? vald::UiMessage::StartRun : vald::UiMessage::Quit);
    lf_flushRunLog();
}

bool lf_restartCountdown()
{
    const std::int32_t delay = restartDelaySeconds.load();
    if (delay < 1)
        return true;
    gf_log(vald::format("Restarting after {} seconds", delay));
    for (int line = 0; line < 5; ++line)
        gf_log("");
    for (std::int32_t n = delay; n >= 1; --n) {
        const SteadyTime stepEnd = gf_steadyNow() + std::chrono::seconds(1);
        gf_showStatus(vald::format("Restarting after {} second{}", n, gf_plural(n)), false);
        while (gf_steadyNow() < stepEnd) {
            if (userClosing.load())
                return false;
            gf_sleepFor(std::min<SteadyDuration>(COUNTDOWN_POLL, stepEnd - gf_steadyNow()));
        }
    }
    return !userClosing.load();
}

bool lf_resetSessionState()
{
    gf_resetReaders();
    simMajorVersion.store(static_cast<std::uint32_t>(P3D_VERSION.value()));
    gf_resetSimClientState();
    lf_resetTraffic();
    gf_resetMessageLines();
    vald::gf_resetDisplayForRun();
    gf_clearStopRequest();
    // Last of the stop flags: a close that came while the run was being closed is seen here.
    const bool closedMeanwhile = userClosing.exchange(false);
    flightPaused.store(false);
    parkingUpdateRequested.store(false);
    parkedRetryOnly.store(false);
    parkingPhase.store(false);
    blockRequested.store(false);
    secondCounter.store(0);
    lf_resetRunRequests();
    // A run that ended during a static-parking update must not leave the next run's controls locked.
    if (controlsLocked.load())
        gf_unlockParkingControls();
    gf_setStockSceneryPath({});
    gf_setRangeNm(RANGE.value());
    return closedMeanwhile;
}

void lf_resetTimeShiftParams()
{
    for (ComboParameter* part : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        part->setValue(0);
        gf_saveIntParameter(*part);
    }
}

void gf_leaveIfThreadsRemain(int exitCode)
{
    const bool readersRunning = !(trafficReader.ended.load() && weatherReader.ended.load());
    // A scan task given up in a stalled read holds its slot until the read returns.
    const bool scanRunning = scanWorkerCount.load() > 0;
    if (!readersRunning && !gf_simClientRunning() && !scanRunning)
        return;
    gf_logWarn(vald::format("A {} thread is still running: the program ends without its cleanup",
                            readersRunning ? "reader" : scanRunning ? "scan" : "SimClient"));
    lf_flushRunLog();
    std::quick_exit(exitCode);
}

void gf_simNoLongerConnected()
{
    if (stopRequested.load())
        return;
    gf_log(vald::format("{} Flight Simulator no longer connected, {} will stop ...", gf_timeOfDayText(), PROGRAM_ID));
    gf_requestStop(closing_reason::SIM_WAS_CLOSED, 0);
}
