#pragma once
// A whole run of the program Corv_P3D, headless, against the simulator stand-in and the traffic
// service stand-in, each a process of its own: one program folder with its own user folders,
// registry file and runtime folder; the program is started by the test. The journal of the
// simulator, the service's request log and Log.txt are read as they grow.
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tests/support/program_parameters.hpp"
#include "standins/http/client.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/simulator_standin.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

// Generous bounds (a sanitizer build is slow); on a healthy machine each event comes in seconds,
// and the restart waits of 9 and 15 seconds fit well inside.
inline constexpr std::chrono::milliseconds EVENT_LIMIT{60000};
inline const std::string SERVICE_KEY = "DEMO-KEY-0001";

struct WholeRunSetup {
    // Extra options of the service stand-in (after the scenario and the site).
    std::vector<std::string> serviceArguments;
    // The parameter elements of the program's parameters.xml; empty: no file (all defaults).
    std::string parameters;
    // Extra options of the simulator stand-in (e.g. "--refuse <title>").
    std::vector<std::string> simulatorArguments;
    // The scenario second the run meets the scenario at: the service clock is set to it at start.
    std::optional<std::int64_t> meetAt;
};

// A run that meets the scenario at its second scenarioSecond, whose data times are those of now.
inline WholeRunSetup meetingTheScenarioAt(std::int64_t scenarioSecond, std::string parameters,
                                          std::vector<std::string> simulatorArguments = {})
{
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    return WholeRunSetup{{"--epoch", std::to_string(now - scenarioSecond)}, std::move(parameters),
                         std::move(simulatorArguments), scenarioSecond};
}
// The parameters of a run whose installed liveries are the sample ones: no scan at start.
inline const std::string NO_SCANS = "  <parameter name=\"SCAN_LIVERIES\" value=\"false\"/>\n"
                                    "  <parameter name=\"SCAN_AIRPORTS\" value=\"false\"/>\n";

// The AI objects in the simulator stand-in by its journal, created for connection conn (0: any)
// and not removed since: their "created" lines by object id.
inline std::map<std::uint32_t, nlohmann::json> aliveObjects(const std::vector<nlohmann::json>& journal,
                                                            std::uint32_t conn = 0)
{
    std::map<std::uint32_t, nlohmann::json> alive;
    for (const nlohmann::json& line : journal) {
        const std::string kind = line.value("kind", "");
        if (kind == "created" && (conn == 0 || line.value("conn", 0u) == conn))
            alive[line.value("objectId", 0u)] = line;
        else if (kind == "removed")
            alive.erase(line.value("objectId", 0u));
    }
    return alive;
}
inline std::string describeObjects(const std::map<std::uint32_t, nlohmann::json>& objects)
{
    std::string text;
    for (const auto& [objectId, created] : objects)
        text += created.dump() + "\n";
    return text;
}

// The simulator, the service and one program folder with its own user folders, registry file and
// runtime folder; the program is started by the test.
class WholeRun {
public:
    explicit WholeRun(const WholeRunSetup& setup = {})
    {
        std::filesystem::create_directories(programFolder() / "docs");
        // The liveries a scan would have found: the program reads them at every start.
        std::filesystem::create_directories(programFolder() / "output");
        std::filesystem::copy_file(sourceDir() / "standins/data/LiveriesScanned.xml", programFolder() / "output/LiveriesScanned.xml");
        std::filesystem::create_directories(root_ / "runtime");
        chmod((root_ / "runtime").c_str(), 0700);
        std::filesystem::create_directories(root_ / "P3D v5" / "Scenery");
        writeFile(root_ / "license.txt", SERVICE_KEY + "\n");

        // The simulator knows the titles of the liveries the program scans or reads, byte for byte,
        // and refuses any other title as the real one does.
        std::string liveryFolder = (sourceDir() / "standins/data/liveries").string();
        const std::string folderParameter = "name=\"lfolder0\" value=\"";
        if (const std::size_t at = setup.parameters.find(folderParameter); at != std::string::npos) {
            const std::size_t from = at + folderParameter.size();
            liveryFolder = setup.parameters.substr(from, setup.parameters.find('"', from) - from);
        }
        std::vector<std::string> simulatorArguments{"--setup-path", (root_ / "P3D v5").string(), "--liveries",
                                                    liveryFolder};
        simulatorArguments.insert(simulatorArguments.end(), setup.simulatorArguments.begin(),
                                  setup.simulatorArguments.end());
        simulator_ = std::make_unique<SimulatorStandin>(
            SimulatorSetup{root_ / "journal.jsonl", simulatorArguments, runtimeFolder(), registryFile(), root_.path()});
        if (!setup.parameters.empty()) {
            // A data update turns the scans on again: they too look at an empty add-on folder and
            // the demo's livery tree unless the test names its own.
            std::string parameters = setup.parameters;
            if (parameters.find("\"afolder0\"") == std::string::npos) {
                std::filesystem::create_directories(root_ / "Addons");
                parameters += "  <parameter name=\"afolder0\" value=\"" + (root_ / "Addons").string() + "\"/>\n";
            }
            if (parameters.find("\"lfolder0\"") == std::string::npos)
                parameters += "  <parameter name=\"lfolder0\" value=\"" +
                              (sourceDir() / "standins/data/liveries").string() + "\"/>\n";
            writeFile(root_ / "config" / "Corv_P3D" / "parameters.xml",
                      "<?xml version=\"1.0\"?>\n<parameters>\n" + parameters + "</parameters>\n");
        } else {  // the scans look at an empty add-on folder and the demo's livery tree
            writeScanFolderParameters(root_ / "config" / "Corv_P3D" / "parameters.xml", root_ / "Addons",
                                      sourceDir() / "standins/data/liveries");
        }
        std::vector<std::string> serviceArguments{"--scenario",
                                                  (sourceDir() / "standins/data/scenario-eham.json").string(),
                                                  "--site", (root_ / "site").string(), "--quit-on-eof"};
        serviceArguments.insert(serviceArguments.end(), setup.serviceArguments.begin(), setup.serviceArguments.end());
        service_ = std::make_unique<ChildProcess>(
            ChildOptions{binaryDir() / "standins" / "standin_service",
                         serviceArguments,
                         {},
                         root_.path(),
                         {},
                         {}});
        if (const auto port = service_->waitForLine("PORT ", EVENT_LIMIT))
            servicePort_ = std::stoi(port->substr(5));
        if (servicePort_ > 0 && setup.meetAt && !setServiceClock(static_cast<double>(*setup.meetAt)))
            servicePort_ = 0;
    }

    // The simulator stand-in is ready once constructed (it throws otherwise); the service once it
    // has told its port (and taken the clock of a run that meets the scenario late).
    bool ready() const { return servicePort_ > 0; }
    std::filesystem::path programFolder() const { return root_ / "program"; }

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
        return std::filesystem::exists(programFolder() / "Log.txt", error) ? readFile(programFolder() / "Log.txt") : std::string();
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

    const std::vector<nlohmann::json>& journal() const { return simulator_->journal(); }
    int journalCount(const std::function<bool(const nlohmann::json&)>& match) const
    {
        int count = 0;
        for (const nlohmann::json& line : simulator_->journal())
            count += match(line) ? 1 : 0;
        return count;
    }
    bool journalShows(const std::function<bool(const nlohmann::json&)>& match, int count = 1) const
    {
        return waitUntil([&] { return journalCount(match) >= count; }, EVENT_LIMIT);
    }

    // The simulator stand-in has created an AI object for the connection conn (1 the first, 2 the
    // next, ...; 0 any), within the bound.
    bool objectCreated(std::uint32_t conn = 0) const
    {
        return journalShows([conn](const nlohmann::json& line) {
            return line.value("kind", "") == "created" && (conn == 0 || line.value("conn", 0u) == conn);
        });
    }
    // Every AI object the connection conn (0: any) created has left the simulator stand-in, within
    // the bound.
    bool objectsGone(std::uint32_t conn = 0) const
    {
        return waitUntil([&] { return aliveObjects(journal(), conn).empty(); }, EVENT_LIMIT);
    }

    // The requests the service received for endpoint (auth, live, weather, deauth, ...).
    std::vector<nlohmann::json> serviceRequests(const std::string& endpoint) const
    {
        standin_http::Client client("127.0.0.1", servicePort_);
        const auto reply = client.get("/control/requests");
        std::vector<nlohmann::json> found;
        if (!reply || reply->status != 200)
            return found;
        for (const nlohmann::json& request : nlohmann::json::parse(reply->body))
            if (request.value("endpoint", "") == endpoint)
                found.push_back(request);
        return found;
    }
    bool serviceShows(const std::string& endpoint, std::size_t count = 1) const
    {
        return waitUntil([&] { return serviceRequests(endpoint).size() >= count; }, EVENT_LIMIT);
    }
    // The scenario clock jumps to seconds and keeps running.
    bool setServiceClock(double seconds) const
    {
        standin_http::Client client("127.0.0.1", servicePort_);
        const nlohmann::json body{{"seconds", seconds}, {"running", true}};
        const auto reply = client.post("/control/clock", body.dump(), "application/json");
        return reply && reply->status == 200;
    }
    bool addServiceFault(const nlohmann::json& rule) const
    {
        standin_http::Client client("127.0.0.1", servicePort_);
        const auto reply = client.post("/control/fault", rule.dump(), "application/json");
        return reply && reply->status == 200;
    }

    // A request to endpoint came after the nth request (1-based) to earlier, within the bound.
    bool serviceShowsAfter(const std::string& endpoint, const std::string& earlier, std::size_t nth) const
    {
        return waitUntil(
            [&] {
                const std::vector<nlohmann::json> before = serviceRequests(earlier);
                if (before.size() < nth)
                    return false;
                const auto seq = before[nth - 1].value("seq", 0);
                for (const nlohmann::json& request : serviceRequests(endpoint))
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
    std::filesystem::path runtimeFolder() const { return root_ / "runtime"; }
    std::filesystem::path registryFile() const { return root_ / "registry.txt"; }

    TempDir root_;
    std::unique_ptr<SimulatorStandin> simulator_;
    std::unique_ptr<ChildProcess> service_;
    std::unique_ptr<ChildProcess> program_;
    int servicePort_ = 0;
};

inline bool isPacket(const nlohmann::json& line, const std::string& name)
{
    return line.value("kind", "") == "packet" && line.value("packet", "") == name;
}
inline bool isRequest(const nlohmann::json& line, std::uint32_t requestId, std::uint32_t period)
{
    return isPacket(line, "RequestDataOnSimObject") && line.value("requestId", 0u) == requestId &&
           line.value("period", 0u) == period;
}
inline bool isKind(const nlohmann::json& line, const std::string& kind) { return line.value("kind", "") == kind; }


}  // namespace corv_test
