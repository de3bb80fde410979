// A whole run with traffic: the flights of the service's scenario become AI aircraft in the
// simulator stand-in, each with its callsign as tail number and an installed livery, released
// from the simulator's AI, frozen and then moved by the program.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <set>
#include <string>

#include "tests/e2e/whole_run.hpp"

namespace corv_test {
namespace {

using nlohmann::json;

// The scenario's live flights.
const std::set<std::string> SCENARIO_CALLSIGNS{"KLM1776", "DLH996", "EZY8871", "KLM641",
                                               "TRA5621", "BEL325",  "UAL908"};

// Scenario seconds at which the run meets the scenario: KLM1776 is on final by then.
constexpr std::int64_t SCENARIO_START = 160;

bool isCreated(const json& line) { return isKind(line, "created"); }

// Static aircraft parked at the user's airport carry a '*' after their callsign.
bool isStatic(const json& line)
{
    const std::string callsign = line.value("atcId", "");
    return !callsign.empty() && callsign.back() == '*';
}

bool isLiveCreated(const json& line) { return isCreated(line) && !isStatic(line); }

bool isEventTo(const json& line, std::uint32_t objectId, const std::string& eventName)
{
    return isPacket(line, "TransmitClientEvent") && line.value("objectId", 0u) == objectId &&
           line.value("eventName", "") == eventName;
}

TEST(LiveTrafficRunTest, ScenarioFlightsAppearWithCallsignAndLiveryAndAreReleasedFrozenAndMoved)
{
    // The scenario began a while ago (its clock and its data times), so an approach into the box
    // around the user is under way from the first poll on. No scan at start: the sample liveries
    // are the installed ones.
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    WholeRun run(WholeRunSetup{{"--epoch", std::to_string(now - SCENARIO_START)},
                               "  <parameter name=\"SCAN_LIVERIES\" value=\"false\"/>\n"
                               "  <parameter name=\"SCAN_AIRPORTS\" value=\"false\"/>\n"});
    ASSERT_TRUE(run.ready());
    ASSERT_TRUE(run.setServiceClock(static_cast<double>(SCENARIO_START)));
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(run.runIsUp()) << run.log() << program.errorOutput();
    ASSERT_TRUE(run.journalShows(&isLiveCreated)) << run.log() << program.errorOutput();

    // The liveries installed for this run (a data update may have asked for a new scan at start).
    const std::string samples = readFile(run.programFolder() / "output" / "LiveriesScanned.xml");
    std::vector<json> created;
    for (const json& line : run.journal()) {
        if (!isCreated(line))
            continue;
        // Live and static aircraft alike wear installed liveries; the live ones are the scenario's.
        const std::string title = line.value("title", "");
        EXPECT_NE(samples.find("title=\"" + title + "\""), std::string::npos) << line.dump();
        if (isStatic(line))
            continue;
        EXPECT_TRUE(SCENARIO_CALLSIGNS.contains(line.value("atcId", ""))) << line.dump();
        created.push_back(line);
    }
    ASSERT_FALSE(created.empty());
    EXPECT_EQ(run.journalCount([](const json& l) { return isKind(l, "refused"); }), 0);

    // The first aircraft is released and frozen, and then set in place by the program.
    const auto objectId = created.front().value("objectId", 0u);
    EXPECT_TRUE(run.journalShows([objectId](const json& l) {
        return isKind(l, "released") && l.value("objectId", 0u) == objectId;
    }));
    for (const char* freeze : {"FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET"})
        EXPECT_TRUE(run.journalShows([objectId, freeze](const json& l) { return isEventTo(l, objectId, freeze); }))
            << freeze;
    EXPECT_TRUE(run.journalShows(
        [objectId](const json& l) {
            return isPacket(l, "SetDataOnSimObject") && l.value("objectId", 0u) == objectId &&
                   l.value("defineId", 0u) == 402u;
        },
        10))
        << "positions every tick once active";
    EXPECT_TRUE(run.journalShows([objectId](const json& l) { return isEventTo(l, objectId, "ALL_LIGHTS_TOGGLE"); }, 2));
    EXPECT_TRUE(run.journalShows([objectId](const json& l) {
        return isKind(l, "flightPlan") && l.value("objectId", 0u) == objectId;
    })) << "the flight has both ends of its route";
    EXPECT_EQ(run.journalCount([](const json& l) { return isKind(l, "exception"); }), 0);

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
}

}  // namespace
}  // namespace corv_test
