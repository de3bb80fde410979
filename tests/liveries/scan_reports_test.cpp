#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/format.hpp"
#include "tests/liveries/scan_fixture.hpp"

namespace {

namespace fs = std::filesystem;
using corv_test::LiveryScanTest;
using corv_test::readFile;

TEST_F(LiveryScanTest, RegistrationRecordsCorrectScannedLiveries)
{
    // The operator's code counts even when the airline list does not hold it.
    dbaseRecords.emplace("PH-NAM", DbaseRecord{"TRA", "B738", "XTR", false});
    LiveryList liveries{{"KLM", "B744", "cargo by operator", "PH-BFA", 1, false},
                        {"KLM", "A320", "named operator", "PH-NAM", 1, false},
                        {"KLM", "B738", "unchanged", "PH-BXA", 1, false},
                        {"KLM", "B738", "no registration", "", 1, false}};
    lf_logDbaseConversions(liveries);
    const std::vector<std::string> expected{
        vald::format("{:80} PH-BFA cargo false => true", "cargo by operator"),
        vald::format("{:80} PH-NAM airl KLM => XTR", "named operator"),
        vald::format("{:80} PH-NAM model A320 => B738", "named operator")};
    EXPECT_EQ(gf_scanReportsSnapshot().conversions, expected);
    EXPECT_EQ(liveries.front().airl, "KLM");  // the operator's code, though the record's airline is MPH
    EXPECT_TRUE(liveries.front().cargo);
    EXPECT_EQ((++liveries.begin())->airl, "XTR");
}

TEST_F(LiveryScanTest, TheSummaryWritesEachReportOnceAndCountsWhatWasCollected)
{
    lf_liveriesScanSummary();
    std::vector<std::string> log = logLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "No errors"), log.end());
    EXPECT_FALSE(fs::exists(OUTPUT_ERRORS_FOLDER));

    gf_openLog();
    lf_addIncompleteSection("b same line");
    lf_addIncompleteSection("a other line");
    lf_addIncompleteSection("b same line");
    lf_addInvalidAirline("kl", "x/aircraft.cfg", "[fltsim.1]");
    lf_addFix("Model fix: 2");
    lf_addFix("Model fix: 1");
    lf_addFileWithoutSections("z.cfg");
    lf_liveriesScanSummary();
    EXPECT_EQ(readFile(INCOMPLETE_FLTSIM_SECTIONS_PATH), "a other line\nb same line\n");
    EXPECT_EQ(readFile(INVALID_AIRLINE_CODES_PATH), "kl           in x/aircraft.cfg [fltsim.1]\n");
    EXPECT_EQ(readFile(FIXES_PATH), "Model fix: 1\nModel fix: 2\n");
    EXPECT_EQ(readFile(AIRCRAFT_CFG_NO_FLTSIM_PATH), "z.cfg\n");
    log = logLines();
    for (const std::string& line :
         {std::string("Errors:"), "1 invalid airline code, see " + INVALID_AIRLINE_CODES_PATH.string(),
          "2 code fixes, see " + FIXES_PATH.string(),
          "3 incomplete [fltsim.x] sections, see " + INCOMPLETE_FLTSIM_SECTIONS_PATH.string(),
          "1 empty aircraft.cfg files, see " + AIRCRAFT_CFG_NO_FLTSIM_PATH.string()})
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
}

}  // namespace
