// The main loop on a simulated clock: the per-second step on each user-aircraft report, the
// paused state, the 15/16/61-second steps, the two parking phases, the 20-minute countdown,
// the 1200-second and daily maintenance, the automatic range, and the 10 ms pacing.
#include <gtest/gtest.h>

#include "app/commands.hpp"
#include "app/message_lines.hpp"
#include "parking/static_planning.hpp"
#include "simlink/simlink_hooks.hpp"
#include "simlink/user_stand.hpp"
#include "tests/app/run_test_support.hpp"

namespace corv_test {
namespace {

using namespace std::chrono_literals;

void lf_setUser(bool onGround, double altitudeFt)
{
    UserAircraftSnapshot user;
    user.latitude = 52.3;
    user.longitude = 4.76;
    user.altitude = altitudeFt;
    gf_setUserSnapshot(user);
    userOnGround = onGround;
}

class RunScheduleTest : public RunTest {
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        gf_setScheduledCallsForTest(ScheduledCalls{[this](bool) { parkChecks_.push_back(secondCounter.load()); },
                                                   [this](bool force) { adjustments_.push_back(force); },
                                                   [this] { unmatchedLogs_.push_back(secondCounter.load()); },
                                                   [this] { return rebuildPending_; }, [this] { ++summaries_; },
                                                   [this] { ++parkedRetries_; },
                                                   [this] { parkedAsks_.push_back(secondCounter.load()); }});
        simConnected = true;
        lf_setUser(false, 30000.0);  // high above everything: no collision rule fires
    }
    void TearDown() override
    {
        gf_resetCommandsForTest();
        gf_resetStaticPlanningForTest();
        RunTest::TearDown();
    }
    // One report of the user aircraft, as the simulator sends it once a second.
    static bool report()
    {
        newUserDatum = true;
        return lf_cycleStep();
    }
    static void reportUntil(int second)
    {
        while (secondCounter.load() < second)
            ASSERT_TRUE(report());
    }
    static void openParkAirport()
    {
        parkAirportOpen = true;
        vald::gf_updateDisplay([](vald::StatusDisplayValues& v) { v.standCount = 12; }, vald::HEADER_BAND);
    }

    bool rebuildPending_ = false;
    std::vector<int> parkChecks_;
    std::vector<bool> adjustments_;
    std::vector<int> unmatchedLogs_;
    int summaries_ = 0;
    int parkedRetries_ = 0;
    std::vector<int> parkedAsks_;
    SimulatedRunClock clock_;
};

TEST_F(RunScheduleTest, SecondsCountOnReportsOnlyAndAPauseClosesTheIntakeUntilTheFlightResumes)
{
    EXPECT_TRUE(lf_cycleStep());
    EXPECT_TRUE(report());
    EXPECT_TRUE(report());
    EXPECT_EQ(secondCounter.load(), 2);
    EXPECT_EQ(tickCounter.load(), 3) << "the engine ticks every cycle";

    lf_setBufferedIntake(true);
    simPaused = true;
    EXPECT_TRUE(report());
    EXPECT_EQ(secondCounter.load(), 2) << "a paused flight does not count";
    EXPECT_EQ(tickCounter.load(), 3) << "nor run the engine";
    EXPECT_FALSE(intakeOpen);
    simPaused = false;
    EXPECT_TRUE(report());
    EXPECT_EQ(secondCounter.load(), 3);
    EXPECT_TRUE(intakeOpen);

    gf_requestStop(closing_reason::SIM_WAS_CLOSED, 0);
    EXPECT_TRUE(lf_cycleStep()) << "between reports the tick goes on";
    EXPECT_FALSE(report()) << "the next report ends the loop";
}

TEST_F(RunScheduleTest, TheSixteenAndSixtyOneSecondStepsAndReReadAtFifteen)
{
    addLive(40001, "KLM123", SimState::active).identity.registration = "PH-BXA";
    addStatic(1, "KLM123*", SimState::adding2sim);
    addStatic(2, "KLM123*", SimState::active);
    addStatic(3, "TRA456*", SimState::active).identity.registration = "PH-BXA";
    reReadRequested = true;
    reportUntil(14);
    EXPECT_TRUE(reReadRequested.load());
    reportUntil(15);
    EXPECT_FALSE(reReadRequested.load()) << "served every 15 s";

    reportUntil(60);
    EXPECT_EQ(staticAircraft[1].state, SimState::active);
    reportUntil(61);
    EXPECT_EQ(staticAircraft[0].state, SimState::adding2sim) << "a copy not in the simulator is passed over";
    EXPECT_EQ(staticAircraft[1].state, SimState::removingfromsim) << "the static copy of a live on the ground";
    EXPECT_EQ(staticAircraft[2].state, SimState::active) << "one per 61 s";
    reportUntil(112);
    EXPECT_EQ(parkChecks_, (std::vector<int>{16, 32, 48, 64, 80, 96, 112}));
    parkingPhase = true;
    reportUntil(122);
    EXPECT_EQ(parkChecks_.size(), 7U) << "no check during a parking update";
    EXPECT_EQ(staticAircraft[2].state, SimState::removingfromsim) << "the same registration is a copy too";
    parkingPhase = false;
    rebuildPending_ = true;
    reportUntil(125);
    EXPECT_EQ(parkChecks_, (std::vector<int>{16, 32, 48, 64, 80, 96, 112, 123, 124, 125}))
        << "each second while a rebuild waits for its park file";
}

TEST_F(RunScheduleTest, AParkingUpdateRunsInTwoPhasesFifteenSecondsApart)
{
    openParkAirport();
    reportUntil(3);
    parkingUpdateRequested = true;
    parkingForce = true;
    reportUntil(15);
    EXPECT_TRUE(parkingPhase.load());
    EXPECT_TRUE(controlsLocked.load());
    EXPECT_TRUE(adjustments_.empty());
    gf_showError("old error");
    reportUntil(30);
    EXPECT_EQ(adjustments_, std::vector<bool>{true});
    EXPECT_EQ(parkedAsks_, std::vector<int>{15}) << "the parked traffic asked for in the first phase";
    EXPECT_FALSE(parkingForce.load());
    EXPECT_FALSE(parkingUpdateRequested.load());
    EXPECT_EQ(gf_messageLines().errorText, "");

    parkAirportOpen = false;
    parkingUpdateRequested = true;
    parkingPhase = false;
    reportUntil(60);
    EXPECT_EQ(adjustments_.size(), 1U) << "no adjustment without a park airport";
    EXPECT_FALSE(parkingUpdateRequested.load());
}

TEST_F(RunScheduleTest, TheTwentyMinuteCountdownAndTheMaintenanceOf1200SecondsAndOfADay)
{
    openParkAirport();
    std::vector<std::int32_t> painted;
    for (int minute = 1; minute <= 20; ++minute) {
        reportUntil(minute * 60);
        painted.push_back(vald::gf_displaySnapshot().paintedCountdown);
        if (minute == 19) {
            EXPECT_FALSE(parkingUpdateRequested.load());
        }
    }
    EXPECT_EQ(painted, (std::vector<std::int32_t>{19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2,
                                                  1, 20}));
    EXPECT_TRUE(parkingUpdateRequested.load()) << "announced after twenty minutes";
    EXPECT_EQ(unmatchedLogs_, std::vector<int>{1200});

    secondCounter = 86399;
    ASSERT_TRUE(report());
    EXPECT_EQ(secondCounter.load(), 0) << "a day later the seconds start again";
    EXPECT_EQ(summaries_, 1);
}

// Only the initial load wanted: its failed parked-traffic fetch is tried again, nothing adjusted.
TEST_F(RunScheduleTest, WithOnlyTheInitialLoadAFailedParkedFetchIsTriedAgainWithoutAnAdjustment)
{
    openParkAirport();
    INITIAL_LOAD_ONLY.setValue(true);
    gf_setParkedTrafficSource([](std::vector<ParkedTrafficRecord>&) { return false; });
    ASSERT_FALSE(lf_fetchParkedOrRetry());
    reportUntil(120);
    EXPECT_EQ(parkedRetries_, 1);
    EXPECT_TRUE(adjustments_.empty());
}

TEST_F(RunScheduleTest, AutoRangeFollowsTheGroundTheHeightAndTheNearestParkAirport)
{
    lf_setUser(true, 0.0);
    gf_autoRange();
    EXPECT_EQ(RANGE.value(), 10);
    lf_setUser(false, AR_ABOVE_HEIGHT.value() + 1.0);
    gf_autoRange();
    EXPECT_EQ(RANGE.value(), 100);
    lf_setUser(false, 1000.0);
    for (const auto& [distance, range] : std::vector<std::pair<double, std::int32_t>>{{7.0, 10}, {20.4, 25}, {37.0, 40}}) {
        gf_parkAirports() = {ParkAirport{"EHAM", "", 52.3, 4.76, distance}};
        gf_autoRange();
        EXPECT_EQ(RANGE.value(), range) << distance;
    }
    gf_parkAirports().clear();
    RANGE.setValue(10);
    gf_autoRange();
    EXPECT_EQ(RANGE.value(), 40) << "no park airport";
}

// The loop runs without reports, one engine tick a cycle, until endAfter sleeps were made.
class MainLoopPacingTest : public RunScheduleTest {
protected:
    std::vector<SteadyDuration> runLoop(SteadyDuration firstTickIn, int endAfter, std::function<void(int)> atSleep)
    {
        int count = 0;
        clock_.onSleep = [&] {
            atSleep(++count);
            if (count == endAfter) {
                newUserDatum = true;
                userClosing = true;
            }
        };
        lf_mainLoop(clock_.now() + firstTickIn);
        clock_.onSleep = nullptr;
        return clock_.sleeps();
    }
};

TEST_F(MainLoopPacingTest, CyclesKeepATenMillisecondGridAndCatchUpAnOverrunWithoutSkippingTicks)
{
    const auto sleeps = runLoop(10ms, 8, [this](int sleep) {
        if (sleep == 3)
            clock_.advance(25ms);  // the next cycle's work takes 25 ms
    });
    EXPECT_EQ(sleeps, (std::vector<SteadyDuration>{10ms, 10ms, 10ms, 5ms, 10ms, 10ms, 10ms, 10ms}));
    EXPECT_EQ(tickCounter.load(), 11) << "two cycles without sleep, none skipped";
}

TEST_F(MainLoopPacingTest, AUserReportReAlignsTheDeadlineAndLessThanAMillisecondIsNotSlept)
{
    const auto sleeps = runLoop(900us, 2, [this](int sleep) {
        if (sleep == 1) {
            clock_.advance(35ms);
            newUserDatum = true;
        }
    });
    EXPECT_EQ(sleeps, (std::vector<SteadyDuration>{10900us, 10ms})) << "no backlog after the report";
    EXPECT_EQ(secondCounter.load(), 2);
}

}  // namespace
}  // namespace corv_test

namespace corv_test {
namespace {

// The simulator client only posts stand look-ups; the worker's cycle serves them, paused or not.
TEST_F(RunScheduleTest, TheCycleServesTheStandLookUpsThatTheSimulatorClientPosted)
{
    std::vector<std::string> remembered;
    gf_setSimlinkHooks(SimlinkHooks{{}, {}, [](const LatLon&) { return std::string("D7"); },
                                    [&remembered](const std::string& stand) { remembered.push_back(stand); }});
    lf_setUser(true, 0.0);
    userOnGroundKnown = true;
    simPaused = true;
    lf_postUserStandLookup();
    lf_postLearnUserStand();
    EXPECT_EQ(gf_userStandName(), "") << "nothing is looked up on the client thread";
    EXPECT_TRUE(lf_cycleStep());
    EXPECT_EQ(gf_userStandName(), "D7");
    EXPECT_EQ(remembered, std::vector<std::string>{"D7"});
    gf_resetSimlinkHooks();
    gf_resetUserStand();
}

}  // namespace
}  // namespace corv_test
