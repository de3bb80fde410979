#include <gtest/gtest.h>

#include "engine/removal.hpp"
#include "engine/sim_results.hpp"
#include "engine/static_parking_step.hpp"
#include "liveries/matching_summary.hpp"
#include "tests/parking/static_test_support.hpp"
#include "tests/support/waiting_creations.hpp"

namespace {

using corv_test::weekSlot;

class StaticStepTest : public corv_test::StaticParkingTest {
protected:
    static ParkPosition position(std::uint32_t stand, const std::string& callsign, std::uint32_t age = 0)
    {
        ParkPosition p;
        p.sourceKey = 0x400000 + stand;
        p.sourceFlag = 0;
        p.standNumber = stand;
        p.age = age;
        p.airline = "KLM";
        p.type = "A320";
        p.callsign = callsign;
        return p;
    }
};

// The plan is taken from the back, one position per step; a position next to a parked live
// aircraft is dropped and the step after it takes the next one.
TEST_F(StaticStepTest, PositionsBecomeStaticsOneAtATimeAndNeighboursRefuse)
{
    Stand& a = addStand("A1", 0);
    Stand& b = addStand("A2", 1);
    addStand("A3", 2);
    makeAdjacent(a, b);
    LiveAircraft& live = liveAircraft.emplace_back(TrackPoint{}, AircraftInstance{}, 0.0);
    live.identity.callsign = "DLH4";
    live.phase = FlightPhase::parked;
    live.standNumber = 1;
    parkPositions = {position(3, ""), position(2, "KLM55_")};

    lf_parkStaticNext();
    EXPECT_TRUE(staticAircraft.empty()) << "the live neighbour refuses stand 2";
    EXPECT_EQ(parkPositions.size(), 1u);
    EXPECT_TRUE(lf_plannedParkPositionsRemain());

    lf_parkStaticNext();
    ASSERT_EQ(staticAircraft.size(), 1u);
    const StaticAircraft& made = staticAircraft.front();
    // Numbered from 1: the simulator answers hexid 0 for "none".
    EXPECT_EQ(made.hexid, 1u);
    EXPECT_EQ(made.identity.callsign, "KLM1*") << "an empty callsign takes airline and number";
    EXPECT_EQ(made.standNumber, 3u);
    EXPECT_EQ(made.state, SimState::adding2sim);
    EXPECT_EQ(made.liveryTitle, "KLM 320");
    EXPECT_EQ(made.sourceKey, 0x400003u);
    ASSERT_EQ(staticCreationQueue.size(), 1u);
    const CreationRequest& request = staticCreationQueue.front();
    EXPECT_EQ(request.hexid, 1u);
    EXPECT_EQ(request.tailNumber, "KLM1*");
    EXPECT_EQ(std::string(request.liveryTitle), "KLM 320");
    EXPECT_NEAR(request.position.heading, 0.5 * RAD_TO_DEG, 1e-9);
    EXPECT_EQ(request.position.onGround, 1u);
    EXPECT_FALSE(lf_plannedParkPositionsRemain());

    // A static on the stand refuses the next plan for it, whatever its state.
    parkPositions = {position(3, "KLM77")};
    lf_parkStaticNext();
    EXPECT_EQ(staticAircraft.size(), 1u);
    EXPECT_TRUE(parkPositions.empty());
}

// A static whose creation was given up unanswered comes back at the next step, under its number,
// not at the next parking update; a late answer is its aircraft until its creation goes out again.
TEST_F(StaticStepTest, AStaticGivenUpIsMadeAgainAtTheNextStepAndALateAnswerIsItsAircraftUntilItIsSentAgain)
{
    const auto result = [](std::uint32_t kind, std::uint32_t hexid, std::uint32_t objectId = 0) {
        gf_pushSimResult(SimResult{objectId, hexid, 0, kind, CREATION_NOT_ANSWERED, 0.0});
        lf_processSimResults();
    };
    for (int place = 0; place < 4; ++place)
        addStand(std::to_string(place), place * 5);
    parkPositions = {position(4, "KLM4"), position(3, "KLM3"), position(2, "KLM2"), position(1, "KLM1")};
    for (int step = 0; step < 4; ++step)
        lf_parkStaticNext();
    staticCreationQueue.clear();  // all four with the simulator
    for (const std::uint32_t hexid : {2u, 1u, 3u})
        result(SIM_RESULT_CREATION_FAILED, hexid);
    EXPECT_EQ(staticAircraft.size(), 1u);
    EXPECT_TRUE(lf_plannedParkPositionsRemain()) << "with the plan used up";
    result(SIM_RESULT_LATE_CREATED, 3, 63);  // before it is made again
    lf_parkStaticNext();
    staticCreationQueue.clear();  // KLM2's second creation goes out
    lf_parkStaticNext();
    ASSERT_EQ(staticCreationQueue.size(), 1u);
    EXPECT_FALSE(lf_plannedParkPositionsRemain());
    result(SIM_RESULT_LATE_CREATED, 1, 61);  // its creation waits: taken back
    result(SIM_RESULT_LATE_CREATED, 2, 62);  // sent again: one too many
    EXPECT_TRUE(staticCreationQueue.empty());
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{62}));
    for (int tick = 0; tick <= CREATION_DELAY_TICKS; ++tick)
        lf_processSimResults();
    for (const StaticAircraft& parked : staticAircraft)
        EXPECT_EQ(parked.objectId, parked.hexid % 2 == 0 ? 0 : 60 + parked.hexid) << parked.hexid;

    // Flushed while it waits to be made again, it stays away and its late answer is removed.
    result(SIM_RESULT_CREATION_FAILED, 4);
    lf_sweepStaticAircraft();
    result(SIM_RESULT_LATE_CREATED, 4, 64);
    EXPECT_EQ(removalQueue.back(), 64u);
    // Given up again while an earlier creation is unanswered, a static waits for an answer; one for
    // want of room lets it come back, one that refuses its title makes it wait for the next update.
    const auto step = [](std::uint32_t kind, double why, double sendId) {
        staticCreationQueue.clear();  // what was queued has gone to the simulator
        gf_pushSimResult(SimResult{0, 5, 0, kind, why, sendId});
        lf_processSimResults();
        lf_parkStaticNext();
        return staticCreationQueue.size();
    };
    addStand("5", 25);
    parkPositions = {position(5, "KLM5")};
    lf_parkStaticNext();
    EXPECT_EQ(step(SIM_RESULT_CREATION_FAILED, CREATION_NOT_ANSWERED, 1), 1u) << "given up once: made again";
    EXPECT_EQ(step(SIM_RESULT_CREATION_FAILED, CREATION_NOT_ANSWERED, 2), 0u);
    EXPECT_EQ(step(SIM_RESULT_LATE_REFUSED, CREATION_SIMULATOR_FULL, 2), 1u);
    EXPECT_EQ(step(SIM_RESULT_CREATION_FAILED, CREATION_NOT_ANSWERED, 3), 0u);
    EXPECT_EQ(step(SIM_RESULT_LATE_REFUSED, CREATION_TITLE_REFUSED, 1), 0u);
    EXPECT_TRUE(gf_isRefusedLivery("KLM 320"));
    EXPECT_FALSE(lf_plannedParkPositionsRemain());
}

TEST_F(StaticStepTest, CallsignsEndInAStarAndTheCounterWrapsPastZero)
{
    EXPECT_EQ(lf_staticCallsign("ABC123__"), "ABC123*");
    EXPECT_EQ(lf_staticCallsign("ABC123*"), "ABC123*");
    ParkPosition p = position(1, "KLM10");
    p.secondCallsign = "KLM11";
    EXPECT_EQ(lf_detcs(p), "KLM10*");
    p.preferCallsign = 0;
    EXPECT_EQ(lf_detcs(p), "KLM11*");
    p.secondCallsign.clear();
    EXPECT_EQ(lf_detcs(p), "KLM10*") << "the other form when the preferred one is empty";
    p.callsign.clear();
    EXPECT_EQ(lf_detcs(p), "");

    addStand("A1", 0);
    addStand("A2", 5);
    staticCounter = STATIC_NUMBER_LIMIT - 1;
    parkPositions = {position(2, "KLM8"), position(1, "KLM9")};
    lf_parkStaticNext();
    lf_parkStaticNext();
    ASSERT_EQ(staticAircraft.size(), 2u);
    EXPECT_EQ(staticAircraft[0].hexid, STATIC_NUMBER_LIMIT);
    EXPECT_EQ(staticAircraft[1].hexid, 1u) << "after 9999 comes 1, never 0";
}

// Parked ages reach most of a week: the parked slot is counted back modulo the week.
TEST_F(StaticStepTest, TheParkedSlotStepsBackAcrossDaysAndTheWeek)
{
    EXPECT_EQ(gf_weekSlotMinus(weekSlot(1, 1), 3), weekSlot(7, 46));
    EXPECT_EQ(gf_weekSlotMinus(weekSlot(1, 1), 335), weekSlot(1, 2));
    EXPECT_EQ(gf_weekSlotMinus(weekSlot(3, 20), 100), weekSlot(1, 16));
    EXPECT_EQ(gf_halfHoursSince(weekSlot(7, 46), weekSlot(1, 1)), 3u);
    EXPECT_EQ(gf_halfHoursSince(weekSlot(1, 14), weekSlot(1, 20)), 6u);

    addStand("A1", 0);
    addStand("A2", 5);
    parkPositions = {position(2, "KLM2", 300), position(1, "KLM1", 3)};
    lf_parkStaticNext();
    lf_parkStaticNext();
    ASSERT_EQ(staticAircraft.size(), 2u);
    EXPECT_EQ(staticAircraft[0].parkedSlot, weekSlot(1, 17));  // Monday 10:05 is half-hour 20
    EXPECT_EQ(staticAircraft[1].parkedSlot, weekSlot(2, 8));   // 300 half-hours back: last Tuesday 04:00
}

TEST_F(StaticStepTest, TheWantedCountFollowsStandsPercentageAndLimit)
{
    for (int i = 0; i < 3; ++i)
        addStand("A" + std::to_string(i), i);
    parking_percentage.setValue(40);
    EXPECT_EQ(lf_wantedParkCount(), 1);
    addStand("A3", 3);
    EXPECT_EQ(lf_wantedParkCount(), 2) << "round(1.6)";
    EXPECT_EQ(vald::gf_displaySnapshot().wantedParkCount, 2);
    EXPECT_EQ(vald::gf_displaySnapshot().wantedParkPercent, 50);
    CUSTOM_PARKING_PERCENTAGE.setValue(100);
    EXPECT_EQ(lf_wantedParkCount(), 4);
    MAX_PARK_SEL.setValue(1);
    EXPECT_EQ(lf_wantedParkCount(), 1);
    EXPECT_EQ(wantedParkCount, 1);
    MAX_PARK_SEL.setValue(0);
    EXPECT_EQ(lf_wantedParkCount(), 0);
    EXPECT_EQ(wantedParkCount, 0);
}

}  // namespace
