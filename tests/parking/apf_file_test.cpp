// Park-position files written in both modes and read back; the hh text; damaged content.
#include "parking/apf_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "foundation/geodesy.hpp"
#include "foundation/parameters.hpp"
#include "foundation/user_error.hpp"
#include "refdata/dbase.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace {

StandOption option(std::string reg, std::string airline, std::string type, std::string cs, std::string suffix,
                   std::uint64_t hh, std::uint32_t number, std::uint32_t real)
{
    StandOption o;
    o.registration = std::move(reg);
    o.airline = std::move(airline);
    o.type = std::move(type);
    o.callsign = std::move(cs);
    o.callsignSuffix = std::move(suffix);
    o.halfHours = hh;
    o.number = number;
    o.day = 3;
    o.real = real;
    return o;
}

Stand stand(std::string id, double headingDeg, double radiusM, bool cargo, bool ramp, bool heli)
{
    return Stand({}, std::move(id), Stand::Place{52.3, 4.76, headingDeg * DEG_TO_RAD}, radiusM, cargo, ramp, heli);
}

pugi::xml_node parkposById(const pugi::xml_document& doc, const std::string& id)
{
    for (pugi::xml_node p : doc.child("parkpositions").children("parkpos"))
        if (id == p.attribute("id").as_string())
            return p;
    return {};
}

std::string paramValue(const pugi::xml_document& doc, const std::string& name)
{
    for (pugi::xml_node p : doc.child("parameters").children("parameter"))
        if (name == p.attribute("name").as_string())
            return p.attribute("value").as_string();
    return "<absent>";
}

class ApfFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_resetStandRecords();
        gf_clearDbaseTables();
    }
    void TearDown() override
    {
        gf_resetStandRecords();
        gf_clearDbaseTables();
    }
    corv_test::TempDir dir_;
};

TEST_F(ApfFileTest, GeneratedFileCarriesEveryStandInFullAndReadsBackToTheSameStands)
{
    ApfAirport airport{"EHAM", "Schiphol", "D:/Addons/EHAM.bgl", "", 0, 0, -11, {}};
    airport.stands.push_back(stand("A3", 90.0, 20.0, false, true, false));
    airport.stands.push_back(stand("C1", 180.0, 35.5, true, false, false));
    airport.stands.push_back(stand("helipad1", 45.0, 10.0, false, false, true));
    airport.stands[0].options.push_back(option("PHBXA", "KLM", "B738", "KLM1", "", 1, 1, 1));
    const fs::path file = dir_ / "EHAM.xml";
    ASSERT_TRUE(gf_writeApf(airport, file, ApfWriteMode::generated));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(file.c_str()));
    EXPECT_EQ(paramValue(doc, "altitude"), "-11");
    EXPECT_EQ(paramValue(doc, "num_parkpos"), "3");
    EXPECT_EQ(paramValue(doc, "BGLpath"), "D:/Addons/EHAM.bgl");  // no publisher
    EXPECT_EQ(paramValue(doc, "handmade"), "<absent>");
    EXPECT_EQ(paramValue(doc, "WEEK"), "<absent>");
    EXPECT_TRUE(doc.child("meta").find_child_by_attribute("info", "name", "author"));
    const pugi::xml_node a3 = parkposById(doc, "A3");
    EXPECT_STREQ(a3.attribute("heading").as_string(), "90.0");
    EXPECT_STREQ(a3.attribute("radius").as_string(), "20.0");
    EXPECT_STREQ(a3.attribute("latitude").as_string(), "52.300000");
    EXPECT_STREQ(a3.attribute("cargo").as_string(), "false");
    EXPECT_STREQ(a3.attribute("ramp").as_string(), "true");
    EXPECT_FALSE(a3.child("opt"));  // never in a generated file
    const pugi::xml_node heli = parkposById(doc, "helipad1");
    EXPECT_STREQ(heli.attribute("heli").as_string(), "true");
    EXPECT_FALSE(heli.attribute("cargo"));

    lf_readParkpositions(doc, "test.xml");
    ASSERT_EQ(parkStands.size(), 3U);
    EXPECT_NEAR(parkStands[0].heading, 1.5707963, 1e-6);
    EXPECT_NEAR(parkStands[0].radius, 0.0107991, 1e-6);
    EXPECT_EQ(parkStands[0].ramp, 1);
    EXPECT_EQ(parkStands[1].cargo, 1);
    EXPECT_NEAR(parkStands[1].radius * 1852.0, 35.5, 1e-9);
    EXPECT_EQ(parkStands[2].heli, 1);
    EXPECT_EQ(parkStands[2].number, 0U);
}

TEST_F(ApfFileTest, LearnedFileWritesEachStandInItsFormAndTheOptionsReadBack)
{
    dbaseRecords["PH-BXA"] = DbaseRecord{"KLM", "B738", "KLC", false};
    ApfAirport airport{"EHAM", "Schiphol", "", "stock", 0, 0, 0, {}};
    airport.stands.push_back(stand("M1", 10.0, 30.0, false, true, false));
    airport.stands.back().manual = 1;
    airport.stands.push_back(stand("R2", 10.0, 25.0, false, true, false));
    airport.stands.back().radiusChanged = 1;
    airport.stands.push_back(stand("P3", 10.0, 25.0, true, true, false));
    Stand& plain = airport.stands.back();
    plain.options.push_back(option("PHBXA", "XXX", "A320", "KLM12", "KLM12X", (1ULL << 0) | (1ULL << 1) | (1ULL << 47), 1, 1));
    plain.options.push_back(option("", "EZY", "A319", "", "", 1ULL << 14, 0, 1));  // number 0: never written
    plain.options.push_back(option("G-ABCD", "EZY", "A320", "EZY9", "", 1ULL << 20, 2, 0));
    const fs::path file = dir_ / "learned.xml";
    ASSERT_TRUE(gf_writeApf(airport, file, ApfWriteMode::learned));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(file.c_str()));
    EXPECT_EQ(paramValue(doc, "LATERAL_RANGE"), std::to_string(RANGE.value()));
    EXPECT_EQ(paramValue(doc, "MAX_FIT"), std::to_string(static_cast<int>(std::lround(2.0 * MAX_FIT_FL.value())) - 1));
    EXPECT_EQ(paramValue(doc, "altitude"), "<absent>");
    EXPECT_EQ(paramValue(doc, "num_parkpos"), "<absent>");
    EXPECT_EQ(paramValue(doc, "BGLpath"), "<absent>");
    EXPECT_STREQ(parkposById(doc, "M1").attribute("manual").as_string(), "true");
    EXPECT_TRUE(parkposById(doc, "M1").attribute("latitude"));
    const pugi::xml_node r2 = parkposById(doc, "R2");
    EXPECT_STREQ(r2.attribute("radius_change").as_string(), "true");
    EXPECT_STREQ(r2.attribute("radius").as_string(), "25.0");
    EXPECT_FALSE(r2.attribute("latitude"));
    EXPECT_FALSE(r2.attribute("cargo_change"));
    const pugi::xml_node p3 = parkposById(doc, "P3");
    EXPECT_EQ(std::distance(p3.attributes_begin(), p3.attributes_end()), 1);
    const auto opts = p3.children("opt");
    ASSERT_EQ(std::distance(opts.begin(), opts.end()), 2);
    const pugi::xml_node known = *opts.begin();
    EXPECT_FALSE(known.attribute("airl"));  // the registration names airline and type
    EXPECT_FALSE(known.attribute("soft"));
    EXPECT_STREQ(known.attribute("hh").as_string(), "0,1,47");
    EXPECT_STREQ(known.attribute("cs").as_string(), "KLM12:KLM12X");
    const pugi::xml_node soft = known.next_sibling("opt");
    EXPECT_STREQ(soft.attribute("airl").as_string(), "EZY");
    EXPECT_STREQ(soft.attribute("soft").as_string(), "true");

    // A learned file's id-only stands have no position, so read them from a full copy.
    pugi::xml_node p3pos = p3;
    p3pos.append_attribute("latitude") = "52.1";
    p3pos.append_attribute("longitude") = "4.5";
    lf_readParkpositions(doc, "test.xml");
    const auto read = std::find_if(parkStands.begin(), parkStands.end(), [](const Stand& s) { return s.id == "P3"; });
    ASSERT_NE(read, parkStands.end());
    ASSERT_EQ(read->options.size(), 2U);
    EXPECT_EQ(read->options[0].airline, "KLC");  // the operator before the airline
    EXPECT_EQ(read->options[0].type, "B738");
    EXPECT_EQ(read->options[0].callsign, "KLM12");
    EXPECT_EQ(read->options[0].callsignSuffix, "KLM12X");
    EXPECT_EQ(read->options[0].halfHours, (1ULL << 0) | (1ULL << 1) | (1ULL << 47));
    EXPECT_EQ(read->options[0].day, 3U);
    EXPECT_EQ(read->options[0].origin, 1U);
    EXPECT_EQ(read->options[0].real, 1U);
    EXPECT_EQ(read->options[1].number, 2U);
    EXPECT_EQ(read->options[1].airline, "EZY");
    EXPECT_EQ(read->options[1].real, 0U);
    EXPECT_EQ(read->options[1].callsignSuffix, "");
}

TEST_F(ApfFileTest, HandmadeLearnedFileCarriesItsQualityAndEveryStandInFull)
{
    handmadeAirport = true;
    ApfAirport airport{"LOWW", "Wien", "", "stock", 70, 40, 600, {}};
    airport.stands.push_back(stand("B1", 0.0, 20.0, false, false, false));
    const fs::path file = dir_ / "handmade.xml";
    ASSERT_TRUE(gf_writeApf(airport, file, ApfWriteMode::learned));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(file.c_str()));
    EXPECT_EQ(paramValue(doc, "handmade"), "true");
    EXPECT_EQ(paramValue(doc, "altitude"), "600");
    EXPECT_EQ(paramValue(doc, "Qf_real"), "70");
    EXPECT_EQ(paramValue(doc, "Qf_soft"), "40");
    EXPECT_TRUE(parkposById(doc, "B1").attribute("latitude"));
}

TEST_F(ApfFileTest, AFailedSaveIsReportedAndLeavesNoFile)
{
    ApfAirport airport{"EHAM", "", "", "stock", 0, 0, 0, {}};
    airport.stands.push_back(stand("A1", 0.0, 20.0, false, true, false));
    EXPECT_FALSE(gf_writeApf(airport, dir_ / "missing" / "EHAM.xml", ApfWriteMode::generated));
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST(ApfHalfHours, TextFormAndBadPieces)
{
    EXPECT_EQ(lf_bitset2hours(0), "");
    EXPECT_EQ(lf_bitset2hours((1ULL << 14) | (1ULL << 15) | (1ULL << 16)), "14,15,16");
    BadHours bad;
    EXPECT_EQ(gf_hours2bitset("0,1,47", bad), (1ULL << 0) | (1ULL << 1) | (1ULL << 47));
    EXPECT_EQ(gf_hours2bitset("", bad), 0U);
    EXPECT_EQ(bad.count, 0U);
    EXPECT_EQ(gf_hours2bitset("48,-1,x,,7a,99999999999,3", bad), (1ULL << 7) | (1ULL << 3));
    EXPECT_EQ(bad.count, 5U) << "48, -1, x, the empty piece and the number past int";
    EXPECT_EQ(bad.firstPiece, "48");
}

TEST_F(ApfFileTest, RepeatedIdStopsTheReadAndStandsWithoutPositionAreSkipped)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<meta/><parameters/><parkpositions>
        <parkpos id="A1" latitude="52.0" longitude="4.0" radius="20"/>
        <parkpos id="Z0" latitude="0" longitude="0" radius="20"/>
        <parkpos id="E1" latitude="0" longitude="4.5" radius="20" heading="270"/>
        <parkpos id="A1" latitude="52.1" longitude="4.1" radius="20"/>
        <parkpos id="B1" latitude="52.2" longitude="4.2" radius="20"/>
      </parkpositions>)"));
    try {
        lf_readParkpositions(doc, "test.xml");
        FAIL() << "no error for the repeated id";
    } catch (const vald::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "94: Parking position A1 appears more than once?");
    }
    ASSERT_EQ(parkStands.size(), 2U);  // Z0 skipped, B1 never reached
    EXPECT_EQ(parkStands[0].id, "A1");
    EXPECT_EQ(parkStands[1].id, "E1");
    EXPECT_NEAR(parkStands[1].heading, 3 * M_PI / 2, 1e-12);

    gf_resetStandRecords();
    pugi::xml_document empty;
    ASSERT_TRUE(empty.load_string("<meta/><parameters/>"));
    lf_readParkpositions(empty, "test.xml");
    EXPECT_TRUE(parkStands.empty());
}

}  // namespace
