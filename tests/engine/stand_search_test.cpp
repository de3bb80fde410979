// The stand searches (nearest stand with widening, heli stands and the option fallback; free
// stand for a half-hour and its passes), the claims between live aircraft and try2Park.
#include <algorithm>

#include "engine/removal.hpp"
#include "platform/window_display.hpp"
#include "tests/engine/stand_test_support.hpp"
#include "tests/foundation/log_capture.hpp"

namespace {

using corv_test::A320_HALF_SPAN_M;
using corv_test::BASE_LON;
using corv_test::northOf;
using corv_test::StandTest;

constexpr double WIDE = STAND_NAME_RADIUS_NM;

class StandSearchTest : public StandTest {};

bool logged(const std::vector<std::string>& lines, const std::string& text)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&text](const std::string& line) { return line.find(text) != std::string::npos; });
}

TEST_F(StandSearchTest, NearestStandFitsTheAircraftAndWidensAStandOnlyWhenItIsWithin20m)
{
    Stand& stand = addStand("S1", 0.0, 15.0);
    const AircraftInstance wide = aircraftOf("KLM12", 17.0);  // 2 m more than the stand offers

    EXPECT_EQ(gf_findNearestStand(northOf(-25.0), wide, WIDE, false), nullptr);
    EXPECT_NEAR(stand.radius * METRES_PER_NM, 15.0, 1e-9);
    EXPECT_EQ(learnedUpdateCount, 0);

    EXPECT_EQ(gf_findNearestStand(northOf(-15.0), wide, WIDE, false), &stand);
    EXPECT_NEAR(stand.radius * METRES_PER_NM, 16.0, 1e-9);
    EXPECT_EQ(stand.radiusChanged, 1);
    EXPECT_EQ(learnedUpdateCount, 1);
    EXPECT_EQ(vald::gf_displaySnapshot().learnedUpdates, 1U);

    // A fitting aircraft takes it farther away, without changing it; an occupied stand is no one's.
    EXPECT_EQ(gf_findNearestStand(northOf(-40.0), aircraftOf("KLM13", 14.0), WIDE, false), &stand);
    EXPECT_EQ(learnedUpdateCount, 1);
    EXPECT_EQ(gf_findNearestStand(northOf(-40.0), aircraftOf("KLM13", 14.0), STAND_NARROW_RADIUS_NM, false), nullptr);
    lf_occupyStand(stand.number);
    EXPECT_EQ(gf_findNearestStand(northOf(-5.0), aircraftOf("KLM13", 14.0), WIDE, false), nullptr);
}

TEST_F(StandSearchTest, HeliStandsAreForRotorcraftAndRotorcraftGetNothingElse)
{
    addStand("G1", 10.0, 20.0);
    Stand& helipad = addStand("H1", 30.0, 10.0, false, false, true);
    const AircraftInstance helicopter = aircraftOf("PHHEL", 6.0, AircraftCategory::Rotorcraft);

    EXPECT_EQ(gf_findNearestStand(northOf(0.0), helicopter, WIDE, false), nullptr) << "the nearest is no helipad";
    EXPECT_EQ(gf_findNearestStand(northOf(28.0), helicopter, WIDE, false), &helipad);
    EXPECT_EQ(gf_findNearestStand(northOf(28.0), aircraftOf("KLM12", 6.0), WIDE, false), nullptr);
}

TEST_F(StandSearchTest, FallbackIsAFittingStandThatTheFlightUsedWithin85m)
{
    Stand& used = addStand("F1", 70.0, 20.0);
    used.options.push_back(optionFor("KLM12", "", 3, 1));
    const AircraftInstance flight = aircraftOf("KLM12", 17.9);

    EXPECT_EQ(gf_findNearestStand(northOf(0.0), flight, WIDE, true), &used);
    EXPECT_EQ(gf_findNearestStand(northOf(0.0), flight, WIDE, false), nullptr);
    EXPECT_EQ(gf_findNearestStand(northOf(-20.0), flight, WIDE, true), nullptr) << "90 m away";
    EXPECT_EQ(gf_findNearestStand(northOf(0.0), aircraftOf("", 17.9), WIDE, true), nullptr) << "no callsign";
    // The same airline and type count as this flight's use; a soft option does not count.
    used.options.front().callsign = "KLM99";
    EXPECT_EQ(gf_findNearestStand(northOf(0.0), flight, WIDE, true), &used);
    used.options.front().real = 0;
    EXPECT_EQ(gf_findNearestStand(northOf(0.0), flight, WIDE, true), nullptr);
    used.options.front().real = 1;
    // A free stand within reach is taken before any fallback.
    Stand& near = addStand("N1", -30.0, 20.0);
    EXPECT_EQ(gf_findNearestStand(northOf(0.0), flight, WIDE, true), &near);
}

TEST_F(StandSearchTest, FreeStandForSlotTakesTheBestFittingStandOfTheAircraftsKind)
{
    setParkAirport("KJFK");  // gates before the ramp
    const WeekdayAndSlot slot{3, 20};
    Stand& bigGate = addStand("G2", 0.0, 32.0);
    Stand& gate = addStand("G1", 100.0, 20.0);
    Stand& ramp = addStand("R1", 200.0, 20.0, true);
    Stand& cargo = addStand("C1", 300.0, 30.0, false, true);
    Stand& helipad = addStand("H1", 400.0, 10.0, true, false, true);
    const AircraftInstance airliner = aircraftOf("KLM12", A320_HALF_SPAN_M);

    EXPECT_EQ(gf_findFreeStandForSlot(slot, airliner, false), &gate) << "the closest fit";
    // A stand this flight used is preferred among the candidates.
    bigGate.options.push_back(optionFor("KLM12", "", 5, 1));
    EXPECT_EQ(gf_findFreeStandForSlot(slot, airliner, false), &bigGate);
    bigGate.options.clear();
    // Used in this half-hour: the other gate, then the ramp.
    gate.options.push_back(optionFor("EZY1", "", 3, 1ULL << 20));
    EXPECT_EQ(gf_findFreeStandForSlot(slot, airliner, false), &bigGate);
    bigGate.options.push_back(optionFor("EZY2", "", 3, 1ULL << 20));
    EXPECT_EQ(gf_findFreeStandForSlot(slot, airliner, false), &ramp);

    AircraftInstance freighter = airliner;
    freighter.cargo = true;
    EXPECT_EQ(gf_findFreeStandForSlot(slot, freighter, false), &cargo);
    EXPECT_EQ(gf_findFreeStandForSlot(slot, aircraftOf("PHABC", 5.0, AircraftCategory::Light), false), &ramp);
    EXPECT_EQ(gf_findFreeStandForSlot(slot, aircraftOf("PHHEL", 6.0, AircraftCategory::Rotorcraft), false),
              &helipad);
    // Larger than every stand: the any-size pass still finds one.
    gate.options.clear();
    bigGate.options.clear();
    const Stand* any = gf_findFreeStandForSlot(slot, aircraftOf("KLM1", 60.0, AircraftCategory::Heavy), false);
    ASSERT_NE(any, nullptr);
    EXPECT_TRUE(any == &gate || any == &bigGate);
}

TEST_F(StandSearchTest, SmallAirportLooksIntoTheNextHalfHourOnce)
{
    const AircraftInstance airliner = aircraftOf("KLM12", A320_HALF_SPAN_M);
    for (int i = 0; i < 8; ++i)
        addStand("G" + std::to_string(i), 50.0 * i, 20.0).options.push_back(optionFor("X", "", 7, 1ULL << 47));
    EXPECT_EQ(gf_findFreeStandForSlot(WeekdayAndSlot{7, 47}, airliner, false), nullptr);
    EXPECT_NE(gf_findFreeStandForSlot(WeekdayAndSlot{7, 47}, airliner, true), nullptr) << "Monday 00:00 is free";
    for (Stand& stand : parkStands)
        stand.options.push_back(optionFor("Y", "", 1, 1));
    EXPECT_EQ(gf_findFreeStandForSlot(WeekdayAndSlot{7, 47}, airliner, true), nullptr) << "only one half-hour on";

    for (Stand& stand : parkStands)
        stand.options.pop_back();
    for (int i = 8; i < 11; ++i)
        addStand("G" + std::to_string(i), 50.0 * i, 20.0).options.push_back(optionFor("X", "", 7, 1ULL << 47));
    EXPECT_EQ(gf_findFreeStandForSlot(WeekdayAndSlot{7, 47}, airliner, true), nullptr) << "11 stands";
}

TEST_F(StandSearchTest, AdjacentLiveAircraftCollidesWhenItsStandIsWithinTheirSpans)
{
    Stand& target = addStand("A1", 0.0, 20.0);
    addStand("A2", 30.0, 20.0);
    addStand("A3", 50.0, 20.0);
    target.adjacent = {2, 3};
    const AircraftInstance newcomer = aircraftOf("KLM12", A320_HALF_SPAN_M);

    LiveAircraft& far = parkedOn(parkStands[2], 0x400003, "EZY3");
    EXPECT_EQ(gf_findCollidingAdjacentLive(target, newcomer), std::nullopt) << "50 m is clear of 1.1 x 35.8 m";
    LiveAircraft& near = parkedOn(parkStands[1], 0x400002, "EZY2");
    EXPECT_EQ(gf_findCollidingAdjacentLive(target, newcomer), std::optional<std::uint32_t>(2));
    near.identity.callsign = "KLM12";
    EXPECT_EQ(gf_findCollidingAdjacentLive(target, newcomer), std::nullopt) << "the same flight";
    near.identity.callsign = "EZY2";
    near.setPhase(FlightPhase::taxi);
    EXPECT_EQ(gf_findCollidingAdjacentLive(target, newcomer), std::nullopt);
    far.identity.type = "B744";
    EXPECT_EQ(gf_findCollidingAdjacentLive(target, newcomer), std::optional<std::uint32_t>(3)) << "a wider neighbour";
}

struct ClaimCase {
    std::string holder;
    bool holderLeaving;
    std::string newcomer;
    bool granted;
    bool holderRemoved;
};

TEST_F(StandSearchTest, ClaimDecidesBetweenTheHolderAndTheNewcomer)
{
    const std::vector<ClaimCase> cases = {
        {"KLM12", false, "KLM12", true, true},   // the same flight again
        {"KLM12_", true, "KLM12", true, true},   // the holder is the ghost
        {"KLM12", false, "KLM12_", false, false},  // the newcomer is the ghost
        {"EZY3_", true, "KLM12", true, true},    // any ghost gives way to a real flight
        {"EZY3", false, "KLM12_", false, false},  // a ghost never displaces a real flight
        {"EZY3", false, "KLM12", true, true},    // a parked aircraft gives way
        {"EZY3", true, "KLM12", false, false},   // one that is leaving does not
        // A ghost is the callsign with '_' appended, not any callsign one character longer.
        {"BAW12", false, "BAW123", true, true},
        {"BAW123", true, "BAW12", false, false},
    };
    Stand& stand = addStand("S1", 0.0, 20.0);
    for (const ClaimCase& claim : cases) {
        liveAircraft.clear();
        removalQueue.clear();
        parkedOn(stand, 0x400001, claim.holder).leaveStand = claim.holderLeaving;
        EXPECT_EQ(lf_claimStand(stand.number, claim.newcomer), claim.granted) << claim.holder << " " << claim.newcomer;
        EXPECT_EQ(liveAircraft[0].state == SimState::removingfromsim, claim.holderRemoved)
            << claim.holder << " " << claim.newcomer;
    }
    liveAircraft.clear();
    EXPECT_TRUE(lf_claimStand(stand.number, "KLM12")) << "nobody there";
    addLive(0x400001, "EZY3", SimState::active).standNumber = stand.number;  // still driving there
    EXPECT_TRUE(lf_claimStand(stand.number, "KLM12"));
    EXPECT_EQ(liveAircraft[0].state, SimState::active);
}

TEST_F(StandSearchTest, ClaimOfABaseCallsignOneCharacterShorterIsNoGhostReplacement)
{
    corv_test::LogCapture log;
    Stand& stand = addStand("S1", 0.0, 20.0);
    parkedOn(stand, 0x400001, "BAW123");
    EXPECT_TRUE(lf_claimStand(stand.number, "BAW12"));
    const std::vector<std::string> lines = log.lines();
    EXPECT_FALSE(logged(lines, "ghost"));
    EXPECT_TRUE(logged(lines, "S1      : BAW123   removed because another live BAW12 wants the stand ..."));
}

class Try2ParkTest : public StandTest {
protected:
    // A taxiing aircraft whose track runs from 200 m south of the stand row to the given point.
    static LiveAircraft& taxiing(std::uint32_t hexid, const std::string& callsign, double lastMetresNorth)
    {
        LiveAircraft& aircraft = addLive(hexid, callsign, SimState::active, hexid - 0x400000);
        aircraft.halfSpan = A320_HALF_SPAN_M / METRES_PER_NM;
        aircraft.track.front().lat = northOf(-200.0).lat;
        aircraft.track.front().lon = BASE_LON;
        TrackPoint last = aircraft.track.front();
        last.lat = northOf(lastMetresNorth).lat;
        aircraft.track.push_back(last);
        aircraft.setPhase(FlightPhase::taxi);
        return aircraft;
    }
};

TEST_F(Try2ParkTest, AircraftTakesTheStandAndClearsItAndTheCollidingNeighbours)
{
    corv_test::LogCapture log;
    Stand& stand = addStand("S1", 0.0, 20.0, false, true);
    stand.adjacent = {2};
    addStand("S2", 30.0, 20.0);
    parkedOn(parkStands[0], 0x400001, "OLD1");
    parkedOn(parkStands[1], 0x400002, "EZY2");
    LiveAircraft& aircraft = taxiing(0x400003, "KLM12", 5.0);

    try2Park(aircraft, false);
    EXPECT_EQ(aircraft.standNumber, stand.number);
    EXPECT_DOUBLE_EQ(aircraft.standLat, stand.lat);
    EXPECT_TRUE(aircraft.cargoStand);
    EXPECT_EQ(aircraft.phase, FlightPhase::parking);
    EXPECT_EQ(aircraft.previousPhase, FlightPhase::taxi);
    EXPECT_DOUBLE_EQ(aircraft.track.front().lat, northOf(-200.0).lat);
    EXPECT_TRUE(std::none_of(aircraft.track.begin(), aircraft.track.end(),
                             [](const TrackPoint& point) { return point.lat == northOf(5.0).lat; }))
        << "the track is cut to its first point";
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[1].state, SimState::removingfromsim);
    const std::vector<std::string> lines = log.lines();
    EXPECT_TRUE(logged(lines, "S1      : OLD1     removed, KLM12 wants to park there"));
    EXPECT_TRUE(logged(lines, "S2      : EZY2     removed by parking KLM12 at adjacent and possibly colliding stand S1"));
}

// The stand is marked occupied when the aircraft arrives, not when it sets out for it: the
// arrival turns away an aircraft whose stand is occupied.
TEST_F(Try2ParkTest, StandIsOccupiedOnArrivalNotWhenItIsClaimed)
{
    Stand& stand = addStand("S1", 0.0, 20.0);
    addStand("S2", 15.0, 20.0);
    LiveAircraft& aircraft = taxiing(0x400003, "KLM12", 3.0);
    try2Park(aircraft, false);
    ASSERT_EQ(aircraft.standNumber, stand.number);
    EXPECT_EQ(stand.occupied, 0);

    // Closer to the stand, the next attempt still finds the aircraft's own stand.
    aircraft.track.back().lat = northOf(1.0).lat;
    try2Park(aircraft, false);
    EXPECT_EQ(aircraft.standNumber, stand.number);

    lf_occupyStand(stand.number);  // arrived
    EXPECT_EQ(gf_findNearestStand(northOf(0.0), aircraft, STAND_NARROW_RADIUS_NM, false), &parkStands[1]);
    removeAircraftFromSim(aircraft);
    EXPECT_EQ(stand.occupied, 0) << "freed when the aircraft leaves";
}

TEST_F(Try2ParkTest, UsersStandReservedStandAndARepeatedPointAreLeftAlone)
{
    corv_test::LogCapture log;
    addStand("S1", 0.0, 20.0);
    LiveAircraft& first = taxiing(0x400003, "KLM12", 2.0);
    setReservedStand("S1");
    try2Park(first, false);
    EXPECT_EQ(first.standNumber, 0U);

    setReservedStand("");
    try2Park(first, false);
    EXPECT_EQ(first.standNumber, 0U) << "the same last point is not tried twice";

    userOnGround.store(true);
    UserAircraftSnapshot user;
    user.latitude = northOf(1.0).lat;
    user.longitude = BASE_LON;
    gf_setUserSnapshot(user);
    first.track.back().lat = northOf(3.0).lat;
    try2Park(first, false);
    EXPECT_EQ(first.standNumber, 0U) << "the user stands there";

    userOnGround.store(false);
    first.track.back().lat = northOf(4.0).lat;
    try2Park(first, false);
    EXPECT_EQ(first.standNumber, 1U);

    first.track.clear();
    try2Park(first, true);
    EXPECT_TRUE(logged(log.lines(), "==> try2Park empty sz?"));
}

TEST_F(StandSearchTest, StandNameAtTheUsersPlaceOnlyOnTheGround)
{
    EXPECT_EQ(gf_standNameAt(northOf(0.0)), "");
    addStand("S1", 0.0, 20.0);
    addStand("S2", 50.0, 20.0);
    EXPECT_EQ(gf_standNameAt(northOf(10.0)), "") << "in the air";
    userOnGround.store(true);
    EXPECT_EQ(gf_standNameAt(northOf(10.0)), "S1");
    EXPECT_EQ(gf_standNameAt(northOf(40.0)), "S2");
    EXPECT_EQ(gf_standNameAt(northOf(120.0)), "");
    // New stands: a position asked before is looked up again.
    gf_resetStandRecords();
    addStand("T9", 120.0, 20.0);
    EXPECT_EQ(gf_standNameAt(northOf(120.0)), "T9");
    EXPECT_EQ(gf_findStandByName("T9"), &parkStands[0]);
    EXPECT_EQ(gf_findStandByName("S1"), nullptr);
}

}  // namespace
