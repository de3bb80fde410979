// The nearest-stand search (widening, heli stands, the option fallback), the claims between live
// aircraft, and try2Park with the stand's occupied mark.
#include <algorithm>

#include "engine/removal.hpp"
#include "tests/engine/stand_test_support.hpp"
#include "tests/foundation/log_capture.hpp"

namespace {

using corv_test::northOf;

constexpr double WIDE = STAND_NAME_RADIUS_NM;
constexpr double NARROW = STAND_NARROW_RADIUS_NM;

bool logged(const std::vector<std::string>& lines, const std::string& text)
{
    return std::any_of(lines.begin(), lines.end(), [&text](const std::string& l) { return l.find(text) != l.npos; });
}

class StandSearchTest : public corv_test::StandTest {
protected:
    // Active and taxiing, its track running from 200 m south of the stands to lastMetresNorth.
    static LiveAircraft& taxiing(const std::string& callsign, double lastMetresNorth)
    {
        LiveAircraft& aircraft = addLive(0x400009, callsign, SimState::active, 9);
        aircraft.halfSpan = 17.9 / METRES_PER_NM;
        aircraft.track.front().lat = northOf(-200.0).lat;
        aircraft.track.front().lon = northOf(0.0).lon;
        aircraft.track.push_back(aircraft.track.front());
        aircraft.track.back().lat = northOf(lastMetresNorth).lat;
        aircraft.setPhase(FlightPhase::taxi);
        return aircraft;
    }
};

TEST_F(StandSearchTest, NearestStandWidensCloseStandsKeepsHelipadsApartAndFallsBackOnAUsedStand)
{
    Stand& small = addStand("S1", 0.0, 15.0);
    const AircraftInstance wider = corv_test::StandTest::aircraftOf("KLM12", 17.0);  // 2 m too wide
    EXPECT_EQ(gf_findNearestStand(northOf(-25.0), wider, WIDE, false), nullptr) << "widened only within 20 m";
    EXPECT_EQ(gf_findNearestStand(northOf(-15.0), wider, WIDE, false), &small);
    EXPECT_NEAR(small.radius * METRES_PER_NM, 16.0, 1e-9);
    EXPECT_EQ(small.radiusChanged, 1);
    EXPECT_EQ(learnedUpdateCount, 1);
    lf_occupyStand(small.number);
    EXPECT_EQ(gf_findNearestStand(northOf(-15.0), wider, WIDE, false), nullptr) << "occupied";

    Stand& helipad = addStand("H1", 30.0, 10.0, true);
    const AircraftInstance helicopter = aircraftOf("PHHEL", 6.0, AircraftCategory::Rotorcraft);
    EXPECT_EQ(gf_findNearestStand(northOf(28.0), helicopter, WIDE, false), &helipad);
    EXPECT_EQ(gf_findNearestStand(northOf(28.0), aircraftOf("KLM12", 6.0), WIDE, false), nullptr);
    small.occupied = 0;
    EXPECT_EQ(gf_findNearestStand(northOf(5.0), helicopter, WIDE, false), nullptr) << "the nearest is no helipad";

    Stand& used = addStand("F1", 150.0, 20.0);
    used.options.push_back(optionFor("KLM99", "", 3, 1));  // the same airline and type count as the flight
    const AircraftInstance airliner = aircraftOf("KLM12", 17.9);
    EXPECT_EQ(gf_findNearestStand(northOf(80.0), airliner, WIDE, true), &used) << "70 m away";
    EXPECT_EQ(gf_findNearestStand(northOf(80.0), airliner, WIDE, false), nullptr);
    EXPECT_EQ(gf_findNearestStand(northOf(60.0), airliner, WIDE, true), nullptr) << "90 m away";
    used.options.front().real = 0;
    EXPECT_EQ(gf_findNearestStand(northOf(80.0), airliner, WIDE, true), nullptr) << "a soft option";
}

TEST_F(StandSearchTest, ClaimDecidesBetweenTheHolderAndTheNewcomer)
{
    struct Claim {
        std::string holder;
        bool leaving;
        std::string newcomer;
        bool granted;  // and the holder removed
    };
    const std::vector<Claim> claims = {
        {"KLM12", false, "KLM12", true},   {"KLM12_", true, "KLM12", true}, {"KLM12", false, "KLM12_", false},
        {"EZY3_", true, "KLM12", true},    {"EZY3", false, "KLM12_", false}, {"EZY3", false, "KLM12", true},
        {"EZY3", true, "KLM12", false},
        // A ghost is the callsign with '_' appended, not any callsign one character longer.
        {"BAW12", false, "BAW123", true},  {"BAW123", true, "BAW12", false},
    };
    Stand& stand = addStand("S1", 0.0, 20.0);
    for (const Claim& claim : claims) {
        liveAircraft.clear();
        parkedOn(stand, 0x400001, claim.holder).leaveStand = claim.leaving;
        EXPECT_EQ(lf_claimStand(stand.number, claim.newcomer), claim.granted) << claim.holder << claim.newcomer;
        EXPECT_EQ(liveAircraft[0].state == SimState::removingfromsim, claim.granted) << claim.holder << claim.newcomer;
    }
    liveAircraft[0].setPhase(FlightPhase::parking);  // still driving there
    EXPECT_TRUE(lf_claimStand(stand.number, "KLM12"));
    EXPECT_EQ(liveAircraft[0].state, SimState::active);
}

TEST_F(StandSearchTest, Try2ParkTakesTheStandAndClearsItsOccupantAndTouchingNeighbours)
{
    corv_test::LogCapture log;
    Stand& stand = addStand("S1", 0.0, 20.0);
    stand.adjacent = {2, 3};
    parkedOn(stand, 0x400001, "OLD1");
    parkedOn(addStand("S2", 30.0, 20.0), 0x400002, "EZY2");
    parkedOn(addStand("S3", -45.0, 20.0), 0x400003, "EZY3");  // beyond 1.1 x both half spans
    gf_liveByHexid(0x400001)->newest.clockTick = -61 * TICKS_PER_SECOND;  // the occupant's data has ended
    LiveAircraft& aircraft = taxiing("KLM12", 5.0);
    EXPECT_EQ(gf_findCollidingAdjacentLive(stand, aircraft), std::optional<std::uint32_t>(2));

    try2Park(aircraft, false);
    EXPECT_EQ(aircraft.standNumber, stand.number);
    EXPECT_DOUBLE_EQ(aircraft.standLat, stand.lat);
    EXPECT_EQ(aircraft.phase, FlightPhase::parking);
    EXPECT_EQ(aircraft.previousPhase, FlightPhase::taxi);
    EXPECT_DOUBLE_EQ(aircraft.track.front().lat, northOf(-200.0).lat);
    EXPECT_TRUE(std::none_of(aircraft.track.begin(), aircraft.track.end(),
                             [](const TrackPoint& p) { return p.lat == northOf(5.0).lat; }))
        << "cut to its first point";
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[1].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[2].state, SimState::active);
    const std::vector<std::string> lines = log.lines();
    EXPECT_TRUE(logged(lines, "S1      : OLD1     removed, KLM12 wants to park there"));
    EXPECT_TRUE(logged(lines, "S2      : EZY2     removed by parking KLM12 at adjacent and possibly colliding stand S1"));
}

// The arrival turns away an aircraft whose stand is occupied: a mark set when the stand is
// claimed would turn away the aircraft that claimed it.
TEST_F(StandSearchTest, StandIsOccupiedOnArrivalNotWhenItIsClaimed)
{
    Stand& stand = addStand("S1", 0.0, 20.0);
    addStand("S2", 15.0, 20.0);
    LiveAircraft& aircraft = taxiing("KLM12", 3.0);
    try2Park(aircraft, false);
    ASSERT_EQ(aircraft.standNumber, stand.number);
    EXPECT_EQ(stand.occupied, 0);
    aircraft.track.back().lat = northOf(1.0).lat;  // closer: the next attempt finds its own stand
    try2Park(aircraft, false);
    EXPECT_EQ(aircraft.standNumber, stand.number);

    lf_occupyStand(stand.number);  // arrived
    aircraft.setPhase(FlightPhase::parked);
    EXPECT_EQ(gf_findNearestStand(northOf(0.0), aircraft, NARROW, false), &parkStands[1]);
    removeAircraftFromSim(aircraft);
    EXPECT_EQ(stand.occupied, 0);
}

TEST_F(StandSearchTest, Try2ParkLeavesTheReservedAndTheUsersStandAloneAndTriesAPointOnce)
{
    addStand("S1", 0.0, 20.0);
    LiveAircraft& aircraft = taxiing("KLM12", 2.0);
    setReservedStand("S1");
    try2Park(aircraft, false);
    setReservedStand("");
    try2Park(aircraft, false);
    EXPECT_EQ(aircraft.standNumber, 0U) << "reserved, then the same point again";
    userOnGround.store(true);
    UserAircraftSnapshot user;
    user.latitude = northOf(10.0).lat;
    user.longitude = northOf(10.0).lon;
    gf_setUserSnapshot(user);
    aircraft.track.back().lat = northOf(3.0).lat;
    try2Park(aircraft, false);
    EXPECT_EQ(aircraft.standNumber, 0U) << "the user stands there";
    userOnGround.store(false);  // nobody stands at a stand in the air
    aircraft.track.back().lat = northOf(4.0).lat;
    try2Park(aircraft, false);
    EXPECT_EQ(aircraft.standNumber, 1U);
}

}  // namespace
