#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/liveries/livery_test_support.hpp"

using corv_test::fileLines;
using corv_test::livery;
using corv_test::writeFile;
using testing::AllOf;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using testing::UnorderedElementsAre;

namespace {

using LiveryIndexTest = corv_test::LiveryDatabaseTest;

std::vector<std::string> lf_titles(const TitleViews& views) { return {views.begin(), views.end()}; }

TEST_F(LiveryIndexTest, RegistrationsOverrideInLineThenAigThenTheUsersFiles)
{
    writeFile("input/my_regcodes/mine.txt", "KLM D;PH-AAA\n");
    process({livery("KLM", "B738", "KLM A", "PH-AAA"), livery("KLM", "B738", "KLM B", "PH-AAA"),
             livery("KLM", "B738", "KLM C"), livery("KLM", "B738", "KLM D"), livery("DLH", "A320", "DLH S")},
            R"(<livery title="KLM C" reg="PH-AAA"/>
               <livery title="Not installed" reg="PH-ZZZ"/>
               <livery title="DLH S" reg="D-AAAA,D-AAAB" special="true"/>
               <livery title="KLM A" reg="PH-ONE" special="true"/>)");

    EXPECT_EQ(regcodeIndex.at("PH-AAA"), "KLM D");
    EXPECT_EQ(regcodeIndex.at("D-AAAB"), "DLH S");
    EXPECT_FALSE(regcodeIndex.contains("PH-ZZZ"));
    // One registration in a user's file marks its livery special.
    EXPECT_THAT(uniqueRegistrations, ElementsAre("PH-AAA", "PH-ONE"));
    EXPECT_THAT(lf_titles(specialTitles), ElementsAre("DLH S", "KLM A", "KLM D"));
    EXPECT_FALSE(std::filesystem::exists(AIG_REGCODES_XML_PATH));

    EXPECT_THAT(fileLines(INLINE_REGCODES_PATH), ElementsAre("PH-AAA 'KLM B' => already in use by 'KLM A'"));
    EXPECT_THAT(fileLines(OFFLINE_REGCODES_PATH),
                ElementsAre("Processing file input/AIG-regcodes.xml",
                            "   regcode PH-AAA for 'KLM C', instead of the same for 'KLM A'",
                            "3 new regcodes added, 1 regcode replaced, 2 regcodes defined as special",
                            "Processing files in input/my_regcodes",
                            "   regcode PH-AAA for 'KLM D', instead of the same for 'KLM C'",
                            "0 new regcodes added, 1 regcode replaced, 1 regcode defined as special"));
    const auto lines = log_.lines();
    EXPECT_THAT(lines, Contains("1 in-line regcode clashes, see 'output/errors/InlineRegcodes.txt'"));
    EXPECT_THAT(lines, Contains("4 registration codes"));
    EXPECT_THAT(lines, Contains("3 special liveries"));
    EXPECT_THAT(lines, Contains("2 unique liveries"));
}

TEST_F(LiveryIndexTest, WithoutTheDataFileOnlyTheInLineRegistrationsAreBound)
{
    writeFile("input/my_regcodes/mine.txt", "KLM A;PH-BBB\n");
    process({livery("KLM", "B738", "KLM A", "PH-AAA")});
    EXPECT_THAT(regcodeIndex, UnorderedElementsAre(testing::Pair("PH-AAA", "KLM A")));
    EXPECT_FALSE(std::filesystem::exists(OFFLINE_REGCODES_PATH));
    EXPECT_FALSE(std::filesystem::exists(INLINE_REGCODES_PATH));
}

// A report that cannot replace the last one (a folder there fails as a read-only one) is not pointed to.
TEST_F(LiveryIndexTest, AnOfflineReportIsPointedToOnlyWhenWritten)
{
    std::filesystem::create_directories(OFFLINE_REGCODES_PATH / "held");
    process({livery("KLM", "B738", "KLM A")}, R"(<livery title="KLM A" reg="PH-ONE" special="true"/>)");
    std::filesystem::remove_all(OFFLINE_REGCODES_PATH);
    lf_processRegcodeFiles();
    EXPECT_EQ(fileLines(OFFLINE_REGCODES_PATH).front(), "Processing file input/AIG-regcodes.xml");
    const auto lines = log_.lines();
    EXPECT_THAT(lines, Contains(HasSubstr("==> output/info/OfflineRegcodes.txt could not be removed: ")));
    EXPECT_THAT(lines, Contains(HasSubstr("==> could not write output/info/OfflineRegcodes.txt: ")));
    EXPECT_THAT(lines, AllOf(Not(Contains(HasSubstr("exception"))), Contains("1 special liveries")));
    const char* results = "Offline regcode files processed, results can be found in 'output/info/OfflineRegcodes.txt'";
    EXPECT_EQ(std::ranges::count(lines, results), 1);
}

TEST_F(LiveryIndexTest, LiveriesAreGroupedByKindModelAndCategory)
{
    HELICOPTERS.setValue(false);  // the user's choice stays, its box is enabled again
    process({livery("KLM", "B738", "KLM 738 a"), livery("KLM", "B738", "KLM 738 b"),
             livery("MPH", "B744", "MPH 744F", "", true), livery("MPH", "B744", "MPH 744 pax"),
             livery("KLM", "B744", "KLM 744"), livery("PVT", "C172", "C172 private"),
             livery("ZZZ", "C172", "C172 generic"), livery("ZZZ", "EC35", "EC35 generic"),
             livery("KLMX", "A320", "four-letter key")});

    EXPECT_EQ(liveryCount.load(), 9u);
    EXPECT_TRUE(liveriesProcessed.load());
    EXPECT_TRUE(scannedLiveries.empty());
    EXPECT_THAT(lf_titles(airlineModelIndexes[1].at("MPH").at("B744")), ElementsAre("MPH 744F"));
    EXPECT_THAT(lf_titles(airlineModelIndexes[0].at("MPH").at("B744")), ElementsAre("MPH 744 pax"));
    EXPECT_FALSE(airlineModelIndexes[1].contains("KLM"));
    EXPECT_THAT(lf_titles(modelIndexes[0].at("B744")), UnorderedElementsAre("MPH 744 pax", "KLM 744"));
    EXPECT_THAT(lf_titles(modelIndexes[1].at("B744")), ElementsAre("MPH 744F"));
    EXPECT_THAT(lf_titles(modelIndexes[0].at("B738")), ElementsAre("KLM 738 a", "KLM 738 b"));
    EXPECT_THAT(modelPools[0], ElementsAre("C172"));
    EXPECT_TRUE(modelPools[1].empty());
    EXPECT_THAT(modelPools[2], ElementsAre("EC35"));
    EXPECT_THAT(gf_liveryAirlines(), UnorderedElementsAre("KLM", "MPH", "PVT", "ZZZ"));
    EXPECT_TRUE(gf_hasAirlineModel("MPH", "B744"));
    EXPECT_FALSE(gf_hasAirlineModel("MPH", "B738"));
    EXPECT_TRUE(gf_hasInstalledType("EC35"));

    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.value());
    EXPECT_FALSE(vald::gf_controls().enabled(HIGH_PERF_AIRCRAFT.controlId()));
    EXPECT_FALSE(HELICOPTERS.value());
    EXPECT_TRUE(vald::gf_controls().enabled(HELICOPTERS.controlId()));
    EXPECT_TRUE(LIGHT_AIRCRAFT.value());

    gf_processScannedLiveries();  // once per process
    const auto lines = log_.lines();
    EXPECT_THAT(lines, Contains("5 airlines, 5 pax aircraft models and 1 cargo aircraft models"));
    EXPECT_THAT(lines, Contains("Category Light: 2 pax liveries"));
    EXPECT_THAT(lines, Contains("Category Buzjets: No livery found"));
    EXPECT_THAT(lines, Contains("Category Large: 3 pax liveries"));
    EXPECT_THAT(lines, Contains("Category Heavy: 2 pax liveries and 1 cargo liverie"));
    EXPECT_THAT(lines, Contains("Category Rotorcraft: 1 pax liverie"));
    EXPECT_THAT(lines, Contains("HIGH_PERF_AIRCRAFT temporarily switched off because you do not have High Perf "
                                "aircraft installed"));
    EXPECT_THAT(lines, Not(Contains(testing::HasSubstr("HELICOPTERS temporarily"))));
    EXPECT_THAT(lines, Contains("2 models have a generic livery"));
    EXPECT_THAT(lines, Contains("  C172,EC35"));
    EXPECT_THAT(lines, Contains("Processing scanned liveries skipped; already done in previous start-up"));
    EXPECT_EQ(liveryCount.load(), 9u);
}

TEST_F(LiveryIndexTest, AnEmptyListSwitchesTheThreeCategoriesOffAndPoolsListTwentyPerLine)
{
    lf_buildLiveryIndex();
    lf_buildAirlineModelIndexes();
    lf_buildModelIndexes();
    for (unsigned int category = 0; category <= 5; ++category)
        lf_categorySummary(category);
    lf_logGenericLiveries();
    EXPECT_TRUE(liveryIndex.empty());
    for (CheckBoxParameter* box : {&LIGHT_AIRCRAFT, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) {
        EXPECT_FALSE(box->value()) << box->name();
        EXPECT_FALSE(vald::gf_controls().enabled(box->controlId())) << box->name();
    }
    const std::string saved = corv_test::readFile(gf_parametersPath());
    EXPECT_THAT(saved, testing::HasSubstr(R"(name="LIGHT_AIRCRAFT" value="false")"));
    EXPECT_THAT(saved, testing::HasSubstr(R"(name="HELICOPTERS" value="false")"));

    std::vector<std::string> models;
    for (int i = 0; i < 45; ++i)
        models.push_back(vald::format("M{:02}", i));
    lf_fillModelPools(false, true, false, models);
    EXPECT_EQ(modelPools[1].size(), 45u);
    EXPECT_TRUE(modelPools[0].empty());

    const auto lines = log_.lines();
    EXPECT_THAT(lines, Contains("Category Light: No livery found"));
    EXPECT_THAT(lines, Contains("Category Heavy: No livery found"));
    EXPECT_THAT(lines, Contains("HELICOPTERS temporarily switched off because you do not have Helicopters installed"));
    EXPECT_THAT(lines, Contains("No generic liveries"));
    std::vector<std::string> poolLines;
    for (const std::string& line : lines)
        if (line.rfind("  M", 0) == 0)
            poolLines.push_back(line);
    ASSERT_EQ(poolLines.size(), 3u);
    EXPECT_EQ(poolLines[2], "  M40,M41,M42,M43,M44");
    EXPECT_EQ(std::count(poolLines[0].begin(), poolLines[0].end(), ','), 19);
}

// A new scan empties the indexes on the worker while remembered and refused titles, and the
// titles of aircraft records, live on: they own their text.
TEST_F(LiveryIndexTest, TitlesKeptOutsideTheIndexesSurviveAResetAndRebuild)
{
    process({livery("KLM", "B738", "KLM 737-800 in the colours of the first scan"),
             livery("DLH", "A320", "Lufthansa A320 of the first scan, to be refused"),
             livery("EZY", "A319", "easyJet of the first scan only")});
    EXPECT_FALSE(gf_findSimilarModels({"EZY", "A320"}).empty());
    const FlightIdentity klm = corv_test::flight("KLM", "B738", "PH-BXA", "KLM123");
    LiveryPick pick = corv_test::pickFor(klm);
    gf_chooseLiveryForSpawn(pick);
    ASSERT_EQ(pick.title, "KLM 737-800 in the colours of the first scan");
    gf_rememberLivery(4711, pick.title);
    const FlightIdentity dlh = corv_test::flight("DLH", "A320", "", "DLH1");
    gf_liveryNotCreated(dlh, "Lufthansa A320 of the first scan, to be refused");

    gf_resetLiveryIndexes();
    liveriesProcessed.store(false);
    EXPECT_TRUE(liveryIndex.empty());
    EXPECT_TRUE(regcodeIndex.empty());
    EXPECT_TRUE(modelIndexes[0].empty());
    EXPECT_EQ(gf_rememberedLivery(4711), "KLM 737-800 in the colours of the first scan");
    EXPECT_EQ(failedLiveryTitles.front(), "Lufthansa A320 of the first scan, to be refused");

    process({livery("DLH", "A320", "Lufthansa A320 of the first scan, to be refused"),
             livery("KLM", "B738", "KLM 737-800 of the second scan")});
    EXPECT_EQ(pick.title, "KLM 737-800 in the colours of the first scan");
    EXPECT_TRUE(gf_findSimilarModels({"EZY", "A320"}).empty());  // the similar types follow the new scan
    gf_chooseLiveryForSpawn(pick);
    EXPECT_EQ(pick.title, "KLM 737-800 of the second scan");
    LiveryPick refused = corv_test::pickFor(dlh);
    gf_chooseLiveryForSpawn(refused);
    EXPECT_EQ(refused.title, "");
}

}  // namespace
