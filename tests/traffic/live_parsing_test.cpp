#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <thread>

#include "foundation/format.hpp"
#include "foundation/time_slots.hpp"
#include "tests/traffic/traffic_test_support.hpp"
#include "traffic/service_client.hpp"

using nlohmann::json;

namespace {

constexpr double EPS = 1e-9;
constexpr double QNH_1013_FT = 6.75;  // QNH 1013 lowers every altitude by this
const LatLon EHAM{52.3086, 4.7639};

class LiveParsing : public ::testing::Test {
protected:
    LiveParsing() { settings.userPosition = {52.3, 4.76}; }

    const LiveTrafficRecord* parse(const json& array)
    {
        reader.liveRecords.clear();
        reader.workLine = array;
        reader.processLine(settings);
        return reader.liveRecords.empty() ? nullptr : &reader.liveRecords.back();
    }
    bool kept(const json& array) { return parse(array) != nullptr; }
    static json with(const std::vector<std::pair<int, json>>& edits)
    {
        json a = corv_test::liveArray();
        for (const auto& [index, value] : edits)
            a[index] = value;
        return a;
    }
    // A target standing at the park airport.
    json onGround()
    {
        settings.parkAirportIcao = "EHAM";
        settings.parkAirportPosition = EHAM;
        return with({{1, EHAM.lat}, {2, EHAM.lon}, {4, 0}, {5, 12.0}});
    }

    TrafficReader reader;
    LiveFilterSettings settings;
};

TEST_F(LiveParsing, ValidArrayFillsEveryField)
{
    const LiveTrafficRecord* r = parse(corv_test::liveArray());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->hexId, 0x484506u);
    EXPECT_EQ(r->flight.type + r->flight.registration + r->flight.callsign, "A320PH-BXAKLM1234");
    EXPECT_EQ(r->flight.origin + r->flight.destination, "EHAMLFPG");
    EXPECT_DOUBLE_EQ(r->lat, 52.31);
    EXPECT_DOUBLE_EQ(r->lon, 4.76);
    EXPECT_NEAR(r->altitudeFt, 10000.0 - QNH_1013_FT, EPS);
    EXPECT_TRUE(r->airborne);
    EXPECT_DOUBLE_EQ(r->groundSpeedKt, 250.0);
    EXPECT_DOUBLE_EQ(r->trackDeg, 90.0);
    EXPECT_DOUBLE_EQ(r->verticalRate, -500.0);
    EXPECT_DOUBLE_EQ(r->speedKt, 280.0);
    ASSERT_TRUE(r->headingSet && r->trueHeadingRad);
    EXPECT_NEAR(*r->trueHeadingRad, 91.5 * DEG_TO_RAD, EPS);
    EXPECT_FALSE(r->bankRad);
    EXPECT_DOUBLE_EQ(r->dataTime, 1700000000.5);
}

TEST_F(LiveParsing, TargetAndIdentityFilters)
{
    struct Case {
        std::vector<std::pair<int, json>> edits;
        bool kept;
    };
    const Case cases[] = {
        {{{8, "ZZZZ"}}, false},           {{{8, "0"}}, false},
        {{{8, "GLID"}, {28, "null"}}, true}, {{{8, "GLID"}, {28, nullptr}}, true},
        {{{8, "GLID"}}, false},           {{{8, "B7478"}}, false},
        {{{28, "B2"}}, false},            {{{28, "C1"}}, false},
        {{{9, "ABCDEFGHIJKLM"}}, false},  {{{9, "ABCDEFGHIJKL"}}, true},
        {{{13, "ERARMTR0"}}, false},      {{{13, "AIRPORT1"}}, false},
        {{{13, "00000000"}}, false},      {{{13, "KL@1234"}}, true},
        {{{13, "KL@1234"}, {9, "null"}}, false}, {{{13, "null"}, {9, "null"}}, false},
        {{{0, "2710"}}, false},           {{{0, "2711"}}, true},
        {{{0, "G123"}}, false},           {{{0, "100000000"}}, false},
        {{{1, 90.5}}, false},             {{{2, -180.5}}, false},
        {{{25, 361}}, false},             {{{25, 361}, {17, "mlat"}}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kept(with(c.edits)), c.kept) << json(with(c.edits)).dump();
    EXPECT_TRUE(parse(with({{13, "KL@1234"}}))->flight.callsign.empty());
    EXPECT_EQ(parse(with({{0, "484506zz"}}))->hexId, 0x484506u);
    // The reader's data time follows dropped arrays too.
    EXPECT_FALSE(kept(with({{8, "ZZZZ"}, {10, 1700000123}})));
    EXPECT_DOUBLE_EQ(reader.dataTime.load(), 1700000123.0);
}

TEST_F(LiveParsing, TimesThatCannotBeTrueDropTheArrayAndLeaveTheReaderTime)
{
    gf_setUtcNowForTest([] { return UtcSeconds{1700000000}; });
    ASSERT_TRUE(kept(with({{10, 1700000000.0 + 86400.0}})));  // a day ahead at most
    for (const json& time : {json(1e31), json(-1e31), json(1700000000.0 + 86401.0), json(946684799), json(0),
                             json(18446744073709551615u), json("1700000000")}) {
        EXPECT_FALSE(kept(with({{10, time}}))) << time;
        EXPECT_DOUBLE_EQ(reader.dataTime.load(), 1700000000.0 + 86400.0) << time;
    }
    gf_resetClockForTest();
}

TEST_F(LiveParsing, PositionNearZeroAndTheRangeBoundary)
{
    corv_test::TrafficLog log;
    settings.userPosition = {0.0, 0.0};
    EXPECT_FALSE(kept(with({{1, 0.00005}, {2, -0.00008}})));
    EXPECT_TRUE(kept(with({{1, 0.00005}, {2, 0.0002}})));

    settings.userPosition = {52.3, 4.76};
    const json a = with({{1, 52.9}});
    settings.rangeNm = gf_distanceNm(settings.userPosition, {52.9, 4.76});
    EXPECT_TRUE(kept(a));
    settings.rangeNm = std::nextafter(settings.rangeNm, 0.0);
    EXPECT_FALSE(kept(a));
    EXPECT_TRUE(log.lines().empty());  // dropped arrays leave no message

    json object = json::object();
    for (int i = 0; i < 48; ++i)
        object[std::to_string(i)] = 1;
    EXPECT_FALSE(kept(object));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("processLine: ", 0), 0u);
}

TEST_F(LiveParsing, TrueHeadingFillsAMissingTrack)
{
    const LiveTrafficRecord* r = parse(with({{25, 0}, {3, 0}}));
    ASSERT_NE(r, nullptr);
    EXPECT_DOUBLE_EQ(*r->trueHeadingRad, TWO_PI);
    EXPECT_NEAR(r->trackDeg, 360.0, EPS);
    r = parse(with({{25, -5}, {3, 0}}));
    EXPECT_FALSE(r->headingSet);
    EXPECT_DOUBLE_EQ(r->trackDeg, 0.0);
    EXPECT_FALSE(parse(with({{17, "mlat"}}))->trueHeadingRad);
}

TEST_F(LiveParsing, AltitudeCorrectionAndGroundRules)
{
    settings.parkAirportIcao = "EHAM";  // so that targets put on the ground stay
    settings.parkAirportPosition = EHAM;
    struct Case {
        int qnh;
        std::optional<double> parkElevationFt;
        double reportedFt;
        double speedKt;
        double expectedFt;
    };
    const Case cases[] = {
        {1023, std::nullopt, 1000, 250, 1263.25},
        {1003, std::nullopt, 200, 250, 0.0},  // below the correction
        {1013, 100.0, 150 + QNH_1013_FT, 100, 150.0},  // 50 ft up at 100 kt: flying
        {1013, 100.0, 140 + QNH_1013_FT, 110, 0.0},    // 40 ft at <= 120 kt
        {1013, 100.0, 190 + QNH_1013_FT, 40, 0.0},     // 90 ft at <= 43 kt
        {1013, 100.0, 190 + QNH_1013_FT, 44, 190.0},
        {1013, 100.0, 90 + QNH_1013_FT, 300, 0.0},     // below the airport
        {1013, 13990.0, 14000 + QNH_1013_FT, 100, 14000.0},  // pairs end below 14000 ft
        {1013, 13990.0, 13999 + QNH_1013_FT, 100, 0.0},
        {1013, std::nullopt, 500 + QNH_1013_FT, 100, 500.0},
        {1013, std::nullopt, 500 + QNH_1013_FT, 30, 0.0},  // 35 kt rule
        {1013, std::nullopt, -50, 300, 0.0},
    };
    for (const Case& c : cases) {
        settings.qnh = c.qnh;
        settings.parkElevationFt = c.parkElevationFt;
        const LiveTrafficRecord* r = parse(with({{1, EHAM.lat}, {2, EHAM.lon}, {4, c.reportedFt}, {5, c.speedKt}}));
        ASSERT_NE(r, nullptr) << c.reportedFt;
        EXPECT_NEAR(r->altitudeFt, c.expectedFt, EPS) << c.reportedFt << " ft at " << c.speedKt << " kt";
        EXPECT_EQ(r->airborne, c.expectedFt > 0.0);
    }
}

TEST_F(LiveParsing, GroundTargetsOnlyNearTheParkAirport)
{
    json a = onGround();
    const LatLon inside = gf_destinationPoint(EHAM, 1.0, 4.999 * 6076.11549);
    const LatLon outside = gf_destinationPoint(EHAM, 1.0, 5.01 * 6076.11549);
    EXPECT_TRUE(kept(with({{1, inside.lat}, {2, inside.lon}, {4, 0}, {5, 12.0}})));
    EXPECT_FALSE(kept(with({{1, outside.lat}, {2, outside.lon}, {4, 0}, {5, 12.0}})));
    settings.parkAirportIcao.clear();
    EXPECT_FALSE(kept(a));
}

TEST_F(LiveParsing, AirborneOnlyDropsTargetsAtTheAirportsHeight)
{
    settings.airborneOnly = true;
    EXPECT_FALSE(kept(onGround()));
    settings.parkAirportElevationFt = 100.0;
    EXPECT_FALSE(kept(with({{4, 390 + QNH_1013_FT}})));
    EXPECT_TRUE(kept(with({{4, 410 + QNH_1013_FT}})));
    settings.parkAirportIcao.clear();  // then the reference is 0 ft
    EXPECT_FALSE(kept(with({{4, 290 + QNH_1013_FT}})));
    EXPECT_TRUE(kept(with({{4, 310 + QNH_1013_FT}})));
}

TEST_F(LiveParsing, AirspeedAndBank)
{
    const std::tuple<json, double, double> speeds[] = {{-1, 15000.0, 350.0}, {0, 15000.0, 0.0},
                                                       {"fast", 25000.0, 430.0}, {nullptr, 2000.0, 180.0},
                                                       {-1, 2000.5, 220.0}, {-1, 10000.0, 250.0}};
    for (const auto& [airspeed, correctedFt, expected] : speeds)
        EXPECT_DOUBLE_EQ(parse(with({{20, airspeed}, {4, correctedFt + QNH_1013_FT}}))->speedKt, expected) << airspeed;

    EXPECT_NEAR(*parse(with({{23, 10}}))->bankRad, -10 * DEG_TO_RAD, EPS);
    EXPECT_FALSE(parse(with({{23, -1}}))->bankRad);
    json ground = onGround();
    ground[23] = 10;
    ground[20] = nullptr;
    const LiveTrafficRecord* r = parse(ground);
    EXPECT_FALSE(r->bankRad);
    EXPECT_DOUBLE_EQ(r->speedKt, 180.0);
    r = parse(with({{11, "null"}, {12, 7}}));
    EXPECT_EQ(r->flight.origin + r->flight.destination, "");
}

TEST_F(LiveParsing, BlockedCallsignIsAnnouncedOncePerBlock)
{
    corv_test::RecordingHooks hooks;
    settings.blockCallsign = "KLM1234";
    EXPECT_FALSE(kept(corv_test::liveArray()));
    EXPECT_FALSE(kept(corv_test::liveArray()));
    EXPECT_EQ(hooks.blocked, std::vector<std::uint32_t>{0x484506u});
    EXPECT_EQ(hooks.statuses, std::vector<std::string>{"Live aircraft 'KLM1234' blocked"});

    // After the user blocks another callsign, its first sighting only re-arms the announcement.
    settings.blockCallsign = "XYZ789";
    const json other = with({{13, "XYZ789"}, {0, "abcdef"}});
    EXPECT_FALSE(kept(other));
    EXPECT_EQ(hooks.blocked.size(), 1u);
    EXPECT_FALSE(kept(other));
    EXPECT_EQ(hooks.blocked, (std::vector<std::uint32_t>{0x484506u, 0xabcdefu}));
    EXPECT_EQ(hooks.statuses.back(), "Live aircraft 'XYZ789' blocked");
    EXPECT_TRUE(kept(corv_test::liveArray()));
}

TEST_F(LiveParsing, SeenTargetsAreCollectedOnlyWhileCollecting)
{
    ASSERT_TRUE(kept(corv_test::liveArray()));
    reader.startCollectingSeen();
    ASSERT_TRUE(kept(corv_test::liveArray()));
    ASSERT_TRUE(kept(with({{0, "400001"}, {13, "null"}})));
    ASSERT_FALSE(kept(with({{0, "400002"}, {8, "ZZZZ"}})));
    const SeenTargets seen = reader.takeSeen();
    EXPECT_EQ(seen.callsigns, (std::unordered_set<std::string>{"KLM1234"}));
    EXPECT_EQ(seen.hexIds, (std::unordered_set<std::uint32_t>{0x484506u, 0x400001u}));
    ASSERT_TRUE(kept(corv_test::liveArray()));
    EXPECT_TRUE(reader.takeSeen().hexIds.empty());
}

// The worker takes the seen sets over while the traffic thread keeps adding: no address may be
// taken twice and nothing may be corrupted.
TEST_F(LiveParsing, SeenTargetsSurviveConcurrentTakeOver)
{
    constexpr std::uint32_t COUNT = 100000;
    reader.startCollectingSeen();
    std::atomic<bool> done{false};
    std::multiset<std::uint32_t> taken;
    std::thread worker([&] {
        while (!done.load()) {
            SeenTargets batch = reader.takeSeen();
            reader.startCollectingSeen();
            taken.insert(batch.hexIds.begin(), batch.hexIds.end());
        }
    });
    json a = corv_test::liveArray();
    for (std::uint32_t i = 1; i <= COUNT; ++i) {
        a[0] = vald::format("{:x}", 0x100000 + i);
        EXPECT_TRUE(kept(a));
    }
    done.store(true);
    worker.join();
    const SeenTargets last = reader.takeSeen();
    taken.insert(last.hexIds.begin(), last.hexIds.end());
    EXPECT_EQ(std::set<std::uint32_t>(taken.begin(), taken.end()).size(), taken.size());
    EXPECT_TRUE(taken.empty() || (*taken.begin() > 0x100000 && *taken.rbegin() <= 0x100000 + COUNT));
}

}  // namespace
