#include "foundation/clock.hpp"

#include <ctime>
#include <thread>

#include "foundation/hook_store.hpp"

namespace {

Clock lf_realClock()
{
    Clock clock;
    clock.steadyNow = [] { return std::chrono::steady_clock::now(); };
    clock.utcSecondsNow = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
    clock.sleepFor = [](SteadyDuration duration) { std::this_thread::sleep_for(duration); };
    return clock;
}

HookStore<Clock>& lf_store()
{
    static HookStore<Clock> store(&lf_realClock);
    return store;
}

}  // namespace

SteadyTime gf_steadyNow() { return lf_store().get()->steadyNow(); }

std::int64_t gf_realUtcSeconds() { return lf_store().get()->utcSecondsNow(); }

void gf_sleepFor(SteadyDuration duration)
{
    if (duration > SteadyDuration::zero())
        lf_store().get()->sleepFor(duration);
}

void gf_sleepUntil(SteadyTime deadline) { gf_sleepFor(deadline - gf_steadyNow()); }

void gf_setClockForTest(Clock clock)
{
    lf_store().update([&clock](Clock& current) {
        const Clock real = lf_realClock();
        current = real;
        gf_takeHook(current.steadyNow, clock.steadyNow);
        gf_takeHook(current.utcSecondsNow, clock.utcSecondsNow);
        gf_takeHook(current.sleepFor, clock.sleepFor);
    });
}

void gf_resetClockForTest() { lf_store().reset(); }
