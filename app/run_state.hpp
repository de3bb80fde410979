#pragma once
// Run state of the application shell, beside stopRequested, userClosing and the stop request
// (foundation/run_state.hpp): why a run ends, the exit code of the process, the mode given on
// the command line, and the values that one run of the worker keeps and that other threads may
// read. Every value here is an atomic or sits behind its own lock.
#include <atomic>
#include <cstdint>
#include <filesystem>

#include "foundation/run_state.hpp"

// Why the run ends (a closing_reason code); the first reason that is set wins. This is the
// store that gf_requestStop writes.
// Returned by the message loop when the program quits.
extern std::atomic<std::int32_t> exitCode;
// --production: the run prepares the data files and the program then ends.
extern std::atomic<bool> productionMode;
// The parking controls are locked while a static-parking update runs.
extern std::atomic<bool> controlsLocked;

// The closing has started a new run in this process: that run skips the update check.
extern std::atomic<bool> restartPending;
// An airport scan of this process did not complete: SCAN_AIRPORTS stays set for the next start
// of the program, but the error restarts of this process do not repeat the scan (it would only
// fail again); a restart for new settings does.
extern std::atomic<bool> airportScanHeld;
// The reference data files have been read in this process (they are read once).
extern std::atomic<bool> dataFilesRead;
// The run is paused: the simulator is not connected or its flight is paused.
extern std::atomic<bool> flightPaused;
// The first phase of a static-parking update has run; the second follows 15 s later.
extern std::atomic<bool> parkingPhase;
// gf_weekSlotValue of gf_weekdayAndSlot(), refreshed every second of the run.
extern std::atomic<std::uint64_t> currentWeekdaySlot;

// SIM_INSTALL_PATH / "Scenery", set at each data start-up, emptied by the reset of a run.
std::filesystem::path gf_stockSceneryPath();
void gf_setStockSceneryPath(const std::filesystem::path& path);

// The window was closed (close box, SIGINT, SIGTERM): the user is closing and a stop is asked
// for; the reason becomes USER CLOSED SIM unless another one was set first.
void gf_requestUserClose();

// Test only: everything back to the start values (stopRequested and userClosing included).
void gf_resetRunStateForTest();
