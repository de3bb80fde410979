// Requests of every kind against the stand-in, and its live reply through the record builder:
// the stand-in's own codec checks ours.
#include <gtest/gtest.h>

#include "tests/support/service_standin.hpp"
#include "tests/traffic/traffic_test_support.hpp"
#include "traffic/service_client.hpp"

using nlohmann::json;

namespace {

constexpr std::int64_t START_EPOCH = 1699936170;  // 04:29:30 UTC

json scenario()
{
    return json::parse(R"({
      "startEpoch": 1699936170, "clock": "frozen",
      "license": {"keys": ["K"], "guid": "g&1"},
      "stations": [{"icao": "EHAM", "lat": 52.3086, "lon": 4.7639, "qnh": 1023, "metar": "EHAM 140425Z 1023"}],
      "flights": [
        {"hex": "484506", "callsign": "KLM1234", "type": "A320", "registration": "PH-BXA",
         "origin": "EHAM", "destination": "LFPG",
         "track": [{"t": 0, "lat": 52.40, "lon": 4.80, "altFt": 3000},
                   {"t": 600, "lat": 52.70, "lon": 5.20, "altFt": 9000}]},
        {"hex": "4840ff", "callsign": "BALLOON", "type": "BALL", "category": "B2",
         "track": [{"t": 0, "lat": 52.41, "lon": 4.81, "altFt": 2000}, {"t": 600, "lat": 52.42, "lon": 4.82, "altFt": 2000}]}
      ]
    })");
}

class ServiceReplies : public ::testing::Test {
protected:
    ServiceReplies() : api_("CORV_API_BASE", standin.baseUrl())
    {
        std::uint32_t status = 0;
        if (!reader.authenticate(status, "K"))
            throw std::runtime_error("login at the stand-in failed");
    }

    json post(vald::HttpHandle& handle, std::string_view path, const std::string& body)
    {
        const vald::HttpOutcome outcome = reader.postRequest(handle, path, body, reader.readerReply);
        EXPECT_TRUE(outcome.ok()) << outcome.errorText;
        return json::parse(reader.readerReply);
    }

    corv_test::SleepRecorder sleeps;  // the login's wait passes at once
    corv_test::TrafficLog log;
    corv_test::ServiceStandin standin{scenario()};
    TrafficReader reader;
    WeatherReader weather;

private:
    corv_test::ScopedEnv api_;
};

TEST_F(ServiceReplies, EveryRequestIsSentExactlyAndUnderstood)
{
    const QueryBox box{52.704, 52.096, -4.5449, 5.1};
    const LatLon user{52.30861, 4.763889};
    const std::string guid = reader.guid;  // "g&1"
    const std::tuple<json, std::string, std::string> sent[] = {
        {post(reader.trcurl_, API_TRAFFIC_PATH, gf_historyBody(guid, box, -90)), "history",
         "GUID=g%261&top=52.70&bottom=52.10&left=-4.54&right=5.10&querytype=locationtraffic&toffset=-90"
         "&buffercount=5&buffertime=6"},
        {post(reader.trcurl_, API_TRAFFIC_PATH, gf_liveTrafficBody(guid, box, 0)), "live",
         "GUID=g%261&top=52.70&bottom=52.10&left=-4.54&right=5.10&querytype=locationtraffic&toffset=0"},
        {post(reader.ptcurl_, API_TRAFFIC_PATH, gf_parkedTrafficBody(guid, box, 0)), "parked",
         "GUID=g%261&top=52.70&bottom=52.10&left=-4.54&right=5.10&querytype=parkedtraffic&toffset=0"},
        {post(weather.nmcurl_, API_NEAREST_METAR_PATH, gf_nearestMetarBody(guid, 0, user)), "nearestmetar",
         "GUID=g%261&toffset=0&lat=52.3086&lon=4.7639"},
        {post(weather.wrcurl_, API_WEATHER_PATH, gf_weatherBody(guid, 0, user, 1234.9, "EH&AM")), "weather",
         "GUID=g%261&querytype=locwx&toffset=0&lat=52.3086&lon=4.7639&alt=1234&airports=EH%26AM"},
    };
    const json received = standin.requests();
    ASSERT_EQ(received.size(), 6u);  // the login first
    for (std::size_t i = 0; i < std::size(sent); ++i) {
        const auto& [reply, endpoint, body] = sent[i];
        EXPECT_EQ(received[i + 1]["endpoint"], endpoint);
        EXPECT_EQ(received[i + 1]["body"], body);
        EXPECT_EQ(received[i + 1]["fields"]["GUID"], guid);
        if (endpoint != "weather") {  // the stand-in knows no station "EH&AM"
            EXPECT_EQ(gf_replyStatus(reply), 200) << endpoint << ": " << reply.dump();
        }
    }
    EXPECT_EQ(received[5]["fields"]["airports"], "EH&AM");
}

TEST_F(ServiceReplies, LiveReplyBecomesQnhCorrectedRecords)
{
    const json reply = post(reader.trcurl_, API_TRAFFIC_PATH, gf_liveTrafficBody(reader.guid, {52.7, 52.1, 4.5, 5.1}, 0));
    ASSERT_EQ(gf_replyStatus(reply), 200);
    LiveFilterSettings settings;
    settings.userPosition = {52.40, 4.80};
    settings.qnh = 1023;
    int arrays = 0;
    for (const json& element : reply.at("data")) {
        if (element.size() != 48)
            continue;
        ++arrays;
        reader.workLine = element;
        reader.processLine(settings);
    }
    EXPECT_EQ(arrays, 2);
    ASSERT_EQ(reader.liveRecords.size(), 1u);  // the balloon is no aircraft
    const LiveTrafficRecord& r = reader.liveRecords[0];
    EXPECT_EQ(r.hexId, 0x484506u);
    EXPECT_EQ(r.flight.callsign, "KLM1234");
    EXPECT_EQ(r.flight.registration, "PH-BXA");
    EXPECT_EQ(r.flight.destination, "LFPG");
    EXPECT_NEAR(r.lat, 52.40, 1e-6);
    EXPECT_NEAR(r.altitudeFt, 3000.0, 1.0);  // pressure altitude back to the true altitude
    EXPECT_TRUE(r.airborne);
    EXPECT_NEAR(r.dataTime, static_cast<double>(START_EPOCH), 1.0);
}

}  // namespace
