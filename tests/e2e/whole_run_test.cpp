// Whole runs of the program Corv_P3D, headless, against the simulator stand-in and the traffic
// service stand-in, each a process of its own: the run connects, declares its data, follows the
// user aircraft, logs in, starts both readers and keeps its main loop going; and each way a run
// ends, by the user or on the peers' account: the close box, the simulator quitting, the link
// dropping, a new flight loaded and the service refusing the session. Each comes while the run has
// aircraft parked at the user's airport, and none of them stays behind in the simulator; a run that
// restarts creates its aircraft anew.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/whole_run.hpp"

namespace corv_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

// After a restart: the first run's aircraft have all left the simulator, the new run (the second
// connection) parks its own anew, each callsign once, and no request of it names an object of the
// first run.
void expectFreshAircraft(const WholeRun& run)
{
    EXPECT_TRUE(run.objectsGone(1)) << describeObjects(aliveObjects(run.journal(), 1));
    ASSERT_TRUE(run.objectCreated(2)) << run.log();
    std::set<std::string> callsigns;
    for (const auto& [objectId, created] : aliveObjects(run.journal()))
        EXPECT_TRUE(callsigns.insert(created.value("atcId", "")).second) << "twice: " << created.dump();
    EXPECT_EQ(run.journalCount([](const json& l) { return isKind(l, "exception"); }), 0);
}

TEST(WholeRunTest, ARunConnectsFollowsTheUserLogsInReadsTrafficAndEndsCleanlyWhenClosed)
{
    WholeRun run;
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(run.runIsUp()) << run.log() << program.errorOutput();

    // The simulator saw the open, every declaration without a fault, and the user aircraft being
    // followed: its on-ground state every second, its title and model once.
    const auto opens = run.journalCount([](const json& l) { return isPacket(l, "Open"); });
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(run.journalCount([](const json& l) { return isPacket(l, "SubscribeToSystemEvent"); }), 6);
    EXPECT_EQ(run.journalCount([](const json& l) { return isPacket(l, "AddToDataDefinition"); }), 33);
    EXPECT_EQ(run.journalCount([](const json& l) { return isKind(l, "exception"); }), 0);
    EXPECT_EQ(run.journalCount([](const json& l) { return isRequest(l, 108, 4); }), 1);
    EXPECT_EQ(run.journalCount([](const json& l) { return isRequest(l, 106, 1); }), 1);
    EXPECT_EQ(run.journalCount([](const json& l) { return isRequest(l, 107, 1); }), 1);

    // Logged in with the key; the readers ask for weather and for live traffic with the session.
    const std::vector<json> logins = run.serviceRequests("auth");
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0]["fields"].value("license", ""), SERVICE_KEY);
    ASSERT_TRUE(run.serviceShows("weather"));
    ASSERT_TRUE(run.serviceShows("live", 2)) << "the traffic reader keeps asking";
    EXPECT_FALSE(run.serviceRequests("live")[0]["fields"].value("GUID", "").empty());

    // The main loop turns: the engine refreshes the user aircraft every second of ticks.
    const int positions = run.journalCount([](const json& l) { return isRequest(l, 109, 1); });
    EXPECT_TRUE(run.journalShows([](const json& l) { return isRequest(l, 109, 1); }, positions + 2));
    EXPECT_TRUE(program.running());

    // The close box, with the user's airport filled: the run ends, logs out and disconnects,
    // taking its aircraft along; the program ends with code 0.
    ASSERT_TRUE(run.objectCreated()) << run.log() << program.errorOutput();
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
    EXPECT_EQ(run.serviceRequests("deauth").size(), 1u);
    EXPECT_TRUE(run.journalShows([](const json& l) { return isKind(l, "disconnect"); }));
    EXPECT_TRUE(run.objectsGone()) << describeObjects(aliveObjects(run.journal()));
    const std::string log = run.log();
    for (const char* line : {"Lockheed Martin Prepar3D v5 (5.3.17.28160) connected",
                             "SimConnect: User aircraft title: Stand-in Boeing 737-800",
                             "Authenticated at RT server 'standin-rt-ams'", "Weather Reader connected",
                             "Traffic Reader connected", "Exiting: USER CLOSED SIM", "SimConnect closed ok",
                             "Deauthenticated RT server 'standin-rt-ams'"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("Restarting after"), std::string::npos) << log;
}

TEST(WholeRunTest, TheSimulatorQuittingEndsTheProgram)
{
    WholeRun run;
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(run.runIsUp()) << run.log();
    ASSERT_TRUE(run.objectCreated()) << run.log();

    ASSERT_TRUE(run.simulatorCommand("quit"));
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << run.log() << program.errorOutput();
    EXPECT_TRUE(aliveObjects(run.journal()).empty()) << describeObjects(aliveObjects(run.journal()));
    const std::string log = run.log();
    EXPECT_NE(log.find("Exiting: SIM WAS CLOSED"), std::string::npos) << log;
    EXPECT_NE(log.find("Flight Simulator no longer connected, Corv_P3D will stop ..."), std::string::npos) << log;
    EXPECT_EQ(log.find("Restarting after"), std::string::npos) << log;
    EXPECT_EQ(run.serviceRequests("deauth").size(), 1u);
}

TEST(WholeRunTest, ADroppedConnectionRestartsTheRunWhichConnectsAgain)
{
    WholeRun run;
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(run.runIsUp()) << run.log();
    ASSERT_TRUE(run.objectCreated(1)) << run.log();

    ASSERT_TRUE(run.simulatorCommand("drop"));
    ASSERT_TRUE(run.logShows("Exiting: SIMCONNECT ERROR")) << run.log();
    EXPECT_TRUE(run.logShows("Restarting after 9 seconds")) << run.log();
    // The new run opens a new connection, declares everything again and logs in again.
    EXPECT_TRUE(run.journalShows([](const json& l) { return isPacket(l, "Open"); }, 2)) << run.log();
    EXPECT_TRUE(run.journalShows([](const json& l) { return isPacket(l, "SetNotificationGroupPriority"); }, 2));
    EXPECT_TRUE(run.serviceShowsAfter("live", "auth", 2)) << run.log();
    expectFreshAircraft(run);
    EXPECT_TRUE(program.running());

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
    EXPECT_TRUE(run.objectsGone()) << describeObjects(aliveObjects(run.journal()));
    EXPECT_EQ(run.serviceRequests("auth").size(), 2u);
    EXPECT_EQ(WholeRun::occurrences(run.log(), "Exiting: "), 2) << run.log();
    EXPECT_EQ(WholeRun::occurrences(run.log(), "Traffic Reader connected"), 2) << run.log();
}

TEST(WholeRunTest, ANewFlightEndsTheProgramAfterItsMessage)
{
    WholeRun run;
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(run.runIsUp()) << run.log();
    ASSERT_TRUE(run.objectCreated()) << run.log();

    ASSERT_TRUE(run.simulatorCommand("loadflight other.fxml"));
    // The message stands on the status line (standard error without a display) for a while
    // before the program ends by itself; the aircraft have left with the run by then.
    EXPECT_TRUE(waitUntil(
        [&] {
            return program.errorOutput().find("New flight detected, Corv_P3D will close, please restart manually ...") !=
                   std::string::npos;
        },
        EVENT_LIMIT))
        << program.errorOutput();
    EXPECT_TRUE(run.objectsGone()) << describeObjects(aliveObjects(run.journal()));
    EXPECT_TRUE(program.running()) << "still showing its message";
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
    EXPECT_NE(run.log().find("Exiting: NEW FLIGHT"), std::string::npos) << run.log();
    EXPECT_EQ(run.log().find("Restarting after"), std::string::npos) << run.log();
    EXPECT_EQ(run.journalCount([](const json& l) { return isPacket(l, "Open"); }), 1);
}

TEST(WholeRunTest, TheServiceRefusingTheSessionRestartsTheRun)
{
    WholeRun run;
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(run.runIsUp()) << run.log();
    ASSERT_TRUE(run.objectCreated(1)) << run.log();

    // The service's refusal of a session it no longer knows: 401 in the reply and on the status line.
    ASSERT_TRUE(
        run.addServiceFault({{"endpoint", "live"}, {"status", 401}, {"httpStatus", 401}, {"times", 1}}));
    ASSERT_TRUE(run.logShows("Exiting: READER ERROR")) << run.log() << program.errorOutput();
    EXPECT_NE(run.log().find("re-authentication to RT API is needed, restart Corv_P3D"), std::string::npos);
    EXPECT_TRUE(run.logShows("Restarting after 15 seconds")) << run.log();
    // The new run connects to the simulator again, logs in again and reads traffic again.
    EXPECT_TRUE(run.serviceShowsAfter("live", "auth", 2)) << run.log();
    EXPECT_TRUE(run.journalShows([](const json& l) { return isPacket(l, "Open"); }, 2));
    expectFreshAircraft(run);
    EXPECT_TRUE(program.running());

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
    EXPECT_EQ(WholeRun::occurrences(run.log(), "Traffic Reader connected"), 2) << run.log();
    EXPECT_TRUE(run.objectsGone()) << describeObjects(aliveObjects(run.journal()));
}

}  // namespace
}  // namespace corv_test
