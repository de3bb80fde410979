#include "app/sim_client_thread.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/log.hpp"
#include "simlink/sim_client.hpp"

namespace {

constexpr std::chrono::milliseconds WAIT_STEP{10};

std::mutex threadMutex;
std::jthread clientThread;
// Cleared by the thread itself as its last step; shared with the thread, which may outlive a
// thread object that was detached. Stays set while a detached thread still runs.
std::shared_ptr<std::atomic<bool>> clientRunning;
std::function<void(std::stop_token)> procedureForTest;

}  // namespace

bool gf_startSimClientThread()
{
    std::lock_guard<std::mutex> lock(threadMutex);
    if (clientThread.joinable()) {
        clientThread.request_stop();
        clientThread.join();
    }
    if (clientRunning && clientRunning->load()) {
        // A client left to end on its own still uses the shared simulator state.
        gf_logWarn("SimClient of the previous run is still running: no new one is started");
        return false;
    }
    std::function<void(std::stop_token)> procedure = procedureForTest ? procedureForTest : &SimClient;
    auto running = std::make_shared<std::atomic<bool>>(true);
    clientThread = std::jthread([procedure = std::move(procedure), running](std::stop_token token) {
        try {
            procedure(std::move(token));
        } catch (...) {
            // Nothing may leave a thread: that would end the process.
            gf_logWarn("Exception in SimClient");
        }
        running->store(false);
    });
    clientRunning = std::move(running);
    return true;
}

void gf_requestSimClientStop()
{
    std::lock_guard<std::mutex> lock(threadMutex);
    if (clientThread.joinable())
        clientThread.request_stop();
}

bool gf_finishSimClientThread(std::chrono::milliseconds limit)
{
    std::shared_ptr<std::atomic<bool>> running;
    {
        std::lock_guard<std::mutex> lock(threadMutex);
        if (!clientThread.joinable())
            return !(clientRunning && clientRunning->load());
        clientThread.request_stop();
        running = clientRunning;
    }
    // Real time, also under a simulated run clock: this waits for a real thread.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running->load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(WAIT_STEP);
    std::lock_guard<std::mutex> lock(threadMutex);
    if (!clientThread.joinable())
        return !running->load();
    if (running->load()) {
        gf_logWarn("SimClient did not end in time, left to end on its own");
        clientThread.detach();
        return false;
    }
    clientThread.join();
    return true;
}

bool gf_simClientRunning()
{
    std::lock_guard<std::mutex> lock(threadMutex);
    return clientRunning && clientRunning->load();
}

void gf_setSimClientProcedureForTest(std::function<void(std::stop_token)> procedure)
{
    std::lock_guard<std::mutex> lock(threadMutex);
    procedureForTest = std::move(procedure);
}
