// The end of a live aircraft's track: holding on the taxiway, dead reckoning, arrival at an
// occupied stand, and what a parked aircraft's received positions mean.
#include <gtest/gtest.h>

#include "engine/data_clock.hpp"
#include "engine/stand_claims.hpp"
#include "foundation/parameters.hpp"
#include "tests/engine/ground_stage.hpp"

namespace corv_test {
namespace {

class TrackEnd : public GroundTest {
protected:
    LiveAircraft& parkedOn(Stand& stand, const std::string& type = "A320")
    {
        LiveAircraft& aircraft = onGround(0x484020, "KLM20", LatLon{stand.lat, stand.lon}, 0.0, type);
        aircraft.standNumber = stand.number;
        aircraft.standLat = stand.lat;
        aircraft.standLon = stand.lon;
        aircraft.setPhase(FlightPhase::parking);
        EXPECT_TRUE(lf_trackEndStep(aircraft));
        EXPECT_EQ(aircraft.phase, FlightPhase::parked);
        return aircraft;
    }

    // Keeps only the front point, as when the aircraft has reached the end of its track.
    static void reachTrackEnd(LiveAircraft& aircraft)
    {
        while (aircraft.track.size() > 1)
            aircraft.track.pop_front();
        tickCounter.store(aircraft.track.front().playTick);
    }
};

TEST_F(TrackEnd, ATaxiingAircraftHoldsForTheHoldingLimitThenIsRemoved)
{
    LiveAircraft& aircraft = onGround(0x484021, "KLM21", northOf(0.0), 0.0);
    Tick holds = 0;
    while (lf_trackEndStep(aircraft) && holds < 1000) {
        ++holds;
        ASSERT_EQ(aircraft.track.size(), 2U);
        EXPECT_TRUE(aircraft.track.back().stationary);
        EXPECT_EQ(aircraft.track.back().playTick - aircraft.track.front().playTick, HOLD_STEP_TICKS);
        reachTrackEnd(aircraft);
    }
    // 20 minutes of 3-second holds, and the one that finds the limit passed.
    EXPECT_EQ(holds, 20 * 60 / 3 + 1);
    EXPECT_EQ(aircraft.holding, 0U);
}

// Whatever its own data, a track that ends while the feed flows is no pause of it: one whose
// reports came 10 s before its track ended goes beside another taxiing aircraft once they ran out.
TEST_F(TrackEnd, ATaxiingAircraftTooCloseToAnotherIsRemovedAtOnce)
{
    LiveAircraft& aircraft = onGround(0x484022, "KLM22", northOf(0.0), 0.0);
    LiveAircraft& other = onGround(0x484023, "KLM23", northOf(50.0), 0.0);
    EXPECT_TRUE(lf_trackEndStep(aircraft)) << "50 m apart, two A320 do not touch";
    reachTrackEnd(aircraft);
    other.simPosition.lat = northOf(30.0).lat;
    LiveAircraft& lagging = onGround(0x484024, "KLM24", northOf(-30.0), 0.0);
    lagging.newest.dataTime = 1.0;
    lagging.newest.clockTick = gf_clockTakesReport(true);
    for (int second = 0; second < 10; ++second, tickCounter.fetch_add(TICKS_PER_SECOND))
        static_cast<void>(gf_clockTakesReport(true));
    EXPECT_TRUE(lf_trackEndStep(lagging)) << "its data still comes";
    for (int second = 0; second < 10; ++second, tickCounter.fetch_add(TICKS_PER_SECOND))
        static_cast<void>(gf_clockTakesReport(true));
    reachTrackEnd(lagging);
    EXPECT_FALSE(lf_trackEndStep(lagging)) << "its data ran out";
    // An arrival whose stand's holder went for it holds a claim there: it holds, to park, until
    // another takes the stand.
    Stand& claimed = addStand("C9", -45.0, 20.0);
    aircraft.claimedStand = claimed.number;
    EXPECT_TRUE(lf_trackEndStep(aircraft)) << "its claim on the stand holds";
    reachTrackEnd(aircraft);
    parkedOn(claimed);
    EXPECT_FALSE(lf_trackEndStep(aircraft)) << "within 1.2 times their half spans, the stand taken";
    lf_endTrack(aircraft);
    EXPECT_EQ(aircraft.state, SimState::removingfromsim);
}

TEST_F(TrackEnd, AnAirborneAircraftFliesOnForEightSlowingPoints)
{
    LiveAircraft& aircraft = onGround(0x484024, "KLM24", northOf(0.0), 0.0);
    aircraft.onGround = false;
    aircraft.setPhase(FlightPhase::flying);
    TrackPoint& front = aircraft.track.front();
    front.airborne = true;
    front.altitude = 3000.0;
    front.groundSpeed = 200.0;
    std::vector<TrackPoint> reckoned;
    while (lf_trackEndStep(aircraft)) {
        reckoned.push_back(aircraft.track.back());
        reachTrackEnd(aircraft);
    }
    ASSERT_EQ(reckoned.size(), 8U);
    double speed = 200.0;
    LatLon from = northOf(0.0);
    Tick tick = 0;
    for (const TrackPoint& point : reckoned) {
        speed *= 0.95;
        EXPECT_NEAR(point.groundSpeed, speed, 1e-9);
        EXPECT_EQ(point.playTick - tick, 800);
        // Eight seconds at the new speed along the heading (north).
        EXPECT_NEAR(gf_distanceNm(from, LatLon{point.lat, point.lon}), speed * 8.0 / 3600.0, 1e-6);
        EXPECT_DOUBLE_EQ(point.altitude, 3000.0);
        from = LatLon{point.lat, point.lon};
        tick = point.playTick;
    }
    EXPECT_EQ(aircraft.trackEndWait, -1);
}

TEST_F(TrackEnd, ArrivalAtAnOccupiedStandRemovesTheAircraftAndKeepsTheMark)
{
    Stand& stand = addStand("C1", 100.0, 30.0);
    lf_occupyStand(stand.number);
    LiveAircraft& aircraft = onGround(0x484025, "KLM25", LatLon{stand.lat, stand.lon}, 0.0);
    aircraft.standNumber = stand.number;
    aircraft.setPhase(FlightPhase::parking);
    EXPECT_FALSE(lf_trackEndStep(aircraft));
    EXPECT_EQ(aircraft.state, SimState::removingfromsim);
    EXPECT_EQ(stand.occupied, 1);
    EXPECT_TRUE(stand.options.empty());
}

// An arrival ending on a held stand takes it from a holder whose data ended, or goes; a departure holds.
TEST_F(TrackEnd, AnArrivalEndingOnAHeldStandTakesItOrGoes)
{
    Stand& held = addStand("C3", 100.0, 30.0);
    LiveAircraft& parked = parkedOn(held);
    parked.newest.clockTick = -61 * TICKS_PER_SECOND;  // its data has ended
    LiveAircraft& arrival = onGround(0x484026, "KLM26", northOf(100.5), 0.0);
    try2Park(arrival, false);
    EXPECT_EQ(parked.state, SimState::removingfromsim);
    EXPECT_EQ(arrival.standNumber, held.number);
    EXPECT_EQ(arrival.phase, FlightPhase::parking);

    Stand& other = addStand("C4", 300.0, 30.0);
    LiveAircraft& holder = onGround(0x484027, "KLM27", northOf(300.0), 0.0);
    holder.standNumber = other.number;
    holder.setPhase(FlightPhase::parked);
    lf_occupyStand(other.number);
    LiveAircraft& stopped = onGround(0x484028, "KLM28", northOf(301.0), 0.0);
    // After a pause the holder's newest report may be a minute older than the arrival's while the
    // clock has not yet said that its data ended: the arrival holds until it does. The feed has
    // just come back after a pause.
    static_cast<void>(gf_clockTakesReport(true));
    tickCounter.fetch_add(10 * TICKS_PER_SECOND);
    static_cast<void>(gf_clockTakesReport(true));
    holder.newest.dataTime = 1000.0;
    stopped.newest.dataTime = 1070.0;
    stopped.newest.clockTick = -20 * TICKS_PER_SECOND;  // its own data has run out
    EXPECT_TRUE(lf_trackEndStep(stopped)) << "the holder in doubt";
    const Tick resumed = tickCounter.load();
    for (int second = 0; second <= 61; ++second, tickCounter.fetch_add(TICKS_PER_SECOND))
        holder.newest.clockTick = gf_clockTakesReport(true);  // its reports come, a minute behind
    EXPECT_FALSE(gf_holderInDoubt(other, stopped)) << "a minute of data after the pause, the clock tells";
    tickCounter.store(resumed);
    reachTrackEnd(stopped);
    stopped.newest.dataTime = 1010.0;
    EXPECT_FALSE(lf_trackEndStep(stopped)) << "no holding on top of the parked aircraft";
    EXPECT_EQ(holder.state, SimState::active);
    LiveAircraft& departure = onGround(0x484029, "KLM29", northOf(315.0), 0.0);
    departure.previousPhase = FlightPhase::pushed_back;
    EXPECT_TRUE(lf_trackEndStep(departure)) << "15 m from the held stand's point";
    departure.simPosition.lat = northOf(325.0).lat;
    EXPECT_TRUE(lf_trackEndStep(departure)) << "25 m";
}

TEST_F(TrackEnd, AParkedAircraftDriftingAFewMetresStaysAndOneMovingOffLeaves)
{
    Stand& stand = addStand("C2", 100.0, 30.0);
    LiveAircraft& aircraft = parkedOn(stand);
    EXPECT_EQ(stand.occupied, 1);
    for (double metres : {1.0, -2.0, 2.5, 0.0, 2.0, -1.0, 2.9}) {
        TrackPoint seen = pointAt(northOf(100.0 + metres), 0.0, tickCounter.load() + 100);
        EXPECT_FALSE(lf_atStandTest(aircraft, seen)) << metres;
    }
    EXPECT_FALSE(aircraft.leaveStand);
    EXPECT_EQ(stand.occupied, 1);

    bool left = false;
    for (double metres : {6.0, 10.0, 14.0}) {
        TrackPoint seen = pointAt(northOf(100.0 + metres), 2.0, 0);
        left = lf_atStandTest(aircraft, seen);
    }
    EXPECT_TRUE(left) << "three growing distances past half a half span";
    EXPECT_TRUE(aircraft.leaveStand);
    EXPECT_EQ(aircraft.phase, FlightPhase::parked);
    EXPECT_EQ(stand.occupied, 0);

    TrackPoint far = pointAt(northOf(320.0), 2.0, 0);
    EXPECT_FALSE(lf_atStandTest(aircraft, far));
    EXPECT_EQ(aircraft.state, SimState::removingfromsim) << "a parked aircraft seen 220 m off its stand";
}

TEST_F(TrackEnd, AHeavyMovingSoonAfterLandingIsTowedLaterItLeavesOnItsOwn)
{
    for (const Tick parkedFor : {Tick{100000}, Tick{400000}}) {
        freshEngine();
        gf_resetStandRecords();
        Stand& stand = addStand("D1", 100.0, 40.0);
        LiveAircraft& aircraft = parkedOn(stand, "B744");
        aircraft.touchedDown = true;
        ASSERT_GT(aircraft.trackEndWait, 0);
        tickCounter.store(aircraft.track.front().playTick + parkedFor);
        lf_leaveStandBookkeeping(aircraft);
        EXPECT_EQ(aircraft.towed, parkedFor < 360000) << parkedFor;
        EXPECT_FALSE(aircraft.touchedDown);
        EXPECT_EQ(aircraft.trackEndWait, 0);
        EXPECT_EQ(stand.occupied, 0);
        EXPECT_EQ(stand.options.size(), 1U) << "the departure is learned";
    }
}

}  // namespace
}  // namespace corv_test
