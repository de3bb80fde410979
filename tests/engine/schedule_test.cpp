// Play-out ticks of a received batch, its hand-over to the worker, and the history replayed at
// the run's first tick.
#include <thread>

#include "tests/engine/engine_test_support.hpp"

namespace {

using corv_test::EngineTest;

class ScheduleTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        knowTypes();
    }
};

LiveTrafficRecord record(std::uint32_t hexId, double dataTime, const std::string& callsign = "")
{
    LiveTrafficRecord r;
    r.hexId = hexId;
    r.dataTime = dataTime;
    r.flight.type = "A320";
    r.flight.callsign = callsign.empty() ? "X" + std::to_string(hexId) : callsign;
    r.lat = 52.0 + (dataTime - 1000.0) * 0.01;  // a moving flight: each report at another place
    r.altitudeFt = 5000.0;
    r.airborne = true;
    r.groundSpeedKt = 250.0;
    return r;
}

std::vector<LiveTrafficRecord> intakeCopy()
{
    std::lock_guard<std::mutex> lock(intakeMutex);
    return intake;
}

TEST_F(ScheduleTest, PointsPlayInTenthsOfASecondAroundTheMedian)
{
    tickCounter.store(500);
    std::vector<LiveTrafficRecord> batch{record(20001, 1000.0), record(20002, 998.75), record(20003, 1000.33),
                                         record(20004, 1000.05), record(20005, 1000.0)};
    lf_setBufferedIntake(true);
    lf_scheduleReceived(batch, TrafficBatchKind::live, 30);
    EXPECT_TRUE(batch.empty());

    const std::vector<LiveTrafficRecord> taken = intakeCopy();
    ASSERT_EQ(taken.size(), 5u);
    const Tick base = 30 * 100 + 500;
    EXPECT_EQ(taken[0].playTick, base);
    EXPECT_EQ(taken[1].playTick, base - 120);
    EXPECT_EQ(taken[2].playTick, base + 30);
    EXPECT_EQ(taken[3].playTick, base) << "0.05 s off the median plays at the median's tick";
    EXPECT_EQ(taken[4].playTick, base);

    // A batch of one plays at delay × 100 + tick exactly.
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        intake.clear();
    }
    tickCounter.store(7);
    std::vector<LiveTrafficRecord> single{record(20001, 1234.5)};
    lf_scheduleReceived(single, TrafficBatchKind::live, 30);
    ASSERT_EQ(intakeCopy().size(), 1u);
    EXPECT_EQ(intakeCopy()[0].playTick, 3007);
}

// A history point older than the run is overdue from the first tick on: its tick is negative,
// not a huge unsigned number that keeps the aircraft waiting for the whole run.
TEST_F(ScheduleTest, PointDueBeforeTheRunBeganHasANegativeTick)
{
    std::vector<LiveTrafficRecord> batch{record(30001, 990.0), record(30002, 1000.0), record(30003, 1000.0)};
    lf_scheduleReceived(batch, TrafficBatchKind::history, 0);
    lf_takeHistory();

    ASSERT_EQ(liveAircraft.size(), 3u);
    EXPECT_EQ(liveAircraft[0].track.front().playTick, -1000);
    EXPECT_LT(liveAircraft[0].track.front().playTick - 100, tickCounter.load()) << "due, lead time included";
    EXPECT_EQ(liveAircraft[1].track.front().playTick, 0);
}

// The kind of a batch is said, not guessed from its delay: a history buffer replayed 30 s late
// is still history, and a live poll is a live poll whatever its delay.
TEST_F(ScheduleTest, BatchKindDecidesWhereTheBatchGoes)
{
    lf_setBufferedIntake(true);
    std::vector<LiveTrafficRecord> history{record(60001, 10.0)};
    lf_scheduleReceived(history, TrafficBatchKind::history, 30);
    EXPECT_TRUE(intakeCopy().empty());
    std::vector<LiveTrafficRecord> live{record(60002, 10.0)};
    lf_scheduleReceived(live, TrafficBatchKind::live, 12);
    ASSERT_EQ(intakeCopy().size(), 1u);
    EXPECT_EQ(intakeCopy()[0].playTick, 1200);

    lf_handleAddingStack();
    ASSERT_EQ(liveAircraft.size(), 2u);
    EXPECT_EQ(liveAircraft[0].hexid, 60001u) << "history first";
    EXPECT_EQ(liveAircraft[0].track.front().playTick, 3000);
}

TEST_F(ScheduleTest, LiveBatchIsLostWhileThePreviousOneWaitsOrTheIntakeIsClosed)
{
    std::vector<LiveTrafficRecord> closedBatch{record(1, 1.0)};
    lf_scheduleReceived(closedBatch, TrafficBatchKind::live, 30);
    EXPECT_TRUE(closedBatch.empty());
    EXPECT_TRUE(intakeCopy().empty());

    lf_setBufferedIntake(true);
    std::vector<LiveTrafficRecord> first{record(11, 1.0), record(12, 1.0)};
    lf_scheduleReceived(first, TrafficBatchKind::live, 30);
    std::vector<LiveTrafficRecord> second{record(21, 2.0)};
    lf_scheduleReceived(second, TrafficBatchKind::live, 30);
    EXPECT_TRUE(second.empty());
    ASSERT_EQ(intakeCopy().size(), 2u);
    EXPECT_EQ(intakeCopy()[0].hexId, 11u);
}

TEST_F(ScheduleTest, EachTickTakesAtMostTwoRecordsFromTheBackOfTheIntake)
{
    lf_setBufferedIntake(true);
    std::vector<LiveTrafficRecord> batch{record(40001, 1.0), record(40002, 1.0), record(40003, 1.0)};
    lf_scheduleReceived(batch, TrafficBatchKind::live, 30);
    lf_handleAddingStack();
    ASSERT_EQ(intakeCopy().size(), 1u);
    EXPECT_EQ(intakeCopy()[0].hexId, 40001u);
    ASSERT_EQ(liveAircraft.size(), 2u);
    EXPECT_EQ(liveAircraft[0].hexid, 40003u);
    lf_handleAddingStack();
    EXPECT_TRUE(intakeCopy().empty());
    EXPECT_EQ(liveAircraft.size(), 3u);
}

// A busy sky: a poll of 2,000 aircraft is in before the next poll comes 2 s (200 ticks) later, so
// that poll is taken and not lost, and every aircraft gets its second point.
TEST_F(ScheduleTest, PollOfTwoThousandAircraftIsInBeforeTheNextPoll)
{
    constexpr std::uint32_t AIRCRAFT = 2000;
    constexpr int TICKS_BETWEEN_POLLS = 200;
    lf_setBufferedIntake(true);
    for (const double time : {1000.0, 1004.0}) {
        std::vector<LiveTrafficRecord> poll;
        for (std::uint32_t i = 0; i < AIRCRAFT; ++i)
            poll.push_back(record(70000 + i, time));
        lf_scheduleReceived(poll, TrafficBatchKind::live, 30);
        ASSERT_EQ(intakeCopy().size(), AIRCRAFT) << "the poll at " << time << " is taken, not dropped";
        int ticks = 0;
        for (; ticks < TICKS_BETWEEN_POLLS && !intakeCopy().empty(); ++ticks)
            lf_takeFromIntake();
        EXPECT_TRUE(intakeCopy().empty());
        EXPECT_LE(ticks, TICKS_BETWEEN_POLLS / 2) << "in well before the next poll";
    }
    ASSERT_EQ(liveAircraft.size(), AIRCRAFT);
    for (const LiveAircraft& aircraft : liveAircraft)
        EXPECT_EQ(aircraft.track.size(), 2u) << aircraft.hexid;
    EXPECT_EQ(gf_intakeShareOf(1), 2u) << "a small poll is still spread over ticks";
}

// The reader thread hands its history over and touches no aircraft list; the worker takes every
// batch, in order and with the ticks given on the reader, at its first tick, whether or not the
// run takes live polls yet.
TEST_F(ScheduleTest, HistoryIsHandedToTheWorkerAndTakenWholeAtTheFirstTick)
{
    lf_handleAddingStack();  // the worker owns the lists from here on
    tickCounter.store(0);
    std::thread reader([] {
        for (std::uint32_t delay : {0u, 6u, 12u, 18u, 24u}) {
            const double time = 1000.0 + delay;
            std::vector<LiveTrafficRecord> batch{record(50001, time, "KLM1"), record(50002, time + 0.5, "KLM2")};
            lf_scheduleReceived(batch, TrafficBatchKind::history, delay);
        }
    });
    reader.join();
    EXPECT_TRUE(liveAircraft.empty()) << "no aircraft is made on the reader thread";
    EXPECT_TRUE(intakeCopy().empty());

    lf_takeHistory();
    ASSERT_EQ(liveAircraft.size(), 2u);
    for (const LiveAircraft& aircraft : liveAircraft) {
        ASSERT_EQ(aircraft.track.size(), 5u);
        // The median of two is the later one: the earlier record plays half a second before it.
        const Tick offset = aircraft.hexid == 50001 ? -50 : 0;
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_EQ(aircraft.track[i].playTick, static_cast<Tick>(i) * 600 + offset);
    }
    EXPECT_DOUBLE_EQ(liveAircraft[1].recordTime, 1024.5);
}

}  // namespace
