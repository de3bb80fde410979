// The learned file of a park airport: its paths, the merge over the park file's stands and the
// per-airport settings, the quality factors, and the save that a later visit reads back.
#include "parking/learned_file.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/parameters.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/parking/park_test_support.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using testing::Contains;
using testing::HasSubstr;

namespace {

const std::string ORBX_FILE = "airports/my_ORBX/EHAM.xml";

class LearnedFileTest : public ParamTest {
protected:
    LearnedFileTest()
    {
        writeFile(ORBX_FILE, apfXml({{"airport_name", "Schiphol"}, {"publisher", "simaddon"}, {"altitude", "-11"}},
                                    parkpos("A1", 52.30, 4.76, 20.0, "",
                                            "<opt reg=\"\" airl=\"KLM\" type=\"B738\" day=\"3\" hh=\"14,15\" "
                                            "cs=\"KLM1\"/>") +
                                        parkpos("A2", 52.31, 4.76, 20.0) + parkpos("A3", 52.32, 4.76, 20.0)));
        EXPECT_TRUE(lf_setParkAirport("EHAM"));
    }

    std::string read() { return gf_readApf(ORBX_FILE, parkApfInfo, parkQuality); }

    Stand& stand(const std::string& id)
    {
        for (Stand& s : parkStands)
            if (s.id == id)
                return s;
        throw std::runtime_error("no stand " + id);
    }

    // A learned file for the my_ORBX park file, with the meta block unless told otherwise.
    void writeLearned(const std::map<std::string, std::string>& params, const std::string& stands,
                      const std::vector<std::string>& missingMeta = {})
    {
        writeFile(learnedPath(), apfXml(params, stands, missingMeta));
    }
    static fs::path learnedPath() { return lf_learnedPathOf(ORBX_FILE, "EHAM", "simaddon"); }

    ParkState park_{{AirportRecord{"EHAM", "AMS", 52.31, 4.76, -11.0, 0}}};
};

TEST_F(LearnedFileTest, LearnedPathsFollowTheParkFileAndStayInsideTheLearnedFolder)
{
    EXPECT_EQ(lf_learnedPathOf("archive/stock/EHAM.xml", "EHAM", "stock"), fs::path("airports/learned/stock/EHAM.xml"));
    EXPECT_EQ(lf_learnedPathOf("archive/thirdparty/Some%20Publisher/EHAM.xml", "EHAM", "Some Publisher"),
              fs::path("airports/learned/thirdparty/Some Publisher/EHAM.xml"));
    EXPECT_EQ(lf_learnedPathOf("airports\\my_thirdparty\\EHAM.xml", "EHAM", "Acme"),
              fs::path("airports/learned/thirdparty/Acme/EHAM.xml"));
    EXPECT_EQ(lf_learnedPathOf(ORBX_FILE, "EHAM", "simaddon"), fs::path("airports/learned/simaddon/EHAM.xml"));
    EXPECT_EQ(lf_learnedPathOf("airports/my_thirdparty/EHAM.xml", "EHAM", "../../x"),
              fs::path("airports/learned/thirdparty/.._.._x/EHAM.xml"));
    EXPECT_EQ(lf_learnedPathOf("elsewhere/EHAM.xml", "EHAM", "Acme"), fs::path("airports/learned/thirdparty/Acme/EHAM.xml"))
        << "a download name that is neither archive nor local learns by publisher, never into the name itself";
    EXPECT_EQ(lf_learnedPathOf("", "EHAM", "stock"), fs::path());
}

TEST_F(LearnedFileTest, WhatWasLearnedIsSavedAndReadBackAtTheNextVisit)
{
    ASSERT_EQ(read(), "");
    // What a visit learns: a new use of A1, a larger A2, a cargo A3, a stand added by hand.
    StandOption learned;
    learned.airline = "TRA";
    learned.type = "B737";
    learned.callsign = "TRA5";
    learned.halfHours = 0b11;
    learned.day = 5;
    learned.number = 2;
    learned.origin = 0;
    stand("A1").options.push_back(learned);
    stand("A2").radius = 35.0 * STAND_METRES_TO_NM;
    stand("A2").radiusChanged = 1;
    stand("A3").cargo = 1;
    stand("A3").cargoChanged = 1;
    parkStands.emplace_back(std::vector<StandOption>{}, "M1", Stand::Place{52.33, 4.76, 0.0}, 25.0, false, false, false);
    parkStands.back().manual = 1;
    MAX_LIVE_SEL.setValue(50);
    parking_percentage.setValue(35);
    WEEK.setValue(true);
    learnedUpdateCount = 3;

    ASSERT_TRUE(lf_saveLearnedApf());
    EXPECT_THAT(park_.statuses.back(), HasSubstr(" '" + learnedPath().string() + "' saved with 3 updates"));
    const std::string saved = readFile(learnedPath());
    EXPECT_THAT(saved, Not(HasSubstr("KLM1"))) << "the park file's own options are not learned";

    lf_closeParkAirport();  // saves again, with the same content
    MAX_LIVE_SEL.setValue(500);
    parking_percentage.setValue(30);
    WEEK.setValue(false);
    ASSERT_TRUE(lf_setParkAirport("EHAM"));
    ASSERT_EQ(read(), "");
    ASSERT_EQ(parkStands.size(), 4u);
    ASSERT_EQ(stand("A1").options.size(), 2u);
    EXPECT_EQ(stand("A1").options[1].callsign, "TRA5");
    EXPECT_EQ(stand("A1").options[1].origin, 0u);
    EXPECT_EQ(stand("A1").options[1].number, 2u);
    EXPECT_NEAR(stand("A2").radius, 0.0188984, 1e-6);
    EXPECT_TRUE(stand("A2").radiusChanged);
    EXPECT_TRUE(stand("A3").cargo);
    EXPECT_TRUE(stand("M1").manual);
    EXPECT_EQ(MAX_LIVE_SEL.value(), 50);
    EXPECT_EQ(parking_percentage.value(), 35);
    EXPECT_TRUE(WEEK.value());
    EXPECT_EQ(parkQuality, std::make_pair(16, 0)) << "the learned data rates the stands";
}

TEST_F(LearnedFileTest, LearnedOptionsMergeWithoutRepeatsAndUnknownStandsAreLogged)
{
    writeLearned({{"airport_name", "Other name"}},
                 "<parkpos id=\"A1\">"
                 "<opt reg=\"\" airl=\"KLM\" type=\"B738\" day=\"3\" hh=\"15,16\" cs=\"KLM9\"/>"  // overlaps: dropped
                 "<opt reg=\"\" airl=\"KLM\" type=\"B738\" day=\"3\" hh=\"20\" cs=\"KLM9\"/>"     // disjoint: added
                 "</parkpos>\n<parkpos id=\"Z9\"/>\n" +
                     parkpos("A2", 52.0, 4.0, 20.0, " manual=\"true\"") + parkpos("M2", 0.0, 0.0, 20.0, " manual=\"true\""));
    ASSERT_EQ(read(), "");
    ASSERT_EQ(stand("A1").options.size(), 2u);
    EXPECT_EQ(stand("A1").options[1].halfHours, std::uint64_t{1} << 20);
    EXPECT_EQ(stand("A1").options[1].number, 2u);
    EXPECT_EQ(parkStands.size(), 3u) << "a manual stand with a taken id or no position is not added";
    EXPECT_TRUE(park_.shown("Warning: learned file airport name: 'Other name' differs from archived file airport "
                            "name: 'Schiphol'"));
    const auto lines = logLines();
    EXPECT_THAT(lines, Contains("learned stand Z9 in " + learnedPath().string() + " not found?"));
    EXPECT_THAT(lines, Contains("==> manually created standid A2 already exists in " + learnedPath().string()));
    EXPECT_THAT(lines, Contains("==> manually created standid M2 misses correct attributes in " + learnedPath().string()));
}

TEST_F(LearnedFileTest, SettingsFromTheLearnedFileAreSnappedAndAnAbsentMaxLiveKeepsTheUsersChoice)
{
    MAX_LIVE_SEL.setValue(75);
    writeLearned({{"parking_percentage", "150"}}, "");
    ASSERT_EQ(read(), "");
    EXPECT_EQ(MAX_LIVE_SEL.value(), 75) << "no MAX_LIVE in the file: live aircraft stay as the user chose";
    EXPECT_EQ(parking_percentage.value(), 100) << "a multiple of 5 is clamped too";

    EXPECT_EQ(lf_snapParkingPercentage(-10), 0);
    EXPECT_EQ(lf_snapParkingPercentage(33), 35);
    EXPECT_EQ(lf_snapParkingPercentage(32), 30);
    EXPECT_EQ(lf_snapMaxLive(300), 500);
    EXPECT_EQ(lf_snapMaxLive(20), 25);
    EXPECT_EQ(lf_snapMaxLive(-5), 500);
    EXPECT_EQ(lf_snapMaxLive(0), 0);

    writeLearned({{"MAX_LIVE", "20"}, {"LATERAL_RANGE", "33"}, {"MAX_FIT", "7"}}, "");
    parkStands.clear();
    ASSERT_EQ(read(), "");
    EXPECT_EQ(MAX_LIVE_SEL.value(), 25);
    EXPECT_EQ(parking_percentage.value(), 30) << "absent: 30";
    EXPECT_EQ(MAX_FIT.value(), 7);
    EXPECT_TRUE(RANGE.optionIndex(RANGE.value()).has_value());
}

TEST_F(LearnedFileTest, LearnedFilesThatCannotBeMergedAreKeptAsideBeforeTheSaveReplacesThem)
{
    const fs::path aside = fs::path(learnedPath()).replace_extension("").string() + "0.xml";
    writeFile(learnedPath(), "<meta><broken");
    ASSERT_EQ(read(), "");
    EXPECT_EQ(readFile(aside), "<meta><broken");
    EXPECT_THAT(logLines(), Contains(HasSubstr("found, but could not be loaded, saved as *.0.xml")));
    lf_closeParkAirport();
    fs::remove(aside);

    writeLearned({{"MAX_LIVE", "10"}}, "<parkpos id=\"A1\" radius_change=\"true\" radius=\"99\"/>\n", {"author"});
    const std::string original = readFile(learnedPath());
    ASSERT_TRUE(lf_setParkAirport("EHAM"));
    ASSERT_EQ(read(), "");
    EXPECT_FALSE(stand("A1").radiusChanged) << "a file without the meta entries is not merged";
    EXPECT_EQ(MAX_LIVE_SEL.value(), 500);
    lf_closeParkAirport();  // saves over the learned file
    EXPECT_NE(readFile(learnedPath()), original);
    ASSERT_TRUE(fs::exists(aside)) << "the user's file is not lost";
    EXPECT_EQ(readFile(aside), original);
}

TEST_F(LearnedFileTest, AHandmadeFileReplacesTheStandsAndARepeatedIdEndsTheMergeLogged)
{
    writeLearned({{"handmade", "true"}, {"altitude", "5"}},
                 parkpos("H1", 52.0, 4.0, 20.0) + parkpos("H2", 52.1, 4.0, 20.0) + parkpos("H1", 52.2, 4.0, 20.0));
    ASSERT_EQ(read(), "");
    EXPECT_TRUE(handmadeAirport);
    ASSERT_EQ(parkStands.size(), 2u);
    EXPECT_EQ(parkStands[0].id, "H1");
    EXPECT_THAT(logLines(), Contains("lf_readLearned: 94: Parking position H1 appears more than once?"));
}

TEST_F(LearnedFileTest, QualityFactorsRateTheOptionsPerStand)
{
    EXPECT_EQ(gf_qualityFactors(), std::make_pair(-1, -1)) << "no stands";
    for (const char* id : {"S1", "S2", "S3", "S4"})
        parkStands.emplace_back(std::vector<StandOption>{}, id, Stand::Place{52.0, 4.0, 0.0}, 20.0, false, false, false);
    EXPECT_EQ(gf_qualityFactors(), std::make_pair(-1, -1)) << "no options";
    StandOption option;
    option.day = 3;
    option.halfHours = 0b110;
    option.number = 1;
    option.real = 1;
    parkStands[0].options.push_back(option);
    EXPECT_EQ(gf_qualityFactors(), std::make_pair(16, 0));  // 0.00625 * 10124 / 4 = 15.8
}

TEST_F(LearnedFileTest, AFailedSaveIsReportedNeverAsSuccess)
{
    ASSERT_EQ(read(), "");
    fs::create_directories(learnedPath());  // a folder where the file should go
    learnedUpdateCount = 2;
    EXPECT_FALSE(lf_saveLearnedApf());
    EXPECT_THAT(park_.statuses.back(), HasSubstr(" saving '" + learnedPath().string() + "' did not succeed"));
    EXPECT_EQ(learnedUpdateCount, 0);
    for (const std::string& text : park_.statuses)
        EXPECT_THAT(text, Not(HasSubstr("saved with")));
}

}  // namespace
