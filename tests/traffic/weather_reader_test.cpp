// The weather reader thread against the traffic-service stand-in, and the QNH extraction.
#include <gtest/gtest.h>

#include <gsl/narrow>

#include "tests/traffic/reader_fixture.hpp"

using corv_test::logged;
using corv_test::ReaderSession;
using nlohmann::json;

namespace {

TEST(ExtractQnh, EveryFormOfTheValue)
{
    corv_test::TrafficLog log;
    const std::pair<const char*, std::int32_t> cases[] = {
        {R"({"QNH": 1013.6})", 1014}, {R"({"QNH": 1012.5})", 1013}, {R"({"QNH": 2992})", 1013},
        {R"({"QNH": "1009.8"})", 1009}, {R"({"QNH": "-5"})", -5},      {R"({"QNH": 1101})", 373},
        {R"({"QNH": 3300})", 1118},     {R"({"QNH": "abc"})", 1013},   {R"({"QNH": "99999999999"})", 1013},
        {R"({"QNH": true})", 1013},     {R"({"METAR": "x"})", 1013},   {"[1013]", 1013}, {"null", 1013}};
    for (const auto& [data, qnh] : cases)
        EXPECT_EQ(extractQNH(json::parse(data)), qnh) << data;
    EXPECT_TRUE(logged(log.lines(), "extractQNH: abc"));
    EXPECT_TRUE(logged(log.lines(), "No QNH found in data"));
    EXPECT_THROW(extractQNH(json::parse(R"({"QNH": 5000000000})")), gsl::narrowing_error);
    EXPECT_THROW(extractQNH(json::parse(R"({"QNH": 1e300})")), gsl::narrowing_error);
}

TEST(WeatherReaderThread, PublishesTheNearestStationsQnhWithinLimits)
{
    ReaderSession s(corv_test::readerScenario());
    s.user = {51.95, 4.44, 1234.9};
    ASSERT_TRUE(gf_startWeatherReader(s.weather, s.traffic));
    ASSERT_TRUE(s.waitFor([&] { return s.weather.qnhPublished.load(); }));
    EXPECT_EQ(s.traffic.qnh.load(), 1005);
    EXPECT_EQ(vald::gf_displaySnapshot().qnhHpa, 1005);
    EXPECT_EQ(vald::gf_displaySnapshot().weatherLamp, vald::LAMP_RECEIVED);
    EXPECT_TRUE(s.weather.stationKnown.load());
    const json fields = s.sent("weather").at(0)["fields"];
    EXPECT_EQ(fields["airports"].get<std::string>() + fields["alt"].get<std::string>(), "EHRD1234");

    // Each new value is published once, clamped to 900..1100; 1013 on every reply.
    for (const json& qnh : {json(850), json("1100"), json(3300), json(1013)}) {
        ASSERT_TRUE(s.control().post("/control/qnh", json{{"icao", "EHRD"}, {"qnh", qnh}}.dump(), "application/json"));
        const std::size_t sentBefore = s.sent("weather").size();
        ASSERT_TRUE(s.waitFor([&] { return s.sent("weather").size() >= sentBefore + 3; }));
    }
    const std::vector<std::int32_t> published = s.publishedQnh();
    ASSERT_GE(published.size(), 5u);
    EXPECT_EQ(std::vector<std::int32_t>(published.begin(), published.begin() + 3), (std::vector<std::int32_t>{1005, 900, 1100}));
    EXPECT_TRUE(std::all_of(published.begin() + 3, published.end(), [](std::int32_t q) { return q == 1013; }));
    EXPECT_EQ(s.traffic.qnh.load(), 1013);
}

TEST(WeatherReaderThread, PassingFailuresRetry)
{
    ReaderSession s(corv_test::readerScenario());
    s.faults("nearestmetar", {{{"status", 406}, {"message", "busy"}}, {{"status", 500}},
                              {{"body", R"({"status":200,"data":[]})"}}, {{"cut", true}}});
    // A reply nested 100,000 deep once overflowed the stack: now it is invalid, and quoted short.
    const std::string deep = R"({"status":200,"data":)" + std::string(100000, '[') + std::string(100000, ']') + "}";
    s.faults("weather", {{{"status", 500}, {"message", "down"}}, {{"cut", true}}, {{"body", ""}}, {{"body", "{"}},
                         {{"body", deep}}});
    ASSERT_TRUE(gf_startWeatherReader(s.weather, s.traffic));
    ASSERT_TRUE(s.waitFor([&] { return s.weather.qnhPublished.load(); }));
    gf_stopReaders(s.traffic, s.weather);
    ASSERT_TRUE(gf_waitReadersEnded(std::chrono::seconds(60), s.traffic, s.weather));
    EXPECT_EQ(s.publishedQnh(), std::vector<std::int32_t>{1021});
    // No weather request follows a station request that brought no station.
    std::string order;
    for (const json& r : s.standin.requests())
        order += r["endpoint"] == "nearestmetar" ? "n" : r["endpoint"] == "weather" ? "w" : "";
    EXPECT_EQ(order.substr(0, 12), "nnnnnwnwnwnw");
    const std::vector<std::string> lines = s.log.lines();
    for (const char* text : {"406 json nearestmetar busy", "500 json nearestmetar", "nearestmetar code:", "500 json weather down",
                             "weather code:", "Empty content?, no QNH to be found", "Invalid JSON: {",
                             "Invalid JSON: {\"status\":200,\"data\":[[[["})
        EXPECT_TRUE(logged(lines, text)) << text;
    for (const std::string& line : lines)
        EXPECT_LT(line.size(), 400u);
    EXPECT_TRUE(s.stops().empty() && s.weather.stopped.load());
}

TEST(WeatherReaderThread, RefusalsEndTheRunAndStopTheTrafficReader)
{
    const std::tuple<const char*, std::int32_t, const char*, std::uint32_t> cases[] = {
        {"nearestmetar", 401, "re-authentication to RT API is needed, restart Corv_P3D", 6},
        {"nearestmetar", 400, "Weather RT API: parameter fault", 7},
        {"weather", 403, "Weather RT API error: 403", 7}};
    for (const auto& [endpoint, status, warning, reason] : cases) {
        ReaderSession s(corv_test::readerScenario());
        s.standin.addFault({{"endpoint", endpoint}, {"status", status}});
        ASSERT_TRUE(gf_startWeatherReader(s.weather, s.traffic));
        ASSERT_TRUE(s.waitFor([&] { return s.weather.ended.load(); }));
        EXPECT_EQ(s.stops().at(0).first, reason) << status;
        EXPECT_EQ(s.statuses, std::vector<std::string>{"The Weather Reader has stopped with an error"});
        EXPECT_TRUE(s.traffic.stop.load() && !s.weather.stopped.load());
        EXPECT_EQ(vald::gf_displaySnapshot().weatherLamp, vald::LAMP_HIDDEN);
        EXPECT_TRUE(logged(s.log.lines(), warning));
    }
}

TEST(WeatherReaderThread, StopEndsTheThreadPromptlyInEveryPhase)
{
    ReaderSession s(corv_test::readerScenario(600, 10000), true);
    s.weather.wrrl.store(600);  // until a weather reply asks for 10 s
    for (const std::string endpoint : {"nearestmetar", "weather", ""}) {
        if (!endpoint.empty())
            s.faults(endpoint, {{{"stallSeconds", 300}}});
        s.weather.stop.store(false);
        ASSERT_TRUE(gf_startWeatherReader(s.weather, s.traffic));
        // In the request, or in the pause after the first QNH.
        ASSERT_TRUE(s.waitFor([&] { return endpoint.empty() ? s.weather.qnhPublished.load() : !s.sent(endpoint).empty(); }));
        EXPECT_TRUE(ReaderSession::endsOnStop(s.weather)) << endpoint;
        EXPECT_TRUE(s.weather.stopped.load());
    }
    EXPECT_TRUE(s.stops().empty() && !s.traffic.stop.load());
}

}  // namespace
