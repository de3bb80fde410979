#pragma once
// The end of every run, on the worker thread: the run is torn down and, by its closing reason,
// a new run is started in the same process (WM_APP+1), the program waits for the user and
// quits, or quits at once (WM_APP+2). Whoever wants a run to end only records a stop request
// with its reason (gf_requestStop, first reason wins); the worker notices it and ends here.
#include <chrono>
#include <cstdint>

// How long the closing waits for each reader thread, and for the simulator client thread when
// the program ends.
inline constexpr std::chrono::milliseconds READER_END_LIMIT{10000};
inline constexpr std::chrono::milliseconds SIM_CLIENT_END_LIMIT{3000};
// A new flight ends the program this long after it was announced.
inline constexpr std::chrono::seconds NEW_FLIGHT_CLOSE_DELAY{10};
// In production mode nobody is there to close the window after a system error: the program ends
// with this code instead.
inline constexpr std::int32_t PRODUCTION_FAILURE_EXIT_CODE = 1;

// Tears the run down and posts WM_APP+1 (restart) or WM_APP+2 (quit). The post always happens,
// also when a step fails (it then quits).
void lf_closingDown();
// "Restarting after {} second{}" once a second for restartDelaySeconds; ends early when the user
// closes the window. True when it ran to its end.
[[nodiscard]] bool lf_restartCountdown();
// Everything a new run in this process must find as at the program's start. Answers whether the
// user closed the window while the run was being closed (that close is then not lost: the
// caller ends the program).
[[nodiscard]] bool lf_resetSessionState();
// TIME_SHIFT_DAYS, TIME_SHIFT_HOURS and TIME_SHIFT_MINS := 0, each saved.
void lf_resetTimeShiftParams();

// At the program's end: when a reader, the simulator client thread or a scan task outlived its
// bounded wait,
// the log is flushed and the process leaves at once with exitCode (std::quick_exit), so that no
// static object is destroyed under a thread that still uses it. Returns when every thread ended.
void gf_leaveIfThreadsRemain(int exitCode);

// The simulator client lost its connection: the run ends with SIM WAS CLOSED (first reason wins).
void gf_simNoLongerConnected();
