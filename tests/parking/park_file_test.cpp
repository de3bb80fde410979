// Finding, downloading and reading park files: the order of the user's files and redirects, the
// download site, refusals, the parking defaults from the file's quality, overlapping stands, and
// the closest-stand question that fetches each airport's file once.
#include "parking/park_file.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "foundation/user_error.hpp"
#include "foundation/status_display.hpp"
#include "tests/parking/park_test_support.hpp"
#include "tests/refdata/download_site_standin.hpp"
#include "tests/support/child_process.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using testing::Contains;
using testing::HasSubstr;

namespace {

const std::map<std::string, std::string> EHAM_PARAMS{{"airport_name", "Schiphol"},
                                                     {"publisher", "stock"},
                                                     {"altitude", "-11"},
                                                     {"RT_traffic_week", "3"}};

class ParkFileTest : public DownloadSiteTest {
protected:
    ParkFileTest() { vald::gf_resetDisplayForTest(); }

    // Two stands 0.015 nm apart with radius 0.01 nm (they overlap), one far away.
    static std::string threeStands()
    {
        const double r = 0.01 * 1852.0;
        return parkpos("A1", 52.0, 4.0, r) + parkpos("A2", 52.0 + 0.015 / 60.0, 4.0, r) +
               parkpos("B9", 52.01, 4.0, r);
    }

    void publishPark(const std::string& name, std::map<std::string, std::string> params, const std::string& stands)
    {
        writeFile(site() / "P3D" / name, apfXml(params, stands));
    }

    ParkState park_{{AirportRecord{"EHAM", "AMS", 52.0, 4.0, -11.0, 1}, AirportRecord{"EHRD", "", 51.95, 4.43, 0.0, 2},
                     AirportRecord{"EHLE", "", 52.46, 5.52, 0.0, 0}}};
};

TEST_F(ParkFileTest, TheUsersFilesAndRedirectsComeBeforeTheArchive)
{
    EXPECT_EQ(gf_locateApf("EHAM"), "archive/stock/EHAM.xml");
    EXPECT_EQ(gf_locateApf("EHLE"), "") << "no local file and no archived file";
    EXPECT_FALSE(gf_hasParkSource("EHLE"));
    EXPECT_TRUE(gf_hasParkSource("EHAM"));

    writeFile("airports/my_ORBX/EHAM.xml", "x");
    EXPECT_EQ(gf_locateApf("EHAM"), "airports/my_ORBX/EHAM.xml");
    writeFile("airports/my_ORBX/EHAM.txt", "archive/simaddon/EHAM_v2.xml\n");
    EXPECT_EQ(gf_locateApf("EHAM"), "archive/simaddon/EHAM_v2.xml");
    writeFile("airports/my_thirdparty/EHAM.xml", "x");
    EXPECT_EQ(gf_locateApf("EHAM"), "airports/my_thirdparty/EHAM.xml");
    writeFile("airports/my_thirdparty/EHAM.txt", "archive/thirdparty/Some%20Publisher/EHAM.xml   and more\nline 2\n");
    EXPECT_EQ(gf_locateApf("EHAM"), "archive/thirdparty/Some%20Publisher/EHAM.xml");
    writeFile("airports/my_thirdparty/EHAM.txt", "archive/thirdparty/EHAM\n");
    EXPECT_EQ(gf_locateApf("EHAM"), "airports/my_thirdparty/EHAM.xml") << "a redirect without .xml is passed over";

    writeFile("airports/my_ORBX/EHLE.txt", "");
    EXPECT_TRUE(gf_hasParkSource("EHLE")) << "any user file is a park source";
    EXPECT_EQ(gf_locateApf("EHLE"), "") << "an empty redirect names nothing";
}

TEST_F(ParkFileTest, ADownloadedFileIsReadNumberedAndShownWithItsQuality)
{
    publishPark("archive/stock/EHAM.xml", [] {
        auto p = EHAM_PARAMS;
        p["Qf_real"] = "46";
        p["Qf_soft"] = "10";
        return p;
    }(), threeStands());
    PARK_SOFT.setValue(true);
    WEEK.setValue(true);
    ASSERT_TRUE(lf_setParkAirport("EHAM"));

    EXPECT_EQ(gf_readApf(gf_locateApf("EHAM"), parkApfInfo, parkQuality), "");
    EXPECT_TRUE(fs::exists(PARK_AIRPORT_FILE)) << "a downloaded park file stays where it was stored";
    ASSERT_EQ(parkStands.size(), 3u);
    EXPECT_EQ(parkStands[2].number, 3u);
    EXPECT_EQ(parkStands[0].adjacent, std::vector<std::uint32_t>{2});
    EXPECT_EQ(parkStands[1].adjacent, std::vector<std::uint32_t>{1});
    EXPECT_TRUE(parkStands[2].adjacent.empty());
    EXPECT_EQ(parkApfInfo.airportName, "Schiphol");
    EXPECT_EQ(parkApfInfo.altitude, -11);
    EXPECT_EQ(rtTrafficWeek, 3);
    EXPECT_EQ(parkQuality, std::make_pair(46, 10));
    EXPECT_FALSE(PARK_SOFT.value()) << "good archived data needs no soft options";
    EXPECT_FALSE(WEEK.value());
    EXPECT_EQ(parking_percentage.value(), 100) << "the airports table's stands value 1";
    EXPECT_TRUE(parkAirportOpen.load());

    const vald::StatusDisplayValues shown = vald::gf_displaySnapshot();
    EXPECT_TRUE(shown.parkFileRead);
    EXPECT_EQ(shown.standCount, 3u);
    EXPECT_EQ(shown.parkPublisher, "stock");
    EXPECT_EQ(shown.quality, "46");
    EXPECT_EQ(shown.airportLabel, "EHAM (AMS)");
    EXPECT_THAT(logLines(), Contains("Airport file read from 'archive/stock/EHAM.xml' for Schiphol"));
}

TEST_F(ParkFileTest, PoorArchivedDataSwitchesSoftAndWeekOnAndTheQualityTextFollows)
{
    publishPark("archive/stock/EHRD.xml", [] {
        auto p = EHAM_PARAMS;
        p["Qf_real"] = "2";
        p["Qf_soft"] = "5";
        return p;
    }(), threeStands());
    gf_setMaxFitHalfHours(3, true);
    ASSERT_TRUE(lf_setParkAirport("EHRD"));
    EXPECT_EQ(gf_readApf("archive/stock/EHRD.xml", parkApfInfo, parkQuality), "");
    EXPECT_TRUE(PARK_SOFT.value());
    EXPECT_TRUE(WEEK.value());
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 24.0F);
    EXPECT_EQ(parking_percentage.value(), 50);

    EXPECT_EQ(lf_formatCountPair({-1, -1}), "  ");
    EXPECT_EQ(lf_formatCountPair({30, 5}), "30/ 5");
    EXPECT_EQ(lf_formatCountPair({60, 10}), "60");
}

TEST_F(ParkFileTest, AFailedDownloadLeavesNoFileAndSaysWhichAddress)
{
    writeFile(PARK_AIRPORT_FILE, "the file of the airport before");
    ASSERT_TRUE(lf_setParkAirport("EHAM"));
    const std::string error = gf_readApf("archive/stock/EHAM.xml", parkApfInfo, parkQuality);  // 404
    EXPECT_EQ(error, "failed to download: '" + url("P3D/archive/stock/EHAM.xml") + "'");
    EXPECT_FALSE(fs::exists(PARK_AIRPORT_FILE));
    EXPECT_FALSE(parkAirportOpen.load());
}

TEST_F(ParkFileTest, RefusedFilesSayWhy)
{
    EXPECT_EQ(gf_readApf("archive/stock/EHAM.xml", parkApfInfo, parkQuality), "gf_readApf: no park airport set");
    ASSERT_TRUE(lf_setParkAirport("EHAM"));
    EXPECT_EQ(gf_readApf("", parkApfInfo, parkQuality), "gf_readApf: xml is empty");

    const std::string local = "airports/my_thirdparty/EHAM.xml";
    writeFile(local, apfXml(EHAM_PARAMS, threeStands(), {"date"}));
    EXPECT_EQ(gf_readApf(local, parkApfInfo, parkQuality), local + ": refused to load (copyright)");

    writeFile(local, "<meta><info name=\"author\"");
    EXPECT_EQ(gf_readApf(local, parkApfInfo, parkQuality), local + ": could not load file: " + local);

    auto withoutAltitude = EHAM_PARAMS;
    withoutAltitude.erase("altitude");
    writeFile(local, apfXml(withoutAltitude, threeStands()));
    try {
        static_cast<void>(gf_readApf(local, parkApfInfo, parkQuality));
        ADD_FAILURE() << "a file without altitude must stop the read";
    } catch (const vald::UserErrorException& e) {
        EXPECT_THAT(e.what(), HasSubstr("65"));
        EXPECT_THAT(e.what(), HasSubstr("Parameter altitude not found"));
    }

    writeFile(local, apfXml(EHAM_PARAMS, "<parkpos id=\"X\" latitude=\"0\" longitude=\"0\" radius=\"20\"/>\n"));
    parkStands.clear();
    EXPECT_EQ(gf_readApf(local, parkApfInfo, parkQuality), "no stands found");
}

TEST_F(ParkFileTest, TheClosestStandQuestionFetchesEachAirportOnceAndPicksTheNeighboursNearerStand)
{
    // Two archived airports 3 nm apart; the user stands at a stand of the farther one.
    airportRecords = {AirportRecord{"EHAA", "", 52.05, 4.0, 0.0, 1}, AirportRecord{"EHBB", "", 52.0, 4.0, 0.0, 1}};
    gf_buildAirportIndex();
    publishPark("archive/stock/EHAA.xml", EHAM_PARAMS, parkpos("A1", 52.02, 4.0, 20.0));
    publishPark("archive/stock/EHBB.xml", EHAM_PARAMS, parkpos("B1", 52.001, 4.0, 20.0));
    gf_setClosestStandQuery([](const AirportRecord& airport, const LatLon& position, std::string& standId) {
        return gf_readDestApfForClosestStand(airport.code, position, standId);
    });
    const LatLon user{52.02, 4.0};  // nearer to EHBB's centre, but on EHAA's stand
    // The files come beside the caller: the question is asked once a second until they are here.
    ASSERT_TRUE(waitUntil([&] { return gf_closestAirport(user), !gf_closestStandsPending(); }, std::chrono::seconds(30)));
    for (int second = 0; second < 5; ++second) {
        const AirportRecord* closest = gf_closestAirport(user);
        ASSERT_NE(closest, nullptr);
        EXPECT_EQ(closest->code, "EHAA");
    }
    EXPECT_EQ(downloads().size(), 2u) << "each airport's file is fetched once, not every second";
    EXPECT_FALSE(fs::exists(CLOSEST_STAND_FILE));

    std::string stand;
    EXPECT_EQ(gf_readDestApfForClosestStand("EHLE", user, stand), 100.0) << "no park file";
    EXPECT_FALSE(gf_closestStandsPending());
    EXPECT_EQ(stand, "");
}

}  // namespace
