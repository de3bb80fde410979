#include <gtest/gtest.h>

#include "foundation/time_slots.hpp"
#include "refdata/dbase.hpp"
#include "tests/traffic/traffic_test_support.hpp"
#include "traffic/service_client.hpp"

using nlohmann::json;

namespace {

class ParkedParsing : public ::testing::Test {
protected:
    ParkedParsing()
    {
        aircraftTypes = {"A320", "B744", "B748", "B738", "C172", "EC35"};
        heavyTypes = {"B744", "B748"};
        largeTypes = {"A320", "B738"};
        rotorcraftTypes = {"EC35"};
        dbaseRecords["D-ABYA"] = DbaseRecord{"DLH", "B748", "", false};
        dbaseRecords["N12345"] = DbaseRecord{"UAL", "B738", "SKW", false};
        settings.reservedStandName = "R1";
        settings.userStandName = "U1";
    }
    ~ParkedParsing() override { gf_clearDbaseTables(); }

    // KLM A320 PH-BXA on stand D7, reported at 04:29:30 UTC (slot 9), edited.
    const ParkedTrafficRecord* parse(const std::vector<std::pair<int, json>>& edits, const std::string& key = "3C6586")
    {
        reader.parkedLine = json::array({52.3086, 4.7639, "D7", "A320", "PH-BXA", 1699936170, "KLM1234"});
        for (const auto& [index, value] : edits)
            reader.parkedLine[index] = value;
        reader.parkedRecords.clear();
        reader.processParkedTrafficLine(key, settings);
        return reader.parkedRecords.empty() ? nullptr : &reader.parkedRecords.back();
    }

    TrafficReader reader;
    ParkedFilterSettings settings;
};

TEST_F(ParkedParsing, ValidEntryAndKeys)
{
    const ParkedTrafficRecord* r = parse({});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->hexId, 0x3C6586u);
    EXPECT_DOUBLE_EQ(r->lat, 52.3086);
    EXPECT_DOUBLE_EQ(r->lon, 4.7639);
    EXPECT_EQ(r->stand, "D7");
    EXPECT_EQ(r->flight.type + r->flight.registration + r->flight.callsign, "A320PH-BXAKLM1234");
    EXPECT_EQ(r->slot, 9);
    EXPECT_EQ(parse({}, "2710"), nullptr);  // 10000 and below number the static aircraft
    EXPECT_EQ(parse({}, "G123"), nullptr);
}

TEST_F(ParkedParsing, ReportTimesBecomeHalfHourSlots)
{
    const std::pair<json, int> cases[] = {{1699936169, 8}, {1699918170, 47}, {1699936169.5, 9}};
    for (const auto& [time, slot] : cases) {
        const ParkedTrafficRecord* r = parse({{5, time}});
        ASSERT_NE(r, nullptr) << time;
        EXPECT_EQ(r->slot, slot) << time;
    }

    corv_test::TrafficLog log;
    EXPECT_EQ(parse({{5, "1699936170"}}), nullptr);
    // Times that cannot be true are dropped without a message: before 2000, more than a day
    // ahead, or beyond any integer.
    const double tomorrowAndMore = static_cast<double>(gf_realUtcNow()) + 2 * 86400.0;
    for (const json& time : {json(-5), json(946684799), json(tomorrowAndMore), json(1.0e30), json(18446744073709551615u)})
        EXPECT_EQ(parse({{5, time}}), nullptr) << time;
    EXPECT_EQ(parse({{0, 91.5}}), nullptr);  // out of range: no message
    EXPECT_EQ(parse({{0, 52}, {1, 4}}), nullptr);  // integers read as 0
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("==> processParkedTrafficLine: [json.exception.type_error", 0), 0u) << lines[0];
}

TEST_F(ParkedParsing, IdentityFromAliasesAndRegistrationRecords)
{
    struct Case {
        std::vector<std::pair<int, json>> edits;
        const char* expected;  // type/airline/registration/callsign, or nullptr when skipped
    };
    const Case cases[] = {
        {{{3, "B747"}}, "B744//PH-BXA/KLM1234"},
        {{{3, "B747"}, {4, "D-ABYA"}, {6, "null"}}, "B748/DLH/D-ABYA/D-ABYA"},
        {{{3, "ZZZZ"}, {4, "D-ABYA"}}, "B748/DLH/D-ABYA/KLM1234"},
        {{{3, "ZZZZ"}, {4, "null"}}, nullptr},
        {{{3, "XXXX"}}, nullptr},
        {{{4, "null"}, {6, "N12345"}}, "B738/SKW/N12345/N12345"},  // operator before airline
        {{{4, "ABCDEFGHIJKLM"}}, "A320///KLM1234"},
        {{{6, ".ABC12"}}, "A320//PH-BXA/ABC12"},
        {{{6, "N100000"}}, "A320//PH-BXA/"},
        {{{6, "ABCDEFGHI"}}, "A320//PH-BXA/"},
        {{{6, "AB@12"}}, "A320//PH-BXA/"},
    };
    for (const Case& c : cases) {
        const ParkedTrafficRecord* r = parse(c.edits);
        const FlightIdentity& f = r ? r->flight : FlightIdentity();
        const std::string identity = r ? f.type + "/" + f.airline + "/" + f.registration + "/" + f.callsign : "skipped";
        EXPECT_EQ(identity, c.expected ? c.expected : "skipped");
    }
}

TEST_F(ParkedParsing, StandsAndCategories)
{
    EXPECT_EQ(parse({{2, nullptr}}), nullptr);
    EXPECT_EQ(parse({{2, "R1"}}), nullptr);  // the user's reserved stand
    EXPECT_EQ(parse({{2, "U1"}}), nullptr);  // the stand under the user
    EXPECT_NE(parse({{2, ""}}), nullptr);
    settings.reservedStandName.clear();
    EXPECT_EQ(parse({{2, ""}}), nullptr);

    EXPECT_NE(parse({{3, "EC35"}}), nullptr);
    settings.categoryEnabled[static_cast<std::size_t>(AircraftCategory::Rotorcraft)] = false;
    EXPECT_EQ(parse({{3, "EC35"}}), nullptr);
    settings.categoryEnabled[static_cast<std::size_t>(AircraftCategory::Light)] = false;
    EXPECT_EQ(parse({{3, "C172"}}), nullptr);
    EXPECT_NE(parse({{3, "A320"}}), nullptr);
}

TEST(ParkedAgeFilter, DropsRecordsOlderThanMaxFitKeepingOrder)
{
    std::vector<ParkedTrafficRecord> records(4);
    const int ages[] = {0, 48, 5, 47};
    for (std::size_t i = 0; i < records.size(); ++i)
        records[i].slot = ages[i];
    EXPECT_EQ(lf_dropOldParked(records, 47), 1);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].slot, 5);
    EXPECT_EQ(records[2].slot, 47);
    EXPECT_EQ(lf_dropOldParked(records, 0), 2);
}

}  // namespace
