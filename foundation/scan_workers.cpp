#include "foundation/scan_workers.hpp"

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
    {
        std::lock_guard<std::mutex> lock(slotMutex);
        scanWorkerLimit.store(std::max<std::int32_t>(1, limit));
    }
    slotFreed.notify_all();  // a larger limit may let a waiting task in
}

std::optional<ScanWorkerSlot> gf_waitForWorkerSlot()
{
    std::unique_lock<std::mutex> lock(slotMutex);
    while (scanWorkerCount.load() >= scanWorkerLimit.load()) {
        if (gf_stopPending())
            return std::nullopt;
        slotFreed.wait_for(lock, std::chrono::milliseconds(50));
    }
    scanWorkerCount.fetch_add(1);
    return ScanWorkerSlot(true);
}

void gf_workerDone()
{
    std::lock_guard<std::mutex> lock(slotMutex);
    // Woken under the lock and counted down last: once the count shows the slot free, this thread
    // no longer touches the slots' condition (the program may be ending).
    slotFreed.notify_one();
    if (scanWorkerCount.load() > 0)  // a stray call cannot free a slot nobody holds
        scanWorkerCount.fetch_sub(1);
}
