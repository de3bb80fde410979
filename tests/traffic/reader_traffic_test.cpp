// The traffic reader thread against the traffic-service stand-in, the live box and the lamps.
#include <gtest/gtest.h>

#include "foundation/status_sink.hpp"
#include "foundation/format.hpp"
#include "foundation/parameters.hpp"
#include "tests/traffic/reader_fixture.hpp"

using corv_test::logged;
using corv_test::ReaderSession;
using nlohmann::json;

namespace {

TEST(TrafficReaderThread, HistoryIsPlayedOutOldestFirstThenLiveEveryRrl)
{
    ReaderSession s(corv_test::readerScenario(700));
    ASSERT_TRUE(gf_startTrafficReader(s.traffic, s.weather));
    ASSERT_TRUE(s.waitFor([&] { return s.received().size() >= 7; }));
    const std::vector<corv_test::Batch> b = s.received();
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(b[i].delay, 6 * i);
        EXPECT_EQ(b[i].count, 1u);
        EXPECT_DOUBLE_EQ(b[i].dataTime, corv_test::START_EPOCH - 24.0 + 6.0 * i);  // buffer_4 first
    }
    EXPECT_EQ(b[5].delay + b[6].delay, 60u);
    EXPECT_EQ(b[6].count, 1u);
    EXPECT_TRUE(s.traffic.running.load());
    EXPECT_EQ(s.traffic.takeSeen().callsigns.count("KLM1776"), 1u);  // the history starts the collection

    const json history = s.sent("history").at(0)["fields"];
    EXPECT_EQ(history["buffercount"].get<std::string>() + history["buffertime"].get<std::string>(), "56");
    EXPECT_EQ(s.sent("live").at(0)["fields"]["top"], vald::format("{:.2F}", s.traffic.liveBox().top));
    // The service's 700 ms, waited in two halves after the history and after each poll.
    const std::vector<long> pauses = s.paused();
    EXPECT_GE(std::count(pauses.begin(), pauses.end(), 350L), 4);
}

TEST(TrafficReaderThread, PassingFailuresRetryAndOddElementsAreSkipped)
{
    ReaderSession s(corv_test::readerScenario());
    // Skipped: 47 elements, an object of 48 members, a time stamp far beyond any real one.
    json object48 = json::object();
    for (int i = 0; i < 48; ++i)
        object48[std::to_string(i)] = corv_test::liveArray()[static_cast<std::size_t>(i)];
    json future = corv_test::liveArray();
    future[10] = 1e31;
    const json arrays = {{"a", json(47, nullptr)}, {"b", corv_test::liveArray()}, {"c", object48}, {"d", future}};
    s.faults("live", {{{"status", 406}, {"message", "busy"}}, {{"cut", true}}, {{"body", ""}}, {{"body", "{"}},
                      {{"body", json{{"status", 200}, {"data", arrays}}.dump()}}, {{"body", R"({"status":200})"}}});
    ASSERT_TRUE(gf_startTrafficReader(s.traffic, s.weather));
    ASSERT_TRUE(s.waitFor([&] { return s.received().size() >= 8; }));
    const std::vector<corv_test::Batch> b = s.received();
    EXPECT_EQ(b[5].count, 1u);  // "b" alone
    EXPECT_EQ(b[5].dataTime, 1700000000.5);
    EXPECT_EQ(b[6].count + b[7].count, 1u);  // no data at all, then on again
    const std::vector<std::string> lines = s.log.lines();
    for (const char* text : {"curl traffic msg: busy", "curl traffic code:18", "traffic receive: empty content",
                             "receive: [json.exception.parse_error"})
        EXPECT_TRUE(logged(lines, text)) << text;
    EXPECT_FALSE(logged(lines, "processLine"));
    EXPECT_TRUE(s.traffic.running.load());
}

TEST(TrafficReaderThread, RefusedRepliesEndTheRunAndStopTheWeatherReader)
{
    const std::tuple<json, std::int32_t, const char*, corv_test::Stops> cases[] = {
        {{{"status", 406}, {"message", "later"}}, 401, "re-authentication to RT API is needed, restart Corv_P3D", {{6, 15}}},
        {{{"status", 503}}, 500, "Traffic RT API error: 500", {{7, 0}}},
        {{{"cut", true}}, 400, "Traffic RT API: parameter fault", {{7, 0}}}};
    for (const auto& [historyFault, liveStatus, warning, stops] : cases) {
        ReaderSession s(corv_test::readerScenario());
        s.faults("history", {historyFault});
        s.standin.addFault({{"endpoint", "live"}, {"status", liveStatus}});
        ASSERT_TRUE(gf_startTrafficReader(s.traffic, s.weather));
        ASSERT_TRUE(s.waitFor([&] { return s.traffic.ended.load(); }));
        EXPECT_EQ(s.stops(), stops) << liveStatus;
        EXPECT_EQ(s.statuses, std::vector<std::string>{"The Traffic Reader has stopped with an error"});
        EXPECT_TRUE(s.weather.stop.load());
        EXPECT_FALSE(s.traffic.running.load() || s.traffic.stopped.load());
        EXPECT_EQ(vald::gf_displaySnapshot().trafficLamp, vald::LAMP_HIDDEN);
        const std::vector<std::string> lines = s.log.lines();
        EXPECT_TRUE(logged(lines, warning));
        EXPECT_TRUE(logged(lines, liveStatus == 401 ? " buffer traffic msg later" : "buffer failed "));
        EXPECT_EQ(s.sent("live").size(), 1u);  // polling started after the failed history
    }
}

TEST(TrafficReaderThread, StopEndsTheThreadPromptlyInEveryPhase)
{
    {
        // The history request in flight, then the pause after it (the service asks for 10 s).
        ReaderSession s(corv_test::readerScenario(10000), true);
        s.standin.addFault({{"endpoint", "history"}, {"stallSeconds", 300}, {"times", 1}});
        for (const std::size_t batches : {0, 5}) {
            s.traffic.stop.store(false);
            s.traffic.stopped.store(false);
            ASSERT_TRUE(gf_startTrafficReader(s.traffic, s.weather));
            ASSERT_TRUE(s.waitFor([&] { return s.sent("history").size() == 1 + batches / 5 && s.received().size() == batches; }));
            EXPECT_TRUE(ReaderSession::endsOnStop(s.traffic));
            EXPECT_TRUE(s.traffic.stopped.load());
        }
        EXPECT_TRUE(s.stops().empty() && s.statuses.empty() && !s.weather.stop.load());
    }
    // A live poll in flight.
    ReaderSession s(corv_test::readerScenario(500), true);
    s.standin.addFault({{"endpoint", "live"}, {"stallSeconds", 300}});
    ASSERT_TRUE(gf_startTrafficReader(s.traffic, s.weather));
    ASSERT_TRUE(s.waitFor([&] { return s.sent("live").size() == 1; }));
    EXPECT_FALSE(gf_startTrafficReader(s.traffic, s.weather));  // never two threads on one reader
    gf_stopReaders(s.traffic, s.weather);
    EXPECT_TRUE(gf_waitReadersEnded(std::chrono::seconds(60), s.traffic, s.weather));
    EXPECT_TRUE(s.traffic.stopped.load() && !s.traffic.running.load());
    EXPECT_FALSE(logged(s.log.lines(), "curl traffic code"));
}

TEST(TrafficReaderThread, EveryWayOutMarksTheThreadEnded)
{
    corv_test::TrafficLog log;
    corv_test::RecordingHooks hooks;
    TrafficReader traffic;
    WeatherReader weather;
    gf_trafficReader(traffic, weather);  // no session: it ends at once
    EXPECT_TRUE(traffic.ended.load() && weather.stop.load());
    EXPECT_EQ(hooks.stops(), (corv_test::Stops{{7, 0}}));
    EXPECT_TRUE(logged(log.lines(), "Traffic RT API error: 0"));

    StatusSink throwing;
    throwing.show = [](const std::string&, bool) { throw std::runtime_error("no window"); };
    gf_setStatusSink(std::move(throwing));
    weather.stop.store(false);
    ASSERT_TRUE(gf_startTrafficReader(traffic, weather));
    ASSERT_TRUE(ReaderSession::waitFor([&] { return traffic.ended.load(); }));
    EXPECT_TRUE(weather.stop.load());
    EXPECT_TRUE(logged(log.lines(), "gf_trafficReader: no window"));
}

TEST(TrafficBox, FollowsTheAircraftOnlyOnRealMovesOrRangeChanges)
{
    corv_test::RecordingHooks resetsHooks;
    UserPositionSnapshot user{0.00005, -0.00009, 0.0};  // no position yet
    TrafficHooks hooks;
    hooks.userPosition = [&user] { return user; };
    gf_registerTrafficHooks(std::move(hooks));
    TrafficReader reader;
    std::vector<QueryBox> boxes;
    for (const auto& [lat, lon, range] : std::vector<std::tuple<double, double, double>>{
             {0.00005, -0.00009, 40}, {52.3, 4.76, 40}, {52.3001, 4.7601, 40}, {52.3, 4.7602, 40}, {52.3, 4.7602, 20}}) {
        user = {lat, lon, 0.0};
        rangeNm.store(range);
        gf_updateTrafficBox(reader);
        boxes.push_back(reader.liveBox());
    }
    rangeNm.store(RANGE_DEFAULT_NM);
    EXPECT_EQ(boxes[0].top, QueryBox{}.top);
    EXPECT_NEAR(boxes[1].top - 52.3, 0.6662, 1e-4);
    EXPECT_NEAR(52.3 - boxes[1].bottom, 0.6662, 1e-4);
    EXPECT_NEAR(gf_distanceNm({52.3, 4.76}, {52.3, boxes[1].left}), 40.0, 0.05);
    EXPECT_NEAR(gf_distanceNm({52.3, 4.76}, {52.3, boxes[1].right}), 40.0, 0.05);
    EXPECT_EQ(boxes[2].left, boxes[1].left);  // moved 0.0001 degrees: kept
    EXPECT_GT(boxes[3].left, boxes[1].left);  // moved 0.0002 degrees: recomputed
    EXPECT_NEAR(boxes[4].top - 52.3, 0.3331, 1e-4);
}

}  // namespace
