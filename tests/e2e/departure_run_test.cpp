// A whole run that meets the scenario shortly before its first departure pushes back: the flight
// is created parked on its stand and then moves backwards off it as the same simulator object.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <string>

#include "tests/e2e/whole_run.hpp"

namespace corv_test {
namespace {

using nlohmann::json;

// KLM641 stands on E8 (facing south) until scenario second 30, then is pushed back 65 m north.
constexpr std::int64_t SCENARIO_START = 20;
constexpr double STAND_LAT = 52.3093;
constexpr double STAND_LON = 4.750472;
constexpr double METRES_PER_DEGREE_LAT = 111132.95;
const std::string CALLSIGN = "KLM641";

bool isDepartureCreated(const json& line) { return isKind(line, "created") && line.value("atcId", "") == CALLSIGN; }

// The program set the object's position at least metres north of the stand.
bool isPositionNorthOfStand(const json& line, std::uint32_t objectId, double metres)
{
    if (!isPacket(line, "SetDataOnSimObject") || line.value("objectId", 0u) != objectId ||
        line.value("defineId", 0u) != 402u || !line.contains("values"))
        return false;
    const json& values = line["values"];
    return (values.value("Plane Latitude", 0.0) - STAND_LAT) * METRES_PER_DEGREE_LAT >= metres;
}

TEST(DepartureRunTest, ADepartureCreatedOnItsStandPushesBackOffItAsOneAircraft)
{
    WholeRun run(meetingTheScenarioAt(SCENARIO_START, NO_SCANS));
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(run.runIsUp()) << run.log() << program.errorOutput();
    ASSERT_TRUE(run.journalShows(&isDepartureCreated)) << run.log() << program.errorOutput();

    json created;
    for (const json& line : run.journal())
        if (isDepartureCreated(line))
            created = line;
    const auto objectId = created.value("objectId", 0u);
    EXPECT_NEAR(created.value("lat", 0.0), STAND_LAT, 2e-5) << "created on its stand: " << created.dump();
    EXPECT_NEAR(created.value("lon", 0.0), STAND_LON, 3e-5) << created.dump();

    EXPECT_TRUE(run.journalShows([objectId](const json& l) { return isPositionNorthOfStand(l, objectId, 30.0); }))
        << "pushed back 30 m off its stand";
    EXPECT_EQ(run.journalCount(&isDepartureCreated), 1) << "created once";
    EXPECT_EQ(run.journalCount([objectId](const json& l) {
                  return isKind(l, "removed") && l.value("objectId", 0u) == objectId;
              }),
              0)
        << "never removed on the way";

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
}

}  // namespace
}  // namespace corv_test
