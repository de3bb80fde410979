#include <gtest/gtest.h>

#include <set>

#include "foundation/strings.hpp"
#include "tests/parking/static_test_support.hpp"

namespace {

using corv_test::weekOption;
using corv_test::weekSlot;

class WeekSearchTest : public corv_test::StaticParkingTest {
protected:
    void SetUp() override
    {
        StaticParkingTest::SetUp();
        lf_startWeekPlanning();
    }

    static void fill(std::int64_t wanted, std::int64_t base = 0)
    {
        lf_fillFromWeekPasses(weekSlot(1, 20), wanted, base);
    }
};

// A parked static without a registration is not the flight of every week option without one.
TEST_F(WeekSearchTest, AStaticWithoutRegistrationBlocksNoOptionWithout)
{
    addStand("NOW", 0, {weekOption("KLM1", 1, {20})});
    addStand("TAKEN", 2);
    activeStatic("DLH9*", 2, 0, 50);  // from parked traffic, no registration
    MAX_FIT.setValue(0);
    fill(1);
    EXPECT_EQ(plannedStands(), (std::vector<std::uint32_t>{1}));
}

// MAX_FIT bounds the widening; the same-day pass alone unless WEEK and PARK_SOFT allow more.
TEST_F(WeekSearchTest, PassesWidenOnlyAsFarAsAllowed)
{
    addStand("NOW", 0, {weekOption("KLM1", 1, {20})});
    addStand("EARLIER", 2, {weekOption("KLM2", 1, {17})});
    addStand("TUESDAY", 4, {weekOption("KLM3", 2, {20})});
    addStand("SOFT", 6, {weekOption("KLM4", 1, {20}, "A320", false)});

    MAX_FIT.setValue(0);
    fill(4);
    EXPECT_EQ(plannedStands(), (std::vector<std::uint32_t>{1})) << "only the current half-hour";

    parkPositions.clear();
    lf_clearStandMarks();
    MAX_FIT.setValue(3);
    fill(4);
    EXPECT_EQ(plannedStands(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(weekFitReal, 3);
    const auto earlier = std::find_if(parkPositions.begin(), parkPositions.end(),
                                      [](const ParkPosition& p) { return p.standNumber == 2; });
    ASSERT_NE(earlier, parkPositions.end());
    EXPECT_EQ(earlier->age, 3u) << "the offset of the match";
    EXPECT_EQ(earlier->sourceFlag, 1u);

    parkPositions.clear();
    lf_clearStandMarks();
    WEEK.setValue(true);
    fill(4);
    EXPECT_EQ(plannedStands(), (std::vector<std::uint32_t>{1, 2, 3})) << "WEEK: any weekday";
    EXPECT_TRUE(vald::gf_displaySnapshot().weekData);

    parkPositions.clear();
    lf_clearStandMarks();
    PARK_SOFT.setValue(true);
    fill(4);
    EXPECT_EQ(plannedStands(), (std::vector<std::uint32_t>{1, 2, 3, 4})) << "PARK_SOFT: soft options too";
    EXPECT_EQ(standsMarkedPlanned(), 4u);
}

// Stepping back from Monday 00:30 reaches Sunday's last half-hours.
TEST_F(WeekSearchTest, TheWideningWrapsIntoTheDayBefore)
{
    addStand("SUNDAY", 0, {weekOption("KLM7", 7, {46})});
    MAX_FIT.setValue(2);
    lf_fillFromWeekPasses(weekSlot(1, 1), 1, 0);
    EXPECT_TRUE(parkPositions.empty()) << "three half-hours back is beyond MAX_FIT 2";
    MAX_FIT.setValue(3);
    lf_fillFromWeekPasses(weekSlot(1, 1), 1, 0);
    ASSERT_EQ(parkPositions.size(), 1u);
    EXPECT_EQ(parkPositions[0].age, 3u);
}

// The target is reached at an offset: the earlier offsets' positions stay, the last one's batch
// gives only what is still wanted, drawn at random, and the stands it leaves out are free again.
TEST_F(WeekSearchTest, ASurplusIsDrawnFromTheLastBatchAndFreesItsStands)
{
    addStand("FIRST", 0, {weekOption("KLM1", 1, {20})});
    for (int i = 1; i <= 4; ++i)
        addStand("B" + std::to_string(i), 2 * i, {weekOption("KLM" + std::to_string(10 + i), 1, {18})});
    std::set<std::uint32_t> chosen;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        gf_seedThreadRandomEngineForTest(seed);
        parkPositions.clear();
        lf_clearStandMarks();
        lf_startWeekPlanning();
        fill(3);
        ASSERT_EQ(parkPositions.size(), 3u);
        EXPECT_EQ(parkPositions.front().standNumber, 1u) << "offset 0 comes first and stays";
        EXPECT_EQ(standsMarkedPlanned(), 3u) << "dropped positions leave their stands free";
        for (const ParkPosition& p : parkPositions)
            if (p.standNumber != 1)
                chosen.insert(p.standNumber);
    }
    EXPECT_GT(chosen.size(), 2u) << "the batch is shuffled before the surplus goes";
}

// An option whose flight is already present is set aside for this planning only: the option
// keeps its number, so the learned file still writes it when the airport closes.
TEST_F(WeekSearchTest, OptionsOfPresentFlightsAreSetAsideNotRenumbered)
{
    Stand& a = addStand("A", 0, {weekOption("KLM1", 1, {20}), weekOption("KLM2", 1, {20})});
    addStand("B", 2, {weekOption("KLM3", 1, {20}, "A320", true, "", "PH-ABC")});
    addStand("C", 4, {weekOption("KLM4", 1, {20}, "A320", true, "", "PH-ABC")});
    Stand& d = addStand("D", 6, {weekOption("KLM5", 1, {20})});
    Stand& e = addStand("E", 9, {weekOption("KLM6", 1, {20}, "B744")});
    Stand& f = addStand("F", 10);
    f.lon = e.lon + 0.0003;  // 20 m: no room beside a heavy
    makeAdjacent(e, f);
    activeStatic("KLM9*", f.number, 1, 90, "B744");
    parkingLiveCallsigns = {"KLM1_", "KLM2", "KLM5"};
    // G and H: flights of the program's own live aircraft, by callsign and by registration, that
    // the reader did not see (as at every adjustment).
    addStand("G", 12, {weekOption("KLM7", 1, {20})});
    addStand("H", 14, {weekOption("KLM8", 1, {20}, "A320", true, "", "PH-LIV")});
    addStand("J", 16, {weekOption("KLM0", 1, {20})});
    liveAircraft.emplace_back(TrackPoint{}, AircraftInstance{}, 0.0).identity.callsign = "KLM7";
    liveAircraft.back().state = SimState::active;
    liveAircraft.emplace_back(TrackPoint{}, AircraftInstance{}, 0.0).identity.registration = "PH-LIV";
    liveAircraft.back().state = SimState::adding2sim;
    liveAircraft.emplace_back(TrackPoint{}, AircraftInstance{}, 0.0).identity.callsign = "KLM0";
    fill(10);
    // A: both options fly live; B and C share a registration: one is planned; D flies live; E
    // would overlap the heavy on F; G and H fly live in the simulator or are being created.
    EXPECT_EQ(parkPositions.size(), 2u) << "and J, whose flight only waits to be shown";
    EXPECT_TRUE(parkPositions[0].standNumber == 2 || parkPositions[0].standNumber == 3);
    EXPECT_EQ(a.planned, 0);
    EXPECT_EQ(d.planned, 0);
    EXPECT_EQ(e.planned, 0);
    EXPECT_TRUE(lf_optionExcluded(a.number, 1) || lf_optionExcluded(a.number, 2));
    EXPECT_TRUE(lf_optionExcluded(d.number, 1));
    for (const Stand& stand : parkStands)
        for (std::size_t i = 0; i < stand.options.size(); ++i)
            EXPECT_EQ(stand.options[i].number, i + 1) << stand.id;
    lf_startWeekPlanning();
    EXPECT_FALSE(lf_optionExcluded(d.number, 1)) << "the next planning starts afresh";
}

// The coupled callsign is shown when the flight does not go on into the next half-hour.
TEST_F(WeekSearchTest, TheNextHalfHourDecidesWhichCallsignIsShown)
{
    addStand("STAYS", 0, {weekOption("KLM1", 1, {20, 21}, "A320", true, "KLM2")});
    addStand("LEAVES", 2, {weekOption("KLM3", 1, {20}, "A320", true, "KLM4")});
    fill(2);
    ASSERT_EQ(parkPositions.size(), 2u);
    for (const ParkPosition& p : parkPositions)
        EXPECT_EQ(p.preferCallsign, p.callsign == "KLM1" ? 1 : 0) << p.callsign;
}

}  // namespace
