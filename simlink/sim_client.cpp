#include "simlink/sim_client.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/user_error.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_declarations.hpp"
#include "simlink/sim_dispatch.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/simconnect/recv.hpp"
#include "simlink/simconnect/transport.hpp"
#include "simlink/simlink_hooks.hpp"
#include "simlink/user_stand.hpp"

namespace {

constexpr std::chrono::milliseconds CONNECT_RETRY_PERIOD{100};
// The dispatch loop sleeps until the connection signals a message, a failure or a stop; this is
// only the longest it waits without one.
constexpr std::uint32_t DISPATCH_IDLE_WAIT_MS = 100;
constexpr std::uint32_t CONFIG_INDEX_DEFAULT = 0;

bool lf_stopWaiting(const std::stop_token& stopToken)
{
    return gf_stopPending() || stopToken.stop_requested();
}

void lf_flushLog()
{
    std::lock_guard<std::mutex> lock(gf_logMutex());
    if (gf_logStream().is_open())
        gf_logStream().flush();
}

// Sleeps one retry period, or less when the thread is asked to stop meanwhile.
void lf_waitBeforeRetry(const std::stop_token& stopToken)
{
    std::mutex waitMutex;
    std::condition_variable_any wakeUp;
    std::unique_lock<std::mutex> lock(waitMutex);
    wakeUp.wait_for(lock, stopToken, CONNECT_RETRY_PERIOD, [] { return false; });
}

// The connect loop: the connection, or nullptr when the wait was ended first. The simulator not
// running is no failure: the open is tried again every 100 ms without a message.
HANDLE lf_connect(const std::stop_token& stopToken, SimNotifyEvent& arrived)
{
    // A connect under way gives up within a slice of the stop, too.
    const vald::simconnect::ConnectAbandon abandon([&stopToken] { return lf_stopWaiting(stopToken); });
    bool announced = false;
    while (!lf_stopWaiting(stopToken)) {
        if (!announced) {
            const std::string version = gf_simlinkHooks()->simVersionText();
            gf_showStatus(vald::format("Waiting for Prepar3Dv{} ...", version), true);
            lf_flushLog();
            vald::gf_invalidateWindow(vald::MESSAGE_LINE_RECT);
            announced = true;
        }
        HANDLE connection = nullptr;
        if (SimConnect_Open(&connection, PROGRAM_ID, nullptr, 0, &arrived, CONFIG_INDEX_DEFAULT) == S_OK)
            return connection;
        lf_waitBeforeRetry(stopToken);
    }
    return nullptr;
}

void lf_connectionLost()
{
    simConnected.store(false);
    gf_simlinkHooks()->simNoLongerConnected();
}

// Notes a quit message of the simulator, then hands the message to the handlers.
void lf_clientDispatch(const std::uint8_t* data, std::uint32_t size, void* context)
{
    if (vald::simconnect::MessageView(data, size).id() == static_cast<std::uint32_t>(vald::simconnect::RecvId::quit))
        *static_cast<bool*>(context) = true;
    lf_simDispatch(data, size, nullptr);
}

// Hands the received messages to the handlers as they arrive until the thread is asked to stop:
// between them the thread sleeps on the connection's event, which a stop request sets too. A connection that has failed ends this client: after the simulator's quit message
// the simulator was closed and the program ends with it; without one (a broken stream, a
// simulator that went away unannounced) it is a SimConnect error, and the restart connects again.
void lf_dispatchLoop(HANDLE connection, SimNotifyEvent& arrived, const std::stop_token& stopToken)
{
    const std::stop_callback wakeOnStop(stopToken, [&arrived] { arrived.set(); });
    bool quitReceived = false;
    while (!stopToken.stop_requested()) {
        const HRESULT result = SimConnect_CallDispatch(connection, &lf_clientDispatch, &quitReceived);
        if (result < 0) {
            if (quitReceived) {
                lf_connectionLost();
            } else {
                gf_logWarn(vald::format("SimConnect connection lost ({:#010x})", static_cast<std::uint32_t>(result)));
                simConnected.store(false);
                gf_simRequestError();
            }
            return;
        }
        // A message that came during the dispatch has set the event: the wait returns at once.
        arrived.waitMs(DISPATCH_IDLE_WAIT_MS);
    }
}

// The end of the thread, however it was reached.
void lf_endClient(HANDLE connection)
{
    lf_postLearnUserStand();
    vald::gf_updateDisplay([](vald::StatusDisplayValues& values) { values.simConnected = false; },
                           vald::COUNTS_BAND);
    if (connection == nullptr)
        return;
    {
        // The worker's requests test the handle under this mutex: none is under way on it now.
        std::lock_guard<std::mutex> lock(simSendMutex);
        simConnection.store(nullptr);
    }
    if (SimConnect_Close(connection) == S_OK)
        gf_log("SimConnect closed ok");
    else
        gf_logWarn("Closing SimConnect failed?!");
}

// Holds simSendMutex. Nothing is asked without a connection or after a failed request. False
// when the request failed: the caller reports it once the mutex is free.
bool lf_requestUserData(std::uint32_t requestId, std::uint32_t defineId, const char* failureText)
{
    const HANDLE connection = simConnection.load();
    if (connection == nullptr || simRequestErrorFlag.load())
        return true;
    if (SimConnect_RequestDataOnSimObject(connection, requestId, defineId, SIM_OBJECT_ID_USER, SIM_PERIOD_ONCE, 0, 0, 0,
                                          0) >= 0)
        return true;
    gf_logWarn(failureText);
    simRequestErrorFlag.store(true);
    return false;
}

}  // namespace

void SimClient(std::stop_token stopToken)
{
    // What the handlers remember belongs to this thread alone; a new thread starts afresh.
    gf_resetSimDispatchState();
    // Outlives the connection, which signals it until it is closed.
    SimNotifyEvent arrived;
    HANDLE connection = nullptr;
    try {
        connection = lf_connect(stopToken, arrived);
        if (connection != nullptr) {
            simConnection.store(connection);
            simConnectionPending.store(false);
            lf_defineSimData(connection);
            lf_dispatchLoop(connection, arrived, stopToken);
        }
    } catch (const vald::UserErrorException& e) {
        gf_showError(e.what());
        // The run is left to the user, but with the link closed nothing may be queued for it.
        simConnected.store(false);
    } catch (const std::exception& e) {
        gf_showError(e.what());
        lf_connectionLost();
    } catch (...) {
        gf_showError(vald::format("Exception in {}", "SimClient"));
        lf_connectionLost();
    }
    lf_endClient(connection);
}

void gf_simRequestError()
{
    gf_showStatus("SimConnect request error", true);
    simRequestErrorFlag.store(true);
    gf_requestStop(closing_reason::SIMCONNECT_ERROR, SIMCONNECT_ERROR_RESTART_SECONDS);
}

UserAircraftSnapshot gf_getUserPosition()
{
    bool asked = true;
    {
        std::lock_guard<std::mutex> lock(simSendMutex);
        asked = lf_requestUserData(SIM_REQUEST_USER_POSITION, SIM_DEFINE_USER_POSITION,
                                   "SimConnect request user ac position fails");
    }
    if (!asked)
        gf_simRequestError();
    return gf_userSnapshot();
}

void gf_requestUserTitleModel()
{
    bool asked = true;
    {
        std::lock_guard<std::mutex> lock(simSendMutex);
        asked = lf_requestUserData(SIM_REQUEST_USER_TITLE, SIM_DEFINE_USER_TITLE, "SimConnect request user ac title fails") &&
                lf_requestUserData(SIM_REQUEST_USER_MODEL, SIM_DEFINE_USER_MODEL, "SimConnect reques user ac model fails");
    }
    if (!asked)
        gf_simRequestError();
}
