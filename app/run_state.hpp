#pragma once
// Run state of the application shell, beside stopRequested, userClosing and the stop request
// (foundation/run_state.hpp): why a run ends, the exit code of the process and the mode given
// on the command line.
#include <atomic>
#include <cstdint>

#include "foundation/run_state.hpp"

// Why the run ends (a closing_reason code); the first reason that is set wins. This is the
// store that gf_requestStop writes.
extern std::atomic<std::uint32_t> closingReason;
// Returned by the message loop when the program quits.
extern std::atomic<std::int32_t> exitCode;
// --production: the run prepares the data files and the program then ends.
extern std::atomic<bool> productionMode;
// The parking controls are locked while a static-parking update runs.
extern std::atomic<bool> controlsLocked;

// The window was closed (close box, SIGINT, SIGTERM): the user is closing and a stop is asked
// for; the reason becomes USER CLOSED SIM unless another one was set first.
void gf_requestUserClose();

// Test only: everything back to the start values (stopRequested and userClosing included).
void gf_resetRunStateForTest();
