// The traffic-service stand-in: scenario reading and where a flight is at a given time.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "standins/service/scenario.hpp"
#include "standins/service/track.hpp"

namespace service_standin {
namespace {

using nlohmann::json;

constexpr double kOneNmLat = 1.0 / 60.0;  // one nautical mile of latitude in degrees

Flight flightFrom(const json& track) {
    return parseScenario({{"flights", {{{"hex", "484f6d"}, {"track", track}}}}}).flights.at(0);
}

TEST(ServiceTrack, InterpolatesPositionAltitudeAndDerivedMotionWithinASegment) {
    // Northbound, one nautical mile per minute, climbing 600 ft in that minute, then due east.
    const Flight f = flightFrom(json::array({
        {{"t", 0}, {"lat", 52.0}, {"lon", 4.0}, {"altFt", 1000}},
        {{"t", 60}, {"lat", 52.0 + kOneNmLat}, {"lon", 4.0}, {"altFt", 1600}},
        {{"t", 120}, {"lat", 52.0 + kOneNmLat}, {"lon", 4.1}, {"altFt", 1600}},
    }));

    const auto mid = stateAt(f, 15);
    ASSERT_TRUE(mid);
    EXPECT_NEAR(mid->lat, 52.0 + kOneNmLat / 4, 1e-9);
    EXPECT_NEAR(mid->lon, 4.0, 1e-9);
    EXPECT_NEAR(mid->altFt, 1150, 1e-9);
    EXPECT_NEAR(mid->gsKt, 60.0, 0.01);
    EXPECT_NEAR(mid->trackDeg, 0.0, 0.01);
    EXPECT_NEAR(mid->vsFpm, 600.0, 1e-9);
    EXPECT_FALSE(mid->onGround);

    const auto second = stateAt(f, 90);
    ASSERT_TRUE(second);
    EXPECT_NEAR(second->lon, 4.05, 1e-9);
    EXPECT_NEAR(second->trackDeg, 90.0, 0.1);
    EXPECT_NEAR(second->vsFpm, 0.0, 1e-9);

    // The flight exists from its first to its last point, both included.
    EXPECT_TRUE(stateAt(f, 0));
    EXPECT_NEAR(stateAt(f, 120)->lon, 4.1, 1e-9);
    EXPECT_FALSE(stateAt(f, -0.5));
    EXPECT_FALSE(stateAt(f, 120.5));
}

TEST(ServiceTrack, GroundStateGivenSpeedsAndTracksAndStandingStill) {
    const Flight f = flightFrom(json::array({
        {{"t", 0}, {"lat", 52.0}, {"lon", 4.0}, {"altFt", -11}, {"ground", true}, {"gsKt", 0}, {"trackDeg", 350}},
        {{"t", 10}, {"lat", 52.001}, {"lon", 4.0}, {"altFt", -11}, {"ground", true}, {"gsKt", 20}, {"trackDeg", 10}},
        {{"t", 20}, {"lat", 52.001}, {"lon", 4.0}, {"altFt", -11}, {"ground", true}},
        {{"t", 40}, {"lat", 52.01}, {"lon", 4.0}, {"altFt", 500}},
    }));

    const auto taxi = stateAt(f, 5);
    ASSERT_TRUE(taxi);
    EXPECT_TRUE(taxi->onGround);
    EXPECT_NEAR(taxi->gsKt, 10.0, 1e-9);
    // Half the time in, speeding up evenly from a standstill, it has covered a quarter of the way.
    EXPECT_NEAR(taxi->lat, 52.00025, 1e-9);
    EXPECT_NEAR(taxi->trackDeg, 0.0, 1e-9);  // 350 -> 10 turns through north, not through south
    EXPECT_EQ(taxi->vsFpm, 0.0);

    // Standing between two equal points: no speed, and the direction it came with.
    const auto standing = stateAt(f, 15);
    ASSERT_TRUE(standing);
    EXPECT_TRUE(standing->onGround);
    EXPECT_NEAR(standing->gsKt, 0.0, 1e-9);
    EXPECT_NEAR(standing->trackDeg, 0.0, 0.01);

    // Exactly at the last ground point it is still on the ground; once moving to an airborne
    // point it no longer is.
    EXPECT_TRUE(stateAt(f, 20)->onGround);
    const auto climbing = stateAt(f, 30);
    EXPECT_FALSE(climbing->onGround);
    EXPECT_NEAR(climbing->vsFpm, (500.0 + 11.0) / 20.0 * 60.0, 1e-9);
}

TEST(ServiceScenario, RejectsUnusableScenariosNamingTheMember) {
    const json twoPoints = json::array({{{"t", 0}, {"lat", 52}, {"lon", 4}}, {{"t", 0}, {"lat", 52.1}, {"lon", 4}}});
    try {
        parseScenario({{"flights", {{{"hex", "484f6d"}, {"track", twoPoints}}}}});
        FAIL() << "equal times accepted";
    } catch (const ScenarioError& e) {
        EXPECT_NE(std::string(e.what()).find("flights[0].track[1]"), std::string::npos) << e.what();
    }
    EXPECT_THROW(parseScenario({{"flights", {{{"hex", "484f6d"}, {"track", json::array({twoPoints[0]})}}}}}),
                 ScenarioError);
    EXPECT_THROW(parseScenario({{"parked", {{{"hex", "484161"}, {"stand", "D2"}}}}}), ScenarioError);
    EXPECT_THROW(parseScenario({{"stations", {{{"icao", "EHAM"}, {"lat", 95}, {"lon", 4}}}}}), ScenarioError);
    EXPECT_THROW(parseScenario({{"license", {{"rrl", "fast"}}}}), ScenarioError);
}

TEST(ServiceScenario, ParkedAircraftStandOnTheirAirportStand) {
    const Scenario s = parseScenario({
        {"airport", {{"icao", "EHAM"}, {"stands", {{{"id", "D2"}, {"lat", 52.312}, {"lon", 4.7614}}}}}},
        {"parked", {{{"hex", "484161"}, {"stand", "D2"}}, {{"hex", "484162"}, {"stand", "X"}, {"lat", 52.3}, {"lon", 4.7}}}},
    });
    ASSERT_EQ(s.parked.size(), 2u);
    EXPECT_DOUBLE_EQ(s.parked[0].lat, 52.312);
    EXPECT_DOUBLE_EQ(s.parked[0].lon, 4.7614);
    EXPECT_DOUBLE_EQ(s.parked[1].lat, 52.3);
}

TEST(ServiceScenario, QnhInEveryFormItMayBeGiven) {
    EXPECT_DOUBLE_EQ(qnhHpa(1021), 1021.0);
    EXPECT_DOUBLE_EQ(qnhHpa(1009.8), 1009.8);
    EXPECT_DOUBLE_EQ(qnhHpa("1009.8"), 1009.8);
    EXPECT_NEAR(qnhHpa(2992), 1013.25, 0.1);  // hundredths of an inch of mercury
    EXPECT_DOUBLE_EQ(qnhHpa("abc"), 1013.25);
    EXPECT_DOUBLE_EQ(qnhHpa(nullptr), 1013.25);
}

TEST(ServiceScenario, DemoScenarioLoadsAndKeepsItsFlightsNearAmsterdam) {
    const Scenario s = loadScenario(std::filesystem::path(CORV_SOURCE_DIR) / "standins/data/scenario-eham.json");
    ASSERT_TRUE(s.airport);
    EXPECT_EQ(s.airport->icao, "EHAM");
    EXPECT_GE(s.parked.size(), 12u);
    EXPECT_GE(s.flights.size(), 4u);
    for (const Flight& f : s.flights) {
        const auto start = stateAt(f, f.track.front().t);
        ASSERT_TRUE(start) << f.callsign;
        EXPECT_LT(std::abs(start->lat - 52.3086), 1.0) << f.callsign;
    }
}

}  // namespace
}  // namespace service_standin
