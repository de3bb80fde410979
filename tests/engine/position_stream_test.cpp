// One live aircraft moved tick by tick without the simulator: segment timing, turns, the
// dateline and the poles, the track limits, and the take-off and touch-and-go detection.
#include <cmath>
#include <numbers>

#include "engine/aircraft_config.hpp"
#include "engine/approach_landing.hpp"
#include "engine/motion_math.hpp"
#include "engine/position_stream.hpp"
#include "engine/tick_motion.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "simlink/sim_state.hpp"
#include "tests/engine/engine_test_support.hpp"

namespace {

using corv_test::EngineTest;

constexpr std::uint32_t OBJECT_ID = 77;

TrackPoint point(double lat, double lon, Tick playTick, double altitude = 5000.0, double speed = 250.0)
{
    return corv_test::trackPointAt(lat, lon, playTick, altitude, speed);
}

class PositionStreamTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        knowTypes();
        tickCounter.store(1000);
    }
    void TearDown() override
    {
        gf_resetTouchdownWriter();
        EngineTest::TearDown();
    }

    // An active aircraft of the type at the first point, flying the given phase.
    static LiveAircraft& flying(const TrackPoint& first, const std::string& type = "A320",
                                FlightPhase phase = FlightPhase::flying)
    {
        AircraftInstance made = gf_makeAircraftInstance(flight("KLM1", type));
        made.hexid = 0x4840d6;
        made.currentTurnRate = made.turnRate;
        made.maxClimbStep = gf_categoryConstants(made.category).maxClimbStepFt;
        LiveAircraft& aircraft = liveAircraft.emplace_back(first, made, 0.0);
        aircraft.state = SimState::active;
        aircraft.objectId = OBJECT_ID;
        aircraft.phase = phase;
        aircraft.onGround = !first.airborne;
        aircraft.simPosition.lat = first.lat;
        aircraft.simPosition.lon = first.lon;
        aircraft.simPosition.altitude = first.airborne ? first.altitude : 8.0;
        aircraft.heightAboveGround = aircraft.simPosition.altitude;
        return aircraft;
    }

    // Runs the aircraft's update for a number of ticks, as the driver does.
    static void fly(LiveAircraft& aircraft, Tick ticks)
    {
        for (Tick i = 0; i < ticks; ++i) {
            static_cast<void>(updateLiveAc(aircraft));  // the tests look at the record itself
            tickCounter.store(tickCounter.load() + 1);
        }
    }

    static std::vector<QueuedClientEvent> events() { return sentToSimulator().clientEvents; }
    static bool sent(std::uint32_t eventId, std::uint32_t data)
    {
        for (const QueuedClientEvent& event : events())
            if (event.eventId == eventId && event.data == data)
                return true;
        return false;
    }
};

TEST_F(PositionStreamTest, AirborneSegmentsAreRetimedWithinTheirLimitsAndLastAtLeast25Ticks)
{
    const Tick now = tickCounter.load();
    // One nautical mile at 250 kt takes 1440 ticks.
    struct Case {
        Tick due;       // the point's own play-out tick, from now
        double nm;      // distance north
        Tick expected;  // ticks until it is reached
    };
    for (const Case& c : {Case{100000, 1.0, 100000 - 1000},  // far too early: waits for tick - early
                          Case{100, 1.0, 100 + 1000},         // far too late: hurried to tick + late
                          Case{1500, 1.0, 1440},              // on time: flown at its speed
                          Case{10, 0.0001, 25}}) {            // a tiny step still lasts 25 ticks
        liveAircraft.clear();
        tickCounter.store(now);
        LiveAircraft& aircraft = flying(point(50.0, 8.0, now));
        TrackPoint next = point(50.0 + c.nm / 60.0, 8.0, now + c.due);
        aircraft.track.push_back(next);
        fly(aircraft, 1);
        ASSERT_EQ(aircraft.track.size(), 1u);
        EXPECT_EQ(aircraft.track.front().playTick, now + c.expected) << c.due << " " << c.nm;
        fly(aircraft, c.expected - 1);
        EXPECT_NEAR(aircraft.simPosition.lat, next.lat, 1e-9) << "the point is reached at its tick";
        EXPECT_NEAR(aircraft.simPosition.lon, next.lon, 1e-9);
    }
}

TEST_F(PositionStreamTest, HeadingsTurnTheShorterWayAndStraightBehindByTheHeadingsSide)
{
    LiveAircraft& aircraft = flying(point(50.0, 8.0, 0));
    const double rate = aircraft.currentTurnRate;
    auto turned = [&aircraft](double fromDeg, double toDeg) {
        aircraft.simPosition.heading = fromDeg * DEG_TO_RAD;
        lf_turnTowards(aircraft, toDeg * DEG_TO_RAD);
        return gf_wrapPi(aircraft.simPosition.heading - fromDeg * DEG_TO_RAD);
    };
    EXPECT_NEAR(turned(10.0, 350.0), -rate, 1e-12) << "left across north";
    EXPECT_NEAR(turned(350.0, 10.0), rate, 1e-12) << "right across north";
    EXPECT_NEAR(turned(90.0, 270.0), -rate, 1e-12) << "straight behind, heading at most 180";
    EXPECT_NEAR(turned(270.0, 90.0), rate, 1e-12) << "straight behind, heading above 180";
    EXPECT_EQ(turned(100.0, 100.4), 0.0) << "within the dead band";
    aircraft.simPosition.heading = 359.99 * DEG_TO_RAD;
    lf_turnTowards(aircraft, 20.0 * DEG_TO_RAD);
    EXPECT_GE(aircraft.simPosition.heading, 0.0);
    EXPECT_LT(aircraft.simPosition.heading, TWO_PI);

    // A taxiing aircraft turns towards the course of its leg by one turn rate a tick.
    aircraft.phase = FlightPhase::taxi;
    aircraft.turnToCourse = true;
    aircraft.simPosition.heading = 0.0;
    aircraft.courseToNext = 90.0 * DEG_TO_RAD;
    for (int i = 0; i < 10; ++i)
        lf_moveOneTick(aircraft);
    EXPECT_NEAR(aircraft.simPosition.heading, 10 * rate, 1e-12);
}

TEST_F(PositionStreamTest, FlightsCrossTheDatelineTheShortWayAndThePoleOntoTheFarMeridian)
{
    const Tick now = tickCounter.load();
    LiveAircraft& aircraft = flying(point(10.0, 179.99, now));
    aircraft.track.push_back(point(10.0, -179.99, now + 1700));  // 1.2 nm east
    fly(aircraft, 1);
    const Tick due = aircraft.track.front().playTick;
    while (tickCounter.load() < due) {
        fly(aircraft, 1);
        ASSERT_GE(aircraft.simPosition.lon, -180.0);
        ASSERT_LT(aircraft.simPosition.lon, 180.0);
        ASSERT_TRUE(aircraft.simPosition.lon >= 179.99 || aircraft.simPosition.lon <= -179.99)
            << "never the long way round: " << aircraft.simPosition.lon;
    }
    EXPECT_NEAR(aircraft.simPosition.lon, -179.99, 1e-9);

    // Past the pole: the latitude is reflected, the longitude moved to the far meridian and
    // kept within [-180, 180).
    aircraft.track.clear();
    aircraft.track.push_back(point(89.99, 100.0, now));
    aircraft.simPosition.lat = 89.99;
    aircraft.simPosition.lon = 100.0;
    aircraft.latStep = 0.02;
    aircraft.lonStep = 0.0;
    lf_moveOneTick(aircraft);
    EXPECT_NEAR(aircraft.simPosition.lat, 89.99, 1e-9);
    EXPECT_NEAR(aircraft.simPosition.lon, -80.0, 1e-9);
    SimPosition south;
    south.lat = -90.5;
    south.lon = -10.0;
    lf_normalisePosition(south);
    EXPECT_NEAR(south.lat, -89.5, 1e-9);
    EXPECT_NEAR(south.lon, 170.0, 1e-9);
}

TEST_F(PositionStreamTest, OverlongTracksHoldersThatMoveAwayAndAircraftWhoseStepFailsAreRemoved)
{
    LiveAircraft& aircraft = flying(point(50.0, 8.0, 0));
    for (int i = 1; i < 200; ++i)
        aircraft.track.push_back(point(50.0 + i * 0.001, 8.0, i * 100));
    TrackPoint more = point(50.3, 8.0, 30000);
    decodeExisting(aircraft, more);
    EXPECT_EQ(aircraft.track.size(), 201u) << "200 points are still taken";
    EXPECT_EQ(aircraft.state, SimState::active);
    TrackPoint tooMany = point(50.31, 8.0, 30100);
    decodeExisting(aircraft, tooMany);
    EXPECT_EQ(aircraft.state, SimState::removingfromsim);
    EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{OBJECT_ID});

    liveAircraft.clear();
    removalQueue.clear();
    LiveAircraft& holder = flying(point(50.0, 8.0, 0, 0.0, 0.0), "A320", FlightPhase::taxi);
    holder.holding = 1;
    holder.holdingStart = 500;
    TrackPoint near = point(50.0 + 200.0 / 1852.0 / 60.0, 8.0, 2000, 0.0, 5.0);  // 200 m
    decodeExisting(holder, near);
    EXPECT_EQ(holder.state, SimState::active) << "within " << HOLDING_THRESHOLD_METERS.value() << " m it stays";
    EXPECT_EQ(holder.track.size(), 2u) << "and takes the point as usual";
    TrackPoint away = point(50.0 + 500.0 / 1852.0 / 60.0, 8.0, 2100, 0.0, 5.0);  // 500 m
    decodeExisting(holder, away);
    EXPECT_EQ(holder.state, SimState::removingfromsim);
    EXPECT_EQ(holder.holding, 0u);
    EXPECT_EQ(holder.holdingStart, 0);

    // A leg half round the world at a crawl cannot be timed: the aircraft goes at once instead of
    // failing again at every tick.
    liveAircraft.clear();
    removalQueue.clear();
    LiveAircraft& lost = flying(point(50.0, 8.0, 0, 5000.0, 0.5));
    lost.track.push_back(point(-50.0, -172.0, 100, 5000.0, 0.5));
    tickCounter.store(1);
    static_cast<void>(updateLiveAc(lost));  // removal goes through the simulator first
    EXPECT_EQ(lost.state, SimState::removingfromsim);
    EXPECT_EQ(removalQueue, std::deque<std::uint32_t>{OBJECT_ID});
}

TEST_F(PositionStreamTest, FastOrAirbornePointsStartTheTakeOffRunAndATouchAndGoDepartsAgain)
{
    LiveAircraft& taxiing = flying(point(50.0, 8.0, 0, 0.0, 50.0), "A320", FlightPhase::taxi);
    TrackPoint slow = point(50.001, 8.0, 100, 0.0, 30.0);
    decodeExisting(taxiing, slow);
    EXPECT_FALSE(taxiing.departing);
    TrackPoint fast = point(50.002, 8.0, 200, 0.0, 60.0);
    decodeExisting(taxiing, fast);
    EXPECT_FALSE(taxiing.departing) << "43 kt are needed twice running";
    TrackPoint faster = point(50.003, 8.0, 300, 0.0, 80.0);
    decodeExisting(taxiing, faster);
    EXPECT_TRUE(taxiing.departing);
    EXPECT_EQ(taxiing.lateLimit, 5000);
    EXPECT_EQ(taxiing.earlyLimit, 3000);
    EXPECT_EQ(taxiing.flapsIndex, 1u);
    EXPECT_TRUE(sent(LANDING_LIGHTS_SET, 1));
    EXPECT_TRUE(sent(CABIN_LIGHTS_SET, 0));
    EXPECT_EQ(taxiing.track.size(), 4u);

    liveAircraft.clear();
    gf_resetSimSendQueues();
    LiveAircraft& rolling = flying(point(50.0, 8.0, 0, 0.0, 120.0), "A320", FlightPhase::flying);
    rolling.track.front().airborne = true;  // the last report was still in the air
    rolling.landingRoll = true;
    rolling.touchedDown = true;
    rolling.previousPhase = FlightPhase::parked;
    TrackPoint up = point(50.01, 8.0, 100, 200.0, 130.0);
    decodeExisting(rolling, up);
    EXPECT_EQ(rolling.phase, FlightPhase::taxi);
    EXPECT_EQ(rolling.previousPhase, FlightPhase::parked) << "the phase before the landing stays";
    EXPECT_TRUE(rolling.departing);
    EXPECT_FALSE(rolling.touchedDown);
    EXPECT_TRUE(sent(THROTTLE_SET, 11468));
    EXPECT_TRUE(sent(SPOILERS_SET, EVENT_FULL));
    EXPECT_EQ(rolling.lateLimit, 5000);

    // The take-off of a touch and go: full throttle, flaps 1, out of the landing roll.
    lf_takeoffStart(rolling);
    EXPECT_EQ(rolling.phase, FlightPhase::take_off);
    EXPECT_FALSE(rolling.landingRoll);
    EXPECT_EQ(rolling.throttleStep, 4u);
    EXPECT_EQ(rolling.stageCounter, static_cast<std::int32_t>(rolling.rotationTicks));
}

TEST_F(PositionStreamTest, TouchdownReversesThrustOfTypesWithReversersLeavesLightAircraftAloneAndReportsAFailedWrite)
{
    std::vector<std::pair<std::uint32_t, TouchdownSettings>> written;
    gf_setTouchdownWriter([&written](std::uint32_t objectId, const TouchdownSettings& settings) {
        written.emplace_back(objectId, settings);
        return objectId != 0;  // the simulator link fails the request without an object
    });
    LiveAircraft& heavy = flying(point(50.0, 8.0, 0, 20.0, 140.0), "B744");
    heavy.approachConfigured = true;
    heavy.simPosition.pitch = -4.0 * DEG_TO_RAD;
    heavy.simPosition.bank = 0.02;
    lf_touchdown(heavy);
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].first, OBJECT_ID);
    EXPECT_EQ(written[0].second.spoilersPercent, 100.0);
    EXPECT_EQ(written[0].second.throttle1Percent, -100.0);
    EXPECT_EQ(written[0].second.throttle2Percent, -100.0);
    EXPECT_TRUE(heavy.noseDown && heavy.landingRoll && heavy.touchedDown && !heavy.approachConfigured);
    EXPECT_NEAR(heavy.bankRate * heavy.touchdownTicks, -0.02, 1e-12);

    heavy.fsltlLivery = true;
    lf_touchdown(heavy);
    EXPECT_EQ(written.back().second.throttle1Percent, 100.0) << "FSLTL models take the opposite sign";

    LiveAircraft& light = flying(point(50.0, 8.0, 0, 20.0, 60.0), "C172");
    written.clear();
    lf_touchdown(light);
    EXPECT_TRUE(written.empty());
    EXPECT_TRUE(light.touchedDown);

    // A failed write is a failed request like any other: the link is given up.
    EXPECT_FALSE(simRequestErrorFlag.load());
    heavy.objectId = 0;
    lf_touchdown(heavy);
    EXPECT_TRUE(simRequestErrorFlag.load());
    simRequestErrorFlag.store(false);
    gf_clearStopRequest();
}

}  // namespace
