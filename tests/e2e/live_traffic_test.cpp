// A whole run with traffic: the flights of the service's scenario become AI aircraft in the
// simulator stand-in, each with its callsign as tail number and an installed livery, released
// from the simulator's AI, frozen and then moved by the program on the simulator's frames, at most
// a position a frame and never backwards. A livery the simulator refuses to create is not asked
// for again: the flight comes with another.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/whole_run.hpp"

namespace corv_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The scenario's live flights.
const std::set<std::string> SCENARIO_CALLSIGNS{"KLM1776", "DLH996", "EZY8871", "KLM641",
                                               "TRA5621", "BEL325",  "UAL908"};

// Scenario seconds at which the run meets the scenario: KLM1776 is on final by then.
constexpr std::int64_t SCENARIO_START = 160;

// A second livery of the Transavia Boeing 737-800, bound to the registration of the scenario's
// Transavia departure: the simulator cannot create it.
const std::string REFUSED_TITLE = "Demo Boeing 737-800 Transavia Sunset";
const std::string REFUSED_TAIL = "TRA5621";

// On final from the run's start on: its path goes one way, with neither stop nor pushback.
const std::string ARRIVAL = "KLM1776";

// The sample livery tree with the refused livery added to the Boeing 737-800.
fs::path writeLiveryTree(const fs::path& folder)
{
    fs::copy(sourceDir() / "standins/data/liveries", folder, fs::copy_options::recursive);
    const fs::path config = folder / "Demo Boeing 737-800" / "aircraft.cfg";
    writeFile(config, readFile(config) + "\n[fltsim.3]\ntitle=" + REFUSED_TITLE +
                          "\nsim=demo\nmodel=\ntexture=tra\natc_parking_codes=TRA\natc_id=PH-HSB\n"
                          "atc_parking_types=GATE\nui_manufacturer=Demo\n");
    return folder;
}

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

TEST(LiveTrafficRunTest, ScenarioFlightsAppearWithCallsignAndLiveryAreMovedOnTheSimulatorsFramesAndARefusedLiveryIsReplaced)
{
    // The scenario began a while ago (its clock and its data times), so an approach into the box
    // around the user is under way from the first poll on. The liveries are scanned at the start
    // (a data update asks for it): the sample tree with one the simulator refuses.
    TempDir liveries;
    WholeRun run(meetingTheScenarioAt(SCENARIO_START,
                                      "  <parameter name=\"lfolder0\" value=\"" +
                                          writeLiveryTree(liveries / "liveries").string() + "\"/>\n",
                                      {"--refuse", REFUSED_TITLE}));
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(run.runIsUp()) << run.log() << program.errorOutput();
    ASSERT_TRUE(run.journalShows(&isLiveCreated)) << run.log() << program.errorOutput();

    // The refused livery: the flight comes again with another installed livery, and the refused
    // one is never asked for again.
    ASSERT_TRUE(run.journalShows([](const json& l) {
        return isKind(l, "refused") && l.value("tailNumber", "") == REFUSED_TAIL;
    })) << run.log();
    ASSERT_TRUE(run.journalShows([](const json& l) { return isCreated(l) && l.value("atcId", "") == REFUSED_TAIL; }))
        << run.log();

    // The liveries installed for this run.
    const std::string installed = readFile(run.programFolder() / "output" / "LiveriesScanned.xml");
    ASSERT_NE(installed.find("title=\"" + REFUSED_TITLE + "\""), std::string::npos);
    std::vector<json> created;
    int refusals = 0;
    bool refusedBefore = false;
    for (const json& line : run.journal()) {
        if (isKind(line, "refused")) {
            EXPECT_EQ(line.value("title", ""), REFUSED_TITLE) << line.dump();
            EXPECT_EQ(line.value("tailNumber", ""), REFUSED_TAIL) << "only the flight bound to it";
            refusedBefore = true;
            ++refusals;
        }
        if (!isCreated(line))
            continue;
        // Live and static aircraft alike wear installed liveries; the live ones are the scenario's.
        const std::string title = line.value("title", "");
        EXPECT_NE(installed.find("title=\"" + title + "\""), std::string::npos) << line.dump();
        if (line.value("atcId", "") == REFUSED_TAIL) {
            EXPECT_TRUE(refusedBefore) << line.dump();
        }
        if (isStatic(line))
            continue;
        EXPECT_TRUE(SCENARIO_CALLSIGNS.contains(line.value("atcId", ""))) << line.dump();
        created.push_back(line);
    }
    ASSERT_FALSE(created.empty());
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(run.journalCount([](const json& l) { return isKind(l, "exception") && l.value("code", 0) != 22; }), 0);

    // The arrival on final is released and frozen, and then set in place by the program.
    const auto arrival = std::find_if(created.begin(), created.end(), [](const json& l) {
        return l.value("atcId", "") == ARRIVAL;
    });
    ASSERT_NE(arrival, created.end()) << run.log();
    const auto objectId = arrival->value("objectId", 0u);
    const auto createdFrame = arrival->value("frame", std::uint64_t{0});
    const auto isReleased = [objectId](const json& l) {
        return isKind(l, "released") && l.value("objectId", 0u) == objectId;
    };
    EXPECT_TRUE(run.journalShows(isReleased));
    for (const char* freeze : {"FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET"})
        EXPECT_TRUE(run.journalShows([objectId, freeze](const json& l) { return isEventTo(l, objectId, freeze); }))
            << freeze;
    EXPECT_TRUE(run.journalShows([objectId](const json& l) { return isEventTo(l, objectId, "ALL_LIGHTS_TOGGLE"); }, 2));
    EXPECT_TRUE(run.journalShows([objectId](const json& l) {
        return isKind(l, "flightPlan") && l.value("objectId", 0u) == objectId;
    })) << "the flight has both ends of its route";

    // Once it is active, its positions keep coming, on the simulator's frames and at most one a
    // frame, and each carries it on along its way. How many frames a loaded machine lets it
    // catch is no fault of the program (the whole-program benchmark reports that share).
    const auto isPosition = [objectId](const json& l) {
        return isPacket(l, "SetDataOnSimObject") && l.value("objectId", 0u) == objectId && l.value("defineId", 0u) == 402u;
    };
    ASSERT_TRUE(run.journalShows(isPosition)) << "positions once active";
    std::uint64_t first = 0;
    for (const json& line : run.journal())
        if (isPosition(line)) {
            first = line.value("frame", std::uint64_t{0});
            break;
        }
    // Five seconds of the simulator's frames (40 a second) on, positions still come.
    constexpr std::uint64_t SPAN_FRAMES = 5 * 40;
    ASSERT_TRUE(run.journalShows([&](const json& l) {
        return isPosition(l) && l.value("frame", std::uint64_t{0}) >= first + SPAN_FRAMES;
    })) << "positions stopped";
    std::vector<json> positions;
    for (const json& line : run.journal())
        if (isPosition(line))
            positions.push_back(line);
    // Each position answers a frame sent after the aircraft was created: the kth cannot have
    // arrived before k frames had gone out since.
    for (std::size_t k = 1; k <= positions.size(); ++k)
        ASSERT_GE(positions[k - 1].value("frame", std::uint64_t{0}) - createdFrame, k)
            << "more positions than frames by " << positions[k - 1].dump();
    // None goes backwards: no step turns back on the one before it (a stale position sent after
    // a newer one would).
    const auto stepOf = [](const json& from, const json& to) {
        const double lat = from["values"].value("Plane Latitude", 0.0);
        return std::pair{(to["values"].value("Plane Latitude", 0.0) - lat),
                         (to["values"].value("Plane Longitude", 0.0) - from["values"].value("Plane Longitude", 0.0)) *
                             std::cos(lat * 3.14159265358979323846 / 180.0)};
    };
    for (std::size_t i = 2; i < positions.size(); ++i) {
        const auto [north1, east1] = stepOf(positions[i - 2], positions[i - 1]);
        const auto [north2, east2] = stepOf(positions[i - 1], positions[i]);
        ASSERT_GE(north1 * north2 + east1 * east2, 0.0) << "went back: " << positions[i - 2].dump() << "\n"
                                                        << positions[i - 1].dump() << "\n" << positions[i].dump();
    }
    const auto [north, east] = stepOf(positions.front(), positions.back());
    EXPECT_GT(std::hypot(north, east) * 60 * 1852, 50.0) << "it flew on, metres";

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
}

}  // namespace
}  // namespace corv_test
