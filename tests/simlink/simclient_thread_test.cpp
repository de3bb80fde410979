// The client thread against the simulator stand-in: what it declares after the open, the
// conversation of a run (user aircraft, creations, refusals), and how it ends: by its stop
// request with and without a simulator, by a user error, and by a simulator that quits or goes away.
#include <algorithm>
#include <atomic>
#include <map>
#include <thread>
#include <tuple>
#include <utility>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/run_state.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_flush.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/user_stand.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/simlink/simclient_test_support.hpp"

namespace corv_test {
namespace {

// The declarations in the order they must reach the simulator, one short text per packet:
// S subscribe, D data definition (define, datum, units, type), M map, G group (maskable), P priority.
const std::vector<std::string> DECLARATIONS{
    "S201 Sim", "S202 ObjectAdded", "S203 ObjectRemoved", "S205 PositionChanged", "S206 FlightLoaded", "S204 Frame",
    "D407 TITLE '' 11", "D408 ATC MODEL '' 6", "D409 SIM ON GROUND 'Bool' 2",
    "D402 Plane Latitude 'degree' 4", "D402 Plane Longitude 'degree' 4", "D402 Plane Pitch degrees 'radians' 4",
    "D402 Plane Bank degrees 'radians' 4", "D402 Plane Heading degrees true 'radians' 4",
    "D402 Plane Altitude 'feet' 4", "D402 Vertical Speed 'feet per second' 4", "D402 Airspeed True 'knots' 4",
    "D403 Plane Latitude 'degree' 4", "D403 Plane Longitude 'degree' 4", "D403 Plane Pitch degrees 'radians' 4",
    "D403 Plane Bank degrees 'radians' 4", "D403 Plane Heading degrees true 'radians' 4",
    "D403 Plane Altitude 'feet' 4", "D403 Plane Alt Above Ground 'feet' 4", "D403 Ground Velocity 'knots' 4",
    "D403 ZULU TIME 'Seconds' 2", "D403 ZULU DAY OF YEAR 'Number' 2", "D403 ZULU YEAR 'Number' 2",
    "D403 LIGHT STATES 'Mask' 2", "D405 Static CG to Ground 'feet' 4", "D405 Static Pitch 'radians' 4",
    "D406 Light On States 'Mask' 2", "D404 Plane Alt Above Ground 'feet' 4", "D404 Ground Altitude 'feet' 4",
    "D404 SIM ON GROUND 'Bool' 2", "D404 ATC ID '' 6", "D401 SPOILERS HANDLE POSITION 'percent' 4",
    "D401 GENERAL ENG THROTTLE LEVER POSITION:1 'percent' 4", "D401 GENERAL ENG THROTTLE LEVER POSITION:2 'percent' 4",
    "M220 GEAR_SET", "M221 ENGINE_AUTO_START", "M222 ENGINE_AUTO_SHUTDOWN", "M223 THROTTLE_SET", "M218 FLAPS_SET",
    "M219 SPOILERS_SET", "M208 NAV_LIGHTS_SET", "M207 BEACON_LIGHTS_SET", "M211 LANDING_LIGHTS_SET",
    "M209 TAXI_LIGHTS_SET", "M210 STROBES_SET", "M213 LOGO_LIGHTS_SET", "M212 CABIN_LIGHTS_SET",
    "M214 ALL_LIGHTS_TOGGLE", "M215 FREEZE_LATITUDE_LONGITUDE_SET", "M216 FREEZE_ALTITUDE_SET",
    "M217 FREEZE_ATTITUDE_SET", "G301 208 1", "G301 207 1", "G301 211 1", "G301 209 1", "G301 210 1", "G301 213 1",
    "G301 212 1", "G301 214 1", "G301 218 1", "G301 219 1", "G301 220 1", "G301 222 1", "G301 223 1", "G301 215 1",
    "G301 216 1", "G301 217 1", "P301 1",
};

std::string declarationText(const nlohmann::json& p)
{
    const std::string name = p["packet"];
    if (name == "SubscribeToSystemEvent" || name == "MapClientEventToSimEvent")
        return vald::format("{}{} {}", name[0], p["eventId"].get<int>(), p["eventName"].get<std::string>());
    if (name == "AddToDataDefinition")
        return vald::format("D{} {} '{}' {}", p["defineId"].get<int>(), p["datumName"].get<std::string>(),
                            p["unitsName"].get<std::string>(), p["dataType"].get<int>());
    if (name == "AddClientEventToNotificationGroup")
        return vald::format("G{} {} {}", p["groupId"].get<int>(), p["eventId"].get<int>(), p["maskable"].get<int>());
    if (name == "SetNotificationGroupPriority")
        return vald::format("P{} {}", p["groupId"].get<int>(), p["priority"].get<int>());
    return name;
}

// The client thread of one test, asked to stop and joined at the end.
class ClientThreadTest : public SimClientTest {
protected:
    ~ClientThreadTest() override { stopClient(); }

    void startClient() { client = std::jthread([](std::stop_token token) { SimClient(std::move(token)); }); }
    void stopClient()
    {
        if (client.joinable()) {
            client.request_stop();
            client.join();
        }
    }
    // Waits for the thread to end by itself; false when it is still running after 10 s.
    bool clientEnds()
    {
        std::atomic<bool> ended{false};
        std::thread watcher([this, &ended] {
            client.join();
            ended.store(true);
        });
        const bool done = eventually([&ended] { return ended.load(); });
        if (!done)
            client.request_stop();
        watcher.join();
        return done;
    }

    std::unique_ptr<SimulatorStandin> simulator;
    std::jthread client;
};

class ClientWithSimulatorTest : public ClientThreadTest {
protected:
    ClientWithSimulatorTest()
    {
        simulator = std::make_unique<SimulatorStandin>(folders.root() / "journal.jsonl");
    }
};

TEST_F(ClientWithSimulatorTest, DeclaresEverythingAfterTheOpenAndEndsByItsStopRequest)
{
    LogCapture log;
    startClient();
    ASSERT_FALSE(simulator->waitForJournal(isPacket("SetNotificationGroupPriority")).is_null());
    std::vector<std::string> declared;
    for (const nlohmann::json& packet : simulator->packets())
        if (packet["packet"] != "Open")
            declared.push_back(declarationText(packet));
    EXPECT_EQ(declared, DECLARATIONS);
    // The stand-in knows every variable, unit and event that was declared.
    for (const nlohmann::json& line : simulator->journal())
        EXPECT_NE(line["kind"], "exception") << line.dump();

    // The "Sim" subscription is answered with the running flight; the open check passed.
    EXPECT_TRUE(eventually([] { return simConnected.load(); }));
    EXPECT_TRUE(vald::gf_displaySnapshot().simConnected);
    EXPECT_EQ(vald::gf_displaySnapshot().simText, "Lockheed Martin Prepar3D v5 (5.3.17.28160)");
    EXPECT_FALSE(simConnectionPending.load());

    // The stop flag alone does not end a connected client: frames still carry the queues.
    stopRequested.store(true);
    gf_queueClientEvent(QueuedClientEvent{1, NAV_LIGHTS_SET, 1});
    EXPECT_FALSE(simulator->waitForJournal(isPacket("TransmitClientEvent")).is_null());

    stopClient();
    EXPECT_FALSE(simulator->waitForJournal([](const nlohmann::json& line) { return line["kind"] == "disconnect"; })
                     .is_null());
    EXPECT_FALSE(vald::gf_displaySnapshot().simConnected);
    EXPECT_EQ(simConnection.load(), nullptr);
    const std::vector<std::string> lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "SimConnect closed ok"), lines.end());
    EXPECT_TRUE(window->hasStatus("Waiting for Prepar3Dv5 ..."));
}

TEST_F(ClientWithSimulatorTest, FollowsTheUserAircraftAndReportsCreatedAndRefusedAircraft)
{
    simulator->command("refuse Missing Livery");
    startClient();
    ASSERT_TRUE(eventually([] { return simConnected.load(); }));

    // The user aircraft as the worker asks for it.
    ASSERT_TRUE(eventually([] { return gf_userPositionKnown(gf_getUserPosition()); }));
    gf_requestUserTitleModel();
    EXPECT_TRUE(eventually([] { return vald::gf_displaySnapshot().userTitle == "Stand-in Boeing 737-800"; }));
    EXPECT_TRUE(eventually([] { return gf_userHalfSpanNm().has_value(); }));
    const UserAircraftSnapshot user = gf_userSnapshot();
    EXPECT_NEAR(user.latitude, 52.3086, 1e-6);
    EXPECT_NEAR(user.longitude, 4.7639, 1e-6);
    EXPECT_EQ(user.altitude, 0.0);  // the EHAM stand lies below sea level
    EXPECT_EQ(userObjectId.load(), 1u);
    EXPECT_GT(simUtcSeconds.load(), 0);

    // One aircraft the simulator creates, one it refuses.
    CreationRequest request;
    static const std::string title = "Stand-in Boeing 737-800";
    static const std::string missing = "Missing Livery";
    request.position = SimInitPosition{52.31, 4.76, 0.0, 0.0, 0.0, 90.0, 1, 0};
    request.tailNumber = "KLM1234";
    request.liveryTitle = title;
    request.hexid = 0x484C5A;
    gf_queueCreateAc(request);
    request.tailNumber = "KLM99";
    request.liveryTitle = missing;
    request.hexid = 0x484C5B;
    gf_queueCreateAc(request);
    ASSERT_FALSE(simulator->waitForJournal([](const nlohmann::json& line) { return line["kind"] == "created"; })
                     .is_null());
    // The worker asks for the aircraft around the user; the answer names the new object (later
    // answers report it as an aircraft near the ground, which the engine knows as its own).
    std::map<std::uint32_t, SimResult> byKind;
    ASSERT_TRUE(eventually([&byKind] {
        {
            std::lock_guard<std::mutex> lock(simSendMutex);
            EXPECT_EQ(SimConnect_RequestDataOnSimObjectType(simConnection.load(), 101, 404, 20000, 2), S_OK);
        }
        for (const SimResult& result : drainResults())
            byKind.emplace(result.kind, result);
        return byKind.count(SIM_RESULT_LIVE_CREATED) == 1 && byKind.count(SIM_RESULT_CREATION_FAILED) == 1;
    }));
    EXPECT_EQ(byKind[SIM_RESULT_LIVE_CREATED].hexid, 0x484C5Au);
    EXPECT_GE(byKind[SIM_RESULT_LIVE_CREATED].objectId, 100u);
    EXPECT_EQ(byKind[SIM_RESULT_CREATION_FAILED].hexid, 0x484C5Bu);
    // The created aircraft was released and frozen where it stands.
    EXPECT_FALSE(simulator->waitForJournal([](const nlohmann::json& line) { return line["kind"] == "released"; })
                     .is_null());
    EXPECT_FALSE(simulator->waitForJournal([](const nlohmann::json& line) {
        return packetHas(line, "TransmitClientEvent", {{"eventId", FREEZE_ATTITUDE_SET}, {"data", 1}});
    }).is_null());
}

TEST_F(ClientThreadTest, StopWithoutSimulatorEndsTheWaitAndClosesNothing)
{
    LogCapture log;
    startClient();
    ASSERT_TRUE(eventually([this] { return window->hasStatus("Waiting for Prepar3Dv5 ..."); }));
    stopClient();
    EXPECT_TRUE(simConnectionPending.load());
    EXPECT_FALSE(simConnected.load());
    EXPECT_FALSE(stopRequested.load());
    for (const std::string& line : log.lines())
        EXPECT_EQ(line.find("SimConnect clos"), std::string::npos) << line;
    std::lock_guard<std::mutex> lock(window->mutex);
    EXPECT_EQ(window->status, (std::vector<std::string>{"Waiting for Prepar3Dv5 ..."}));  // shown once
    EXPECT_TRUE(window->errors.empty());
}

TEST_F(ClientThreadTest, StopFlagEndsTheWaitForTheSimulator)
{
    startClient();
    ASSERT_TRUE(eventually([this] { return window->hasStatus("Waiting for Prepar3Dv5 ..."); }));
    userClosing.store(true);
    EXPECT_TRUE(clientEnds());
}

class ClientWithUnnamedModelTest : public ClientThreadTest {
protected:
    ClientWithUnnamedModelTest()
    {
        const std::filesystem::path script = folders.root() / "user.json";
        writeFile(script, R"({"title": "Glider", "model": ""})");
        simulator = std::make_unique<SimulatorStandin>(folders.root() / "journal.jsonl",
                                                       std::vector<std::string>{"--user", script.string()});
    }
};

TEST_F(ClientWithUnnamedModelTest, UserErrorWhileRunningEndsTheClientAndLeavesItDisconnected)
{
    startClient();
    ASSERT_TRUE(eventually([] { return simConnected.load(); }));
    gf_requestUserTitleModel();
    ASSERT_TRUE(clientEnds());
    EXPECT_TRUE(window->hasError("71: atc_model= in [General] section of your aircraft.cfg is empty or missing"));
    // The run is left to the user, but the engine must not keep queueing for a closed link.
    EXPECT_FALSE(simConnected.load());
    EXPECT_FALSE(stopRequested.load());
    EXPECT_FALSE(simulator->waitForJournal([](const nlohmann::json& line) { return line["kind"] == "disconnect"; })
                     .is_null());
}

TEST_F(ClientWithSimulatorTest, SimulatorThatQuitsStopsTheRunAsClosedAndOneThatVanishesAsAnError)
{
    // Gone without its quit message: a broken link, which a restart may mend.
    startClient();
    ASSERT_TRUE(eventually([] { return simConnected.load(); }));
    EXPECT_EQ(simulator->command("drop"), "OK drop");
    ASSERT_TRUE(clientEnds());
    EXPECT_FALSE(simConnected.load());
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(closingReason.load(), closing_reason::SIMCONNECT_ERROR);

    // The simulator says goodbye before it closes the link: it was closed.
    resetSimClient();
    closingReason.store(closing_reason::NOT_YET_SET);
    startClient();
    ASSERT_TRUE(eventually([] { return simConnected.load(); }));
    EXPECT_EQ(simulator->command("quit"), "OK quit");
    ASSERT_TRUE(clientEnds());
    EXPECT_FALSE(simConnected.load());
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(closingReason.load(), closing_reason::SIM_WAS_CLOSED);
}

// A loaded simulator, answering creations only when told to; the client's clock is the test's.
class ClientWithSlowSimulatorTest : public ClientThreadTest {
protected:
    ClientWithSlowSimulatorTest()
    {
        simulator = std::make_unique<SimulatorStandin>(folders.root() / "journal.jsonl",
                                                       std::vector<std::string>{"--creation-delay", "600"});
        gf_setClockForTest(Clock{[this] { return SteadyTime{} + std::chrono::seconds(seconds.load()); }, {}, {}});
    }
    ~ClientWithSlowSimulatorTest() override
    {
        stopClient();
        gf_resetClockForTest();
    }
    std::vector<SimResult> nextResults(std::size_t count)
    {
        std::vector<SimResult> taken;
        EXPECT_TRUE(eventually([&taken, count] {
            for (const SimResult& result : drainResults())
                taken.push_back(result);
            return taken.size() >= count;
        }));
        return taken;
    }
    std::atomic<int> seconds{0};
};

// Three creations wait when an aircraft of another program comes and goes undescribed: all are
// given up after five seconds, as one of ours removed undescribed is, and answered at six seconds
// each goes to the engine as answered late (a refusal under its send id); the client removes none.
TEST_F(ClientWithSlowSimulatorTest, CreationsAnsweredAfterTheyWereGivenUpGoToTheEngine)
{
    startClient();
    ASSERT_TRUE(eventually([] { return simConnected.load(); }));
    EXPECT_EQ(simulator->command("refuse Stand-in Refused"), "OK refuse Stand-in Refused");
    for (const std::uint32_t hexid : {0x484C5Au, 0x484C5Bu, 0x484C5Cu})
        gf_queueCreateAc(CreationRequest{{}, vald::format("KLM{}", hexid % 16),
                                         hexid == 0x484C5C ? "Stand-in Refused" : "Stand-in Boeing 737-800", hexid});
    ASSERT_FALSE(simulator->waitForJournal([](const nlohmann::json& line) {
        return packetHas(line, "AICreateNonATCAircraft", {{"tailNumber", "KLM12"}});
    }).is_null());
    EXPECT_EQ(simulator->command("foreign"), "OK foreign");
    EXPECT_EQ(nextResults(1).at(0).kind, SIM_RESULT_OBJECT_REMOVED);
    seconds.store(5);
    std::map<std::uint32_t, double> sendIds;
    for (const SimResult& failed : nextResults(3)) {
        EXPECT_EQ(std::pair(failed.kind, failed.value1), std::pair(+SIM_RESULT_CREATION_FAILED, CREATION_NOT_ANSWERED));
        sendIds[failed.hexid] = failed.value2;
    }
    seconds.store(6);
    EXPECT_EQ(simulator->command("creationdelay 0"), "OK creationdelay 0");
    std::map<std::uint32_t, std::tuple<std::uint32_t, double, double>> late;  // kind, why, send id
    for (const SimResult& r : nextResults(3))
        late[r.hexid] = r.kind == SIM_RESULT_LATE_REFUSED ? std::tuple(r.kind, r.value1, r.value2)
                                                          : std::tuple(r.kind, 0.0, r.value1);
    EXPECT_EQ(late, (decltype(late){{0x484C5A, {SIM_RESULT_LATE_CREATED, 0.0, sendIds[0x484C5A]}},
                                    {0x484C5B, {SIM_RESULT_LATE_CREATED, 0.0, sendIds[0x484C5B]}},
                                    {0x484C5C, {SIM_RESULT_LATE_REFUSED, CREATION_TITLE_REFUSED, sendIds[0x484C5C]}}}));
    for (const nlohmann::json& packet : simulator->packets())
        EXPECT_NE(packet["packet"], "AIRemoveObject");
}

}  // namespace
}  // namespace corv_test
