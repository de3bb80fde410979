// Turns of a taxi track (midpoint, curve or straight by the angle), leaving a stand forwards or
// backwards, the push-back turn, the last leg onto the stand and the take-off detection.
#include <gtest/gtest.h>

#include "engine/stand_approach.hpp"
#include "foundation/parameters.hpp"
#include "tests/engine/ground_stage.hpp"

namespace corv_test {
namespace {

class GroundMovement : public GroundTest {
protected:
    void TearDown() override
    {
        STRAIGHT_PBS_ONLY.setValue(false);
        GroundTest::TearDown();
    }

    // Taxiing north for legMetres at 15 kt, then turning by turnDeg for another 40 m.
    LiveAircraft& turning(double legMetres, double turnDeg)
    {
        LiveAircraft& aircraft = onGround(0x484010, "KLM10", northOf(0.0), 0.0);
        const LatLon corner = northOf(legMetres);
        const LatLon after = gf_destinationPoint(corner, turnDeg * DEG_TO_RAD, 40.0 / METRES_PER_NM * FEET_PER_NM);
        const Tick legTicks = std::llround(legMetres / METRES_PER_NM * TICKS_PER_HOUR / 15.0);
        aircraft.track.front().groundSpeed = 15.0;
        aircraft.track.push_back(pointAt(corner, 15.0, legTicks));
        aircraft.track.push_back(pointAt(after, 15.0, legTicks + 600));
        return aircraft;
    }

    LiveAircraft& parkedOnStandFacingNorth(const Stand& stand)
    {
        LiveAircraft& aircraft = onGround(0x484011, "KLM11", LatLon{stand.lat, stand.lon}, 0.0);
        aircraft.standNumber = stand.number;
        aircraft.standLat = stand.lat;
        aircraft.standLon = stand.lon;
        aircraft.standHeading = stand.heading;
        aircraft.setPhase(FlightPhase::parked);
        aircraft.leaveStand = true;
        return aircraft;
    }
};

TEST_F(GroundMovement, TurnsAreSplitCurvedOrDrivenStraightByTheirAngle)
{
    struct Case {
        double legMetres;
        double turnDeg;
        std::size_t points;  // after the ground step
        bool curve;
    };
    for (const Case& c : {Case{200.0, 90.0, 4, false}, Case{30.0, 90.0, 2, true}, Case{200.0, 40.0, 2, true},
                          Case{200.0, 2.0, 3, false}, Case{30.0, 170.0, 3, false}}) {
        freshEngine();
        LiveAircraft& aircraft = turning(c.legMetres, c.turnDeg);
        nextPosGround(aircraft);
        EXPECT_EQ(aircraft.track.size(), c.points) << c.legMetres << " m, " << c.turnDeg << " deg";
        EXPECT_EQ(gf_curveRunning(aircraft), c.curve) << c.legMetres << " m, " << c.turnDeg << " deg";
        if (c.curve) {
            EXPECT_NEAR(aircraft.curveAngle, c.turnDeg, 0.5);
        }
        if (c.points == 4) {
            EXPECT_NEAR(gf_distanceNm(LatLon{aircraft.track[1].lat, aircraft.track[1].lon}, northOf(100.0)), 0.0, 1e-6);
        }
    }
}

TEST_F(GroundMovement, AStandExitAtRightAnglesIsAPushBackAndAheadIsAPullOut)
{
    Stand& stand = addStand("A1", 100.0, 30.0);
    LiveAircraft& abeam = parkedOnStandFacingNorth(stand);
    abeam.track.push_back(pointAt(eastOf(LatLon{stand.lat, stand.lon}, 60.0), 1.0, 500));
    nextPosGround(abeam);
    EXPECT_EQ(abeam.phase, FlightPhase::pushing_back);
    EXPECT_EQ(abeam.pushBackState, 2U);

    freshEngine();
    LiveAircraft& ahead = parkedOnStandFacingNorth(stand);
    ahead.track.push_back(pointAt(northOf(160.0), 1.0, 500));
    nextPosGround(ahead);
    EXPECT_EQ(ahead.phase, FlightPhase::taxi);
    EXPECT_FALSE(ahead.leaveStand);
    ASSERT_EQ(ahead.track.size(), 2U);
    // Two half spans ahead of the stand, at push speed.
    EXPECT_NEAR(gf_distanceNm(LatLon{stand.lat, stand.lon}, LatLon{ahead.track[1].lat, ahead.track[1].lon}),
                2.0 * ahead.halfSpan, 1e-6);
    EXPECT_EQ(ahead.track[1].groundSpeed, 4.0);
    EXPECT_EQ(eventsSent(ENGINE_AUTO_START), 1U);
}

TEST_F(GroundMovement, PushBackGoesStraightBackThenTurnsToTheLearnedSideUnlessStraightOnly)
{
    Stand& stand = addStand("B1", 100.0, 30.0);
    for (const bool straightOnly : {false, true}) {
        freshEngine();
        STRAIGHT_PBS_ONLY.setValue(straightOnly);
        LiveAircraft& aircraft = parkedOnStandFacingNorth(stand);
        aircraft.track.push_back(pointAt(northOf(80.0), 1.0, 500));
        nextPosGround(aircraft);
        ASSERT_EQ(aircraft.track.size(), 4U);
        const LatLon behind = northOf(100.0 - 75.0);
        const TrackPoint& a = aircraft.track[2];
        EXPECT_NEAR(gf_distanceNm(behind, LatLon{a.lat, a.lon}) * METRES_PER_NM, 0.0, 0.05);
        const TrackPoint& c = aircraft.track[3];
        EXPECT_GT(c.lon, a.lon) << "the stored end swings the tail east";
        EXPECT_LT(aircraft.alternativeEnd.lon, a.lon) << "the alternative end swings it west";
        EXPECT_NEAR(gf_distanceNm(LatLon{a.lat, a.lon}, LatLon{c.lat, c.lon}), aircraft.halfSpan, 1e-6);

        // At the midpoint the aircraft has learned it turns right.
        aircraft.track.pop_front();
        aircraft.simPosition.lat = aircraft.track.front().lat;
        aircraft.pushBackRight = true;
        nextPosGround(aircraft);
        EXPECT_EQ(gf_curveRunning(aircraft), !straightOnly);
        ASSERT_EQ(aircraft.track.size(), 2U);
        const double endLon = aircraft.track.back().lon;
        EXPECT_DOUBLE_EQ(endLon, straightOnly ? a.lon : aircraft.alternativeEnd.lon);
    }
}

TEST_F(GroundMovement, TheLastLegEndsStandingOnTheStandWithItsHeading)
{
    LiveAircraft& aircraft = onGround(0x484012, "KLM12", northOf(0.0), 0.0);
    aircraft.holding = 1;
    aircraft.trackEndWait = 1;
    drive2Stand(aircraft, Stand::Place{northOf(40.0).lat, northOf(40.0).lon, 1.0});
    ASSERT_EQ(aircraft.track.size(), 3U);
    const TrackPoint& onStand = aircraft.track[1];
    const TrackPoint& standing = aircraft.track[2];
    // 40 m at 4 kt.
    EXPECT_EQ(onStand.playTick, std::llround(40.0 / METRES_PER_NM * TICKS_PER_HOUR / 4.0));
    EXPECT_FALSE(onStand.stationary);
    EXPECT_TRUE(standing.stationary);
    EXPECT_EQ(standing.playTick, onStand.playTick + 50);
    EXPECT_EQ(standing.groundSpeed, 0.0);
    EXPECT_DOUBLE_EQ(aircraft.courseToNext, 1.0);
    EXPECT_EQ(aircraft.holding, 0U);
    EXPECT_EQ(aircraft.trackEndWait, 0);

    aircraft.track.clear();
    drive2Stand(aircraft, Stand::Place{});
    EXPECT_TRUE(aircraft.track.empty());
}

TEST_F(GroundMovement, ADepartureTakesOffOnlyWhenTheTrackAheadIsFastEnough)
{
    for (const double ahead : {120.0, 150.0}) {
        freshEngine();
        LiveAircraft& aircraft = onGround(0x484013, "KLM13", northOf(0.0), 0.0);
        aircraft.departing = true;
        aircraft.maxClimbStep = 0.6;
        aircraft.track.front().groundSpeed = 100.0;
        TrackPoint climbing = pointAt(northOf(1000.0), ahead, 2000);
        climbing.airborne = true;
        climbing.altitude = 200.0;
        aircraft.track.push_back(climbing);
        lf_planGroundSegment(aircraft);
        EXPECT_EQ(aircraft.phase == FlightPhase::take_off, ahead >= 140.0) << ahead;
        EXPECT_EQ(aircraft.throttleStep, 4U);
    }
}

}  // namespace
}  // namespace corv_test
