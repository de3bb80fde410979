// Live aircraft on the harness's stage, fed with scripted traffic: an overflight with turns, an
// approach to landing at the park airport with its roll-out and exit, and a take-off. The
// simulator's ground reports are played every tick from the aircraft's height.
#include <algorithm>
#include <cmath>
#include <functional>

#include "engine/air_segments.hpp"
#include "engine/aircraft_config.hpp"
#include "engine/approach_landing.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/motion_math.hpp"
#include "engine/sim_results.hpp"
#include "simlink/sim_queues.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/engine_test_support.hpp"
#include "tests/engine/traffic_script.hpp"

namespace {

using corv_test::EngineHarness;
using corv_test::EngineTest;
using corv_test::FlightScript;
using corv_test::ProfileMark;

constexpr std::uint32_t HEXID = 0x4840d6;
constexpr std::uint32_t OBJECT_ID = 40;
constexpr double START = 1'700'000'000.0;  // the harness's data time at the first tick
constexpr double CG_HEIGHT_FT = 8.0;
constexpr double STATIC_PITCH_RAD = 0.0122;
const LatLon THRESHOLD{52.30, 4.76};  // runway 36 of the park airport, elevation 0

// What the aircraft record showed at one tick.
struct Sample {
    Tick tick = 0;
    SimPosition at;
    FlightPhase phase = FlightPhase::birth;
    bool onGround = false;
    bool approach = false;
    bool landingRoll = false;
    bool touchedDown = false;
    std::uint32_t flareStage = 0;
    bool fastRequests = false;
};

class FlightScenarioTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        knowTypes();
        gf_setTouchdownWriter([this](std::uint32_t objectId, const TouchdownSettings& settings) {
            if (objectId == OBJECT_ID)
                written.push_back(settings);
            return true;
        });
    }
    void TearDown() override
    {
        gf_resetTouchdownWriter();
        EngineTest::TearDown();
    }

    // The script's first report becomes the track of an aircraft placed active in the
    // simulator; the others are played through the harness.
    LiveAircraft& place(EngineHarness& harness, const std::vector<LiveTrafficRecord>& reports, FlightPhase phase)
    {
        const LiveTrafficRecord& first = reports.front();
        AircraftInstance made = gf_makeAircraftInstance(first.flight);
        made.hexid = HEXID;
        made.currentTurnRate = made.turnRate;
        made.maxClimbStep = gf_categoryConstants(made.category).maxClimbStepFt;
        made.staticCgHeight = CG_HEIGHT_FT;
        made.staticPitch = STATIC_PITCH_RAD;
        LiveTrafficRecord firstRecord = first;
        firstRecord.playTick = 0;
        LiveAircraft& aircraft = liveAircraft.emplace_back(gf_trackPointOf(firstRecord), made, first.dataTime);
        aircraft.state = SimState::active;
        aircraft.objectId = OBJECT_ID;
        aircraft.phase = phase;
        aircraft.onGround = !first.airborne;
        aircraft.throttleStep = 3;
        aircraft.flapsIndex = 0;
        SimPosition& at = aircraft.simPosition;
        at.lat = first.lat;
        at.lon = first.lon;
        at.altitude = first.airborne ? first.altitudeFt : CG_HEIGHT_FT;
        at.heading = first.trackDeg * DEG_TO_RAD;
        at.pitch = first.airborne ? -3.0 * DEG_TO_RAD : STATIC_PITCH_RAD;
        aircraft.heightAboveGround = at.altitude;
        harness.adoptObject(OBJECT_ID, HEXID);
        harness.addReports(std::vector<LiveTrafficRecord>(reports.begin() + 1, reports.end()));
        return aircraft;
    }

    static LiveAircraft* aircraft()
    {
        for (LiveAircraft& live : liveAircraft)
            if (live.hexid == HEXID)
                return &live;
        return nullptr;
    }

    // The simulator's report of the aircraft over flat ground at elevation 0, every tick, through
    // the engine's result drain: its height, and whether it has contact with the ground.
    static void groundReport(LiveAircraft& live)
    {
        SimResult near;
        near.objectId = live.objectId;
        near.kind = SIM_RESULT_FOREIGN_NEAR_GROUND;
        near.value1 = 0.0;
        near.value2 = std::max(0.0, live.simPosition.altitude);
        near.hexid = near.value2 <= CG_HEIGHT_FT + 1.0 ? 1 : 0;
        gf_pushSimResult(near);
        lf_processSimResults();
    }

    // Runs the harness tick by tick, sampling the aircraft after each tick.
    std::vector<Sample> fly(EngineHarness& harness, Tick ticks)
    {
        std::vector<Sample> samples;
        for (Tick i = 0; i < ticks; ++i) {
            harness.run(1);
            LiveAircraft* live = aircraft();
            if (live == nullptr || live->state != SimState::active)
                break;
            groundReport(*live);
            samples.push_back(Sample{harness.tick(), live->simPosition, live->phase, live->onGround,
                                     live->approachConfigured, live->landingRoll, live->touchedDown,
                                     live->flareStage, fastInRangeRequests});
        }
        return samples;
    }

    static FlightScript script(std::vector<LatLon> path, std::vector<ProfileMark> profile, double seconds,
                               const std::string& type = "A320")
    {
        FlightScript made;
        made.flight.airline = "KLM";
        made.flight.type = type;
        made.flight.callsign = "KLM1";
        made.hexId = HEXID;
        made.path = std::move(path);
        made.profile = std::move(profile);
        made.startDataTime = START - 30.0;
        made.endDataTime = START + seconds;
        made.reportIntervalSeconds = 2.0;
        return made;
    }

    // Attitude and heading change by at most the category's rates; the bank stays within its
    // limit. Checked for the air segments before any flare.
    static void expectRatesWithinTables(const std::vector<Sample>& samples, AircraftCategory category)
    {
        const AirLimits& limits = gf_airLimits(category);
        const double turnRate = gf_categoryConstants(category).turnRateDeg * DEG_TO_RAD;
        const double slack = 1e-9;
        std::size_t checked = 0;
        for (std::size_t i = 1; i < samples.size(); ++i) {
            const Sample& a = samples[i - 1];
            const Sample& b = samples[i];
            if (a.onGround || b.onGround || b.flareStage != 0 || b.phase == FlightPhase::take_off)
                continue;
            ++checked;
            ASSERT_LE(std::fabs(b.at.bank - a.at.bank), limits.bankRatePerTick + slack) << "tick " << b.tick;
            ASSERT_LE(std::fabs(b.at.bank), limits.bank + slack) << "tick " << b.tick;
            ASSERT_LE(std::fabs(b.at.pitch - a.at.pitch), limits.pitchRatePerTick + slack) << "tick " << b.tick;
            ASSERT_LE(std::fabs(gf_wrapPi(b.at.heading - a.at.heading)), turnRate + slack) << "tick " << b.tick;
        }
        EXPECT_GT(checked, 1000u);
    }

    // Every reported point the aircraft flew past is passed close by, within the play-out
    // window: about 30 s after its data time, give or take the early and late limits and the
    // poll and history spacing.
    static void expectPointsReached(const std::vector<Sample>& samples, const std::vector<LiveTrafficRecord>& reports,
                                    double untilDataTime, Tick limitTicks)
    {
        std::size_t checked = 0;
        for (const LiveTrafficRecord& report : reports) {
            if (report.dataTime > untilDataTime)
                continue;
            const LatLon at{report.lat, report.lon};
            double best = 1e9;
            Tick bestTick = 0;
            for (const Sample& sample : samples) {
                const double d = gf_distanceNm(at, gf_latLonOf(sample.at));
                if (d < best) {
                    best = d;
                    bestTick = sample.tick;
                }
            }
            const Tick expected = static_cast<Tick>(std::lround((report.dataTime - START + 30.0) * 100.0));
            ++checked;
            EXPECT_LT(best, 0.03) << "report at " << report.dataTime - START;
            EXPECT_LE(std::llabs(bestTick - expected), limitTicks + 400) << "report at " << report.dataTime - START;
        }
        EXPECT_GT(checked, 10u);
    }

    static std::vector<std::uint32_t> eventsOf(const corv_test::SimObject& object, std::uint32_t eventId)
    {
        std::vector<std::uint32_t> values;
        for (const auto& [tick, event] : object.events)
            if (event.eventId == eventId)
                values.push_back(event.data);
        return values;
    }

    static Tick firstTick(const std::vector<Sample>& samples, const std::function<bool(const Sample&)>& test)
    {
        const auto found = std::find_if(samples.begin(), samples.end(), test);
        return found == samples.end() ? -1 : found->tick;
    }

    std::vector<TouchdownSettings> written;
};

// A quarter circle of the given radius, turning right from north to east.
std::vector<LatLon> turnRight(LatLon start, double radiusNm)
{
    std::vector<LatLon> path{start};
    const LatLon centre = gf_destinationPoint(start, std::numbers::pi / 2.0, radiusNm * FEET_PER_NM);
    for (int deg = 3; deg <= 90; deg += 3) {
        const double bearing = (270.0 + deg) * DEG_TO_RAD;
        path.push_back(gf_destinationPoint(centre, bearing, radiusNm * FEET_PER_NM));
    }
    return path;
}

TEST_F(FlightScenarioTest, AnOverflightTurnsClimbsAndBanksWithinItsCategoryAndReachesEveryPoint)
{
    EngineHarness harness;
    // North for 8 nm, a standard-rate turn to the east (250 kt, radius 1.33 nm), then east,
    // climbing from 6000 to 9000 ft on the way.
    std::vector<LatLon> path{LatLon{52.0, 4.5}};
    const LatLon turnStart = gf_destinationPoint(path[0], 0.0, 8.0 * FEET_PER_NM);
    for (const LatLon& p : turnRight(turnStart, 1.33))
        path.push_back(p);
    path.push_back(gf_destinationPoint(path.back(), std::numbers::pi / 2.0, 12.0 * FEET_PER_NM));
    const auto reports = corv_test::gf_scriptReports(
        script(path, {{0.0, 250.0, 6000.0}, {4.0, 250.0, 6000.0}, {14.0, 250.0, 9000.0}}, 240.0));
    place(harness, reports, FlightPhase::flying);

    const std::vector<Sample> samples = fly(harness, 24000);
    ASSERT_GE(samples.size(), 24000u) << "the aircraft stays in the simulator";
    expectRatesWithinTables(samples, AircraftCategory::Large);
    expectPointsReached(samples, reports, START + 200.0, 1000);
    const auto banked = std::max_element(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) {
        return std::fabs(a.at.bank) < std::fabs(b.at.bank);
    });
    EXPECT_GT(std::fabs(banked->at.bank), 5.0 * DEG_TO_RAD) << "it banks in the turn";
    EXPECT_LT(banked->at.bank, 0.0) << "a right turn banks to the right (negative)";
    EXPECT_NEAR(samples.back().at.heading, std::numbers::pi / 2.0, 3.0 * DEG_TO_RAD) << "heading east after the turn";
    EXPECT_GT(samples.back().at.altitude, 8500.0);

    // One position a tick reaches the simulator.
    const corv_test::SimObject* object = harness.objectOf(HEXID);
    ASSERT_NE(object, nullptr);
    EXPECT_GE(object->positions.size(), samples.size() - 1);
    for (std::size_t i = 1; i < object->positions.size(); ++i)
        ASSERT_EQ(object->positions[i].first, object->positions[i - 1].first + 1);
}

TEST_F(FlightScenarioTest, AnApproachConfiguresFlaresTouchesDownRollsOutAndLeavesTheRunway)
{
    EngineHarness harness;
    EngineHooks hooks;
    hooks.parkAirport = [] { return ParkAirportSnapshot{"EHAM", THRESHOLD, 0.0}; };
    gf_setEngineHooks(std::move(hooks));
    // A three-degree final from 2500 ft, touchdown at the threshold, roll-out to the end of the
    // runway and a right turn onto the taxiway.
    const LatLon start = gf_destinationPoint(THRESHOLD, std::numbers::pi, 7.9 * FEET_PER_NM);
    const LatLon runwayEnd = gf_destinationPoint(THRESHOLD, 0.0, 1.2 * FEET_PER_NM);
    const LatLon taxiway = gf_destinationPoint(runwayEnd, std::numbers::pi / 2.0, 0.5 * FEET_PER_NM);
    const auto reports = corv_test::gf_scriptReports(
        script({start, THRESHOLD, runwayEnd, taxiway},
               {{0.0, 170.0, 2500.0}, {7.85, 140.0, 15.0}, {7.9, 135.0, 0.0}, {9.0, 25.0, 0.0}, {9.6, 15.0, 0.0}},
               300.0));
    place(harness, reports, FlightPhase::flying);

    const std::vector<Sample> samples = fly(harness, 33000);
    ASSERT_FALSE(samples.empty());
    expectRatesWithinTables(samples, AircraftCategory::Large);
    const double lastAirborne = std::max_element(reports.begin(), reports.end(), [](const auto& a, const auto& b) {
                                    return (a.airborne ? a.dataTime : 0.0) < (b.airborne ? b.dataTime : 0.0);
                                })->dataTime;
    expectPointsReached(samples, reports, lastAirborne, 3000);

    const Tick approach = firstTick(samples, [](const Sample& s) { return s.approach; });
    const Tick flare = firstTick(samples, [](const Sample& s) { return s.flareStage > 0; });
    const Tick fast = firstTick(samples, [](const Sample& s) { return s.fastRequests; });
    const Tick touchdown = firstTick(samples, [](const Sample& s) { return s.touchedDown; });
    const Tick exit = firstTick(samples, [touchdown](const Sample& s) { return s.tick > touchdown && !s.landingRoll; });
    ASSERT_GT(approach, 0);
    ASSERT_GT(flare, approach);
    EXPECT_EQ(fast, flare) << "the aircraft around the user are asked for more often in the flare";
    ASSERT_GT(touchdown, flare);
    ASSERT_GT(exit, touchdown);
    const Sample& down = samples[static_cast<std::size_t>(touchdown - samples.front().tick)];
    EXPECT_GE(down.at.lat, THRESHOLD.lat - 0.001) << "not short of the runway";
    EXPECT_LE(gf_distanceNm(THRESHOLD, gf_latLonOf(down.at)), 0.8);
    EXPECT_LT(down.at.pitch, 0.0) << "nose up at touchdown";
    EXPECT_EQ(down.flareStage, 4u) << "all four flare stages before the wheels touch";
    EXPECT_FALSE(down.fastRequests);
    const Sample& settled = samples[static_cast<std::size_t>(touchdown - samples.front().tick) + 600];
    EXPECT_DOUBLE_EQ(settled.at.pitch, STATIC_PITCH_RAD) << "the nose is down";
    EXPECT_EQ(settled.at.bank, 0.0);
    const Sample& off = samples[static_cast<std::size_t>(exit - samples.front().tick)];
    EXPECT_EQ(off.phase, FlightPhase::taxi);
    EXPECT_GT(off.at.lat, runwayEnd.lat - 0.01) << "it leaves at the end of the runway";

    const corv_test::SimObject* object = harness.objectOf(HEXID);
    ASSERT_NE(object, nullptr);
    const std::vector<std::uint32_t> flaps = eventsOf(*object, FLAPS_SET);
    ASSERT_GE(flaps.size(), 3u);
    EXPECT_NE(std::find(flaps.begin(), flaps.end(), 16383u), flaps.end()) << "full flaps on approach";
    EXPECT_EQ(flaps.back(), 0u) << "flaps up after leaving the runway";
    EXPECT_NE(std::find(flaps.begin(), flaps.end(), 3072u), flaps.end()) << "flaps 1 in the roll-out";
    const std::vector<std::uint32_t> gear = eventsOf(*object, GEAR_SET);
    ASSERT_FALSE(gear.empty());
    EXPECT_EQ(gear.front(), 0u) << "gear up above 2400 ft";
    EXPECT_EQ(gear.back(), 1u) << "gear down for the landing";
    const std::vector<std::uint32_t> spoilers = eventsOf(*object, SPOILERS_SET);
    ASSERT_GE(spoilers.size(), 2u);
    EXPECT_EQ(spoilers.front(), EVENT_FULL) << "spoilers at touchdown";
    EXPECT_EQ(spoilers.back(), 0u);
    ASSERT_GE(written.size(), 2u);
    EXPECT_EQ(written.front().spoilersPercent, 100.0);
    EXPECT_EQ(written.front().throttle1Percent, -100.0) << "reversers";
    EXPECT_EQ(written.back().spoilersPercent, 0.0);
    EXPECT_EQ(written.back().throttle2Percent, 0.0);
    EXPECT_EQ(eventsOf(*object, LANDING_LIGHTS_SET).back(), 0u) << "landing lights off on the taxiway";
    EXPECT_EQ(eventsOf(*object, THROTTLE_SET).back(), 0u);
    ASSERT_NE(aircraft(), nullptr);
    EXPECT_FALSE(aircraft()->departing) << "the fast roll-out is no take-off run";
}

// Away from the park airport a straight-in descent is flown on the reports alone: low down it
// keeps descending as they do and never climbs back.
TEST_F(FlightScenarioTest, ADescentAwayFromTheParkAirportNeverClimbs)
{
    EngineHarness harness;
    const LatLon start = gf_destinationPoint(THRESHOLD, std::numbers::pi, 7.9 * FEET_PER_NM);
    const LatLon runwayEnd = gf_destinationPoint(THRESHOLD, 0.0, 1.2 * FEET_PER_NM);
    const auto reports = corv_test::gf_scriptReports(script(
        {start, THRESHOLD, runwayEnd}, {{0.0, 170.0, 2500.0}, {7.85, 140.0, 15.0}, {7.9, 135.0, 0.0}, {9.0, 25.0, 0.0}},
        260.0));
    place(harness, reports, FlightPhase::flying);

    const std::vector<Sample> samples = fly(harness, 25000);
    ASSERT_FALSE(samples.empty());
    double lowest = samples.front().at.altitude;
    std::size_t airborne = 0;
    for (const Sample& sample : samples) {
        if (sample.onGround || sample.touchedDown)
            break;
        ++airborne;
        ASSERT_LE(sample.at.altitude, lowest + 1.0) << "climbs at tick " << sample.tick;
        lowest = std::min(lowest, sample.at.altitude);
    }
    EXPECT_GT(airborne, 10000u);
    EXPECT_LT(lowest, 300.0) << "it comes down low";
}

TEST_F(FlightScenarioTest, ATakeOffRotatesRaisesTheGearAndFliesFrom800Feet)
{
    EngineHarness harness;
    const LatLon end = gf_destinationPoint(THRESHOLD, 0.0, 12.0 * FEET_PER_NM);
    const auto reports = corv_test::gf_scriptReports(script(
        {THRESHOLD, end},
        {{0.0, 20.0, 0.0}, {0.9, 150.0, 0.0}, {1.0, 155.0, 40.0}, {3.0, 180.0, 1600.0}, {8.0, 220.0, 4000.0}},
        200.0));
    LiveAircraft& placed = place(harness, reports, FlightPhase::taxi);
    const double takeOffPitch = placed.takeOffPitch;
    const double climbPitch = placed.climbPitch;

    const std::vector<Sample> samples = fly(harness, 20000);
    const Tick takeOff = firstTick(samples, [](const Sample& s) { return s.phase == FlightPhase::take_off; });
    const Tick airborne = firstTick(samples, [](const Sample& s) { return !s.onGround; });
    const Tick rotated = firstTick(samples, [takeOffPitch](const Sample& s) { return s.at.pitch <= takeOffPitch + 1e-9; });
    const Tick flying = firstTick(samples, [takeOff](const Sample& s) {
        return s.tick > takeOff && s.phase == FlightPhase::flying;
    });
    ASSERT_GT(takeOff, 0);
    EXPECT_GE(airborne, takeOff);
    ASSERT_GT(rotated, takeOff);
    ASSERT_GT(flying, rotated);
    const Sample& up = samples[static_cast<std::size_t>(flying - samples.front().tick)];
    EXPECT_GE(up.at.altitude, 800.0);
    EXPECT_LT(up.at.altitude, 1200.0) << "flying from 800 ft, not much later";
    EXPECT_LE(up.at.pitch, climbPitch + 1e-9);
    const Sample& start = samples[static_cast<std::size_t>(takeOff - samples.front().tick)];
    EXPECT_LE(gf_distanceNm(THRESHOLD, gf_latLonOf(start.at)), 1.5) << "it lifts off along the runway";
    EXPECT_GT(samples.back().at.altitude, 2000.0);

    const corv_test::SimObject* object = harness.objectOf(HEXID);
    ASSERT_NE(object, nullptr);
    const std::vector<std::uint32_t> gear = eventsOf(*object, GEAR_SET);
    ASSERT_FALSE(gear.empty());
    EXPECT_EQ(gear.back(), 0u) << "gear up";
    EXPECT_EQ(eventsOf(*object, FLAPS_SET).front(), 3072u) << "flaps 1 for the run";
    EXPECT_EQ(eventsOf(*object, LANDING_LIGHTS_SET).front(), 1u);
    EXPECT_EQ(eventsOf(*object, THROTTLE_SET).back(), 11468u) << "climb thrust once flying";
}

}  // namespace
