#pragma once
// The one thread object of the simulator client ("SimClient"). Each run starts a new thread;
// a previous one is asked to stop and joined first. The closing asks it to stop and waits a
// bounded time for it on every path; one that outlives that wait is left to end on its own, and
// no new client starts while it runs.
#include <chrono>
#include <functional>
#include <stop_token>

// Starts the client thread, after the previous one (if any) was asked to stop and joined. False
// (with a warning), starting nothing, while a client left to end on its own still runs. Throws
// std::system_error when the thread cannot be created.
[[nodiscard]] bool gf_startSimClientThread();
// Asks the running client thread to stop (nothing without one).
void gf_requestSimClientStop();
// Asks the thread to stop and waits up to limit (real time) for it to end; then
// it is joined, or, when it is still running, left to end on its own with a warning. True when
// it ended (or there was none).
[[nodiscard]] bool gf_finishSimClientThread(std::chrono::milliseconds limit);

// A client thread still runs (also one left to end on its own).
bool gf_simClientRunning();

// Test only: the thread procedure (nullptr: the real simulator client).
void gf_setSimClientProcedureForTest(std::function<void(std::stop_token)> procedure);
