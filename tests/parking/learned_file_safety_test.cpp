// What a user taught the program over months survives ordinary events: a handmade learned file
// with a repeated stand, a park file that yields no stand, a park file that lost a stand, a
// hand-placed park file that calls itself "stock", a percentage that no int step can take.
#include <climits>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/parameters.hpp"
#include "parking/learned_file.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/parking/park_test_support.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using testing::HasSubstr;

namespace {


std::string lf_opt(const std::string& reg, int day, const std::string& hh)
{
    return "<opt reg=\"" + reg + "\" airl=\"KLM\" type=\"B738\" day=\"" + std::to_string(day) + "\" hh=\"" + hh + "\"/>";
}

class LearnedFileSafetyTest : public ParamTest {
protected:
    LearnedFileSafetyTest() { EXPECT_TRUE(lf_setParkAirport("EHAM")); }

    void writePark(const std::string& stands, const std::map<std::string, std::string>& params = ACME_PARK_PARAMS)
    {
        writeFile(ACME_PARK_FILE, apfXml(params, stands));
    }
    static std::string threeStands()
    {
        return parkpos("A1", 52.30, 4.76, 20.0) + parkpos("A2", 52.31, 4.76, 20.0) + parkpos("A3", 52.32, 4.76, 20.0);
    }
    // A visit: the airport is chosen, its park file read (the airport closes itself when that
    // fails), then the airport is left, which saves what was learned.
    void visit()
    {
        ASSERT_TRUE(lf_setParkAirport("EHAM"));
        lf_rebuildParkedTraffic();
        lf_closeParkAirport();
    }
    Stand* stand(const std::string& id)
    {
        for (Stand& s : parkStands)
            if (s.id == id)
                return &s;
        return nullptr;
    }

    ParkState park_{{AirportRecord{"EHAM", "AMS", 52.31, 4.76, -11.0, 0}}};
};

TEST_F(LearnedFileSafetyTest, AHandmadeFileWithARepeatedStandIsKeptWholeAndAsideNotCutAtTheSave)
{
    writePark(threeStands());
    const std::string handmade =
        apfXml({{"handmade", "true"}, {"altitude", "5"}, {"airport_name", "Schiphol"}, {"publisher", "Acme"}},
               parkpos("H1", 52.0, 4.0, 20.0, "", lf_opt("PH-AAA", 3, "14")) + parkpos("H2", 52.1, 4.0, 20.0) +
                   parkpos("H1", 52.2, 4.0, 20.0) + parkpos("H3", 52.3, 4.0, 20.0) + parkpos("H4", 52.4, 4.0, 20.0));
    writeFile(ACME_LEARNED_FILE, handmade);

    visit();

    EXPECT_EQ(readFile(ACME_LEARNED_FILE), handmade) << "the stands after the repeat are not lost";
    EXPECT_EQ(readFile("airports/learned/thirdparty/Acme/EHAM0.xml"), handmade) << "a copy is kept aside";
    EXPECT_TRUE(std::any_of(park_.statuses.begin(), park_.statuses.end(), [](const std::string& s) {
        return s.find("Learned stands of EHAM not saved") != std::string::npos;
    }));
}

// An unreadable learned file whose copy aside cannot be made is all there is of it: it is not
// saved over when the airport is left.
TEST_F(LearnedFileSafetyTest, AnUnreadableFileThatCannotBeCopiedAsideIsNotSavedOver)
{
    writePark(threeStands());
    writeFile(ACME_LEARNED_FILE, "<parkpositions><parkpos id=\"A1\">");
    fs::create_directories("airports/learned/thirdparty/Acme/EHAM0.xml");  // where the copy would go
    visit();
    EXPECT_EQ(readFile(ACME_LEARNED_FILE), "<parkpositions><parkpos id=\"A1\">");
}

TEST_F(LearnedFileSafetyTest, AParkFileWithoutAUsableStandNeverEmptiesTheLearnedFile)
{
    // Every stand at 0/0: the park file reads, but yields no stand.
    writePark(parkpos("A1", 0.0, 0.0, 20.0) + parkpos("A2", 0.0, 0.0, 20.0));
    const std::string learned =
        apfXml({{"airport_name", "Schiphol"}}, "<parkpos id=\"A1\">" + lf_opt("PH-AAA", 3, "14,15") + "</parkpos>\n");
    writeFile(ACME_LEARNED_FILE, learned);

    visit();

    EXPECT_TRUE(park_.shown("no stands found"));
    EXPECT_FALSE(parkAirportOpen.load()) << "an airport without stands is not open";
    EXPECT_EQ(readFile(ACME_LEARNED_FILE), learned);
}

TEST_F(LearnedFileSafetyTest, LearnedUsesOfAStandTheParkFileLostComeBackWithTheStand)
{
    writePark(parkpos("A1", 52.30, 4.76, 20.0) + parkpos("A2", 52.31, 4.76, 20.0));
    writeFile(ACME_LEARNED_FILE, apfXml({{"airport_name", "Schiphol"}},
                              "<parkpos id=\"A1\">" + lf_opt("PH-AAA", 3, "14") + "</parkpos>\n" +
                                  "<parkpos id=\"A2\" radius_change=\"true\" radius=\"35.0\">" +
                                  lf_opt("PH-BBB", 4, "20,21") + lf_opt("PH-CCC", 5, "30") + "</parkpos>\n"));

    // An update of the park file drops A2 for a while.
    writePark(parkpos("A1", 52.30, 4.76, 20.0));
    visit();
    const std::string saved = readFile(ACME_LEARNED_FILE);
    EXPECT_THAT(saved, HasSubstr("PH-AAA"));
    EXPECT_THAT(saved, HasSubstr("PH-BBB")) << "what was learned at A2 stays in the file";
    EXPECT_THAT(saved, HasSubstr("PH-CCC"));

    // The next update has A2 again: its learned uses and its larger radius are back.
    writePark(parkpos("A1", 52.30, 4.76, 20.0) + parkpos("A2", 52.31, 4.76, 20.0));
    ASSERT_TRUE(lf_setParkAirport("EHAM"));
    ASSERT_EQ(lf_readParkedFile(), "");
    ASSERT_NE(stand("A2"), nullptr);
    ASSERT_EQ(stand("A2")->options.size(), 2u);
    EXPECT_EQ(stand("A2")->options[0].registration, "PH-BBB");
    EXPECT_EQ(stand("A2")->options[0].halfHours, (std::uint64_t{1} << 20) | (std::uint64_t{1} << 21));
    EXPECT_EQ(stand("A2")->options[1].registration, "PH-CCC");
    EXPECT_TRUE(stand("A2")->radiusChanged);
    EXPECT_NEAR(stand("A2")->radius, 35.0 * STAND_METRES_TO_NM, 1e-9);
}

TEST_F(LearnedFileSafetyTest, AHandPlacedParkFileOfPublisherStockLearnsWhereItReadsBackAndSparesTheStockFile)
{
    const fs::path stockLearned = "airports/learned/stock/EHAM.xml";
    const std::string stockFile =
        apfXml({{"airport_name", "Schiphol"}}, "<parkpos id=\"A1\">" + lf_opt("PH-STK", 1, "1") + "</parkpos>\n");
    writeFile(stockLearned, stockFile);
    writePark(threeStands(), {{"airport_name", "Schiphol"}, {"publisher", "stock"}, {"altitude", "-11"}});

    ASSERT_EQ(lf_readParkedFile(), "");
    // Learned on this visit: KLM B738 PH-NEW on Tuesday at half-hours 2 and 3.
    stand("A3")->options.push_back(StandOption{"KLM", "B738", "PH-NEW", "", "", 0b1100, 1, 2, 0, 1});
    lf_closeParkAirport();

    EXPECT_EQ(readFile(stockLearned), stockFile) << "the stock airport's own learned file is untouched";
    ASSERT_TRUE(lf_setParkAirport("EHAM"));
    ASSERT_EQ(lf_readParkedFile(), "");
    ASSERT_NE(stand("A3"), nullptr);
    ASSERT_EQ(stand("A3")->options.size(), 1u) << "what was learned is read back at the next visit";
    EXPECT_EQ(stand("A3")->options[0].registration, "PH-NEW");
}

TEST_F(LearnedFileSafetyTest, APercentageAtTheEndsOfIntIsClampedNotOverflowed)
{
    EXPECT_EQ(lf_snapParkingPercentage(INT_MAX), 100);
    EXPECT_EQ(lf_snapParkingPercentage(INT_MAX - 1), 100);
    EXPECT_EQ(lf_snapParkingPercentage(INT_MIN), 0);
    writePark(threeStands());
    writeFile(ACME_LEARNED_FILE, apfXml({{"airport_name", "Schiphol"}, {"parking_percentage", "2147483647"}}, ""));
    ASSERT_EQ(lf_readParkedFile(), "");
    EXPECT_EQ(parking_percentage.value(), 100);
}

}  // namespace
