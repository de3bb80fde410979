// The flight-plan files handed to the simulator: their exact bytes, their folder's life.
#include "engine/flight_plans.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/engine/engine_test_support.hpp"
#include "tests/support/file_size_limit.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using corv_test::EngineTest;

class FlightPlansTest : public EngineTest {
protected:
    corv_test::TempDir config_;
    corv_test::ScopedEnv env_{"XDG_CONFIG_HOME", config_.path().string()};

    static std::string bytesOf(const std::filesystem::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    static AircraftInstance plane(AircraftCategory category, const std::string& origin, const std::string& destination)
    {
        AircraftInstance instance;
        instance.category = category;
        instance.identity.origin = origin;
        instance.identity.destination = destination;
        return instance;
    }
};

std::string expectedPlan(const std::string& type, const std::string& origin, const std::string& destination)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\"\n"
           "<FlightPlan.FlightPlan>\n"
           "<FPType>" + type + "</FPType>\n"
           "<DepartureID>" + origin + "</DepartureID>\n"
           "<DestinationID>" + destination + "</DestinationID>\n"
           "</FlightPlan.FlightPlan>\n"
           "</SimBase.Document>\n";
}

TEST_F(FlightPlansTest, PlansAreWrittenByteForByteAndGoWithTheirFolder)
{
    EXPECT_TRUE(gf_removeFlightPlanFolder()) << "a folder never made is no error";
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const std::filesystem::path heavy = gf_flightPlanPath(42);
    EXPECT_EQ(heavy.filename(), "42.pln");
    EXPECT_EQ(heavy.parent_path().filename(), "orig_dest");

    corv_test::writeFile(heavy, std::string(500, 'x'));  // an old plan of the same object id
    ASSERT_TRUE(gf_writeFlightPlan(heavy, plane(AircraftCategory::Heavy, "EHAM", "EGLL")));
    EXPECT_EQ(bytesOf(heavy), expectedPlan("IFR", "EHAM", "EGLL"));

    const std::filesystem::path light = gf_flightPlanPath(43);
    ASSERT_TRUE(gf_writeFlightPlan(light, plane(AircraftCategory::Light, "EHLE", "")));
    EXPECT_EQ(bytesOf(light), expectedPlan("VFR", "EHLE", ""));
    for (AircraftCategory category : {AircraftCategory::Buzjets, AircraftCategory::Large}) {
        ASSERT_TRUE(gf_writeFlightPlan(light, plane(category, "A", "B")));
        EXPECT_EQ(bytesOf(light), expectedPlan("IFR", "A", "B"));
    }
    for (AircraftCategory category : {AircraftCategory::HighPerf, AircraftCategory::Rotorcraft}) {
        ASSERT_TRUE(gf_writeFlightPlan(light, plane(category, "A", "B")));
        EXPECT_EQ(bytesOf(light), expectedPlan("VFR", "A", "B"));
    }

    // Codes from the service cannot break the document.
    ASSERT_TRUE(gf_writeFlightPlan(light, plane(AircraftCategory::Large, "<X>", "A&B")));
    EXPECT_EQ(bytesOf(light), expectedPlan("IFR", "&lt;X&gt;", "A&amp;B"));

    EXPECT_FALSE(gf_writeFlightPlan(heavy.parent_path() / "missing" / "1.pln", plane(AircraftCategory::Heavy, "A", "B")));

    // On a full disk the plan is refused and the plan there stays whole: the simulator never
    // reads half a plan.
    const int written = corv_test::runWithFileSizeLimit(16, [&] {
        return gf_writeFlightPlan(heavy, plane(AircraftCategory::Light, "EHLE", "EHRD")) ? 1 : 0;
    });
    EXPECT_EQ(written, 0);
    EXPECT_EQ(bytesOf(heavy), expectedPlan("IFR", "EHAM", "EGLL"));

    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(std::filesystem::exists(heavy.parent_path()));
    EXPECT_TRUE(std::filesystem::exists(heavy.parent_path().parent_path())) << "the data folder stays";
}

}  // namespace
