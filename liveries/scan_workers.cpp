#include "liveries/scan_workers.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "foundation/run_state.hpp"

std::atomic<std::int32_t> scanWorkerLimit{1};
std::atomic<std::int32_t> scanWorkerCount{0};

namespace {

std::mutex slotMutex;
std::condition_variable slotFreed;

}  // namespace

ScanWorkerSlot& ScanWorkerSlot::operator=(ScanWorkerSlot&& other) noexcept
{
    if (this != &other) {
        if (held_)
            gf_workerDone();
        held_ = other.held_;
        other.held_ = false;
    }
    return *this;
}

ScanWorkerSlot::~ScanWorkerSlot()
{
    if (held_)
        gf_workerDone();
}

void gf_setScanWorkerLimit(std::int32_t limit)
{
    std::lock_guard<std::mutex> lock(slotMutex);
    scanWorkerLimit.store(std::max<std::int32_t>(1, limit));
    scanWorkerCount.store(0);
}

std::optional<ScanWorkerSlot> gf_waitForWorkerSlot()
{
    std::unique_lock<std::mutex> lock(slotMutex);
    while (scanWorkerCount.load() >= scanWorkerLimit.load()) {
        if (stopRequested.load())
            return std::nullopt;
        slotFreed.wait_for(lock, std::chrono::milliseconds(50));
    }
    scanWorkerCount.fetch_add(1);
    return ScanWorkerSlot(true);
}

void gf_workerDone()
{
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        scanWorkerCount.fetch_sub(1);
    }
    slotFreed.notify_one();
}
