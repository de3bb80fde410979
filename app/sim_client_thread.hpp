#pragma once
// The one thread object of the simulator client ("SimClient"). Each run starts a new thread;
// a previous one is asked to stop and joined first. The closing asks it to stop; when the
// program ends, the closing waits a bounded time for it.
#include <chrono>
#include <functional>
#include <stop_token>

// Starts the client thread, after the previous one (if any) was asked to stop and joined.
// Throws std::system_error when the thread cannot be created.
void gf_startSimClientThread();
// Asks the running client thread to stop (nothing without one).
void gf_requestSimClientStop();
// Asks the thread to stop and waits up to limit (run clock, 100 ms steps) for it to end; then
// it is joined, or, when it is still running, left to end on its own with a warning. True when
// it ended (or there was none).
bool gf_finishSimClientThread(std::chrono::milliseconds limit);

// Test only: the thread procedure (nullptr: the real simulator client).
void gf_setSimClientProcedureForTest(std::function<void(std::stop_token)> procedure);
