// A whole run of Corv_P3D, headless, with the user aircraft parked at the scenario's airport: the
// airport becomes the park airport, its park file comes from the download site stand-in (which
// writes it from the scenario's airport), and the service's parked aircraft appear in the
// simulator stand-in as static aircraft at the airport's stands, one creation per free slot.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tests/support/child_process.hpp"
#include "tests/support/program_parameters.hpp"
#include "tests/support/simulator_standin.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

constexpr std::chrono::milliseconds EVENT_LIMIT = 120s;
constexpr double EARTH_RADIUS_M = 6'371'000.0;
constexpr double DEG = 3.14159265358979323846 / 180.0;

double metresApart(double lat1, double lon1, double lat2, double lon2)
{
    const double x = (lon2 - lon1) * DEG * std::cos((lat1 + lat2) / 2 * DEG);
    const double y = (lat2 - lat1) * DEG;
    return std::sqrt(x * x + y * y) * EARTH_RADIUS_M;
}

struct ScenarioStand {
    std::string id;
    double lat = 0.0;
    double lon = 0.0;
};

class ParkedRun {
public:
    ParkedRun()
    {
        fs::create_directories(root_ / "program" / "docs");
        fs::create_directories(root_ / "program" / "output");
        fs::copy_file(sourceDir() / "standins/data/LiveriesScanned.xml",
                      root_ / "program" / "output/LiveriesScanned.xml");
        fs::create_directories(root_ / "runtime");
        chmod((root_ / "runtime").c_str(), 0700);
        fs::create_directories(root_ / "P3D v5" / "Scenery");
        writeFile(root_ / "license.txt", "DEMO-KEY-0001\n");
        writeScanFolderParameters(root_ / "config" / "Corv_P3D" / "parameters.xml", root_ / "Addons",
                                  sourceDir() / "standins/data/liveries");
        // The simulator's default user aircraft stands parked at Amsterdam Schiphol.
        simulator_ = std::make_unique<SimulatorStandin>(
            SimulatorSetup{root_ / "journal.jsonl", {"--setup-path", (root_ / "P3D v5").string()},
                           root_ / "runtime", root_ / "registry.txt", root_.path()});
        service_ = std::make_unique<ChildProcess>(ChildOptions{
            binaryDir() / "standins" / "standin_service",
            {"--scenario", scenarioFile().string(), "--site", (root_ / "site").string(), "--quit-on-eof"},
            {},
            root_.path(),
            {},
            {}});
        if (const auto port = service_->waitForLine("PORT ", EVENT_LIMIT))
            servicePort_ = std::stoi(port->substr(5));
    }

    static fs::path scenarioFile() { return sourceDir() / "standins/data/scenario-eham.json"; }
    bool ready() const { return servicePort_ > 0; }

    ChildProcess& startProgram()
    {
        std::map<std::string, std::optional<std::string>> environment{
            {"XDG_RUNTIME_DIR", (root_ / "runtime").string()},
            {"CORV_REGISTRY_FILE", (root_ / "registry.txt").string()},
            {"DISPLAY", std::nullopt},
            {"XDG_CONFIG_HOME", (root_ / "config").string()},
            {"CORV_SERVICE_KEY_FILE", (root_ / "license.txt").string()}};
        const std::string base = "http://127.0.0.1:" + std::to_string(servicePort_);
        environment["CORV_API_BASE"] = base;
        environment["CORV_DOWNLOAD_BASE"] = base;
        program_ = std::make_unique<ChildProcess>(ChildOptions{binaryDir() / "Corv_P3D", {}, environment,
                                                               root_ / "program", root_ / "program.out",
                                                               root_ / "program.err"});
        return *program_;
    }

    // The "created" journal lines of static aircraft (their ATC id ends in '*'), in order.
    std::vector<json> staticCreations() const
    {
        std::vector<json> found;
        for (const json& line : simulator_->journal())
            if (line.value("kind", "") == "created" && !line.value("atcId", "").empty() &&
                line.value("atcId", "").back() == '*')
                found.push_back(line);
        return found;
    }

    // The journal in order, reduced to two sends the program makes on its tick count: 'c' a
    // static creation (one per 50-tick slot at most), 'r' the request for the aircraft in range
    // (every 100th tick; every 20th while an aircraft flares).
    std::string tickMarks() const
    {
        std::string marks;
        for (const json& line : simulator_->journal()) {
            if (line.value("kind", "") == "packet" && line.value("packet", "") == "RequestDataOnSimObjectType")
                marks += 'r';
            else if (line.value("kind", "") == "created" && !line.value("atcId", "").empty() &&
                     line.value("atcId", "").back() == '*')
                marks += 'c';
        }
        return marks;
    }

    std::string log() const
    {
        std::error_code error;
        const fs::path file = root_ / "program" / "Log.txt";
        return fs::exists(file, error) ? readFile(file) : std::string();
    }

private:
    TempDir root_;
    std::unique_ptr<SimulatorStandin> simulator_;
    std::unique_ptr<ChildProcess> service_;
    std::unique_ptr<ChildProcess> program_;
    int servicePort_ = 0;
};

std::vector<ScenarioStand> scenarioStands()
{
    const json scenario = json::parse(readFile(ParkedRun::scenarioFile()));
    std::vector<ScenarioStand> stands;
    for (const json& stand : scenario["airport"]["stands"])
        stands.push_back({stand["id"].get<std::string>(), stand["lat"].get<double>(), stand["lon"].get<double>()});
    return stands;
}

// The stand a created aircraft stands on (within 5 m); empty when none.
std::string standAt(const std::vector<ScenarioStand>& stands, const json& created)
{
    for (const ScenarioStand& stand : stands)
        if (metresApart(stand.lat, stand.lon, created["lat"].get<double>(), created["lon"].get<double>()) < 5.0)
            return stand.id;
    return {};
}

TEST(StaticParkingRunTest, TheParkAirportFillsWithStaticAircraftAtItsStandsOnePerSlot)
{
    ParkedRun run;
    ASSERT_TRUE(run.ready());
    ChildProcess& program = run.startProgram();
    ASSERT_TRUE(program.started());

    constexpr std::size_t WANTED_AT_LEAST = 6;
    ASSERT_TRUE(waitUntil([&] { return run.staticCreations().size() >= WANTED_AT_LEAST; }, EVENT_LIMIT))
        << run.staticCreations().size() << " statics\n"
        << program.errorOutput();

    const std::vector<ScenarioStand> stands = scenarioStands();
    const std::vector<json> created = run.staticCreations();
    std::set<std::string> used;
    for (std::size_t i = 0; i < created.size(); ++i) {
        const json& c = created[i];
        const std::string stand = standAt(stands, c);
        EXPECT_FALSE(stand.empty()) << c.dump();
        EXPECT_TRUE(used.insert(stand).second) << "two statics on " << stand;
        EXPECT_TRUE(c.value("onGround", false)) << c.dump();
    }

    // One static per slot, judged on the program's own ticks rather than the wall clock (a late
    // tick is followed by prompt ones): n creations fill at least n slots, 50(n-1) ticks, which
    // hold at least (n-2)/2 of the every-100th-tick requests. One of those may reach the
    // simulator before the flush that carries the first creation.
    const std::string marks = run.tickMarks();
    const auto statics = std::count(marks.begin(), marks.end(), 'c');
    ASSERT_GE(statics, static_cast<long>(WANTED_AT_LEAST)) << marks;
    const auto between = std::count(marks.begin() + static_cast<long>(marks.find('c')),
                                     marks.begin() + static_cast<long>(marks.rfind('c')), 'r');
    EXPECT_GE(between, (statics - 2) / 2 - 1) << marks;

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(EVENT_LIMIT), 0) << program.errorOutput();
    const std::string log = run.log();
    EXPECT_NE(log.find("The park airport is EHAM"), std::string::npos) << log;
    EXPECT_NE(log.find("parking position"), std::string::npos) << log;
}

}  // namespace
}  // namespace corv_test
