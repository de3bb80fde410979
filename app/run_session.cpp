#include "app/run_session.hpp"

#include <cmath>
#include <gsl/narrow>
#include <mutex>

#include "app/closing.hpp"
#include "app/main_loop.hpp"
#include "foundation/clock.hpp"
#include "app/run_log.hpp"
#include "app/run_requests.hpp"
#include "app/run_state.hpp"
#include "app/sim_client_thread.hpp"
#include "app/window_controls.hpp"
#include "engine/aircraft_records.hpp"
#include "engine/traffic_driver.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameters.hpp"
#include "foundation/time_slots.hpp"
#include "liveries/livery_index.hpp"
#include "parking/park_airport.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "traffic/login.hpp"
#include "traffic/reader_thread.hpp"
#include "traffic/traffic_reader_thread.hpp"
#include "traffic/service_client.hpp"

namespace {

using std::chrono::milliseconds;

constexpr milliseconds SIM_WAIT_STEP{100};
constexpr milliseconds ON_GROUND_PASS{500};
constexpr milliseconds POSITION_PASS{200};
constexpr milliseconds READER_START_STEP{300};
constexpr int READER_START_TRIES = 10;
constexpr milliseconds TRAFFIC_POLL{100};
constexpr int NO_TRAFFIC_POLLS = 150;

// The user aircraft's on-ground state, every second from now on.
void lf_requestUserOnGround()
{
    HRESULT result = 0;
    {
        std::lock_guard<std::mutex> lock(simSendMutex);
        result = SimConnect_RequestDataOnSimObject(simConnection.load(), SIM_REQUEST_USER_ON_GROUND,
                                                   SIM_DEFINE_USER_ON_GROUND, SIM_OBJECT_ID_USER,
                                                   SIM_PERIOD_EVERY_SECOND, 0, 0, 0, 0);
    }
    if (result < 0) {
        gf_logWarn("SimConnect request ac gnd/air fails");
        gf_simRequestError();
    }
}

void lf_setLamps(std::int32_t state)
{
    vald::gf_updateDisplay(
        [state](vald::StatusDisplayValues& values) {
            values.weatherLamp = state;
            values.trafficLamp = state;
        },
        vald::COUNTS_BAND);
}

// Up to ten tries 300 ms apart; each failed test runs between (may be nothing).
template <typename Ready, typename Between>
void lf_waitBriefly(Ready ready, Between between)
{
    for (int attempt = 0; attempt < READER_START_TRIES && !ready() && !gf_stopPending(); ++attempt) {
        gf_sleepFor(READER_START_STEP);
        between();
    }
}

// A reader whose previous thread still runs is not started (warned): the run ends with READER
// ERROR, and the restart tries again once that thread has ended.
bool lf_readerStarted(bool started)
{
    if (!started)
        gf_requestStop(closing_reason::READER_ERROR, READER_ERROR_RESTART_SECONDS);
    return started;
}

// False when the run ends before the readers start (a refused login, a reader not started).
bool lf_startReaders()
{
    lf_setBufferedIntake(false);
    gf_updateTrafficBox();
    gf_runAuthenticater();
    // Without a session the readers would only be refused again.
    if (gf_stopPending())
        return false;
    lf_setLamps(vald::LAMP_WAITING);
    lf_enableTimeShiftControls(true);
    // The login hands its session to the weather reader.
    lf_waitBriefly([] { return !weatherReader.guid.empty(); }, [] {});
    if (!lf_readerStarted(gf_startWeatherReader()))
        return false;
    lf_waitBriefly([] { return weatherReader.qnhPublished.load(); }, [] { lf_serveReRead(); });
    if (!lf_readerStarted(gf_startTrafficReader()))
        return false;
    gf_sleepFor(READER_START_STEP);
    lf_copyUserPositionToReader();
    lf_checkNoTraffic();
    currentWeekdaySlot.store(gf_weekSlotValue(gf_weekdayAndSlot()));
    return true;
}

}  // namespace

bool lf_requestUserAcGndAir()
{
    while (!simConnected.load() || simPaused.load()) {
        if (gf_stopPending())
            return false;
        gf_sleepFor(SIM_WAIT_STEP);
    }
    lf_requestUserOnGround();
    UserAircraftSnapshot user = gf_userSnapshot();
    while (!userOnGroundKnown.load() || !gf_userPositionKnown(user)) {
        const SteadyTime passEnd = gf_steadyNow() + ON_GROUND_PASS;
        user = gf_getUserPosition();
        gf_sleepUntil(passEnd);
        if (gf_stopPending())
            return false;
    }
    gf_requestUserTitleModel();
    while (!gf_userPositionKnown(user)) {
        user = gf_getUserPosition();
        gf_sleepFor(POSITION_PASS);
        if (gf_stopPending())
            return false;
    }
    return !gf_stopPending();
}

void lf_checkNoTraffic()
{
    const auto dataTimeSecond = [] {
        const double rounded = std::round(trafficReader.dataTime.load());
        if (!std::isfinite(rounded))
            throw gsl::narrowing_error{};
        return gsl::narrow<std::int64_t>(rounded);
    };
    for (int poll = 0; poll < NO_TRAFFIC_POLLS && dataTimeSecond() == 0 && !gf_stopPending(); ++poll)
        gf_sleepFor(TRAFFIC_POLL);
    if (dataTimeSecond() == 0)
        gf_log("No traffic in this region?");
}

bool lf_waitForFirstTraffic()
{
    const SteadyTime start = gf_steadyNow();
    while (!trafficReader.running.load()) {
        if (gf_stopPending())
            return false;
        gf_sleepFor(TRAFFIC_POLL);
        if (gf_steadyNow() - start > FIRST_TRAFFIC_LIMIT) {
            gf_log("TrafficReader receiving timed out after 10 seconds?");
            gf_requestStop(closing_reason::READER_ERROR, READER_ERROR_RESTART_SECONDS);
            return false;
        }
    }
    return true;
}

void lf_runSession()
{
    vald::gf_updateDisplay(
        [](vald::StatusDisplayValues& values) {
            values.authenticated = false;
            values.simConnected = false;
        },
        vald::COUNTS_BAND);
    lf_repaintWindow();
    lf_reserveTraffic();
    gf_reserveLiveryIndexes();
    gf_initSimClient(static_cast<std::uint32_t>(P3D_VERSION.value()));
    lf_repaintWindow();
    if (!gf_startSimClientThread()) {
        // The restart tries again once the previous client has ended.
        gf_requestStop(closing_reason::SIMCONNECT_ERROR, SIMCONNECT_ERROR_RESTART_SECONDS);
        return;
    }
    if (!lf_requestUserAcGndAir())
        return;
    if (AUTO_RANGE.value()) {
        gf_autoRange();
        gf_disableControl(RANGE);
    }
    if (gf_stopPending())
        return;
    vald::gf_updateDisplay([](vald::StatusDisplayValues& values) { values.serviceWaiting = false; },
                           vald::COUNTS_BAND);
    if (gf_stopPending())
        return;
    if (!lf_startReaders())
        return;
    // A time-out asks for the stop itself (READER ERROR); the main loop ends on it within a second.
    static_cast<void>(lf_waitForFirstTraffic());
    lf_checkParkAirport(true);
    gf_updateDataIndicators();
    secondCounter.store(0);
    const SteadyTime firstTick = gf_steadyNow() + TICK_PERIOD;
    currentWeekdaySlot.store(gf_weekSlotValue(gf_weekdayAndSlot()));
    lf_setBufferedIntake(true);
    gf_fillCallsignCombo();
    gf_enableControl(BUTTON_CS_OID);
    lf_mainLoop(firstTick);
}
