// Airports, parkings and helipads decoded from synthetic BGL files, and damaged files that are
// skipped instead of read past their end.
#include "scanner/bgl_records.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <cstdlib>

#include <pugixml.hpp>

#include "foundation/geodesy.hpp"
#include "scanner/airports_scan_log.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/scanner/bgl_writer.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace {

using bgl_test::Airport;
using bgl_test::Helipad;
using bgl_test::Parking;

const AirportFilter knownEH = [](const std::string& icao) { return icao.rfind("EH", 0) == 0; };

std::vector<ApfAirport> decode(const std::vector<std::uint8_t>& bytes)
{
    return gf_decodeBglAirports(vald::ByteReader(bytes.data(), bytes.size()), "C:/Addons/x.bgl", knownEH);
}

const Stand* find(const ApfAirport& airport, const std::string& id)
{
    const auto it = std::find_if(airport.stands.begin(), airport.stands.end(), [&](const Stand& s) { return s.id == id; });
    return it == airport.stands.end() ? nullptr : &*it;
}

using bgl_test::logHas;

Parking parking(std::uint32_t code, std::uint32_t number, std::uint32_t type, float radius, float heading = 90.0F)
{
    Parking p;
    p.nameCode = code;
    p.number = number;
    p.type = type;
    p.radiusM = radius;
    p.headingDeg = heading;
    p.lat = 52.3 + number * 0.001;
    return p;
}

class BglRecordsTest : public ::testing::Test {
protected:
    void SetUp() override { gf_startAirportsScanLog(); }
};

TEST_F(BglRecordsTest, ParkingsOfBothKindsBecomeStandsWithTheirIdsKindsAndHeadings)
{
    for (const bool ab : {false, true}) {
        Airport a;
        a.abKind = ab;
        a.altitudeMm = -3353;  // -11 ft: below sea level
        a.parkings = {parking(10, 5, 3, 20.0F), parking(10, 5, 3, 1.1F), parking(10, 5, 3, 199.9F),
                      parking(0, 7, 5, 30.0F, 0.0F), parking(12, 3, 8, 30.0F), parking(1, 9, 11, 30.0F),
                      parking(2, 1, 0, 30.0F), parking(2, 2, 12, 30.0F), parking(2, 3, 13, 30.0F),
                      parking(3, 4, 2, 1.0F), parking(3, 5, 2, 200.0F)};
        a.parkings[1].airlineCodes = 3;  // the next entry lies further on
        Parking nearZero = parking(4, 1, 1, 20.0F);
        nearZero.lat = 0.00005;
        nearZero.lon = -0.00005;
        a.parkings.push_back(nearZero);
        const std::vector<ApfAirport> airports = decode(bgl_test::bglFile({a}, true));
        ASSERT_EQ(airports.size(), 1U) << ab;
        const ApfAirport& eham = airports[0];
        EXPECT_EQ(eham.icao, "EHAM");
        EXPECT_EQ(eham.name, "Schiphol");
        EXPECT_EQ(eham.altitude, -11);
        EXPECT_EQ(eham.bglPath, "C:/Addons/x.bgl");
        std::vector<std::string> ids;
        for (const Stand& s : eham.stands)
            ids.push_back(s.id);
        EXPECT_EQ(ids, (std::vector<std::string>{"g5", "g5a", "g5b", "7", "A3", "r9"})) << ab;
        EXPECT_NEAR(find(eham, "g5")->heading, M_PI / 2, 1e-6);
        EXPECT_NEAR(find(eham, "g5")->radius, 20.0 * STAND_METRES_TO_NM, 1e-9);
        EXPECT_NEAR(find(eham, "g5")->lat, 52.305, 1e-6);
        EXPECT_NEAR(find(eham, "g5")->lon, 4.76, 1e-6);
        EXPECT_DOUBLE_EQ(find(eham, "7")->heading, TWO_PI);  // a zero heading is a full turn
        EXPECT_EQ(find(eham, "7")->cargo, 1);
        EXPECT_EQ(find(eham, "7")->ramp, 1);
        EXPECT_EQ(find(eham, "A3")->ramp, 0);
        EXPECT_EQ(find(eham, "r9")->ramp, 0);
        EXPECT_EQ(find(eham, "g5")->cargo, 0);
    }
    const std::vector<std::string> log = gf_takeAirportsScanLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Skipped position with radius 1.0 m in C:/Addons/x.bgl"), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Skipped position with radius 200.0 m in C:/Addons/x.bgl"), 2);
    EXPECT_EQ(std::count(log.begin(), log.end(), "LatLon 0.000050,-0.000050 invalid (skipped)"), 2);
    EXPECT_EQ(log.size(), 6U);
}

TEST_F(BglRecordsTest, HelipadsAreNamedInOrderAndOnlyThoseBeforeTheParkingListAreRead)
{
    Airport a;
    a.names = {"Heli Field"};
    a.helipads = {Helipad{52.31, 4.77, 20.0F, 45.0F}, Helipad{52.31, 4.77, 20.0F, 45.0F},
                  Helipad{0.00005, 0.00001, 20.0F, 0.0F}, Helipad{52.32, 4.78, 30.0F, 0.0F}};
    a.parkings = {parking(10, 1, 3, 20.0F)};
    a.helipadsAfter = {Helipad{52.33, 4.79, 20.0F, 10.0F}};
    const std::vector<ApfAirport> airports = decode(bgl_test::bglFile({a}));
    ASSERT_EQ(airports.size(), 1U);
    const ApfAirport& field = airports[0];
    EXPECT_EQ(field.stands.size(), 3U);
    EXPECT_EQ(gf_helipadCount(field), 2U);
    const Stand* first = find(field, "helipad1");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->heli, 1);
    EXPECT_NEAR(first->radius, 10.0 * STAND_METRES_TO_NM, 1e-9);
    // The heading is the float at byte 32 of the helipad's own 36 bytes.
    EXPECT_NEAR(first->heading, 45.0 * DEG_TO_RAD, 1e-6);
    ASSERT_NE(find(field, "helipad2"), nullptr);
    EXPECT_DOUBLE_EQ(find(field, "helipad2")->heading, TWO_PI);
    EXPECT_EQ(find(field, "helipad3"), nullptr);
    const std::vector<std::string> log = gf_takeAirportsScanLog();
    EXPECT_TRUE(logHas(log, "double helipad Heli Field (skipped) 52.310000,4.770000"));
    EXPECT_TRUE(logHas(log, "lat/lon helipad incorrect (skipped): 0.000050,0.000010"));
}

TEST_F(BglRecordsTest, TheTwelfthEqualIdIsSkippedWithAWarning)
{
    Airport a;
    for (int i = 0; i < 12; ++i)
        a.parkings.push_back(parking(10, 5, 3, 20.0F));
    const std::vector<ApfAirport> airports = decode(bgl_test::bglFile({a}));
    ASSERT_EQ(airports.size(), 1U);
    EXPECT_EQ(airports[0].stands.size(), 11U);
    EXPECT_EQ(airports[0].stands.back().id, "g5j");
    const std::vector<std::string> log = gf_takeAirportsScanLog();
    EXPECT_EQ(log, (std::vector<std::string>{"===> Warning: more than 10 duplicate IDs g5 in C:/Addons/x.bgl"}));
}

TEST_F(BglRecordsTest, OnlyKnownFourLetterAirportsCountAndTheNameStaysWithinItsRecord)
{
    Airport unnamed;
    unnamed.icao = "EHRD";
    unnamed.names = {};
    unnamed.altitudeMm = 3048300;  // 10001 ft
    Airport named;
    named.icao = "EHGG";
    named.names = {"Eelde"};
    Airport twoNames;
    twoNames.icao = "EHEH";
    twoNames.names = {"Eindhoven", "Welschap"};
    Airport shortCode;
    shortCode.icao = "EHA";
    Airport unknown;
    unknown.icao = "KJFK";
    const std::vector<ApfAirport> airports = decode(bgl_test::bglFile({unnamed, shortCode, unknown, named, twoNames}));
    ASSERT_EQ(airports.size(), 3U);
    EXPECT_EQ(airports[0].icao, "EHRD");
    EXPECT_EQ(airports[0].name, "");  // not the name of the next airport
    EXPECT_EQ(airports[0].altitude, 0);
    EXPECT_EQ(airports[1].name, "Eelde");
    EXPECT_EQ(airports[2].name, "");  // two names that differ leave none
    EXPECT_EQ(gf_takeAirportsScanLog(), (std::vector<std::string>{"KJFK is not an airport supported by RealTraffic "}));
    // The name search ends with the record: the next airport's name is not taken.
    const std::vector<ApfAirport> pair = decode(bgl_test::bglFile({unnamed, named}));
    ASSERT_EQ(pair.size(), 2U);
    EXPECT_EQ(pair[0].name, "");
    EXPECT_EQ(pair[1].name, "Eelde");
    EXPECT_EQ(lf_decodeIdentifierOrRegionCode(bgl_test::packIdent("EH12"), knownEH),
              (std::pair<std::string, bool>{"EH12", true}));
}

TEST_F(BglRecordsTest, DamagedFilesAreSkippedWithoutReadingPastTheirEnd)
{
    corv_test::LogCapture capture;
    Airport a;
    a.helipads = {Helipad{}};
    for (std::uint32_t i = 1; i <= 6; ++i)
        a.parkings.push_back(parking(10, i, 3, 20.0F));
    const std::vector<std::uint8_t> good = bgl_test::bglFile({a});
    ASSERT_EQ(decode(good).at(0).stands.size(), 7U);

    // Every cut of the file, and random damage: whatever is decoded stays inside the bytes (the
    // sanitizer build checks that). A record cut by the end of the file refuses the whole file:
    // never an airport with only the stands before the cut.
    const auto decodeOrRefuse = [](const std::vector<std::uint8_t>& bytes) {
        try {
            return decode(bytes);
        } catch (const std::out_of_range&) {
            return std::vector<ApfAirport>{};
        }
    };
    for (std::size_t cut = 8; cut < good.size(); ++cut) {
        std::vector<std::uint8_t> part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        part.resize((cut + 3) / 4 * 4, 0);
        const std::vector<ApfAirport> found = decodeOrRefuse(part);
        EXPECT_TRUE(found.empty() || found[0].stands.size() == 7U) << cut;  // the padding restores the last bytes
    }
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint8_t> damaged = good;
        for (int flips = 0; flips < 4; ++flips)
            damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
        EXPECT_NO_THROW(decodeOrRefuse(damaged));
    }
    EXPECT_THROW(decode(std::vector<std::uint8_t>(4, 0)), std::runtime_error);

    // A parking list that promises more entries than the file holds refuses the file too.
    std::vector<std::uint8_t> overCounted = good;
    const std::size_t list = good.size() - (8 + 6 * 36);
    bgl_test::putU16(overCounted, list + 6, 500);
    EXPECT_THROW(decode(overCounted), std::out_of_range);

    // A helipad too short for its heading is skipped; the parkings after it are still read.
    Airport shortHeli;
    shortHeli.parkings = {parking(10, 1, 3, 20.0F)};
    std::vector<std::uint8_t> file = bgl_test::bglFile({shortHeli});
    const auto heli = bgl_test::helipadRecord(Helipad{});
    std::vector<std::uint8_t> shortened(heli.begin(), heli.begin() + 32);
    bgl_test::putU32(shortened, 2, 32);
    const std::size_t firstSub = 92 + 56 + 16;  // records start at 92; the name takes 16 bytes
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(firstSub), shortened.begin(), shortened.end());
    bgl_test::putU32(file, 92 + 2, static_cast<std::uint32_t>(file.size() - 92));
    const std::vector<ApfAirport> rest = decode(file);
    ASSERT_EQ(rest.size(), 1U);
    EXPECT_EQ(rest[0].stands.size(), 1U);
    EXPECT_EQ(rest[0].stands[0].id, "g1");

    // A record of size zero ends the walk instead of standing still.
    std::vector<std::uint8_t> zero = good;
    bgl_test::putU32(zero, 92 + 2, 0);
    EXPECT_TRUE(decode(zero).empty());
    const std::vector<std::string> lines = capture.lines();
    EXPECT_TRUE(logHas(lines, "==>    Warning: damaged subrecord 0x26 at o3 = "));
    EXPECT_TRUE(logHas(lines, "==>    Warning: decodeSizeAtBoundary returned 0 at o2 = 23"));
}

TEST(BglPreCheck, OnlyFilesWithAnAirportSectionGetATask)
{
    const corv_test::TempDir dir;
    bgl_test::writeBytes(dir / "small.bgl", std::vector<std::uint8_t>(10, 3));
    EXPECT_FALSE(lf_bglHasAirportSection(dir / "small.bgl"));
    EXPECT_FALSE(lf_bglHasAirportSection(dir / "missing.bgl"));
    bgl_test::writeBytes(dir / "eham.bgl", bgl_test::bglFile({Airport{}}, true));
    EXPECT_TRUE(lf_bglHasAirportSection(dir / "eham.bgl"));
    std::vector<std::uint8_t> other = bgl_test::bglFile({Airport{}}, true);
    bgl_test::putU32(other, 76, 0x65);  // the airport section becomes another kind
    bgl_test::writeBytes(dir / "other.bgl", other);
    EXPECT_FALSE(lf_bglHasAirportSection(dir / "other.bgl"));
    std::vector<std::uint8_t> huge = bgl_test::bglFile({Airport{}});
    bgl_test::putU32(huge, 20, 0xFFFFFFFFU);  // a section count the file cannot hold
    bgl_test::writeBytes(dir / "huge.bgl", huge);
    EXPECT_FALSE(lf_bglHasAirportSection(dir / "huge.bgl"));
    EXPECT_NO_THROW(gf_decodeBglAirports(vald::ByteReader(huge.data(), huge.size()), "huge", knownEH));

    // Thousands of section entries that all lead to the same records: the records are read once.
    constexpr std::uint32_t sections = 5000;
    const std::uint32_t table = 56 + 20 * sections;
    std::vector<std::uint8_t> repeated(table + 16, 0);
    bgl_test::putU32(repeated, 4, 56);
    bgl_test::putU32(repeated, 20, sections);
    for (std::uint32_t i = 0; i < sections; ++i) {
        bgl_test::putU32(repeated, 56 + 20 * i, 3);
        bgl_test::putU32(repeated, 56 + 20 * i + 4, 0x40000);
        bgl_test::putU32(repeated, 56 + 20 * i + 12, table);
    }
    bgl_test::putU32(repeated, table + 8, table + 16);
    for (int copy = 0; copy < 3; ++copy) {
        const std::vector<std::uint8_t> record = bgl_test::airportRecord(Airport{});
        repeated.insert(repeated.end(), record.begin(), record.end());
    }
    const std::vector<ApfAirport> once = gf_decodeBglAirports(vald::ByteReader(repeated.data(), repeated.size()), "r", knownEH);
    EXPECT_EQ(once.size(), 3U);
}

TEST(ByteReader, ReadsOnlyWhatLiesInside)
{
    const std::uint8_t bytes[] = {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b', 0, 'c'};
    const vald::ByteReader reader(bytes, sizeof bytes);
    EXPECT_EQ(reader.u32(0), 1U);
    EXPECT_EQ(reader.i32(4), -1);
    EXPECT_EQ(reader.u16(10), std::uint16_t{'c' << 8});
    EXPECT_FALSE(reader.u32(9).has_value());
    EXPECT_FALSE(reader.u8(~std::uint64_t{0}).has_value());
    EXPECT_FALSE(reader.has(4, ~std::uint64_t{0} - 2));  // no overflow in the check
    EXPECT_EQ(reader.text(8, 4), "ab");
    EXPECT_FALSE(reader.text(8, 5).has_value());
    const auto sub = reader.sub(4, 4);
    ASSERT_TRUE(sub.has_value());
    EXPECT_EQ(sub->u32(0), 0xFFFFFFFFU);
    EXPECT_FALSE(sub->u8(4).has_value());
    EXPECT_FALSE(reader.sub(10, 3).has_value());
    EXPECT_EQ(vald::ByteReader(nullptr, 10).size(), 0U);
}

}  // namespace

namespace {

// The demo scenery script writes its files on its own: what it writes must read back here.
TEST(DemoScenery, TheScriptsFilesReadBackAsTheSampleAirports)
{
    if (std::system("python3 --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is not installed";
    const corv_test::TempDir dir;
    const std::string command = "python3 '" + (corv_test::sourceDir() / "scripts" / "make_demo_scenery").string() +
                                "' '" + dir.path().string() + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    pugi::xml_document sample;
    ASSERT_TRUE(sample.load_file((corv_test::sourceDir() / "standins" / "data" / "airports.xml").c_str()));
    std::size_t checked = 0;
    const AirportFilter all = [](const std::string&) { return true; };
    for (const pugi::xml_node node : sample.child("airports").children("airport")) {
        const std::string code = node.attribute("code").as_string();
        fs::path file;
        for (const char* publisher : {"ORBX", "Aerosoft", "Freeware"})
            if (fs::exists(dir.path() / publisher / code / "scenery" / (code + "_AP.bgl")))
                file = dir.path() / publisher / code / "scenery" / (code + "_AP.bgl");
        ASSERT_FALSE(file.empty()) << code;
        ASSERT_TRUE(lf_bglHasAirportSection(file));
        const auto bytes = lf_readAirportBgl(file);
        ASSERT_TRUE(bytes.has_value());
        const std::vector<ApfAirport> airports =
            gf_decodeBglAirports(vald::ByteReader(bytes->data(), bytes->size()), file.string(), all);
        ASSERT_EQ(airports.size(), 1U) << code;
        EXPECT_EQ(airports[0].icao, code);
        EXPECT_EQ(airports[0].name, code + " demo airport");
        EXPECT_EQ(airports[0].altitude, std::lround(node.attribute("alt").as_double()));
        const int parkings = std::min(std::max(node.attribute("stands").as_int(), 2), 30);
        EXPECT_EQ(airports[0].stands.size(), static_cast<std::size_t>(parkings) + 1) << code;
        EXPECT_EQ(gf_helipadCount(airports[0]), 1U);
        for (const Stand& stand : airports[0].stands)
            EXPECT_LT(gf_distanceNm({stand.lat, stand.lon}, {node.attribute("lat").as_double(), node.attribute("lon").as_double()}), 1.0);
        ++checked;
    }
    EXPECT_GT(checked, 40U);
}

}  // namespace
