// A departure on the harness's stage, fed as the traffic service reports it (a position every two
// seconds): born parked on its stand, it stands while the reports stand, pushes back, taxis,
// takes off and climbs away, all on the engine's own position stream, as one aircraft in the
// simulator from its stand to its climb-out.
#include <algorithm>
#include <cmath>

#include "engine/motion_math.hpp"
#include "engine/position_stream.hpp"
#include "engine/stand_marks.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/ground_stage.hpp"

namespace {

using corv_test::EngineHarness;
using corv_test::DEPARTURE;

constexpr std::uint32_t HEXID = 0x484f6d;
constexpr double START = 1'700'000'000.0;  // the harness's data time at the first tick
constexpr double SCENARIO_ZERO = START - 30.0;  // scenario second 0: the history's first report
const LatLon STAND = corv_test::DEMO_STAND_E8;  // facing 178 degrees
const LatLon AIRPORT{52.3086, 4.7639};

// The tick at which the harness hands over the report of a scenario second, and the tick at which
// the report plays (30 s later, give or take).
Tick lf_receiveTick(double t) { return static_cast<Tick>(std::lround((t + SCENARIO_ZERO - START) * 100.0)); }
Tick lf_playTick(double t) { return lf_receiveTick(t) + 3000; }

class DepartureScenario : public corv_test::StandTest {
protected:
    void SetUp() override
    {
        StandTest::SetUp();
        giveLivery("KLM", "B744", "KLM B744");
    }
    // After the harness is made: it starts from a clean engine.
    static void parkAirportSet()
    {
        Stand& stand = parkStands.emplace_back(std::vector<StandOption>{}, "E8", Stand::Place{STAND.lat, STAND.lon, 0.0},
                                               40.0, false, false, false);
        stand.number = static_cast<std::uint32_t>(parkStands.size());
        stand.heading = 178.0 * DEG_TO_RAD;
        EngineHooks hooks;
        hooks.parkAirport = [] { return ParkAirportSnapshot{"EHAM", AIRPORT, 0.0}; };
        gf_setEngineHooks(std::move(hooks));
    }
};

TEST_F(DepartureScenario, OnThePositionStreamADeparturePushesBackTaxisTakesOffAndClimbsAway)
{
    corv_test::HarnessOptions options;
    options.startDataTime = START;
    options.user = LatLon{52.30, 4.76};
    EngineHarness harness(options);
    parkAirportSet();
    FlightIdentity flight;
    flight.airline = "KLM";
    flight.callsign = "KLM641";
    flight.type = "B744";
    flight.registration = "PH-BFA";
    harness.addReports(corv_test::gf_waypointReports(flight, HEXID, DEPARTURE, SCENARIO_ZERO));
    harness.run(lf_playTick(540.0));

    ASSERT_EQ(std::count_if(harness.sent().begin(), harness.sent().end(),
                            [](const corv_test::SentRecord& sent) { return sent.hexid == HEXID; }),
              1)
        << "created once and never removed on the way";
    const corv_test::SimObject* object = harness.objectOf(HEXID);
    ASSERT_NE(object, nullptr);
    EXPECT_LT(gf_distanceNm(STAND, LatLon{object->created.latitude, object->created.longitude}) * METRES_PER_NM, 1.0)
        << "born on its stand";
    ASSERT_FALSE(object->positions.empty());

    const auto metresFromStand = [](const SimPosition& at) { return gf_distanceNm(STAND, gf_latLonOf(at)) * METRES_PER_NM; };
    double pushedM = 0.0;
    double farthestM = 0.0;
    double highestFt = 0.0;
    double fastestKt = 0.0;
    Tick pushedTick = -1;
    for (const auto& [tick, at] : object->positions) {
        if (tick < lf_receiveTick(40.0)) {
            ASSERT_LT(metresFromStand(at), 2.0) << "stands on its stand until the reports move off, tick " << tick;
        }
        // Backwards out of the stand: north of it, still facing south.
        if (tick < lf_playTick(120.0) && at.lat > STAND.lat && std::fabs(gf_wrapPi(at.heading - M_PI)) < 0.5) {
            pushedM = std::max(pushedM, metresFromStand(at));
            if (pushedTick < 0 && pushedM > 20.0)
                pushedTick = tick;
        }
        farthestM = std::max(farthestM, metresFromStand(at));
        highestFt = std::max(highestFt, at.altitude);
        fastestKt = std::max(fastestKt, at.speed);
    }
    // Taxiing, it heads where it goes, apart from the turns.
    std::size_t taxiing = 0;
    std::size_t crabbing = 0;
    const auto& positions = object->positions;
    for (std::size_t i = 0; i + 100 < positions.size(); i += 100) {
        const SimPosition& at = positions[i].second;
        const SimPosition& later = positions[i + 100].second;
        if (at.speed < 15.0 || at.speed > 25.0 || later.speed < 15.0)
            continue;
        ++taxiing;
        const double moving = gf_bearingRad(gf_latLonOf(at), gf_latLonOf(later));
        if (std::fabs(gf_wrapPi(moving - at.heading)) > 10.0 * DEG_TO_RAD)
            ++crabbing;
    }
    EXPECT_GT(taxiing, 100u);
    EXPECT_LT(crabbing, taxiing / 10) << "of " << taxiing << " seconds taxiing";
    EXPECT_GT(pushedM, 40.0) << "pushed back off its stand";
    EXPECT_GT(pushedTick, lf_receiveTick(40.0)) << "not before the reports move off";
    EXPECT_LT(pushedTick, lf_playTick(93.0) + 1000) << "while the reports push back";
    EXPECT_GT(farthestM, 3000.0) << "taxied out and left";
    EXPECT_GT(fastestKt, 140.0) << "accelerated for the take-off";
    EXPECT_GT(highestFt, 500.0) << "lifted off and climbed";
    EXPECT_EQ(object->removedTick, -1);
    EXPECT_EQ(object->positions.back().first, harness.tick() - 1) << "positions every frame to the end";
}

// A Heavy that landed and parked on the position stream, and is reported moving off its stand
// after a while: within the hour it is being towed, later it leaves under its own power.
class LandedHeavyLeaves : public corv_test::GroundTest {};

TEST_F(LandedHeavyLeaves, TowedOnlyWhenItMovesWithinTheHourOfParking)
{
    for (const Tick parkedFor : {Tick{60000}, Tick{720000}}) {
        freshEngine();
        gf_resetStandRecords();
        Stand& stand = addStand("E8", 100.0, 40.0);
        const LatLon standAt{stand.lat, stand.lon};
        LiveAircraft& aircraft = onGround(0x484030, "KLM30", standAt, 0.0, "B744");
        aircraft.standNumber = stand.number;
        aircraft.standLat = stand.lat;
        aircraft.standLon = stand.lon;
        aircraft.touchedDown = true;
        aircraft.setPhase(FlightPhase::parking);
        aircraft.track.front().stationary = true;
        for (int i = 0; i < 10; ++i) {
            tickCounter.fetch_add(1);
            ASSERT_FALSE(updateLiveAc(aircraft));
        }
        ASSERT_EQ(aircraft.phase, FlightPhase::parked);
        const Tick parkedAt = tickCounter.load();

        // Reports come again, creeping backwards off the stand until it is plain that it leaves.
        tickCounter.store(parkedAt + parkedFor);
        for (double back = 0.0; back <= 40.0 && !aircraft.leaveStand; back += 4.0) {
            TrackPoint seen = pointAt(corv_test::northOf(100.0 - back), 2.0, tickCounter.load() + 3000);
            decodeExisting(aircraft, seen);
        }
        ASSERT_TRUE(aircraft.leaveStand);
        EXPECT_EQ(aircraft.towed, parkedFor < 360000) << "moving " << parkedFor << " ticks after parking";
    }
}

}  // namespace
