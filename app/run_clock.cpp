#include "app/run_clock.hpp"

#include <memory>
#include <mutex>
#include <thread>

namespace {

RunClock lf_realClock()
{
    return RunClock{[] { return std::chrono::steady_clock::now(); },
                    [](RunDuration duration) { std::this_thread::sleep_for(duration); }};
}

std::mutex clockMutex;
std::shared_ptr<const RunClock> currentClock = std::make_shared<const RunClock>(lf_realClock());

std::shared_ptr<const RunClock> lf_clock()
{
    std::lock_guard<std::mutex> lock(clockMutex);
    return currentClock;
}

}  // namespace

RunTimePoint gf_runNow() { return lf_clock()->now(); }

void gf_runSleep(RunDuration duration)
{
    if (duration > RunDuration::zero())
        lf_clock()->sleepFor(duration);
}

void gf_runSleepUntil(RunTimePoint deadline) { gf_runSleep(deadline - gf_runNow()); }

void gf_setRunClockForTest(RunClock clock)
{
    RunClock real = lf_realClock();
    if (!clock.now)
        clock.now = std::move(real.now);
    if (!clock.sleepFor)
        clock.sleepFor = std::move(real.sleepFor);
    std::lock_guard<std::mutex> lock(clockMutex);
    currentClock = std::make_shared<const RunClock>(std::move(clock));
}

void gf_resetRunClockForTest()
{
    std::lock_guard<std::mutex> lock(clockMutex);
    currentClock = std::make_shared<const RunClock>(lf_realClock());
}
