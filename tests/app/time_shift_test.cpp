// The time shift: its limits, its parts in the three combos, the traffic of the old time that
// the worker removes, and the program clock while it is active.
#include "foundation/clock.hpp"
#include "tests/app/commands_test_support.hpp"
#include "tests/support/waiting_creations.hpp"

#include "engine/stand_records.hpp"
#include "foundation/time_slots.hpp"

namespace {

class TimeShiftTest : public corv_test::CommandsTest {
protected:
    void TearDown() override
    {
        gf_setShiftedTimeSource(nullptr);
        gf_resetClockForTest();
        trafficReader.dataTime = 0.0;
        gf_resetStandRecords();
        CommandsTest::TearDown();
    }
    static std::optional<std::string> shown(const ComboParameter& part)
    {
        return vald::gf_controls().selectedItem(part.controlId());
    }
};

TEST_F(TimeShiftTest, AShiftIsCutToTwoWeeksAndShownInItsThreeParts)
{
    lf_setTimeShift(MAX_TIME_SHIFT_MINUTES + 1, false);
    EXPECT_EQ(trafficReader.toffset.load(), 20160);
    EXPECT_TRUE(timeShiftActive.load());
    EXPECT_EQ(shown(TIME_SHIFT_DAYS), "13");
    EXPECT_EQ(shown(TIME_SHIFT_HOURS), "23");
    EXPECT_EQ(shown(TIME_SHIFT_MINS), "0");
    EXPECT_EQ(saved("TIME_SHIFT_DAYS"), "13");
    EXPECT_EQ(status(), "Time shifted 20160 minutes");

    lf_setTimeShift(1, false);
    EXPECT_EQ(status(), "Time shifted 1 minute");
    lf_setTimeShift(-30, true);
    EXPECT_EQ(trafficReader.toffset.load(), 0) << "there is no traffic of the future";
    EXPECT_FALSE(timeShiftActive.load());
    EXPECT_EQ(status(), "Time shift = 0");

    timeShiftRemovalRequested = false;
    lf_setTimeShift(90, true);
    EXPECT_FALSE(timeShiftRemovalRequested.load()) << "a quiet shift leaves the traffic alone";
}

TEST_F(TimeShiftTest, TheWorkerRemovesTheTrafficOfTheOldTimeKeepingTheOrderOfTheRest)
{
    addLive(20001, "ACT1", SimState::active, 31);
    // Found parked on a stand, its creation still waiting: withdrawn, it leaves the stand free.
    Stand& stand = parkStands.emplace_back(std::vector<StandOption>{}, "A1", Stand::Place{52.3, 4.76, 0.0}, 20.0,
                                           false, false, false);
    stand.number = 1;
    stand.occupied = 1;
    LiveAircraft& queued = addLive(20002, "QUEUED", SimState::adding2sim);
    queued.standNumber = 1;
    queued.setPhase(FlightPhase::parked);
    liveCreationQueue.push_back(request("QUEUED", 20002));
    addLive(20003, "SENT", SimState::adding2sim);
    addLive(20004, "BUF", SimState::buffer);
    addStatic(1, "S1*", SimState::active, 41);
    secondCounter = 5;

    lf_setTimeShift(60, false);
    EXPECT_EQ(liveAircraft.size(), 4U) << "the UI thread does not touch the aircraft";
    EXPECT_EQ(liveAircraft[0].state, SimState::active);

    serveOnWorker();
    ASSERT_EQ(liveAircraft.size(), 3U);
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[1].identity.callsign, "SENT");
    EXPECT_TRUE(liveAircraft[1].removeWhenCreated) << "its creation is already with the simulator";
    EXPECT_EQ(liveAircraft[2].identity.callsign, "BUF");
    EXPECT_TRUE(liveCreationQueue.empty());
    EXPECT_EQ(parkStands[0].occupied, 0);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{31, 41}));
    // The static parking is rebuilt for the new time.
    EXPECT_TRUE(parkingUpdateRequested.load());
    EXPECT_TRUE(controlsLocked.load());
    EXPECT_EQ(status(), "Corv_P3D will update static parking in 10 seconds ...");
}

TEST_F(TimeShiftTest, TheProgramClockIsTheDataTimeOnlyWhileTheShiftIsActive)
{
    gf_registerCommands();
    gf_setUtcNowForTest([]() -> UtcSeconds { return 1'700'000'000; });
    trafficReader.dataTime = 1'600'000'000.0;
    EXPECT_EQ(gf_utcNow(), 1'700'000'000);
    lf_setTimeShift(120, true);
    EXPECT_EQ(gf_utcNow(), 1'600'000'000);
    lf_setTimeShift(0, true);
    EXPECT_EQ(gf_utcNow(), 1'700'000'000);
}

TEST_F(TimeShiftTest, SimTimeTakesTheShiftFromTheSimulatorClockAndLocksTheCombos)
{
    lf_setTimeShift(300, true);
    simUtcSeconds = 1'650'000'000;
    lastSimUtcSeconds = 5;

    EXPECT_TRUE(click(SIM_TIME));  // on
    EXPECT_EQ(lastSimUtcSeconds.load(), 0) << "the next second takes the simulator time over";
    EXPECT_FALSE(enabled(TIME_SHIFT_HOURS));
    EXPECT_EQ(trafficReader.toffset.load(), 300);

    EXPECT_TRUE(click(SIM_TIME));  // off
    EXPECT_EQ(trafficReader.toffset.load(), 0);
    EXPECT_EQ(saved("TIME_SHIFT_HOURS"), "0");
    EXPECT_EQ(lastSimUtcSeconds.load(), 1'650'000'000);
    EXPECT_TRUE(enabled(TIME_SHIFT_HOURS));
}

}  // namespace
