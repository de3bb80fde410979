// Play-out ticks of a received batch and its hand-over into the intake.
#include "tests/engine/engine_test_support.hpp"

namespace {

using corv_test::EngineTest;

class ScheduleTest : public EngineTest {};

LiveTrafficRecord record(std::uint32_t hexId, double dataTime)
{
    LiveTrafficRecord r;
    r.hexId = hexId;
    r.dataTime = dataTime;
    return r;
}

TEST_F(ScheduleTest, PointsPlayInTenthsOfASecondAroundTheMedian)
{
    tickCounter.store(500);
    std::vector<LiveTrafficRecord> batch{record(20001, 1000.0), record(20002, 998.75), record(20003, 1000.33),
                                         record(20004, 1000.05), record(20005, 1000.0)};
    lf_setBufferedIntake(true);
    lf_scheduleReceived(batch, 30);
    EXPECT_TRUE(batch.empty());

    std::lock_guard<std::mutex> lock(intakeMutex);
    ASSERT_EQ(intake.size(), 5u);
    const std::uint32_t base = 30 * 100 + 500;
    EXPECT_EQ(intake[0].playTick, base);
    EXPECT_EQ(intake[1].playTick, base - 120);
    EXPECT_EQ(intake[2].playTick, base + 30);
    EXPECT_EQ(intake[3].playTick, base) << "0.05 s off the median plays at the median's tick";
    EXPECT_EQ(intake[4].playTick, base);
}

TEST_F(ScheduleTest, SingleRecordPlaysAtTheBaseTick)
{
    tickCounter.store(7);
    std::vector<LiveTrafficRecord> batch{record(20001, 1234.5)};
    lf_setBufferedIntake(true);
    lf_scheduleReceived(batch, 30);
    std::lock_guard<std::mutex> lock(intakeMutex);
    ASSERT_EQ(intake.size(), 1u);
    EXPECT_EQ(intake[0].playTick, 3007u);
}

TEST_F(ScheduleTest, PointDueBeforeTheFirstTickIsDueAtOnce)
{
    std::vector<LiveTrafficRecord> batch{record(20001, 990.0), record(20002, 1000.0), record(20003, 1000.0)};
    lf_setBufferedIntake(true);
    lf_scheduleReceived(batch, 30);
    batch = {record(20001, 950.0), record(20002, 1000.0), record(20003, 1000.0)};
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        EXPECT_EQ(intake[0].playTick, 2000u);
        intake.clear();
    }
    lf_scheduleReceived(batch, 30);
    std::lock_guard<std::mutex> lock(intakeMutex);
    EXPECT_EQ(intake[0].playTick, 0u);
}

TEST_F(ScheduleTest, LiveBatchIsLostWhileThePreviousOneWaitsOrTheIntakeIsClosed)
{
    std::vector<LiveTrafficRecord> closedBatch{record(1, 1.0)};
    lf_scheduleReceived(closedBatch, 30);
    EXPECT_TRUE(closedBatch.empty());
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        EXPECT_TRUE(intake.empty());
    }

    lf_setBufferedIntake(true);
    std::vector<LiveTrafficRecord> first{record(11, 1.0), record(12, 1.0)};
    lf_scheduleReceived(first, 30);
    std::vector<LiveTrafficRecord> second{record(21, 2.0)};
    lf_scheduleReceived(second, 30);
    EXPECT_TRUE(second.empty());
    std::lock_guard<std::mutex> lock(intakeMutex);
    ASSERT_EQ(intake.size(), 2u);
    EXPECT_EQ(intake[0].hexId, 11u);
}

TEST_F(ScheduleTest, HistoryBatchNeverEntersTheIntake)
{
    lf_setBufferedIntake(true);
    std::vector<LiveTrafficRecord> batch{record(11, 1.0)};
    lf_scheduleReceived(batch, 12);
    EXPECT_TRUE(batch.empty());
    std::lock_guard<std::mutex> lock(intakeMutex);
    EXPECT_TRUE(intake.empty());
}

TEST_F(ScheduleTest, EachTickTakesAtMostTwoRecordsFromTheBackOfTheIntake)
{
    lf_setBufferedIntake(true);
    std::vector<LiveTrafficRecord> batch{record(1, 1.0), record(2, 1.0), record(3, 1.0)};
    lf_scheduleReceived(batch, 30);
    lf_handleAddingStack();
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        ASSERT_EQ(intake.size(), 1u);
        EXPECT_EQ(intake[0].hexId, 1u);
    }
    lf_handleAddingStack();
    std::lock_guard<std::mutex> lock(intakeMutex);
    EXPECT_TRUE(intake.empty());
}

}  // namespace
