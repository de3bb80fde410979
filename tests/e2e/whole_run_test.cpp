// Whole runs of the program Corv_P3D, headless, against the simulator stand-in and the traffic
// service stand-in, each a process of its own: the run connects, declares its data, follows the
// user aircraft, logs in, starts both readers and keeps its main loop going; and each way a run
// ends on the peers' account: the simulator quitting, the link dropping, a new flight loaded and
// the service refusing the session.
#include <gtest/gtest.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tests/support/program_parameters.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/simulator_standin.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

// Generous bounds (a sanitizer build is slow); on a healthy machine each event comes in seconds,
// and the restart waits of 9 and 15 seconds fit well inside.
constexpr std::chrono::milliseconds EVENT_LIMIT = 60s;
const std::string SERVICE_KEY = "DEMO-KEY-0001";

// The simulator, the service and one program folder with its own user folders, registry file and
// runtime folder; the program is started by the test.
class WholeRun {
public:
    WholeRun()
    {
        fs::create_directories(programFolder() / "docs");
        // The liveries a scan would have found: the program reads them at every start.
        fs::create_directories(programFolder() / "output");
        fs::copy_file(sourceDir() / "standins/data/LiveriesScanned.xml", programFolder() / "output/LiveriesScanned.xml");
        fs::create_directories(root_ / "runtime");
        chmod((root_ / "runtime").c_str(), 0700);
        fs::create_directories(root_ / "P3D v5" / "Scenery");
        writeFile(root_ / "license.txt", SERVICE_KEY + "\n");
        // The scans look at an empty add-on folder and the demo's livery tree at the first start.
        writeScanFolderParameters(root_ / "config" / "Corv_P3D" / "parameters.xml", root_ / "Addons",
                                  sourceDir() / "standins/data/liveries");

        simulator_ = std::make_unique<SimulatorStandin>(
            SimulatorSetup{root_ / "journal.jsonl", {"--setup-path", (root_ / "P3D v5").string()},
                           runtimeFolder(), registryFile(), root_.path()});
        service_ = std::make_unique<ChildProcess>(
            ChildOptions{binaryDir() / "standins" / "standin_service",
                         {"--scenario", (sourceDir() / "standins/data/scenario-eham.json").string(), "--site",
                          (root_ / "site").string(), "--quit-on-eof"},
                         {},
                         root_.path(),
                         {},
                         {}});
        if (const auto port = service_->waitForLine("PORT ", EVENT_LIMIT))
            servicePort_ = std::stoi(port->substr(5));
    }

    // The simulator stand-in is ready once constructed (it throws otherwise); the service once it
    // has told its port.
    bool ready() const { return servicePort_ > 0; }
    fs::path programFolder() const { return root_ / "program"; }

    ChildProcess& startProgram()
    {
        std::map<std::string, std::optional<std::string>> environment{
            {"XDG_RUNTIME_DIR", runtimeFolder().string()}, {"CORV_REGISTRY_FILE", registryFile().string()}};
        environment["DISPLAY"] = std::nullopt;
        environment["XDG_CONFIG_HOME"] = (root_ / "config").string();
        environment["CORV_SERVICE_KEY_FILE"] = (root_ / "license.txt").string();
        const std::string base = "http://127.0.0.1:" + std::to_string(servicePort_);
        environment["CORV_API_BASE"] = base;
        environment["CORV_DOWNLOAD_BASE"] = base;
        program_ = std::make_unique<ChildProcess>(
            ChildOptions{binaryDir() / "Corv_P3D", {}, environment, programFolder(), root_ / "program.out",
                         root_ / "program.err"});
        return *program_;
    }

    // A control command of the simulator, answered with "OK <command>".
    bool simulatorCommand(const std::string& command)
    {
        return simulator_->command(command, EVENT_LIMIT) == "OK " + command;
    }

    std::string log() const
    {
        std::error_code error;
        return fs::exists(programFolder() / "Log.txt", error) ? readFile(programFolder() / "Log.txt") : std::string();
    }
    // The log holds text count times within the bound.
    bool logShows(const std::string& text, int count = 1) const
    {
        return waitUntil([&] { return occurrences(log(), text) >= count; }, EVENT_LIMIT);
    }
    static int occurrences(const std::string& text, const std::string& part)
    {
        int count = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
            ++count;
        return count;
    }

    int journalCount(const std::function<bool(const json&)>& match) const
    {
        int count = 0;
        for (const json& line : simulator_->journal())
            count += match(line) ? 1 : 0;
        return count;
    }
    bool journalShows(const std::function<bool(const json&)>& match, int count = 1) const
    {
        return waitUntil([&] { return journalCount(match) >= count; }, EVENT_LIMIT);
    }

    // The requests the service received for endpoint (auth, live, weather, deauth, ...).
    std::vector<json> serviceRequests(const std::string& endpoint) const
    {
        httplib::Client client("127.0.0.1", servicePort_);
        const auto reply = client.Get("/control/requests");
        std::vector<json> found;
        if (!reply || reply->status != 200)
            return found;
        for (const json& request : json::parse(reply->body))
            if (request.value("endpoint", "") == endpoint)
                found.push_back(request);
        return found;
    }
    bool serviceShows(const std::string& endpoint, std::size_t count = 1) const
    {
        return waitUntil([&] { return serviceRequests(endpoint).size() >= count; }, EVENT_LIMIT);
    }
    bool addServiceFault(const json& rule) const
    {
        httplib::Client client("127.0.0.1", servicePort_);
        const auto reply = client.Post("/control/fault", rule.dump(), "application/json");
        return reply && reply->status == 200;
    }

    // A request to endpoint came after the nth request (1-based) to earlier, within the bound.
    bool serviceShowsAfter(const std::string& endpoint, const std::string& earlier, std::size_t nth) const
    {
        return waitUntil(
            [&] {
                const std::vector<json> before = serviceRequests(earlier);
                if (before.size() < nth)
                    return false;
                const auto seq = before[nth - 1].value("seq", 0);
                for (const json& request : serviceRequests(endpoint))
                    if (request.value("seq", 0) > seq)
                        return true;
                return false;
            },
            EVENT_LIMIT);
    }

    // The run is up: logged in, both readers started, traffic polled. (The log itself is written
    // out only every 30 seconds of the run and at its end.)
    bool runIsUp() const { return serviceShowsAfter("live", "auth", 1) && serviceShows("weather"); }

private:
    fs::path runtimeFolder() const { return root_ / "runtime"; }
    fs::path registryFile() const { return root_ / "registry.txt"; }

    TempDir root_;
    std::unique_ptr<SimulatorStandin> simulator_;
    std::unique_ptr<ChildProcess> service_;
    std::unique_ptr<ChildProcess> program_;
    int servicePort_ = 0;
};

bool isPacket(const json& line, const std::string& name)
{
    return line.value("kind", "") == "packet" && line.value("packet", "") == name;
}
bool isRequest(const json& line, std::uint32_t requestId, std::uint32_t period)
{
    return isPacket(line, "RequestDataOnSimObject") && line.value("requestId", 0u) == requestId &&
           line.value("period", 0u) == period;
}
bool isKind(const json& line, const std::string& kind) { return line.value("kind", "") == kind; }

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

    // The close box: the run ends, logs out and disconnects; the program ends with code 0.
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
    EXPECT_EQ(run.serviceRequests("deauth").size(), 1u);
    EXPECT_TRUE(run.journalShows([](const json& l) { return isKind(l, "disconnect"); }));
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

    ASSERT_TRUE(run.simulatorCommand("quit"));
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << run.log() << program.errorOutput();
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

    ASSERT_TRUE(run.simulatorCommand("drop"));
    ASSERT_TRUE(run.logShows("Exiting: SIMCONNECT ERROR")) << run.log();
    EXPECT_TRUE(run.logShows("Restarting after 9 seconds")) << run.log();
    // The new run opens a new connection, declares everything again and logs in again.
    EXPECT_TRUE(run.journalShows([](const json& l) { return isPacket(l, "Open"); }, 2)) << run.log();
    EXPECT_TRUE(run.journalShows([](const json& l) { return isPacket(l, "SetNotificationGroupPriority"); }, 2));
    EXPECT_TRUE(run.serviceShowsAfter("live", "auth", 2)) << run.log();
    EXPECT_TRUE(program.running());

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
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

    ASSERT_TRUE(run.simulatorCommand("loadflight other.fxml"));
    ASSERT_TRUE(run.logShows("Exiting: NEW FLIGHT")) << run.log();
    // The message stands on the status line (standard error without a display) for a while
    // before the program ends by itself.
    EXPECT_TRUE(waitUntil(
        [&] {
            return program.errorOutput().find("New flight detected, Corv_P3D will close, please restart manually ...") !=
                   std::string::npos;
        },
        EVENT_LIMIT))
        << program.errorOutput();
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
    EXPECT_EQ(run.log().find("Restarting after"), std::string::npos) << run.log();
    EXPECT_EQ(run.journalCount([](const json& l) { return isPacket(l, "Open"); }), 1);
}

TEST(WholeRunTest, TheServiceRefusingTheSessionRestartsTheRun)
{
    WholeRun run;
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(run.runIsUp()) << run.log();

    // The service's refusal of a session it no longer knows: 401 in the reply and on the status line.
    ASSERT_TRUE(
        run.addServiceFault({{"endpoint", "live"}, {"status", 401}, {"httpStatus", 401}, {"times", 1}}));
    ASSERT_TRUE(run.logShows("Exiting: READER ERROR")) << run.log() << program.errorOutput();
    EXPECT_NE(run.log().find("re-authentication to RT API is needed, restart Corv_P3D"), std::string::npos);
    EXPECT_TRUE(run.logShows("Restarting after 15 seconds")) << run.log();
    // The new run connects to the simulator again, logs in again and reads traffic again.
    EXPECT_TRUE(run.serviceShowsAfter("live", "auth", 2)) << run.log();
    EXPECT_TRUE(run.journalShows([](const json& l) { return isPacket(l, "Open"); }, 2));
    EXPECT_TRUE(program.running());

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
    EXPECT_EQ(WholeRun::occurrences(run.log(), "Traffic Reader connected"), 2) << run.log();
}

}  // namespace
}  // namespace corv_test
