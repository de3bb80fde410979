#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/run_state.hpp"
#include "liveries/scan_workers.hpp"

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

}  // namespace
