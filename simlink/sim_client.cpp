#include "simlink/sim_client.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/user_error.hpp"
#include "platform/window_display.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/simlink_hooks.hpp"
#include "simlink/window_hooks.hpp"

namespace {

constexpr std::chrono::milliseconds CONNECT_RETRY_PERIOD{100};
constexpr std::int32_t SIMCONNECT_ERROR_RESTART_SECONDS = 9;
constexpr std::uint32_t PERIOD_ONCE = 1;

bool lf_stopWaiting(const std::stop_token& stopToken)
{
    return stopRequested.load() || userClosing.load() || stopToken.stop_requested();
}

void lf_flushLog()
{
    std::lock_guard<std::mutex> lock(gf_logMutex());
    if (gf_logStream().is_open())
        gf_logStream().flush();
}

// The connect loop. Opening the connection belongs to the simulator link proper; until it is
// there the client announces that it waits and keeps waiting, so a run proceeds to its closing
// as soon as a stop is asked for.
void lf_waitForSimulator(const std::stop_token& stopToken)
{
    std::mutex waitMutex;
    std::condition_variable_any wakeUp;
    bool announced = false;
    while (!lf_stopWaiting(stopToken)) {
        if (!announced) {
            gf_statusLine(vald::format("Waiting for Prepar3Dv{} ...", gf_simlinkHooks()->simVersionText()), true);
            lf_flushLog();
            vald::gf_invalidateWindow(vald::PixelRect{0, 0, 880, 476});
            announced = true;
        }
        std::unique_lock<std::mutex> lock(waitMutex);
        wakeUp.wait_for(lock, stopToken, CONNECT_RETRY_PERIOD, [] { return false; });
    }
}

void lf_connectionLost()
{
    simConnected.store(false);
    gf_simlinkHooks()->simNoLongerConnected();
}

// Holds simSendMutex. Nothing is asked without a connection or after a failed request.
void lf_requestUserData(std::uint32_t requestId, std::uint32_t defineId, const char* failureText)
{
    const HANDLE connection = simConnection.load();
    if (connection == nullptr || simRequestErrorFlag.load())
        return;
    if (SimConnect_RequestDataOnSimObject(connection, requestId, defineId, SIM_OBJECT_ID_USER, PERIOD_ONCE, 0, 0, 0,
                                          0) >= 0)
        return;
    gf_logWarn(failureText);
    gf_simRequestError();
}

}  // namespace

void SimClient(std::stop_token stopToken)
{
    try {
        lf_waitForSimulator(stopToken);
    } catch (const vald::UserErrorException& e) {
        gf_errorLine(e.what());
    } catch (const std::exception& e) {
        gf_errorLine(e.what());
        lf_connectionLost();
    } catch (...) {
        gf_errorLine(vald::format("Exception in {}", "SimClient"));
        lf_connectionLost();
    }
    vald::gf_updateDisplay([](vald::StatusDisplayValues& values) { values.simConnected = false; },
                           vald::COUNTS_BAND);
}

void gf_simRequestError()
{
    gf_statusLine("SimConnect request error", true);
    simRequestErrorFlag.store(true);
    gf_requestStop(closing_reason::SIMCONNECT_ERROR, SIMCONNECT_ERROR_RESTART_SECONDS);
}

UserAircraftSnapshot gf_getUserPosition()
{
    {
        std::lock_guard<std::mutex> lock(simSendMutex);
        lf_requestUserData(SIM_REQUEST_USER_POSITION, SIM_DEFINE_USER_POSITION,
                           "SimConnect request user ac position fails");
    }
    return gf_userSnapshot();
}

void gf_requestUserTitleModel()
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    lf_requestUserData(SIM_REQUEST_USER_TITLE, SIM_DEFINE_USER_TITLE, "SimConnect request user ac title fails");
    lf_requestUserData(SIM_REQUEST_USER_MODEL, SIM_DEFINE_USER_MODEL, "SimConnect reques user ac model fails");
}

std::string gf_userStandName()
{
    if (!userOnGround.load())
        return std::string();
    const UserAircraftSnapshot user = gf_userSnapshot();
    return gf_simlinkHooks()->standNameAt(LatLon{user.latitude, user.longitude});
}
