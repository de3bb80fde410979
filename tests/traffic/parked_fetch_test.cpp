// The parked-traffic fetch through the traffic reader thread against the stand-in, and the
// selection of its answer.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/parameters.hpp"
#include "refdata/dbase.hpp"
#include "tests/traffic/reader_fixture.hpp"
#include "traffic/parked_fetch.hpp"

using corv_test::logged;
using nlohmann::json;

namespace {

using Kept = std::set<std::pair<std::string, std::int32_t>>;  // (stand or address, age)

TEST(ParkedSelection, AgesThenYoungestPerStandAndPerCallsign)
{
    std::vector<ParkedTrafficRecord> records;
    for (const auto& [slot, stand, callsign] : std::vector<std::tuple<int, std::string, std::string>>{
             {19, "A1", "X"}, {17, "B1", ""}, {19, "B1", "Y"}, {18, "", ""}, {19, "", "Z"}, {20, "C1", "X"},
             {-1, "D1", ""}, {15, "E1", ""}, {16, "E2", ""}, {22, "F1", ""}}) {
        records.emplace_back().slot = slot;
        records.back().stand = stand;
        records.back().flight.callsign = callsign;
    }
    std::vector<ParkedTrafficRecord> all = records;
    lf_selectParked(records, 20, false, 21);
    Kept kept;
    for (const ParkedTrafficRecord& r : records)
        kept.emplace(r.stand, r.slot);
    // Slot 22 at slot 20 is 46 half hours old (F1 goes), an unknown slot 21; A1 has C1's callsign.
    EXPECT_EQ(kept, (Kept{{"C1", 0}, {"B1", 1}, {"", 1}, {"E2", 4}, {"E1", 5}, {"D1", 21}}));
    lf_selectParked(all, 20, true, 21);  // only parked traffic wanted: no age limit
    EXPECT_EQ(all.size(), 7u);
}

class ParkedFetch : public ::testing::Test {
protected:
    ParkedFetch()
    {
        aircraftTypes = largeTypes = {"A320", "B738"};
        session.emplace(corv_test::merged(corv_test::readerScenario(), {{"parked", json::parse(R"([
            {"hex": "484161", "stand": "D2", "lat": 52.312, "lon": 4.7614, "type": "B738", "callsign": "KLM1", "ageMinutes": 30},
            {"hex": "484162", "stand": "D2", "lat": 52.312, "lon": 4.7614, "type": "B738", "callsign": "KLM2", "ageMinutes": 120},
            {"hex": "484163", "stand": "D4", "lat": 52.3127, "lon": 4.7601, "type": "A320", "callsign": "KLM1", "ageMinutes": 60},
            {"hex": "484164", "stand": "E1", "lat": 52.3094, "lon": 4.7588, "type": "A320", "ageMinutes": 600},
            {"hex": "484165", "stand": "E2", "lat": 52.3094, "lon": 4.7560, "type": "A320", "ageMinutes": 0},
            {"hex": "484166", "stand": "Z9", "lat": 52.40, "lon": 4.7639, "type": "A320", "ageMinutes": 0}])")}}));
        MAX_FIT.setValue(10);
        EXPECT_TRUE(gf_startTrafficReader(session->traffic, session->weather));
    }
    ~ParkedFetch() override
    {
        session->restoreClock();
        session.reset();
        gf_clearDbaseTables();
        MAX_FIT.setValue(MAX_FIT.defaultValue());
        RT_PARKTRAFFIC_ONLY.setValue(false);
    }
    // A fetch looked at every 100 ms, as often as the worker's ticks could, until it has ended.
    bool fetch(std::vector<ParkedTrafficRecord>& records)
    {
        ::ParkedFetch fetcher(session->traffic);
        fetcher.start();
        while (!fetcher.ended())
            gf_sleepFor(std::chrono::milliseconds(100));
        return fetcher.take(records);
    }
    Kept fetched(bool expected = true)
    {
        std::vector<ParkedTrafficRecord> records;
        EXPECT_EQ(fetch(records), expected);
        Kept result;
        for (const ParkedTrafficRecord& r : records)
            result.emplace(vald::format("{:x}", r.hexId), r.slot);
        return result;
    }
    // A steady clock that runs 100 ms per pause of the fetch, each pause lasting realMs; the
    // readers pause as before.
    void fastClock(int realMs)
    {
        auto now = std::make_shared<SteadyTime>();
        const std::thread::id fetcher = std::this_thread::get_id();
        Clock clock;
        clock.steadyNow = [now] { return *now; };
        clock.sleepFor = [this, now, realMs, fetcher](SteadyDuration duration) {
            if (std::this_thread::get_id() != fetcher)
                return session->pause(duration);
            *now += duration;
            std::this_thread::sleep_for(std::chrono::milliseconds(realMs));
        };
        gf_setClockForTest(std::move(clock));
    }

    std::optional<corv_test::ReaderSession> session;
};

TEST_F(ParkedFetch, AnswersTheYoungestPerStandInsideThreeMiles)
{
    EXPECT_EQ(fetched(), (Kept{{"484161", 1}, {"484165", 0}}));
    RT_PARKTRAFFIC_ONLY.setValue(true);
    EXPECT_EQ(fetched(), (Kept{{"484161", 1}, {"484164", 20}, {"484165", 0}}));

    const json request = session->sent("parked").at(0)["fields"];
    const QueryBox box = gf_parkedBox(corv_test::EHAM);
    EXPECT_EQ(request["top"], vald::format("{:.2F}", box.top));
    EXPECT_EQ(request["right"], vald::format("{:.2F}", box.right));
    EXPECT_NEAR(gf_distanceNm(corv_test::EHAM, {corv_test::EHAM.lat, box.right}), 3.0, 0.01);
}

TEST_F(ParkedFetch, StatusesOfTheService)
{
    const std::tuple<json, bool, const char*> cases[] = {
        {{{"status", 406}, {"message", "none"}}, true, "parkedtraffic msg: none"},
        {{{"status", 401}}, false, "re-authentication to RT API is needed Corv_P3D"},
        {{{"status", 503}}, false, "RT Parkedtraffic error status: 503"},
        {{{"body", "[1,"}}, false, "parkedtraffic: invalid JSON"},
        {{{"body", ""}}, false, "parkedtraffic: empty content"}};
    for (const auto& [rule, answered, warning] : cases) {
        session->faults("parked", {rule});
        EXPECT_TRUE(fetched(answered).empty()) << warning;
        EXPECT_TRUE(logged(session->log.lines(), warning)) << warning;
    }
    session->faults("parked", {{{"status", 400}}});
    std::vector<ParkedTrafficRecord> records;
    EXPECT_THROW(static_cast<void>(fetch(records)), std::runtime_error);
}

TEST_F(ParkedFetch, ALateAnswerNeverPassesForTheNextFetch)
{
    // The first request is answered late with a refusal, while the next fetch waits for its own.
    session->faults("parked", {{{"stallSeconds", 2}, {"status", 500}}, {{"stallSeconds", 1}}});
    fastClock(5);
    EXPECT_TRUE(fetched(false).empty());
    EXPECT_TRUE(logged(session->log.lines(), "ParkedTraffic receiving timed out after 10 seconds"));
    session->restoreClock();
    EXPECT_EQ(fetched().size(), 2u);
    EXPECT_FALSE(logged(session->log.lines(), "error status: 500"));
    EXPECT_EQ(session->sent("parked").size(), 2u);

    // A request given up while the thread is busy in a long poll is never sent.
    session->standin.addFault({{"endpoint", "live"}, {"stallSeconds", 2}});
    const std::size_t liveBefore = session->sent("live").size();
    ASSERT_TRUE(session->waitFor([&] { return session->sent("live").size() > liveBefore; }));
    fastClock(0);
    EXPECT_TRUE(fetched(false).empty());
    ASSERT_TRUE(session->control().del("/control/faults"));
    ASSERT_TRUE(session->waitFor([&] { return session->sent("live").size() > liveBefore + 2; }));
    EXPECT_EQ(session->sent("parked").size(), 2u);

    session->traffic.stop.store(true);  // a stopping reader answers no more: no wait
    session->restoreClock();
    EXPECT_TRUE(fetched(false).empty());
}

}  // namespace
