#pragma once
// The program's one clock: the steady time that waits and time-outs are measured on, the real
// UTC time, and the sleep. Every thread reads it through these calls; a test replaces it once
// (a simulated clock on which minutes of waiting pass at once, or a fixed UTC time) and puts the
// real one back at its end.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

// Seconds since 1970-01-01 00:00 UTC.
using UtcSeconds = std::int64_t;
using SteadyTime = std::chrono::steady_clock::time_point;
using SteadyDuration = std::chrono::steady_clock::duration;

struct Clock {
    std::function<SteadyTime()> steadyNow;
    std::function<UtcSeconds()> utcNow;
    std::function<void(SteadyDuration)> sleepFor;
};

SteadyTime gf_steadyNow();
// The real UTC time (the program clock with its time shift is gf_utcNow in time_slots.hpp).
UtcSeconds gf_realUtcNow();
// Sleeps that long (nothing for a duration of zero or less).
void gf_sleepFor(SteadyDuration duration);
// Sleeps until that point of the steady clock (nothing when it has passed).
void gf_sleepUntil(SteadyTime deadline);
// Sleeps that long or until stop is set, whichever comes first (nothing when stop is set
// already). The real clock looks at stop every pollStep, so the sleep ends within pollStep of a
// stop; a clock replaced by a test receives the whole duration in one sleep.
void gf_sleepForUnlessStopped(SteadyDuration duration, const std::atomic<bool>& stop, SteadyDuration pollStep);

// Replaces the members that are not empty; the others stay as they are.
void gf_setClockForTest(Clock clock);
// Replaces the UTC time only.
void gf_setUtcNowForTest(std::function<UtcSeconds()> utcNow);
// Back to the real clock.
void gf_resetClockForTest();
