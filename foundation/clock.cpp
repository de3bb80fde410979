#include "foundation/clock.hpp"

#include <ctime>
#include <thread>

#include "foundation/hook_store.hpp"

namespace {

Clock lf_realClock()
{
    Clock clock;
    clock.steadyNow = [] { return std::chrono::steady_clock::now(); };
    clock.utcNow = [] { return static_cast<UtcSeconds>(std::time(nullptr)); };
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

UtcSeconds gf_realUtcNow() { return lf_store().get()->utcNow(); }

void gf_sleepFor(SteadyDuration duration)
{
    if (duration > SteadyDuration::zero())
        lf_store().get()->sleepFor(duration);
}

void gf_sleepUntil(SteadyTime deadline) { gf_sleepFor(deadline - gf_steadyNow()); }

void gf_setClockForTest(Clock clock)
{
    lf_store().update([&clock](Clock& current) {
        gf_takeHook(current.steadyNow, clock.steadyNow);
        gf_takeHook(current.utcNow, clock.utcNow);
        gf_takeHook(current.sleepFor, clock.sleepFor);
    });
}

void gf_setUtcNowForTest(std::function<UtcSeconds()> utcNow)
{
    Clock clock;
    clock.utcNow = std::move(utcNow);
    gf_setClockForTest(std::move(clock));
}

void gf_resetClockForTest() { lf_store().reset(); }
