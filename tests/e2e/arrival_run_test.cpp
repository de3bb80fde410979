// A whole run met late in the scenario: the arrivals are already on the ground, taxiing in. Each
// drives onto a stand of the park airport and stops there; when the program closes, what it
// learned of those stands is saved in the park airport's learned file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/whole_run.hpp"

namespace corv_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// KLM1776 (PH-BXC) taxis in from scenario second 369 and stops at a stand at 663; DLH996 follows
// 90 seconds behind it.
constexpr std::int64_t SCENARIO_START = 600;
constexpr double PARKED_WITHIN_M = 2.0;
// Frames at 40 per second: a second of positions that do not move.
constexpr int STILL_POSITIONS = 40;

struct Stand {
    std::string id;
    double lat = 0.0;
    double lon = 0.0;
    double headingDeg = 0.0;
};

struct Position {
    double lat = 0.0;
    double lon = 0.0;
    double headingDeg = 0.0;
};

double metresApart(double lat1, double lon1, double lat2, double lon2)
{
    constexpr double DEG = 3.14159265358979323846 / 180.0;
    const double x = (lon2 - lon1) * DEG * std::cos((lat1 + lat2) / 2 * DEG);
    const double y = (lat2 - lat1) * DEG;
    return std::sqrt(x * x + y * y) * 6'371'000.0;
}

std::vector<Stand> scenarioStands()
{
    const json scenario = json::parse(readFile(sourceDir() / "standins/data/scenario-eham.json"));
    std::vector<Stand> stands;
    for (const json& stand : scenario["airport"]["stands"])
        stands.push_back({stand["id"].get<std::string>(), stand["lat"].get<double>(), stand["lon"].get<double>(),
                          stand["headingDeg"].get<double>()});
    return stands;
}

// The positions the program set for one object, in order.
std::vector<Position> positionsOf(const std::vector<json>& journal, std::uint32_t objectId)
{
    std::vector<Position> positions;
    for (const json& line : journal)
        if (isPacket(line, "SetDataOnSimObject") && line.value("objectId", 0u) == objectId &&
            line.value("defineId", 0u) == 402u && line.contains("values"))
            positions.push_back({line["values"].value("Plane Latitude", 0.0), line["values"].value("Plane Longitude", 0.0),
                                 line["values"].value("Plane Heading degrees true", 0.0) * 180.0 / 3.14159265358979323846});
    return positions;
}

// The stand the object stands still on (its last positions unchanged, within the bound of a stand).
std::optional<std::pair<Stand, double>> standStoodOn(const std::vector<Stand>& stands,
                                                    const std::vector<Position>& positions)
{
    if (positions.size() < STILL_POSITIONS)
        return std::nullopt;
    const auto [lat, lon, heading] = positions.back();
    for (std::size_t i = positions.size() - STILL_POSITIONS; i < positions.size(); ++i)
        if (metresApart(positions[i].lat, positions[i].lon, lat, lon) > 0.01)
            return std::nullopt;
    for (const Stand& stand : stands) {
        const double d = metresApart(stand.lat, stand.lon, lat, lon);
        if (d <= PARKED_WITHIN_M)
            return std::make_pair(stand, d);
    }
    return std::nullopt;
}

TEST(ArrivalRunTest, AnArrivalTaxisOntoAStandParksWithinTwoMetresAndItsStandIsLearnedAtClosing)
{
    WholeRun run(meetingTheScenarioAt(SCENARIO_START, NO_SCANS));
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(run.runIsUp()) << run.log() << program.errorOutput();

    const auto isArrival = [](const json& l) { return isKind(l, "created") && l.value("atcId", "") == "KLM1776"; };
    ASSERT_TRUE(run.journalShows(isArrival)) << run.log() << program.errorOutput();
    std::uint32_t objectId = 0;
    for (const json& line : run.journal())
        if (isArrival(line))
            objectId = line.value("objectId", 0u);

    // Created on the taxiway, it drives onto a stand and stays there. Its data may bring it to a
    // standstill on the stand's spot before the program parks it there: it has arrived once the
    // log says so.
    const std::vector<Stand> stands = scenarioStands();
    std::optional<std::pair<Stand, double>> parked;
    const bool stopped = waitUntil(
        [&] {
            parked = standStoodOn(stands, positionsOf(run.journal(), objectId));
            return parked.has_value() && run.log().find(": KLM1776  arrived at stand") != std::string::npos;
        },
        std::chrono::milliseconds(3 * EVENT_LIMIT));
    const std::vector<Position> positions = positionsOf(run.journal(), objectId);
    ASSERT_TRUE(stopped) << positions.size() << " positions\n" << program.errorOutput();
    const Position& first = positions.front();
    const Position& last = positions.back();
    EXPECT_GT(metresApart(first.lat, first.lon, last.lat, last.lon), 50.0) << "it taxied to the stand";
    // Nose in along the stand's heading, as a parked aircraft stands.
    const double headingOff = std::remainder(last.headingDeg - parked->first.headingDeg, 360.0);
    EXPECT_LT(std::abs(headingOff), 5.0) << "parked at " << last.headingDeg << " on " << parked->first.id << " ("
                                         << parked->first.headingDeg << ")";
    EXPECT_EQ(run.journalCount([objectId](const json& l) {
                  return isKind(l, "removed") && l.value("objectId", 0u) == objectId;
              }),
              0);

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
    const std::string standId = parked->first.id;
    const std::string log = run.log();
    std::string standColumn = standId;  // the log's stand column is eight wide
    standColumn.resize(std::max<std::size_t>(standColumn.size(), 8), ' ');
    EXPECT_NE(log.find(standColumn + ": KLM1776  arrived at stand"), std::string::npos) << log;

    // Closing saved the stand's new option: this registration, airline and callsign at that stand.
    const fs::path learned = run.programFolder() / "airports" / "learned" / "stock" / "EHAM.xml";
    ASSERT_TRUE(fs::exists(learned)) << log;
    const std::string saved = readFile(learned);
    const auto at = saved.find("<parkpos id=\"" + standId + "\">");
    ASSERT_NE(at, std::string::npos) << saved;
    const auto end = saved.find("</parkpos>", at);
    const std::string options = saved.substr(at, end - at);
    EXPECT_NE(options.find("reg=\"PH-BXC\""), std::string::npos) << options;
    EXPECT_NE(options.find("cs=\"KLM1776\""), std::string::npos) << options;
}

}  // namespace
}  // namespace corv_test
