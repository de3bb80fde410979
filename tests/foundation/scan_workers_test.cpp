#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/run_state.hpp"
#include "foundation/scan_pool.hpp"
#include "foundation/scan_workers.hpp"

namespace {

TEST(ScanWorkersTest, NeverMoreTasksThanTheLimitAndEverySlotComesBack)
{
    stopRequested.store(false);
    gf_setScanWorkerLimit(2);
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    std::vector<std::thread> tasks;
    for (int i = 0; i < 16; ++i) {
        auto slot = gf_waitForWorkerSlot();
        ASSERT_TRUE(slot.has_value());
        tasks.emplace_back([held = std::move(*slot), &running, &most]() mutable {
            const int now = running.fetch_add(1) + 1;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::yield();
            running.fetch_sub(1);
            ScanWorkerSlot done = std::move(held);
        });
    }
    for (auto& task : tasks)
        task.join();
    EXPECT_LE(most.load(), 2);
    EXPECT_EQ(scanWorkerCount.load(), 0);
}

TEST(ScanWorkersTest, AStopEndsTheWaitAndAZeroLimitStillAllowsOneTask)
{
    stopRequested.store(false);
    gf_setScanWorkerLimit(0);
    EXPECT_EQ(scanWorkerLimit.load(), 1);
    auto first = gf_waitForWorkerSlot();
    ASSERT_TRUE(first.has_value());
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stopRequested.store(true);
    });
    EXPECT_FALSE(gf_waitForWorkerSlot().has_value());
    stopper.join();
    stopRequested.store(false);
    first.reset();
    EXPECT_EQ(scanWorkerCount.load(), 0);
}

// A task an earlier scan left running keeps its slot when the next scan sets the limit; a closing
// ends the wait for a slot.
TEST(ScanWorkersTest, SettingTheLimitKeepsTheSlotsStillHeld)
{
    gf_setScanWorkerLimit(1);
    auto held = gf_waitForWorkerSlot();
    gf_setScanWorkerLimit(1);
    EXPECT_EQ(scanWorkerCount.load(), 1);
    userClosing.store(true);
    EXPECT_FALSE(gf_waitForWorkerSlot().has_value());
    userClosing.store(false);
    held.reset();
    gf_workerDone();  // a stray call frees nothing
    EXPECT_EQ(scanWorkerCount.load(), 0);
}

// A task given up by its waiter learns it is abandoned; what is still queued at finish never runs.
TEST(ScanWorkersTest, AGivenUpTaskIsAbandonedAndTheQueueIsDroppedAtFinish)
{
    gf_setScanWorkerLimit(1);
    gf_setScanTaskWaitForTest(std::chrono::milliseconds(100));
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto abandoned = std::make_shared<std::atomic<int>>(-1);
    auto secondRan = std::make_shared<std::atomic<bool>>(false);
    {
        ScanPool pool;
        const ScanPool::Ticket first = pool.submit([release, abandoned] {
            while (!release->load())
                std::this_thread::yield();
            abandoned->store(gf_scanTaskAbandoned() ? 1 : 0);
        });
        ASSERT_TRUE(pool.submit([secondRan] { secondRan->store(true); }));
        std::string failure;
        EXPECT_EQ(pool.wait(first, failure), ScanPool::Outcome::timedOut);
    }
    gf_setScanTaskWaitForTest(std::chrono::seconds(10));
    release->store(true);
    while (scanWorkerCount.load() != 0 || abandoned->load() < 0)
        std::this_thread::yield();
    EXPECT_EQ(abandoned->load(), 1);
    EXPECT_FALSE(secondRan->load());
    EXPECT_FALSE(gf_scanTaskAbandoned());
}

}  // namespace
