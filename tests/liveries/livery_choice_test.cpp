#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "foundation/user_error.hpp"
#include "tests/liveries/livery_test_support.hpp"

using corv_test::flight;
using corv_test::livery;
using corv_test::pickFor;
using testing::Contains;
using testing::ElementsAre;
using testing::Not;

namespace {

class LiveryChoiceTest : public corv_test::LiveryDatabaseTest {
protected:
    // One title per group, so that every step gives one answer.
    void processLadderLiveries()
    {
        process({livery("KLM", "B738", "KLM 738", "PH-BXA"), livery("KLM", "A320", "KLM 320"),
                 livery("ZZZ", "C172", "Generic 172"), livery("ZZZ", "B744", "Generic 744"),
                 livery("PVT", "PA28", "PVT PA28"), livery("ZZZ", "EC35", "Generic EC35"),
                 livery("KLM", "B38M", "KLM MAX", "PH-RFS"), livery("DLH", "A320", "DLH FSLTL_A320 Star")},
                R"(<livery title="KLM 320" reg="PH-UNQ" special="true"/>)");
    }

    std::string chooseLive(const FlightIdentity& identity, bool cargo = false)
    {
        LiveryPick pick = pickFor(identity, cargo);
        gf_chooseLiveryForSpawn(pick);
        return pick.title;
    }

    static std::int32_t matchCount()
    {
        return std::accumulate(matchStepCounters.begin(), matchStepCounters.end(), 0);
    }
};

TEST_F(LiveryChoiceTest, EachMatchingDepthWalksItsStepsOfTheLadder)
{
    processLadderLiveries();
    struct Row {
        FlightIdentity flight;
        std::array<const char*, 4> titles;  // at depth 1, 2, 3, 4
        int stepAtDepth4;
    };
    const Row rows[] = {
        {flight("KLM", "A320", "PH-UNQ"), {"KLM 320", "KLM 320", "KLM 320", "KLM 320"}, 0},
        {flight("KLM", "B738", "PH-BXA"), {"KLM 738", "KLM 738", "KLM 738", "KLM 738"}, 1},
        {flight("XXX", "B738", "PH-BXB"), {"", "KLM 738", "KLM 738", "KLM 738"}, 2},  // the registration's airline
        {flight("KLM", "B737"), {"", "", "KLM 738", "KLM 738"}, 3},
        {flight("XYZ", "B744"), {"", "", "", "Generic 744"}, 4},  // Heavy: generic only at depth 4
        {flight("XYZ", "C172"), {"", "", "Generic 172", "Generic 172"}, 4},
        {flight("PVT", "C172"), {"", "Generic 172", "Generic 172", "Generic 172"}, 4},
        {flight("XYZ", "PA28"), {"", "", "PVT PA28", "PVT PA28"}, 5},
        {flight("XYZ", "R44"), {"", "", "Generic EC35", "Generic EC35"}, 6},  // from the rotorcraft pool
        {flight("", "B738", "PH-BXB"), {"", "", "", ""}, -1},  // live: no airline, no airline steps
    };
    for (const Row& row : rows) {
        for (std::int32_t depth = 1; depth <= 4; ++depth) {
            SCOPED_TRACE(row.flight.airline + " " + row.flight.type + " depth " + std::to_string(depth));
            MATCHING_DEPTH.setValue(depth);
            const auto before = matchStepCounters;
            EXPECT_EQ(chooseLive(row.flight), row.titles[static_cast<std::size_t>(depth - 1)]);
            if (depth == 4 && row.stepAtDepth4 >= 0) {
                EXPECT_EQ(matchStepCounters[static_cast<std::size_t>(row.stepAtDepth4)],
                          before[static_cast<std::size_t>(row.stepAtDepth4)] + 1);
            }
        }
    }
    EXPECT_EQ(matchCount(), 23);
    EXPECT_THAT(log_.lines(), Contains("          CS1 =6= Generic EC35"));
}

TEST_F(LiveryChoiceTest, AFreighterPrefersCargoLiveriesButNeverFallsBackToPassengerOnes)
{
    process({livery("MPH", "B744", "MPH pax"), livery("GEC", "B744", "GEC 744F", "", true),
             livery("MPH", "B77L", "MPH 777F", "", true), livery("MPH", "B77L", "MPH 777 pax"),
             livery("XYZ", "C208", "Caravan pax")});
    EXPECT_EQ(chooseLive(flight("MPH", "B744"), true), "MPH pax");  // its airline's, step 2
    EXPECT_EQ(chooseLive(flight("MPH", "B77L"), true), "MPH 777F");
    EXPECT_EQ(chooseLive(flight("ABC", "C208"), true), "");  // steps 5 and 6 keep to cargo liveries
    EXPECT_EQ(chooseLive(flight("ABC", "C208"), false), "Caravan pax");
}

TEST_F(LiveryChoiceTest, RefusedTitlesAreNeverChosenAgain)
{
    processLadderLiveries();
    const FlightIdentity max = flight("KLM", "B738", "PH-RFS", "KLM9");
    EXPECT_EQ(chooseLive(max), "KLM MAX");
    gf_rememberLivery(4711, "KLM MAX");
    gf_rememberLivery(4711, "KLM 738");  // the first title stays
    EXPECT_EQ(gf_rememberedLivery(4711), "KLM MAX");
    const auto before = matchStepCounters;

    gf_liveryNotCreated(max, "KLM MAX");
    EXPECT_EQ(chooseLive(max), "KLM 738");  // on to step 2
    EXPECT_EQ(matchStepCounters[1], before[1]);
    EXPECT_EQ(matchStepCounters[2], before[2] + 1);
    EXPECT_EQ(gf_rememberedLivery(4711), "");
    EXPECT_EQ(gf_rememberedLiveryCount(), 0u);
    MATCHING_DEPTH.setValue(1);
    EXPECT_EQ(chooseLive(max), "");

    LiveryPick parked = pickFor(max);
    EXPECT_FALSE(gf_chooseLiveryForStatic(parked, false, "A12", "long"));
    EXPECT_EQ(parked.title, "");
}

TEST_F(LiveryChoiceTest, ARefusedTitleLeavesTheOtherTitlesOfItsStep)
{
    process({livery("TRA", "B738", "TRA 738"), livery("TRA", "B738", "TRA 738 Sunset", "PH-HSB")});
    const FlightIdentity sunset = flight("TRA", "B738", "PH-HSB", "TRA5621");
    EXPECT_EQ(chooseLive(sunset), "TRA 738 Sunset");
    gf_liveryNotCreated(sunset, "TRA 738 Sunset");
    const auto before = matchStepCounters;
    // Whatever the draws, the airline's other Boeing 737-800 is taken, by the live and the static
    // choice alike.
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(chooseLive(sunset), "TRA 738");
        LiveryPick parked = pickFor(sunset);
        EXPECT_TRUE(gf_chooseLiveryForStatic(parked, false, "A12", "long"));
        EXPECT_EQ(parked.title, "TRA 738");
    }
    EXPECT_EQ(matchStepCounters[2], before[2] + 40);
}

TEST_F(LiveryChoiceTest, SpecialTitlesAreAvoidedWhileANormalOneExists)
{
    process({livery("DLH", "A320", "DLH special 1"), livery("DLH", "A320", "DLH special 2"),
             livery("DLH", "A320", "DLH normal"), livery("DLH", "A321", "DLH only special A"),
             livery("DLH", "A321", "DLH only special B")},
            R"(<livery title="DLH special 1" reg="D-AAA1" special="true"/>
               <livery title="DLH special 2" reg="D-AAA2" special="true"/>
               <livery title="DLH only special A" reg="D-AAA3" special="true"/>
               <livery title="DLH only special B" reg="D-AAA4" special="true"/>)");
    std::set<std::string> allSpecial;
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(chooseLive(flight("DLH", "A320")), "DLH normal");
        allSpecial.insert(chooseLive(flight("DLH", "A321")));
    }
    EXPECT_THAT(allSpecial, Not(Contains("")));
    EXPECT_LE(allSpecial.size(), 2u);
    // The registration itself still gets its special livery.
    EXPECT_EQ(chooseLive(flight("DLH", "A320", "D-AAA1")), "DLH special 1");
}

TEST_F(LiveryChoiceTest, TheFsltlFlagFollowsTheTitleAnywhereInIt)
{
    processLadderLiveries();
    LiveryPick dlh = pickFor(flight("DLH", "A320"));
    gf_chooseLiveryForSpawn(dlh);
    EXPECT_EQ(dlh.title, "DLH FSLTL_A320 Star");
    EXPECT_TRUE(dlh.fsltlLivery);
    LiveryPick klm = pickFor(flight("KLM", "A320"));
    klm.fsltlLivery = true;
    gf_chooseLiveryForSpawn(klm);
    EXPECT_FALSE(klm.fsltlLivery);
}

TEST_F(LiveryChoiceTest, TheStaticChooserTakesTheStandsCargoFlagAndCountsNothing)
{
    process({livery("KLM", "B738", "KLM 738"), livery("MPH", "B744", "MPH 744 pax"),
             livery("MPH", "B744", "MPH 744F", "", true), livery("KLM", "B739", "KLM 739")});
    const FlightIdentity noAirline = flight("", "B738", "PH-BXB", "S1");
    LiveryPick parked = pickFor(noAirline);
    EXPECT_TRUE(gf_chooseLiveryForStatic(parked, false, "A12", "long"));
    EXPECT_EQ(parked.title, "KLM 738");  // the registration's airline, whatever the own airline

    const FlightIdentity freighter = flight("MPH", "B744", "", "S2");
    LiveryPick cargo = pickFor(freighter);
    EXPECT_TRUE(gf_chooseLiveryForStatic(cargo, true, "C1", "long"));
    EXPECT_TRUE(cargo.cargo);
    EXPECT_EQ(cargo.title, "MPH 744F");

    LiveryPick kept = pickFor(freighter);
    kept.title = "Already chosen";
    EXPECT_TRUE(gf_chooseLiveryForStatic(kept, false, "C1", "long"));
    EXPECT_EQ(kept.title, "Already chosen");

    // A similar type of another category is taken by the static chooser.
    EXPECT_EQ(chooseLive(flight("", "B737")), "");
    LiveryPick similar = pickFor(flight("KLM", "B737", "", "S3"));
    EXPECT_TRUE(gf_chooseLiveryForStatic(similar, false, "A13", "long"));
    EXPECT_THAT(similar.title, testing::AnyOf("KLM 738", "KLM 739"));

    MATCHING_DEPTH.setValue(1);
    LiveryPick none = pickFor(freighter);
    EXPECT_FALSE(gf_chooseLiveryForStatic(none, false, "B7", "S2       MPH B744"));
    EXPECT_EQ(matchCount(), 0);
    const auto lines = log_.lines();
    EXPECT_THAT(lines, Contains("          S1 =2= KLM 738"));
    EXPECT_THAT(lines, Contains("          S2 =s= Already chosen"));
    EXPECT_THAT(lines, Contains("B7      : S2       MPH B744 no livery match ..."));
}

TEST_F(LiveryChoiceTest, TheTwentiethRefusalEndsTheRunWithItsUserError)
{
    processLadderLiveries();
    const FlightIdentity klm = flight("KLM", "B738", "", "KLM1");
    userClosing.store(true);
    gf_liveryNotCreated(klm, "while closing");
    EXPECT_TRUE(failedLiveryTitles.empty());
    userClosing.store(false);

    for (int i = 0; i < 19; ++i)
        gf_liveryNotCreated(klm, i % 2 == 0 ? "KLM 738" : "KLM 320");
    EXPECT_EQ(failedLiveryKeys.size(), 1u);
    try {
        gf_liveryNotCreated(flight("DLH", "A320"), "DLH FSLTL_A320 Star");
        ADD_FAILURE() << "no error at the 20th refusal";
    } catch (const vald::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "81: There are too many liveries that could not be created by P3D!, see Log.txt");
    }
    EXPECT_EQ(failedLiveryTitles.size(), 20u);
    const auto lines = log_.lines();
    EXPECT_THAT(lines, Contains("KLM1 'KLM 738' could not be created by your Sim!"));
    EXPECT_THAT(lines, Contains("===> Error 81, There are too many liveries that could not be created by P3D!"));
}

TEST_F(LiveryChoiceTest, TheSummaryListsEveryStepAndTheRefusedKeys)
{
    processLadderLiveries();
    gf_liveryNotCreated(flight("KLM", "B38M"), "KLM MAX");
    gf_liveryMatchingSummary();  // nothing matched yet: no block
    unmatchedLiveryKeys.insert("KLM B772 PH-BVZ");
    chooseLive(flight("KLM", "B738", "PH-BXA"));
    chooseLive(flight("KLM", "B738", "PH-BXA"));
    gf_liveryMatchingSummary();
    gf_logUnmatched();

    const auto lines = log_.lines();
    const auto start = std::find(lines.begin(), lines.end(), "Matches at step: ");
    ASSERT_NE(start, lines.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Matches at step: "), 1);
    EXPECT_THAT(std::vector<std::string>(start, start + 12),
                ElementsAre("Matches at step: ", "  0: 0", "  1: 2", "  2: 0", "  3: 0", "  4: 0", "  5: 0", "  6: 0",
                            "", "Could not be created by P3D:", "  B38M KLM", std::string(100, '*')));
    EXPECT_NE(std::find(lines.begin(), start, " live traffic livery matching summary "), lines.end());
    EXPECT_THAT(lines, Contains("No match found for:"));
    EXPECT_THAT(lines, Contains("KLM B772 PH-BVZ"));
}

}  // namespace
