// The traffic-service stand-in: the live array and parked entry on the wire, and the "data"
// members built from a scenario at a time and for a box.
#include <gtest/gtest.h>

#include <tuple>

#include <nlohmann/json.hpp>

#include "standins/service/live_array.hpp"

namespace service_standin {
namespace {

using nlohmann::json;

constexpr double kEpoch = 1700000000.0;

// Parsed back from its text, as the client sees it: the JSON kinds must survive the wire.
json wire(const json& j) { return json::parse(j.dump()); }

TEST(ServiceLiveArray, AirborneTargetFillsEveryReadElementWithItsKind) {
    Flight f;
    f.hex = "484f6d";
    f.callsign = "KLM641";
    f.type = "B77W";
    f.registration = "PH-BVB";
    f.origin = "EHAM";
    f.destination = "KJFK";
    f.category = "A5";
    FlightState s{52.25, 4.5, 3000, 250.04, 237.5, -850.4, 12.5, false};

    const json a = wire(liveArray(f, s, kEpoch + 12.25, 1023.0));
    ASSERT_EQ(a.size(), 48u);
    EXPECT_EQ(a[0], "484f6d");
    EXPECT_TRUE(a[1].is_number_float());
    EXPECT_DOUBLE_EQ(a[1].get<double>(), 52.25);
    EXPECT_DOUBLE_EQ(a[2].get<double>(), 4.5);
    EXPECT_DOUBLE_EQ(a[3].get<double>(), 237.5);
    // Pressure altitude: 3000 ft true at QNH 1023 is 9.75 hPa x 27 ft lower on the standard scale.
    EXPECT_EQ(a[4].get<std::int64_t>(), 2737);
    EXPECT_DOUBLE_EQ(a[5].get<double>(), 250.0);
    EXPECT_EQ(a[8], "B77W");
    EXPECT_EQ(a[9], "PH-BVB");
    EXPECT_DOUBLE_EQ(a[10].get<double>(), kEpoch + 12.25);
    EXPECT_EQ(a[11], "EHAM");
    EXPECT_EQ(a[12], "KJFK");
    EXPECT_EQ(a[13], "KLM641");
    EXPECT_EQ(a[15].get<std::int64_t>(), -850);
    EXPECT_EQ(a[17], "adsb_icao");
    EXPECT_EQ(a[20].get<std::int64_t>(), 250);
    EXPECT_DOUBLE_EQ(a[23].get<double>(), 12.5);
    EXPECT_DOUBLE_EQ(a[25].get<double>(), 237.5);
    EXPECT_EQ(a[28], "A5");
    for (int unread : {6, 7, 14, 16, 18, 19, 21, 22, 24, 26, 27, 29, 47}) EXPECT_TRUE(a[unread].is_null()) << unread;
}

TEST(ServiceLiveArray, GroundTargetAndMissingTextsUseTheServiceMarkers) {
    Flight f;
    f.hex = "4840d6";
    f.category.clear();
    FlightState s{52.3, 4.76, -11, 18, 90, 0, 0, true};

    const json a = wire(liveArray(f, s, kEpoch, 1021.0));
    EXPECT_EQ(a[4].get<std::int64_t>(), 0);   // on the ground
    EXPECT_EQ(a[20].get<std::int64_t>(), -1); // no airspeed on the ground
    EXPECT_EQ(a[8], "ZZZZ");
    for (int i : {9, 11, 12, 13, 28}) EXPECT_EQ(a[i], "null") << i;
}

TEST(ServiceLiveArray, ParkedEntryKeepsFloatPositionsAndAnIntegerTime) {
    ParkedAircraft p;
    p.hex = "484161";
    p.stand = "D2";
    p.type = "B738";
    p.lat = 52.0;  // whole degrees must still travel as floats
    p.lon = 5.0;
    const json e = wire(parkedEntry(p, 1700000123));
    ASSERT_EQ(e.size(), 7u);
    EXPECT_TRUE(e[0].is_number_float());
    EXPECT_TRUE(e[1].is_number_float());
    EXPECT_EQ(e[2], "D2");
    EXPECT_EQ(e[3], "B738");
    EXPECT_EQ(e[4], "null");
    EXPECT_TRUE(e[5].is_number_integer());
    EXPECT_EQ(e[5].get<std::int64_t>(), 1700000123);
    EXPECT_EQ(e[6], "null");
}

class ServiceTrafficData : public ::testing::Test {
protected:
    Scenario scenario = parseScenario({
        {"stations", {{{"icao", "EHAM"}, {"lat", 52.3}, {"lon", 4.76}, {"qnh", 1013.25}}}},
        {"flights",
         {{{"hex", "aaaaaa"},
           {"track", {{{"t", 0}, {"lat", 52.0}, {"lon", 4.5}, {"altFt", 2000}}, {{"t", 100}, {"lat", 52.5}, {"lon", 4.5}, {"altFt", 2000}}}}},
          {{"hex", "bbbbbb"},
           {"track", {{{"t", 50}, {"lat", 52.3}, {"lon", 4.7}, {"altFt", 5000}}, {{"t", 150}, {"lat", 52.3}, {"lon", 5.2}, {"altFt", 5000}}}}}}},
        {"parked",
         {{{"hex", "cccccc"}, {"stand", "D2"}, {"lat", 52.31}, {"lon", 4.76}, {"ageMinutes", 30}},
          {{"hex", "dddddd"}, {"stand", "Z9"}, {"lat", 51.0}, {"lon", 3.0}}}},
    });
    QueryBox box{52.6, 52.0, 4.4, 4.8};
};

TEST_F(ServiceTrafficData, LiveDataHoldsTheFlightsInTheBoxAtThatTime) {
    json data = wire(liveData(scenario, 20, kEpoch, box));
    ASSERT_EQ(data.size(), 1u);  // the second flight has not started yet
    EXPECT_DOUBLE_EQ(data["aaaaaa"][1].get<double>(), 52.1);
    EXPECT_DOUBLE_EQ(data["aaaaaa"][10].get<double>(), kEpoch + 20);
    EXPECT_EQ(data["aaaaaa"][4].get<std::int64_t>(), 2000);

    data = wire(liveData(scenario, 60, kEpoch, box));
    EXPECT_EQ(data.size(), 2u);
    data = wire(liveData(scenario, 120, kEpoch, box));  // first ended, second left the box eastwards
    EXPECT_TRUE(data.empty());
}

TEST_F(ServiceTrafficData, ParkedDataHoldsTheAircraftInTheBoxWithTheirReportTime) {
    const json data = wire(parkedData(scenario, 100, kEpoch, box));
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data["cccccc"][2], "D2");
    EXPECT_EQ(data["cccccc"][5].get<std::int64_t>(), static_cast<std::int64_t>(kEpoch) + 100 - 30 * 60);
}

TEST(ServiceLoopingScenario, EachRepetitionFliesTheSameTrackUnderNewAddressesAndCallsigns) {
    const json flights = {{{"hex", "fffffe"}, {"callsign", "KLM1776"}, {"registration", "PH-BXC"},
                           {"track", {{{"t", 0}, {"lat", 52.0}, {"lon", 4.5}}, {{"t", 100}, {"lat", 52.5}, {"lon", 4.5}}}}}};
    const Scenario scenario = parseScenario({{"flights", flights}, {"loopSeconds", 200}});
    const QueryBox box{53, 51, 4, 5};
    auto at = [&](double t) { return wire(liveData(scenario, t, kEpoch, box)); };

    json data = at(20);
    ASSERT_TRUE(data.contains("fffffe")) << data.dump();
    EXPECT_EQ(data["fffffe"][13], "KLM1776");
    EXPECT_TRUE(at(150).empty());  // between the track's end and the loop's
    EXPECT_TRUE(at(-180).empty()); // before the clock's start nothing flies yet
    // The second repetition at the same point of its track, the third wrapped past 24 bits; each
    // has a callsign of its own (an aircraft of an earlier one may still stand parked), keeps the
    // registration and reports its own data time.
    for (const auto& [t, hex, callsign] :
         {std::tuple{220.0, "ffffff", "KLM177A"}, std::tuple{420.0, "000000", "KLM177B"}}) {
        data = at(t);
        ASSERT_EQ(data.size(), 1u) << t;
        const json& a = data[hex];
        EXPECT_EQ(a[0], hex);
        EXPECT_DOUBLE_EQ(a[1].get<double>(), 52.1);
        EXPECT_EQ(a[13], callsign);
        EXPECT_EQ(a[9], "PH-BXC");
        EXPECT_DOUBLE_EQ(a[10].get<double>(), kEpoch + t);
    }

    EXPECT_THROW(parseScenario({{"flights", flights}, {"loopSeconds", 0}}), ScenarioError);
    json named = flights;
    named[0]["hex"] = "KLM1776";
    EXPECT_THROW(parseScenario({{"flights", named}, {"loopSeconds", 900}}), ScenarioError);
    EXPECT_NO_THROW(parseScenario({{"flights", named}}));
}

}  // namespace
}  // namespace service_standin
