// The park-airport list (my_park_airports.txt and the my_thirdparty folder) and the per-second
// choice of the park airport as the user flies, lands and waits on the ground.
#include "parking/park_airport.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/parameters.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_state.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/parking/park_test_support.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using testing::Contains;
using testing::ElementsAre;

namespace {

std::vector<std::string> listed()
{
    std::vector<std::string> codes;
    for (const ParkAirport& airport : parkAirports)
        codes.push_back(airport.icao + (airport.stand.empty() ? "" : "," + airport.stand));
    return codes;
}

class ParkAirportTest : public ParamTest {
protected:
    ParkAirportTest() { vald::gf_resetDisplayForTest(); }
    ~ParkAirportTest() override
    {
        gf_setUserSnapshot(UserAircraftSnapshot{});
        userOnGround.store(false);
        userOnGroundKnown.store(false);
    }

    // The user's aircraft at lat/lon, airborne at 1000 ft above the ground unless onGround.
    static void userAt(double lat, double lon, bool onGround = false, double heightFt = 1000.0)
    {
        UserAircraftSnapshot user;
        user.latitude = lat;
        user.longitude = lon;
        user.altAboveGround = onGround ? 0.0 : heightFt;
        gf_setUserSnapshot(user);
        gf_setUserOnGround(onGround);
    }

    ParkState park_{{AirportRecord{"AAAA", "", 50.0 + 8.0 / 60.0, 5.0, 0.0, 0},
                     AirportRecord{"BBBB", "", 50.0 - 8.0 / 60.0, 5.0, 0.0, 0},
                     AirportRecord{"EGLL", "LHR", 51.47, -0.45, 83.0, 0}, AirportRecord{"EHAM", "AMS", 52.0, 4.0, -11.0, 0},
                     AirportRecord{"LFPG", "CDG", 49.01, 2.55, 392.0, 0}}};
};

TEST_F(ParkAirportTest, TheListFileIsReadWithItsFaultsReportedAndTheThirdPartyAirportsAdded)
{
    writeFile(MY_PARK_AIRPORTS_PATH, "\xEF\xBB\xBF" "EGLL,A1\r\nEGLL\r\nEGLL,A1,B2\r\n\r\nZZZZ\r\nEHAM\r\n");
    writeFile("airports/my_thirdparty/LFPG.xml", "x");
    writeFile("airports/my_thirdparty/LFPG.txt", "x");
    writeFile("airports/my_thirdparty/EHAM.xml", "x");
    writeFile("airports/my_thirdparty/QQQQ.xml", "x");
    fs::create_directories("airports/my_thirdparty/BBBB.xml");  // a folder, not a park file

    EXPECT_FALSE(lf_readMyParkAirports()) << "an unknown airport is reported";
    EXPECT_THAT(listed(), ElementsAre("EGLL,A1", "EHAM", "LFPG"));
    EXPECT_TRUE(park_.shown("airport ZZZZ is unknown"));
    const auto lines = logLines();
    EXPECT_THAT(lines, Contains("==> my_park_airports.txt:EGLL double, skipped"));
    EXPECT_THAT(lines, Contains("==> my_park_airports.txt:EGLL,A1,B2 wrong syntax, skipped"));
    EXPECT_THAT(lines, Contains("2 park airports read from 'my_park_airports.txt'"));
    EXPECT_THAT(lines, Contains("1 park airport added from my_thirdparty folder(-s)"));

    fs::remove(MY_PARK_AIRPORTS_PATH);
    EXPECT_TRUE(lf_readMyParkAirports()) << "no file is no error";
    EXPECT_EQ(parkAirports.size(), 2u);
}

TEST_F(ParkAirportTest, WritingUpdatesTheStandOfTheFirstAirportAndKeepsTheFileSortedWithoutRepeats)
{
    parkAirports = {ParkAirport{"LFPG", "K14", 49.01, 2.55, 0.0}};
    EXPECT_TRUE(lf_writeMyParkAirports());
    EXPECT_EQ(readFile(MY_PARK_AIRPORTS_PATH), "LFPG,K14\n");

    writeFile(MY_PARK_AIRPORTS_PATH, "LFPG,K12\nEHAM\nEGLL\nEHAM\n");
    EXPECT_TRUE(lf_writeMyParkAirports());
    EXPECT_EQ(readFile(MY_PARK_AIRPORTS_PATH), "EGLL\nEHAM\nLFPG,K14\n");

    // A new destination goes first into the list and into the file; a listed one only moves first.
    lf_addMyParkAirport("BBBB", LatLon{49.9, 5.0});
    lf_addMyParkAirport("LFPG", LatLon{0.0, 0.0});
    EXPECT_THAT(listed(), ElementsAre("LFPG,K14", "BBBB"));
    EXPECT_EQ(readFile(MY_PARK_AIRPORTS_PATH), "BBBB\nEGLL\nEHAM\nLFPG,K14\n");
    const auto lines = logLines();
    EXPECT_THAT(lines, Contains("my_park_airports.txt created with LFPG,K14"));
    EXPECT_THAT(lines, Contains("my_park_airports.txt:LFPG,K14 updated stand"));
    EXPECT_THAT(lines, Contains("my_park_airports.txt:BBBB new entry"));
}

TEST_F(ParkAirportTest, AnAirportInSightIsChosenAtTheRangeAndClosedWhenItHasNoParkFile)
{
    parkAirports = {ParkAirport{"EHAM", "", 52.0, 4.0, 0.0}};
    userAt(52.0 + 20.1 / 60.0, 4.0);
    lf_checkParkAirport(false);
    EXPECT_EQ(parkIcao, "") << "20.1 nm is out of sight";

    userAt(52.0 + 19.99 / 60.0, 4.0);
    lf_checkParkAirport(false);
    EXPECT_EQ(parkIcao, "EHAM");
    EXPECT_TRUE(park_.shown("EHAM in sight at 20.0 nm"));
    EXPECT_TRUE(parkingBusy.load());
    EXPECT_EQ(gf_parkAirport().icao, "EHAM") << "the readers see it";
    EXPECT_TRUE(vald::gf_displaySnapshot().parkAirportSet);

    lf_checkParkAirport(false);  // the rebuild finds no park file: the airport is closed again
    EXPECT_TRUE(park_.shown("lf_readParkedFile EHAM not found"));
    EXPECT_EQ(parkIcao, "");
    EXPECT_FALSE(gf_parkControlsLocked());
    EXPECT_FALSE(vald::gf_displaySnapshot().parkAirportSet);
}

TEST_F(ParkAirportTest, TheFirstListedAirportReplacesTheParkAirportAtEqualDistanceAndTheDestinationKeepsTheOrder)
{
    parkAirports = {ParkAirport{"AAAA", "", 50.0 + 8.0 / 60.0, 5.0, 0.0},
                    ParkAirport{"BBBB", "", 50.0 - 8.0 / 60.0, 5.0, 0.0}};
    ASSERT_TRUE(lf_setParkAirport("BBBB"));
    userAt(50.0, 5.0);
    lf_checkParkAirport(false);
    EXPECT_EQ(parkIcao, "") << "AAAA is listed first and as near: BBBB is dropped";
    EXPECT_THAT(logLines(), Contains(testing::HasSubstr("AAAA is in sight (8.0 nm), parked aircraft at BBBB")));
    lf_checkParkAirport(false);
    EXPECT_EQ(parkIcao, "AAAA");

    // With a destination the list keeps its order however the user moves (high above, where no
    // airport is in sight).
    gf_resetParkAirportForTest();
    parkAirports = {ParkAirport{"AAAA", "", 50.0 + 8.0 / 60.0, 5.0, 0.0},
                    ParkAirport{"BBBB", "", 50.0 - 8.0 / 60.0, 5.0, 0.0}};
    DESTINATION.setValue("AAAA");
    userAt(50.0 - 8.0 / 60.0, 5.0, false, 30000.0);
    lf_checkParkAirport(false);
    EXPECT_THAT(listed(), ElementsAre("AAAA", "BBBB"));
    EXPECT_EQ(parkIcao, "");
    DESTINATION.setValue("");
    userAt(50.0 - 7.0 / 60.0, 5.0, false, 30000.0);
    lf_checkParkAirport(false);
    EXPECT_EQ(listed().front(), "BBBB") << "without a destination the nearest comes first";
}

TEST_F(ParkAirportTest, OnTheGroundTheClosestAirportWithAParkFileIsOpenedAndItsLearnedFileSavedWhenLeft)
{
    userAt(52.0, 4.0, true);
    lf_checkParkAirport(true);
    EXPECT_TRUE(park_.shown("User aircraft on the ground at EHAM, no airport file found"));
    EXPECT_EQ(parkIcao, "");

    writeFile("airports/my_thirdparty/EHAM.xml",
              apfXml({{"airport_name", "Schiphol"}, {"publisher", "Acme"}, {"altitude", "-11"}},
                     parkpos("D2", 52.001, 4.0, 30.0) + parkpos("D4", 52.002, 4.0, 30.0)));
    parkAirports = {ParkAirport{"EHAM", "D4", 52.0, 4.0, 0.0}};
    lf_checkParkAirport(true);
    EXPECT_EQ(parkIcao, "EHAM");
    EXPECT_TRUE(parkAirportOpen.load());
    EXPECT_EQ(gf_reservedStandName(), "D4");
    const vald::StatusDisplayValues shown = vald::gf_displaySnapshot();
    EXPECT_EQ(shown.standCount, 2u);
    EXPECT_EQ(shown.parkPublisher, "Acme");
    EXPECT_EQ(shown.reservedStand, "D4");

    // Taking off and flying out of sight closes it and keeps what was learned.
    learnedUpdateCount = 1;
    userAt(53.0, 4.0);
    lf_checkParkAirport(false);
    EXPECT_EQ(parkIcao, "");
    EXPECT_FALSE(parkAirportOpen.load());
    EXPECT_TRUE(fs::exists("airports/learned/thirdparty/Acme/EHAM.xml"));
    EXPECT_FALSE(vald::gf_displaySnapshot().parkFileRead);
}

TEST_F(ParkAirportTest, AChangedReservedStandIsAppliedFromTheFile)
{
    writeFile("airports/my_thirdparty/EHAM.xml",
              apfXml({{"publisher", "Acme"}, {"altitude", "0"}}, parkpos("D2", 52.001, 4.0, 30.0) +
                                                                     parkpos("D4", 52.002, 4.0, 30.0)));
    writeFile(MY_PARK_AIRPORTS_PATH, "EHAM,D2\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(52.0, 4.0, true);
    lf_checkParkAirport(true);
    ASSERT_EQ(gf_reservedStandName(), "D2");

    writeFile(MY_PARK_AIRPORTS_PATH, "EHAM,D4\n");
    std::string message;
    EXPECT_TRUE(lf_checkReservedStand(true, message));
    EXPECT_EQ(message, "reserved stand changed from 'D2' to 'D4'");
    EXPECT_EQ(gf_reservedStandName(), "D4");
    EXPECT_TRUE(parkStands[1].reserved);
    EXPECT_FALSE(parkStands[0].reserved);

    message.clear();
    EXPECT_TRUE(lf_checkReservedStand(true, message));
    EXPECT_EQ(message, "park airports and stands are okay");
    writeFile(MY_PARK_AIRPORTS_PATH, "XXXX\n");
    message.clear();
    EXPECT_FALSE(lf_checkReservedStand(true, message));
    EXPECT_EQ(message, "");
}

}  // namespace
