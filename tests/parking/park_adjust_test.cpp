#include <gtest/gtest.h>

#include <algorithm>

#include "engine/ghosts.hpp"
#include "foundation/format.hpp"
#include "parking/park_adjust.hpp"
#include "tests/parking/static_test_support.hpp"

namespace {

using corv_test::weekOption;
using corv_test::weekSlot;

class ParkAdjustTest : public corv_test::StaticParkingTest {
protected:
    static bool removalQueued(std::uint32_t objectId)
    {
        return std::find(removalQueue.begin(), removalQueue.end(), objectId) != removalQueue.end();
    }
};

// A static from parked traffic whose aircraft now flies live goes; one whose record is still
// parked on its stand stays, and its record brings no second aircraft.
TEST_F(ParkAdjustTest, StaticsFromParkedTrafficFollowTheService)
{
    RT_PARKTRAFFIC_ONLY.setValue(true);
    addStand("S1", 0);
    addStand("S2", 2);
    StaticAircraft& flying = activeStatic("KLM1234*", 1, 0, 71);
    flying.sourceKey = 0x484506;
    StaticAircraft& staying = activeStatic("KLM2*", 2, 0, 72);
    staying.sourceKey = 0x400002;
    parked = {parkedAt(0x400002, "KLM2", 2, 1)};
    lf_startStaticCalculation();
    seenLive("484506", "KLM1234");
    lf_adjustParking(false);

    EXPECT_EQ(flying.state, SimState::removingfromsim);
    EXPECT_TRUE(removalQueued(71));
    EXPECT_EQ(staying.state, SimState::active);
    EXPECT_FALSE(removalQueued(72));
    EXPECT_TRUE(parkPositions.empty()) << "the kept static stands for its record";
    ASSERT_EQ(keptStatics.size(), 1u);
    EXPECT_EQ(keptStatics[0].callsign, "KLM2*");
}

// Parked aircraft without a registration are not one aircraft: a static from parked traffic
// keeps its stand while its own record is parked there, whatever other record without a
// registration comes first.
TEST_F(ParkAdjustTest, AStaticWithoutRegistrationIsNotTakenForAnotherAircraftWithout)
{
    RT_PARKTRAFFIC_ONLY.setValue(true);
    addStand("S1", 0);
    addStand("S2", 2);
    StaticAircraft& staying = activeStatic("KLM2*", 2, 0, 72);
    staying.sourceKey = 0x400002;
    parked = {parkedAt(0x400009, "DLH9", 0, 1), parkedAt(0x400002, "KLM2", 2, 1)};
    lf_startStaticCalculation();
    lf_adjustParking(false);

    EXPECT_EQ(staying.state, SimState::active) << "not removed to be planned again on the same stand";
    EXPECT_FALSE(removalQueued(72));
    ASSERT_EQ(parkPositions.size(), 1u);
    EXPECT_EQ(parkPositions[0].callsign, "DLH9");
}

// At 00:30 a week static whose flight was seen at 23:00 the evening before is still in the
// window of four half-hours; one seen at 20:00 is not.
TEST_F(ParkAdjustTest, TheWindowReachesAcrossMidnight)
{
    addStand("S1", 0);
    const StaticAircraft& s = activeStatic("KLM5*", 1, 1, 80);
    const StandOption lateSunday = weekOption("KLM5", 7, {46});
    const StandOption eveningSunday = weekOption("KLM5", 7, {40});
    const std::uint64_t mondayHalfPast = weekSlot(1, 1);
    EXPECT_FALSE(gf_optionSeenToday(lateSunday, s, mondayHalfPast, 4));
    EXPECT_TRUE(gf_optionSeenWrapped(lateSunday, s, mondayHalfPast, 4));
    EXPECT_FALSE(gf_optionSeenWrapped(eveningSunday, s, mondayHalfPast, 4));
    EXPECT_TRUE(gf_optionSeenToday(weekOption("KLM5", 1, {0}), s, mondayHalfPast, 4));
    StandOption otherType = lateSunday;
    otherType.type = "B738";
    EXPECT_FALSE(gf_optionSeenWrapped(otherType, s, mondayHalfPast, 4));
}

// New positions go first, then the kept statics parked earliest; the parked live aircraft
// count but stay.
TEST_F(ParkAdjustTest, TheTrimKeepsTheWantedCountWithTheFewestRemovals)
{
    for (int i = 0; i < 8; ++i)
        addStand(vald::format("S{}", i), 2 * i);  // "literal" + std::string: a false -Wrestrict of GCC 12
    for (std::uint32_t i = 0; i < 5; ++i)
        keptStatics.push_back(KeptStatic{vald::format("K{}*", i), "", "", "", "KLM", "A320", weekSlot(1, 20 - i),
                                         i + 1, 0});
    parkedLiveList = {{"L1", 0, 6, 10}, {"L2", 0, 7, 20}};
    for (std::uint32_t stand : {7u, 8u}) {
        ParkPosition p;
        p.standNumber = stand;
        parkPositions.push_back(p);
        lf_markPlanned(parkStands[stand - 1]);
    }
    lf_trimParkingToWanted(5);
    EXPECT_TRUE(parkPositions.empty());
    EXPECT_EQ(standsMarkedPlanned(), 0u) << "the dropped positions' stands are free";
    EXPECT_EQ(keptStatics.size(), 3u);
    ASSERT_EQ(parkRemovals.size(), 2u);
    EXPECT_EQ(parkRemovals[0].callsign, "K4*") << "the earliest parked goes first";
    EXPECT_EQ(parkRemovals[1].callsign, "K3*");
    EXPECT_EQ(parkedLiveList.size(), 2u);
}

// A kept week static whose coupled flight leaves after this half-hour is replaced by that
// flight, which has stood there since the static came.
TEST_F(ParkAdjustTest, ADepartingWeekStaticIsReplacedWithTheTimeItHasStood)
{
    addStand("S1", 0, {weekOption("KLM11", 1, {20})});
    StaticAircraft& s = activeStatic("KLM11*", 1, 1, 90);
    s.identity.callsign2 = "KLM10";
    s.identity.callsign3 = "KLM11";
    s.parkedSlot = weekSlot(1, 14);
    lf_adjustParking(false);

    ASSERT_EQ(parkPositions.size(), 1u);
    const ParkPosition& p = parkPositions[0];
    EXPECT_EQ(p.callsign, "KLM10");
    EXPECT_EQ(p.secondCallsign, "KLM11");
    EXPECT_EQ(p.preferCallsign, 0);
    EXPECT_EQ(p.age, 6u) << "half-hours since 07:00, not the half-hour it parked in";
    EXPECT_TRUE(removalQueued(90));
    EXPECT_TRUE(keptStatics.empty());
}

// A full reset takes every week static off before planning anew.
TEST_F(ParkAdjustTest, AFullResetRemovesEveryWeekStatic)
{
    addStand("S1", 0, {weekOption("KLM11", 1, {20})});
    addStand("S2", 2);
    activeStatic("KLM11*", 1, 1, 91);
    activeStatic("KLM12*", 2, 0, 92);
    lf_adjustParking(true);  // the service has no parked aircraft now
    EXPECT_TRUE(removalQueued(91));
    EXPECT_TRUE(removalQueued(92)) << "its parked record is gone";
    EXPECT_TRUE(keptStatics.empty());
}

}  // namespace
