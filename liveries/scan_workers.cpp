#include "liveries/scan_workers.hpp"

#include <chrono>
#include <thread>

std::atomic<std::int32_t> scanWorkerLimit{1};
std::atomic<std::int32_t> scanWorkerCount{0};

void gf_waitForWorkerSlot()
{
    while (scanWorkerCount.load() >= scanWorkerLimit.load())
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::microseconds(10));
}

void gf_workerDone() { scanWorkerCount.fetch_sub(1); }
