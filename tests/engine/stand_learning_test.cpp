// Learning which half-hours of the week a flight uses a stand: filling the half-hours of a stay,
// starting anew after a gap, carrying a stay across midnight, respecting the park file, and the
// soft learning at the end of a track.
#include <gtest/gtest.h>

#include "engine/engine_hooks.hpp"
#include "engine/stand_learning.hpp"
#include "foundation/parameters.hpp"
#include "tests/engine/ground_stage.hpp"

namespace corv_test {
namespace {

class StandLearningTest : public GroundTest {
protected:
    void TearDown() override
    {
        LEARN_SOFT.setValue(false);
        GroundTest::TearDown();
    }

    static std::uint64_t weekSlot(std::uint32_t day, std::uint32_t slot)
    {
        return gf_weekSlotValue(WeekdayAndSlot{static_cast<int>(day), static_cast<int>(slot)});
    }

    LiveAircraft& flightOf(const std::string& type)
    {
        LiveAircraft& aircraft = onGround(0x484030, "KLM30", northOf(0.0), 0.0, type);
        aircraft.identity.callsign = "KLM30_";
        return aircraft;
    }
};

TEST_F(StandLearningTest, AStayOverThreeHalfHoursIsOneOptionAndAGapBeyondTheWindowStartsANewOne)
{
    Stand& stand = addStand("G1", 100.0, 40.0);
    const LiveAircraft& heavy = flightOf("B744");
    for (std::uint32_t slot : {20U, 21U, 22U})
        EXPECT_TRUE(lt_addStandOption(StandLearning::real, stand.number, heavy, weekSlot(3, slot)));
    ASSERT_EQ(stand.options.size(), 1U);
    const StandOption& stay = stand.options[0];
    EXPECT_EQ(stay.halfHours, (1ULL << 20) | (1ULL << 21) | (1ULL << 22));
    EXPECT_EQ(stay.registration, "PH-30");
    EXPECT_EQ(stay.callsign, "KLM30");
    EXPECT_EQ(stay.day, 3U);
    EXPECT_EQ(stay.origin, 0U);

    // Seen again 3 hours later: within a Heavy's window of 8 half-hours the gap is filled.
    EXPECT_TRUE(lt_addStandOption(StandLearning::real, stand.number, heavy, weekSlot(3, 28)));
    ASSERT_EQ(stand.options.size(), 1U);
    EXPECT_EQ(stand.options[0].halfHours, 0x1FF00000ULL);  // 20..28
    // Four hours after that it is a new stay.
    EXPECT_TRUE(lt_addStandOption(StandLearning::real, stand.number, heavy, weekSlot(3, 36)));
    ASSERT_EQ(stand.options.size(), 2U);
    EXPECT_EQ(stand.options[1].halfHours, 1ULL << 36);
    EXPECT_EQ(stand.options[1].number, 2U);
}

TEST_F(StandLearningTest, AStayAcrossMidnightMarksBothDays)
{
    Stand& stand = addStand("G2", 100.0, 40.0);
    const LiveAircraft& aircraft = flightOf("A320");
    EXPECT_TRUE(lt_addStandOption(StandLearning::real, stand.number, aircraft, weekSlot(7, 46)));
    EXPECT_TRUE(lt_addStandOption(StandLearning::real, stand.number, aircraft, weekSlot(1, 1)));
    ASSERT_EQ(stand.options.size(), 2U);
    EXPECT_EQ(stand.options[0].day, 7U);
    EXPECT_EQ(stand.options[0].halfHours, (1ULL << 46) | (1ULL << 47));
    EXPECT_EQ(stand.options[1].day, 1U);
    EXPECT_EQ(stand.options[1].halfHours, 0x3ULL);
    EXPECT_EQ(stand.realFlights.at(aircraft.hexid).optionNumber, 2U);
}

TEST_F(StandLearningTest, AFileOptionForTodayOutsideTheHalfHourBlocksLearning)
{
    Stand& stand = addStand("G3", 100.0, 40.0);
    StandOption fromFile = optionFor("KLM30", "", 3, 1ULL << 10);
    fromFile.registration = "PH-30";
    fromFile.origin = 1;
    stand.options.push_back(fromFile);
    const LiveAircraft& aircraft = flightOf("A320");
    const std::int32_t before = learnedUpdateCount;
    EXPECT_FALSE(lt_addStandOption(StandLearning::real, stand.number, aircraft, weekSlot(3, 20)));
    EXPECT_EQ(stand.options.size(), 1U);
    EXPECT_EQ(learnedUpdateCount, before);
    EXPECT_TRUE(lt_addStandOption(StandLearning::real, stand.number, aircraft, weekSlot(4, 20))) << "another day";
    EXPECT_FALSE(lt_addStandOption(StandLearning::real, 99, aircraft, weekSlot(4, 20))) << "no such stand";
}

TEST_F(StandLearningTest, SlotsGoBackAcrossMidnightAndNeighboursMatch)
{
    EXPECT_EQ(gf_slotsBackwards(3, weekSlot(2, 1)), (std::vector<std::int32_t>{1, 0, 47}));
    StandOption option = optionFor("KLM30", "", 2, 1ULL << 47);
    option.registration = "PH-30";
    EXPECT_TRUE(gf_optionMatchesNow(2, 0, "PH-30", option));
    EXPECT_TRUE(gf_optionMatchesNow(2, 46, "PH-30", option));
    EXPECT_FALSE(gf_optionMatchesNow(2, 45, "PH-30", option));
    EXPECT_FALSE(gf_optionMatchesNow(3, 47, "PH-30", option));

    StaticAircraft& parked = addStatic(7, "KLM31", SimState::active);
    EXPECT_FALSE(lf_staticHasOption(option, "PH-30"));
    parked.identity.callsign2 = "KLM30";
    EXPECT_TRUE(lf_staticHasOption(option, "PH-99"));

    std::vector<StandOption> options{option};
    EXPECT_FALSE(updateOptions(options, {5, 48}, 1)) << "a half-hour outside the day";
    EXPECT_FALSE(updateOptions(options, {5}, 7)) << "no such option";
}

TEST_F(StandLearningTest, StandUseIsSpacedByThreeHalfHoursAndOldUsesAreForgotten)
{
    EXPECT_TRUE(lf_noteStandUse(weekSlot(2, 46), 0x484030, false));
    EXPECT_FALSE(lf_noteStandUse(weekSlot(2, 47), 0x484030, false));
    EXPECT_FALSE(lf_noteStandUse(weekSlot(3, 0), 0x484030, false));
    EXPECT_TRUE(lf_noteStandUse(weekSlot(3, 1), 0x484030, false));
    EXPECT_TRUE(lf_noteStandUse(weekSlot(3, 2), 0x484030, true));
    // Uses too old to hold anything off are dropped as others come: the list stays short.
    EXPECT_TRUE(lf_noteStandUse(weekSlot(3, 3), 0x484031, false));
    EXPECT_TRUE(lf_noteStandUse(weekSlot(3, 6), 0x484032, false));
    EXPECT_EQ(standUseList.size(), 1U);
    lf_resetTraffic();
    EXPECT_TRUE(standUseList.empty());
}

TEST_F(StandLearningTest, AnAircraftEndingItsTrackNearTheAirportLearnsAFreeStandSoftly)
{
    Stand& stand = addStand("G4", 100.0, 40.0);
    EngineHooks park;
    park.parkAirport = [] { return ParkAirportSnapshot{"EHAM", northOf(0.0), -11.0}; };
    gf_setEngineHooks(park);
    LiveAircraft& aircraft = flightOf("A320");

    lf_endTrack(aircraft);
    EXPECT_TRUE(stand.options.empty()) << "soft learning is off";

    freshEngine();
    LEARN_SOFT.setValue(true);
    park.softLearningAllowed = [] { return true; };
    gf_setEngineHooks(std::move(park));
    LiveAircraft& again = flightOf("A320");
    lf_endTrack(again);
    EXPECT_EQ(again.state, SimState::removingfromsim);
    ASSERT_EQ(stand.options.size(), 1U);
    EXPECT_EQ(stand.options[0].real, 0U);
    EXPECT_EQ(stand.options[0].halfHours, 1ULL << 44);
    ASSERT_EQ(standUseList.size(), 1U);
    EXPECT_EQ(standUseList[0].second, 44U);
}

}  // namespace
}  // namespace corv_test
