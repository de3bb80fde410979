// The once-a-second collision rules between the user's aircraft and the program's aircraft: on
// the ground by the summed half spans (0.02 nm each here), in the air by the heading lines; one
// aircraft at most per call.
#include <gtest/gtest.h>

#include <numbers>
#include <optional>
#include <random>

#include "tests/app/run_test_support.hpp"

namespace corv_test {
namespace {

constexpr LatLon USER{52.30, 4.76};
constexpr double WEST = 1.5 * std::numbers::pi;

LatLon lf_north(double nm) { return LatLon{USER.lat + nm / 60.0, USER.lon}; }
LatLon lf_east(double nm) { return gf_destinationPoint(USER, std::numbers::pi / 2, nm * 6076.11549); }

UserForCollision lf_user(bool onGround, double heightFt = 0.0, double latShift = 0.0)
{
    UserForCollision user;
    user.snapshot.latitude = USER.lat + latShift;
    user.snapshot.longitude = USER.lon;
    user.snapshot.altitude = heightFt;
    user.snapshot.altAboveGround = heightFt;
    user.snapshot.heading = 0.0;  // north
    user.onGround = onGround;
    user.halfSpanNm = 0.02;
    return user;
}

using RunCollisionTest = RunTest;

TEST_F(RunCollisionTest, OnTheGroundLiveAircraftWithinTheSpansGoFirstThenStaticsOnceTheUserMoved)
{
    addLive(40001, "FAR", SimState::active, lf_north(0.05));    // beyond 0.046 nm
    addLive(40002, "NEW", SimState::adding2sim, lf_north(0.01));
    addLive(40003, "NEAR", SimState::active, lf_north(0.04));
    addLive(40004, "AIR", SimState::active, lf_north(0.0), false);
    addStatic(1, "STAND*", SimState::active, lf_north(0.04));  // within 0.044 nm

    EXPECT_TRUE(lf_checkUserCollisions(lf_user(true)));
    EXPECT_EQ(liveAircraft[0].state, SimState::active);
    EXPECT_EQ(liveAircraft[1].state, SimState::adding2sim);
    EXPECT_EQ(liveAircraft[2].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[3].state, SimState::active) << "in the air: no ground collision";
    EXPECT_EQ(staticAircraft[0].state, SimState::active) << "one per second";

    EXPECT_TRUE(lf_checkUserCollisions(lf_user(true)));
    EXPECT_EQ(staticAircraft[0].state, SimState::removingfromsim);
    addStatic(2, "STAND2*", SimState::active, lf_north(0.03));
    EXPECT_FALSE(lf_checkUserCollisions(lf_user(true))) << "the user stood still";
    EXPECT_TRUE(lf_checkUserCollisions(lf_user(true, 0.0, 1e-6)));

    COLLISION_USER_GND.setValue(false);
    addLive(40005, "NEAR2", SimState::active, lf_north(0.02));
    EXPECT_FALSE(lf_checkUserCollisions(lf_user(true, 0.0, 2e-6)));
}

TEST_F(RunCollisionTest, InTheAirAnAircraftAheadOnTheGroundOrOnACrossingCourseGoes)
{
    addLive(40001, "ASIDE", SimState::active, lf_east(0.5));
    addLive(40002, "AHEAD", SimState::active, lf_north(0.5));
    EXPECT_TRUE(lf_checkUserCollisions(lf_user(false, 300.0)));
    EXPECT_EQ(liveAircraft[0].state, SimState::active) << "half a mile beside the heading line";
    EXPECT_EQ(liveAircraft[1].state, SimState::removingfromsim);
    liveAircraft.clear();

    // Indexes, not references: each addLive may move the vector's elements.
    addLive(40003, "PASSING", SimState::active, lf_east(3.0), false);
    addLive(40004, "ABOVE", SimState::active, lf_east(3.0), false);
    addLive(40005, "CROSSING", SimState::active, lf_east(3.0), false);
    LiveAircraft& passing = liveAircraft[0];
    LiveAircraft& above = liveAircraft[1];
    LiveAircraft& crossing = liveAircraft[2];
    passing.simPosition.altitude = 5000.0;  // flies north, three miles beside the user
    above.simPosition.heading = WEST;
    above.simPosition.altitude = 6100.0;
    crossing.simPosition.heading = WEST;
    crossing.simPosition.altitude = 5500.0;
    EXPECT_TRUE(lf_checkUserCollisions(lf_user(false, 5000.0)));
    EXPECT_EQ(passing.state, SimState::active);
    EXPECT_EQ(above.state, SimState::active) << "1100 ft apart";
    EXPECT_EQ(crossing.state, SimState::removingfromsim);

    COLLISION_USER_AIR.setValue(false);
    passing.simPosition.heading = WEST;
    EXPECT_FALSE(lf_checkUserCollisions(lf_user(false, 5000.0)));
}

// The twin check finds the static aircraft a plain pass over every live and static pair finds:
// the first live aircraft on the ground with a twin, and its first active twin by callsign
// ("KLM1" and "KLM1*") or registration, on random fields with shared names and other states.
TEST_F(RunCollisionTest, StaticTwinIsTheOneAPassOverAllPairsFinds)
{
    std::mt19937 random(61);
    std::uniform_int_distribution<int> name(0, 39);
    std::uniform_int_distribution<int> liveName(0, 199);
    std::uniform_int_distribution<int> pick(0, 3);
    const auto plainTwin = []() -> std::optional<std::size_t> {
        for (const LiveAircraft& live : liveAircraft) {
            if (!live.onGround || live.state != SimState::active)
                continue;
            for (std::size_t i = 0; i < staticAircraft.size(); ++i) {
                const StaticAircraft& twin = staticAircraft[i];
                const bool same = twin.identity.callsign == live.identity.callsign + "*" ||
                                  (!live.identity.registration.empty() &&
                                   twin.identity.registration == live.identity.registration);
                if (same && twin.state == SimState::active)
                    return i;
            }
        }
        return std::nullopt;
    };
    int found = 0;
    for (int round = 0; round < 200; ++round) {
        liveAircraft.clear();
        staticAircraft.clear();
        for (std::uint32_t i = 0; i < 30; ++i) {
            StaticAircraft& parked = addStatic(100 + i, "KLM" + std::to_string(name(random)) + "*",
                                               pick(random) == 0 ? SimState::removingfromsim : SimState::active);
            parked.identity.registration = pick(random) == 0 ? "" : "PH-" + std::to_string(name(random));
            if (i % 4 != 0)
                continue;
            LiveAircraft& live = addLive(4000 + i, "KLM" + std::to_string(liveName(random)),
                                         pick(random) == 0 ? SimState::adding2sim : SimState::active, {},
                                         pick(random) != 0);
            live.identity.registration = pick(random) == 0 ? "" : "PH-" + std::to_string(liveName(random));
        }
        const std::optional<std::size_t> expected = plainTwin();
        ASSERT_EQ(lf_removeStaticTwinOfGroundLive(), expected.has_value()) << "round " << round;
        for (std::size_t i = 0; i < staticAircraft.size(); ++i) {
            const bool removed = staticAircraft[i].state == SimState::removingfromsim && removalQueue.size() == 1 &&
                                 removalQueue.front() == staticAircraft[i].objectId;
            ASSERT_EQ(removed, expected == i) << "round " << round << ", static " << i;
        }
        found += expected ? 1 : 0;
        removalQueue.clear();
    }
    EXPECT_GT(found, 20);
    EXPECT_LT(found, 180);
}

}  // namespace
}  // namespace corv_test
