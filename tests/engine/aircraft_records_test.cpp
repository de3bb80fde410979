// The aircraft records: building an instance from a flight, the defaults a new record starts
// with, the name tables, the throttle and flaps events and the texts and callsign rules.
#include <cmath>
#include <set>
#include <stdexcept>

#include "foundation/parameters.hpp"
#include "foundation/strings.hpp"
#include "tests/engine/engine_test_support.hpp"
#include "tests/foundation/log_capture.hpp"

namespace {

using corv_test::EngineTest;

class AircraftRecordsTest : public EngineTest {};

double degrees(double radians) { return radians * RAD_TO_DEG; }

TEST_F(AircraftRecordsTest, HeavyInstanceTakesItsCategoryConstantsWithRandomisedPitches)
{
    heavyTypes.insert("B744");
    halfWingspans["B744"] = 0.0346;
    FlightIdentity identity = flight("KLM871", "B744");
    identity.registration = "PH-BFW";

    std::set<double> takeOffPitches;
    std::set<double> climbPitches;
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        gf_seedThreadRandomEngineForTest(seed);
        const AircraftInstance instance = gf_makeAircraftInstance(identity);
        EXPECT_EQ(instance.category, AircraftCategory::Heavy);
        EXPECT_DOUBLE_EQ(instance.halfSpan, 0.0346);
        EXPECT_EQ(instance.identity.registration, "PH-BFW");
        EXPECT_EQ(instance.flareTicks, 450u);
        EXPECT_EQ(instance.touchdownTicks, 450u);
        EXPECT_EQ(instance.rotationTicks, 250u);
        EXPECT_EQ(instance.climbTicks, 400u);
        EXPECT_NEAR(degrees(instance.turnRate), 0.05, 1e-12);
        // Filled by the live intake, not here.
        EXPECT_EQ(instance.currentTurnRate, 0.0);
        EXPECT_EQ(instance.maxClimbStep, 0.0);
        EXPECT_EQ(instance.pushSpeed, 0.0);
        takeOffPitches.insert(std::round(degrees(instance.takeOffPitch) * 1000.0) / 1000.0);
        climbPitches.insert(std::round(degrees(instance.climbPitch) * 1000.0) / 1000.0);
    }
    // Plus or minus the percentage, never anything in between.
    EXPECT_EQ(takeOffPitches, (std::set<double>{-5.125, -4.875}));
    EXPECT_EQ(climbPitches, (std::set<double>{-13.125, -11.875}));
}

TEST_F(AircraftRecordsTest, UnlistedTypeBecomesLightWithTheMeanSpanOfLight)
{
    meanHalfWingspan[static_cast<std::size_t>(AircraftCategory::Light)] = 0.0055;
    const AircraftInstance instance = gf_makeAircraftInstance(flight("PHABC", "ZZZZ"));
    EXPECT_EQ(instance.category, AircraftCategory::Light);
    EXPECT_DOUBLE_EQ(instance.halfSpan, 0.0055);
    EXPECT_EQ(instance.flareTicks, 250u);
    EXPECT_NEAR(degrees(instance.turnRate), 0.15, 1e-12);
}

TEST_F(AircraftRecordsTest, CategoryOutsideTheTablesThrows)
{
    EXPECT_THROW(gf_categoryConstants(static_cast<AircraftCategory>(6)), std::out_of_range);
    EXPECT_EQ(gf_categoryConstants(AircraftCategory::Rotorcraft).pushSpeedKt, 5.0);
    EXPECT_EQ(gf_categoryConstants(AircraftCategory::HighPerf).maxClimbStepFt, 1.0);
}

TEST_F(AircraftRecordsTest, NewRecordsStartInBufferWithNothingSent)
{
    AircraftInstance instance = gf_makeAircraftInstance(flight("EZY12"));
    const StaticAircraft parked(instance, 17, StandPlacement{52.3, 4.76, 1.5}, true);
    EXPECT_EQ(parked.state, SimState::buffer);
    EXPECT_EQ(parked.objectId, 0u);
    EXPECT_EQ(parked.standNumber, 17u);
    EXPECT_EQ(parked.standLat, 52.3);
    EXPECT_EQ(parked.standHeading, 1.5);
    EXPECT_TRUE(parked.cargoStand);
    EXPECT_EQ(parked.throttleStep, THROTTLE_STEP_NONE);
    EXPECT_EQ(parked.flapsIndex, FLAPS_INDEX_NONE);
    EXPECT_EQ(parked.sourceFlag, 1u);
    EXPECT_FALSE(parked.skip || parked.dequeued || parked.removeWhenCreated);

    TrackPoint first;
    first.lat = 51.0;
    first.playTick = 700;
    const LiveAircraft live(first, instance, 1700000000.5);
    EXPECT_EQ(live.state, SimState::buffer);
    EXPECT_EQ(live.standNumber, 0u);
    EXPECT_FALSE(live.cargoStand);
    EXPECT_EQ(live.phase, FlightPhase::birth);
    EXPECT_EQ(live.previousPhase, FlightPhase::birth);
    ASSERT_EQ(live.track.size(), 1u);
    EXPECT_EQ(live.track.front().playTick, 700);
    EXPECT_EQ(live.recordTime, 1700000000.5);
    EXPECT_EQ(live.heightAboveGround, 2500.0);
    EXPECT_EQ(live.earlyLimit, 1000);
    EXPECT_EQ(live.lateLimit, 1000);
    EXPECT_EQ(live.stageCounter, 1);
    EXPECT_TRUE(std::isnan(live.curve.controlEastM));
    EXPECT_TRUE(std::isnan(live.curve.controlNorthM));
    EXPECT_EQ(live.simPosition.lat, 0.0);
}

TEST_F(AircraftRecordsTest, PhaseChangeKeepsThePreviousPhase)
{
    LiveAircraft& aircraft = addLive(0x484C53, "KLM1", SimState::active);
    aircraft.setPhase(FlightPhase::taxi);
    aircraft.setPhase(FlightPhase::take_off);
    EXPECT_EQ(aircraft.phase, FlightPhase::take_off);
    EXPECT_EQ(aircraft.previousPhase, FlightPhase::taxi);
}

TEST_F(AircraftRecordsTest, NameTablesCoverTheirValuesAndRejectOthers)
{
    EXPECT_EQ(gf_simStateName(SimState::adding2sim), "adding2sim");
    EXPECT_EQ(gf_simStateName(SimState::removingfromsim), "removingfromsim");
    EXPECT_EQ(gf_phaseName(FlightPhase::pushing_back), "pushing_back");
    EXPECT_EQ(gf_phaseName(FlightPhase::parked), "parked");
    EXPECT_EQ(gf_phaseName(FlightPhase::birth), "birth");
    EXPECT_THROW(gf_simStateName(static_cast<SimState>(5)), std::out_of_range);
    EXPECT_THROW(gf_phaseName(static_cast<FlightPhase>(8)), std::out_of_range);
}

TEST_F(AircraftRecordsTest, ThrottleIsSentOnlyWhenTheStepChanges)
{
    StaticAircraft& aircraft = addStatic(1, "ST1*", SimState::active, 77);
    gf_setThrottle(aircraft, 1);
    gf_setThrottle(aircraft, 1);
    gf_setThrottle(aircraft, 4);
    gf_setThrottle(aircraft, 5);  // no event, but the next step 4 is sent again
    gf_setThrottle(aircraft, 4);
    const auto events = sentToSimulator().clientEvents;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].objectId, 77u);
    EXPECT_EQ(events[0].eventId, THROTTLE_SET);
    EXPECT_EQ(events[0].data, 4914u);
    EXPECT_EQ(events[1].data, 16383u);
    EXPECT_EQ(events[2].data, 16383u);
    EXPECT_EQ(aircraft.throttleStep, 4u);
}

TEST_F(AircraftRecordsTest, FlapsIndexFourRetractsAndAnInvalidIndexSendsNothing)
{
    corv_test::LogCapture log;
    StaticAircraft& aircraft = addStatic(2, "ST2*", SimState::active, 78);
    gf_setFlaps(aircraft, 2);
    gf_setFlaps(aircraft, 4);
    gf_setFlaps(aircraft, 4);
    gf_setFlaps(aircraft, 5);
    const auto events = sentToSimulator().clientEvents;
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].eventId, FLAPS_SET);
    EXPECT_EQ(events[0].data, 10240u);
    EXPECT_EQ(events[1].data, 0u);
    EXPECT_EQ(aircraft.flapsIndex, 4u);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"==> gf_setFlaps: invalid flaps index"});
}

TEST_F(AircraftRecordsTest, RotorcraftNeverGetsFlaps)
{
    StaticAircraft& aircraft = addStatic(3, "HELI*", SimState::active, 79);
    aircraft.category = AircraftCategory::Rotorcraft;
    gf_setFlaps(aircraft, 1);
    EXPECT_TRUE(sentToSimulator().clientEvents.empty());
    EXPECT_EQ(aircraft.flapsIndex, FLAPS_INDEX_NONE);
}

TEST_F(AircraftRecordsTest, LogTextsPadTheirFields)
{
    FlightIdentity identity = flight("KLM1023", "B738");
    identity.registration = "PH-BXA";
    EXPECT_EQ(gf_routeText(identity), "        ");
    EXPECT_EQ(gf_flightKeyText(identity), "         KLM1023  PH-BXA KLM B738");
    identity.destination = "EGLL";
    EXPECT_EQ(gf_routeText(identity), "   ->EGLL");
    identity.origin = "EHAM";
    EXPECT_EQ(gf_flightIdText(identity), "EHAM->EGLL KLM1023  PH-BXA");
    EXPECT_EQ(gf_flightLongText(identity), "KLM1023  PH-BXA KLM B738");
    EXPECT_EQ(gf_typeRegKeyText(identity), "KLM B738 PH-BXA");

    FlightIdentity other = flight("KLM99", "B738");
    EXPECT_TRUE(gf_sameTypeKey(identity, other));
    other.airline = "TRA";
    EXPECT_FALSE(gf_sameTypeKey(identity, other));
}

TEST_F(AircraftRecordsTest, CallsignRules)
{
    EXPECT_TRUE(gf_isValidCallsign(flight("KLM12345")));
    EXPECT_FALSE(gf_isValidCallsign(flight("KLM123456")));
    EXPECT_FALSE(gf_isValidCallsign(flight("@@@@@@@@")));
    EXPECT_FALSE(gf_isValidCallsign(flight("")));
    EXPECT_TRUE(gf_isValidCallsign(flight("AB1")));

    EXPECT_EQ(gf_airlineCodeOfCallsign("AB1"), std::nullopt);
    EXPECT_EQ(gf_airlineCodeOfCallsign("PHABC"), std::nullopt);
    EXPECT_EQ(gf_airlineCodeOfCallsign("klm1"), std::optional<std::string>("KLM"));

    FlightIdentity identity = flight("ezy45AB");
    identity.airline.clear();
    EXPECT_TRUE(gf_airlineFromCallsign(identity));
    EXPECT_EQ(identity.airline, "EZY");
    identity = flight("N123AB");
    EXPECT_FALSE(gf_airlineFromCallsign(identity));
    EXPECT_EQ(identity.airline, "KLM");
}

TEST_F(AircraftRecordsTest, OptionalCategoriesFollowTheirSwitches)
{
    const bool light = LIGHT_AIRCRAFT.value();
    const bool heli = HELICOPTERS.value();
    LIGHT_AIRCRAFT.setValue(false);
    HELICOPTERS.setValue(true);
    EXPECT_FALSE(gf_categoryEnabled(AircraftCategory::Light));
    EXPECT_TRUE(gf_categoryEnabled(AircraftCategory::Rotorcraft));
    EXPECT_TRUE(gf_categoryEnabled(AircraftCategory::Heavy));
    EXPECT_FALSE(gf_categoryEnabled(static_cast<AircraftCategory>(6)));
    LIGHT_AIRCRAFT.setValue(light);
    HELICOPTERS.setValue(heli);
}

TEST_F(AircraftRecordsTest, TrackPointCopiesThePositionPartOfAReceivedRecord)
{
    LiveTrafficRecord record;
    record.lat = 52.1;
    record.lon = 4.7;
    record.altitudeFt = 3000.0;
    record.groundSpeedKt = 180.0;
    record.trackDeg = 270.0;
    record.verticalRate = -700.0;
    record.speedKt = 190.0;
    record.playTick = 1234;
    record.airborne = true;
    record.stationary = true;
    record.headingSet = true;
    record.bankRad = -0.1;
    record.trueHeadingRad = 4.7;
    const TrackPoint point = gf_trackPointOf(record);
    EXPECT_EQ(point.lat, 52.1);
    EXPECT_EQ(point.lon, 4.7);
    EXPECT_EQ(point.altitude, 3000.0);
    EXPECT_EQ(point.groundSpeed, 180.0);
    EXPECT_EQ(point.track, 270.0);
    EXPECT_EQ(point.verticalRate, -700.0);
    EXPECT_EQ(point.speed, 190.0);
    EXPECT_EQ(point.playTick, 1234);
    EXPECT_TRUE(point.airborne && point.stationary && point.headingUsable);
    EXPECT_EQ(point.bank, -0.1);
    EXPECT_EQ(point.trueHeading, 4.7);
}

}  // namespace
