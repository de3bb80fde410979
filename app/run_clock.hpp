#pragma once
// The steady clock and the sleep of the worker thread (start-up holds, the run's waits, the
// 10 ms main loop, the closing's countdowns). Both can be replaced by tests, so that a schedule
// of minutes or a countdown of seconds runs at once on a simulated clock.
#include <chrono>
#include <functional>

using RunTimePoint = std::chrono::steady_clock::time_point;
using RunDuration = std::chrono::steady_clock::duration;

struct RunClock {
    std::function<RunTimePoint()> now;
    std::function<void(RunDuration)> sleepFor;
};

// The clock of the worker thread: steady_clock and this thread's sleep until replaced.
RunTimePoint gf_runNow();
void gf_runSleep(RunDuration duration);
// Sleeps until that point of the run clock (nothing when it has passed).
void gf_runSleepUntil(RunTimePoint deadline);

// Test only: a replacement for both (an empty member keeps the real one), and back to the real
// clock.
void gf_setRunClockForTest(RunClock clock);
void gf_resetRunClockForTest();
