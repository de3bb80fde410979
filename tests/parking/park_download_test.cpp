// A download site that is down while the user waits at an airport whose park file lives there:
// the fetch runs beside the worker's step, a failure is remembered per airport for a while (the
// park airport and the closest-stand question each its own), and the site is asked again afterwards.
#include <gtest/gtest.h>

#include <chrono>

#include "foundation/clock.hpp"
#include "foundation/status_display.hpp"
#include "parking/park_download.hpp"
#include "parking/static_planning.hpp"
#include "simlink/sim_state.hpp"
#include "tests/parking/park_test_support.hpp"
#include "tests/refdata/download_site_standin.hpp"
#include "tests/support/child_process.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using namespace std::chrono_literals;

namespace {

constexpr auto WAIT_LIMIT = 30s;
const std::map<std::string, std::string> PARAMS{{"airport_name", "Schiphol"}, {"publisher", "stock"}, {"altitude", "-11"}};

class ParkDownloadTest : public DownloadSiteTest {
protected:
    ParkDownloadTest()
    {
        vald::gf_resetDisplayForTest();
        gf_setClockForTest(Clock{[this] { return now_; }, {}, {}});
        gf_setParkedTrafficSource([](std::vector<ParkedTrafficRecord>& records) {
            records.clear();
            return true;
        });
    }
    ~ParkDownloadTest() override
    {
        gf_resetParkAirportForTest();
        gf_setUserSnapshot(UserAircraftSnapshot{});
        gf_setUserOnGround(false);
        gf_resetClockForTest();
    }

    void publishPark(const std::string& icao, const std::string& stands) const
    {
        writeFile(site() / "P3D" / "archive" / "stock" / (icao + ".xml"), apfXml(PARAMS, stands));
    }
    static void userOnGroundAt(double lat, double lon)
    {
        UserAircraftSnapshot user;
        user.latitude = lat;
        user.longitude = lon;
        gf_setUserSnapshot(user);
        gf_setUserOnGround(true);
    }
    // The worker's park-airport step, once a second of the program clock.
    void step()
    {
        now_ += 1s;
        lf_checkParkAirport(false);
    }

    SteadyTime now_ = std::chrono::steady_clock::now();
    ParkState park_{{AirportRecord{"EHAA", "", 52.05, 4.0, 0.0, 1}, AirportRecord{"EHAM", "AMS", 52.0, 4.0, -11.0, 1}}};
};

TEST_F(ParkDownloadTest, AnUnreachableSiteIsAskedOncePerAirportForAWhileAndNeverHoldsTheStep)
{
    publishPark("EHAM", parkpos("D2", 52.001, 4.0, 30.0) + parkpos("D4", 52.002, 4.0, 30.0));
    addFault({{"endpoint", "/downloads/P3D/*"}, {"status", 503}, {"stallSeconds", 2}, {"times", 1}});
    const std::string failed = "failed to download: '" + url("P3D/archive/stock/EHAM.xml") + "'";

    userOnGroundAt(52.0, 4.0);
    lf_checkParkAirport(true);
    // The step came back while the site was still silent: it did not wait for the answer.
    EXPECT_EQ(parkIcao, "EHAM");
    EXPECT_FALSE(park_.shown(failed));
    EXPECT_FALSE(parkAirportOpen.load());

    ASSERT_TRUE(waitUntil([&] { return step(), park_.shown(failed); }, WAIT_LIMIT));
    EXPECT_EQ(parkIcao, "");
    // Minutes of waiting at the airport: no second download while the failure is remembered,
    // and the user is told why no statics come.
    for (int second = 0; second < 200; ++second)
        step();
    EXPECT_EQ(downloads().size(), 1u);
    EXPECT_EQ(parkIcao, "");
    const std::string told = "User aircraft on the ground at EHAM, its airport file could not be downloaded, next try "
                             "within 5 minutes";
    EXPECT_TRUE(park_.shown(told));

    // Later the site answers again: the airport opens with the downloaded stands.
    now_ += FAILED_PARK_DOWNLOAD_MEMORY;
    ASSERT_TRUE(waitUntil([&] { return step(), parkAirportOpen.load(); }, WAIT_LIMIT));
    EXPECT_EQ(downloads().size(), 2u);
    EXPECT_EQ(parkStands.size(), 2u);
}

TEST_F(ParkDownloadTest, TheClosestStandQuestionForgetsAFailureAfterAWhileAndEverythingAfterAScan)
{
    const LatLon user{52.02, 4.0};
    std::string stand;
    // Asked once a second, as the park-airport step does, until no file is on its way.
    const auto settled = [&] {
        double nm = 0.0;
        EXPECT_TRUE(waitUntil([&] {
            nm = gf_readDestApfForClosestStand("EHAA", user, stand);
            return !gf_closestStandsPending();
        }, WAIT_LIMIT));
        return nm;
    };
    addFault({{"endpoint", "/downloads/P3D/*"}, {"status", 503}, {"stallSeconds", 1}, {"times", 1}});
    EXPECT_EQ(gf_readDestApfForClosestStand("EHAA", user, stand), 100.0);
    EXPECT_TRUE(gf_closestStandsPending()) << "the question does not wait for the site";
    EXPECT_EQ(settled(), 100.0);
    EXPECT_FALSE(gf_parkSourceFailedRecently("EHAA")) << "the park airport's own fetch is not held back";
    publishPark("EHAA", parkpos("A1", 52.02, 4.0, 20.0));
    now_ += FAILED_PARK_DOWNLOAD_MEMORY - 1s;
    EXPECT_EQ(settled(), 100.0) << "the failure is still remembered";
    EXPECT_EQ(downloads().size(), 1u);
    now_ += 1s;
    EXPECT_LT(settled(), 0.01) << "asked again after a while";
    EXPECT_EQ(stand, "A1");
    EXPECT_EQ(downloads().size(), 2u);

    // Stands once had are kept until a scan may have changed the airports' files.
    publishPark("EHAA", parkpos("B7", 52.02, 4.0, 20.0));
    now_ += 1h;
    settled();
    EXPECT_EQ(stand, "A1");
    gf_forgetClosestStands();
    settled();
    EXPECT_EQ(stand, "B7");
}

}  // namespace
