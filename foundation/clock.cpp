#include "foundation/clock.hpp"

#include <algorithm>
#include <ctime>
#include <thread>

#include "foundation/hook_store.hpp"

namespace {

void lf_realSleepFor(SteadyDuration duration) { std::this_thread::sleep_for(duration); }

Clock lf_realClock()
{
    Clock clock;
    clock.steadyNow = [] { return std::chrono::steady_clock::now(); };
    clock.utcNow = [] { return static_cast<UtcSeconds>(std::time(nullptr)); };
    clock.sleepFor = &lf_realSleepFor;
    return clock;
}

HookStore<Clock>& lf_store()
{
    static HookStore<Clock> store(&lf_realClock);
    return store;
}

bool lf_sleepsForReal(const Clock& clock)
{
    const auto* target = clock.sleepFor.target<void (*)(SteadyDuration)>();
    return target != nullptr && *target == &lf_realSleepFor;
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

void gf_sleepForUnlessStopped(SteadyDuration duration, const std::atomic<bool>& stop, SteadyDuration pollStep)
{
    if (stop.load() || duration <= SteadyDuration::zero())
        return;
    const std::shared_ptr<const Clock> clock = lf_store().get();
    if (!lf_sleepsForReal(*clock)) {
        clock->sleepFor(duration);
        return;
    }
    // A real sleep is measured on the real steady clock, even when a test replaced the time it reads.
    const SteadyDuration step = std::max<SteadyDuration>(pollStep, std::chrono::milliseconds(1));
    const SteadyTime deadline = std::chrono::steady_clock::now() + duration;
    for (SteadyTime now = std::chrono::steady_clock::now(); now < deadline && !stop.load();
         now = std::chrono::steady_clock::now())
        std::this_thread::sleep_until(std::min(deadline, now + step));
}

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
