// The whole program for 60 seconds in the demo scenario around EHAM, against the simulator and
// traffic-service stand-ins, in a fresh program folder (so the liveries and airports scans of a
// first start run too), the user parked at EHAM, no display. Measured on the program process
// alone: CPU time (user + system) per simulated second as percent of one core, the same after the
// start-up scans (seconds 20 to 60), and the peak resident memory (program_vmhwm_mb: the program's
// own VmHWM).
// With arguments LIVE and PARKED (not 0) the scenario is a generated busy one instead
// (scripts/make_busy_scenario): LIVE flights in range, most circling, some taxiing between the
// parked aircraft and some standing at gates, and PARKED aircraft on stands of their own, every
// stand parked, the range not narrowed to the park airport. The program creates an aircraft every
// half second at most, so such a run first waits until the simulator holds as many live and
// static aircraft as the program's limits let it have (500 of each), until that count has stayed
// the same for RUN_UP_STILL, or until RUN_UP_LIMIT, then measures as the steady part of a plain
// run (40 s).
// The aircraft in the simulator are counted from its journal at the start, the middle and the end
// of the measured window: a window in which the live count fell below nine tenths of its start,
// the static count fell at all, or the program's log has "max park exceeded" removals is reported
// as not steady (label and steady=0), since a program that empties the simulator costs less than
// one that holds it. Also reported: the share of the simulator's frames in the window that
// brought a live aircraft a new position (live_positions_per_frame: 1 when every active aircraft
// is moved on every frame, as on a machine that keeps up), the run-up, the live aircraft created and removed in the
// window (swaps at the live limit), and what was created, removed and refused up to the end (an
// aircraft dropped and made again shows there).
// WholeProgram/hub/2000/500 is the busy scenario of a hub: 60 flights taxi among the parked
// aircraft, 40 stand at gates, 400 circle 3-15 NM out and the rest farther, so that the program
// holds the near ones and swaps far ones at its live limit.
// CORV_BENCH_PROGRAM names another Corv_P3D (an older build) to measure beside this build's: each
// run is then made for both in turn, the other's named ".../beside". CORV_BENCH_SIMULATOR_ARGS adds
// options to the simulator stand-in's command line (a slow simulator: "--creation-delay 30
// --foreign-every 5").
// Goal: under 3% of one core at 2,000 flights and 500 parked, at most what the program cost
// before at 500 and 500, and under 150 MB. The run's folder (program log, simulator journal) is
// removed after a clean run unless CORV_BENCH_KEEP is set, and kept after a failed one.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/http.hpp"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr auto RUN_TIME = 60s;
constexpr auto STEADY_FROM = 20s;
constexpr auto START_LIMIT = 10s;
constexpr auto END_LIMIT = 30s;
constexpr auto RUN_UP_LIMIT = 1200s;
// A run-up also ends when the count in the simulator has not changed for this long: the program
// holds what its own limits let it hold. (With more flights in range than it may show, the program
// swaps far ones for near ones each time it reaches its limit: removals go faster than creations,
// so the count falls and climbs again, and the statics, created only while no live one waits,
// hardly come; such a run measures at RUN_UP_LIMIT what the simulator holds then.)
constexpr auto RUN_UP_STILL = 60s;
constexpr std::int64_t MAX_LIVE_IN_SIM = 500;
constexpr std::int64_t MAX_STATIC_IN_SIM = 500;
// Scenario seconds at which the run meets the scenario: arrivals are on final, departures about
// to push back, so the minute holds live flights as well as the start-up and the statics.
constexpr int SCENARIO_START = 160;
// A count at the middle or the end of the window below this share of its start: not steady.
constexpr double STEADY_SHARE = 0.9;

std::string lf_read(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void lf_write(const fs::path& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

// A child with its standard output and error in files and, when asked, a pipe on its standard
// input that this process holds open: a stand-in started with --quit-on-eof or control on its
// input ends with this process, whatever way it ends.
struct Child {
    pid_t pid = -1;
    int input = -1;
};

Child lf_start(const std::vector<std::string>& command, const std::map<std::string, std::optional<std::string>>& env,
               const fs::path& folder, const fs::path& output, bool withInput)
{
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        if (const auto equals = text.find('='); equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : env) {
        if (value)
            merged[name] = *value;
        else
            merged.erase(name);
    }
    std::vector<std::string> envText;
    for (const auto& [name, value] : merged)
        envText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = command;
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    Child child;
    int pipeEnds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (withInput) {
        if (pipe2(pipeEnds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    const std::string outFile = output.string();
    const std::string errFile = output.string() + ".err";
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    const int failed = posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (withInput) {
        close(pipeEnds[0]);
        child.input = pipeEnds[1];
    }
    if (failed != 0)
        throw std::runtime_error("cannot start " + command.front());
    return child;
}

// The rest of the first line of the file that starts with "prefix ", once there.
std::optional<std::string> lf_waitForLine(const fs::path& file, const std::string& prefix)
{
    const auto deadline = std::chrono::steady_clock::now() + START_LIMIT;
    while (std::chrono::steady_clock::now() < deadline) {
        std::istringstream lines(lf_read(file));
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(prefix, 0) == 0)
                return line.substr(std::min(line.size(), prefix.size() + 1));
        std::this_thread::sleep_for(50ms);
    }
    return std::nullopt;
}

// The text of a field of a journal line: a string without its quotes, or a number.
std::string lf_field(const std::string& line, const std::string& name)
{
    const std::string key = "\"" + name + "\":";
    auto at = line.find(key);
    if (at == std::string::npos)
        return {};
    at += key.size();
    if (at < line.size() && line[at] == '"') {
        const auto end = line.find('"', at + 1);
        return end == std::string::npos ? std::string() : line.substr(at + 1, end - at - 1);
    }
    const auto end = line.find_first_of(",}", at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// The aircraft in the simulator by its journal, read on from offset: live and static apart (a
// static one's ATC id ends in the program's parking mark '*'), and how many were created,
// removed and refused in all. A live aircraft's positions after its first are counted with the
// simulator's frames between each and the one before.
class JournalCount {
public:
    explicit JournalCount(fs::path file) : file_(std::move(file)) {}
    void readOn()
    {
        std::ifstream in(file_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset_));
        for (std::string line; std::getline(in, line);) {
            if (in.eof())
                break;  // a line still being written
            offset_ += line.size() + 1;
            const std::string kind = lf_field(line, "kind");
            if (kind == "created") {
                const std::string atcId = lf_field(line, "atcId");
                const bool parked = !atcId.empty() && atcId.back() == '*';
                objects_[lf_field(line, "objectId")] = parked;
                ++(parked ? createdStatic : createdLive);
                ++(parked ? staticNow : liveNow);
            } else if (kind == "packet" && lf_field(line, "packet") == "SetDataOnSimObject" &&
                       lf_field(line, "defineId") == "402") {
                const std::string objectId = lf_field(line, "objectId");
                if (const auto object = objects_.find(objectId); object != objects_.end() && !object->second) {
                    const std::int64_t frame = std::stoll(lf_field(line, "frame"));
                    const auto [last, first] = lastPositionFrame_.try_emplace(objectId, frame);
                    if (!first) {
                        ++livePositions;
                        livePositionFrames += frame - last->second;
                        last->second = frame;
                    }
                }
            } else if (kind == "removed") {
                lastPositionFrame_.erase(lf_field(line, "objectId"));
                if (const auto object = objects_.find(lf_field(line, "objectId")); object != objects_.end()) {
                    ++(object->second ? removedStatic : removedLive);
                    --(object->second ? staticNow : liveNow);
                    objects_.erase(object);
                }
            } else if (kind == "refused") {
                ++refused;
            }
        }
    }

    std::int64_t liveNow = 0, staticNow = 0;
    std::int64_t createdLive = 0, createdStatic = 0, removedLive = 0, removedStatic = 0, refused = 0;
    std::int64_t livePositions = 0, livePositionFrames = 0;

private:
    fs::path file_;
    std::size_t offset_ = 0;
    std::map<std::string, bool> objects_;
    std::map<std::string, std::int64_t> lastPositionFrame_;  // a live aircraft's last position
};

// User plus system CPU seconds of a running process, from /proc/<pid>/stat.
double lf_cpuSeconds(pid_t pid)
{
    const std::string stat = lf_read("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int number = 3; number <= 15 && fields >> field; ++number)
        if (number >= 14)
            ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The peak resident memory of a running process in MB, its VmHWM in /proc/<pid>/status; 0 once it
// has ended. The maxrss that wait4 reports for a child is no measure of the program: posix_spawn
// runs the child in this process's memory up to the exec, and the kernel keeps the peak of the
// memory an exec leaves, so the child's maxrss starts from this process's peak.
double lf_peakResidentMb(pid_t pid)
{
    std::istringstream lines(lf_read("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;  // in kB
    return 0;
}

void lf_stop(Child& child, int signal)
{
    if (child.input >= 0)
        close(child.input);
    child.input = -1;
    if (child.pid > 0) {
        kill(child.pid, signal);
        waitpid(child.pid, nullptr, 0);
    }
    child.pid = -1;
}

// The program's log lines that removed a parked aircraft for the wanted parking count.
std::int64_t lf_maxParkRemovals(const fs::path& log)
{
    std::istringstream lines(lf_read(log));
    std::int64_t count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.find("max park exceeded") != std::string::npos ? 1 : 0;
    return count;
}

// The live and static aircraft in the simulator at one moment of the measured window, what was
// created and removed up to then, and the max-park removals of the program's log.
struct HeldCount {
    std::int64_t live = 0;
    std::int64_t parked = 0;
    std::int64_t liveCreated = 0;
    std::int64_t liveRemoved = 0;
    std::int64_t maxPark = 0;
    std::int64_t livePositions = 0;
    std::int64_t livePositionFrames = 0;
};

HeldCount lf_heldNow(JournalCount& journal, const fs::path& log)
{
    journal.readOn();
    return HeldCount{journal.liveNow,     journal.staticNow,        journal.createdLive,
                     journal.removedLive, lf_maxParkRemovals(log), journal.livePositions,
                     journal.livePositionFrames};
}

void lf_reportHeld(benchmark::State& state, const std::vector<HeldCount>& held, bool busy)
{
    const char* moments[] = {"start", "mid", "end"};
    bool steady = true;
    std::string text;
    for (std::size_t i = 0; i < held.size(); ++i) {
        state.counters[std::string("live_") + moments[i]] = static_cast<double>(held[i].live);
        state.counters[std::string("static_") + moments[i]] = static_cast<double>(held[i].parked);
        steady = steady && static_cast<double>(held[i].live) >= STEADY_SHARE * static_cast<double>(held[0].live) &&
                 held[i].parked >= held[0].parked;
        text += (i == 0 ? "" : " -> ") + std::to_string(held[i].live) + "+" + std::to_string(held[i].parked);
    }
    if (held.size() >= 2 && held.back().livePositionFrames > held.front().livePositionFrames)
        state.counters["live_positions_per_frame"] =
            static_cast<double>(held.back().livePositions - held.front().livePositions) /
            static_cast<double>(held.back().livePositionFrames - held.front().livePositionFrames);
    if (!busy || held.empty())
        return;
    const std::int64_t maxPark = held.back().maxPark - held.front().maxPark;
    state.counters["window_live_created"] = static_cast<double>(held.back().liveCreated - held.front().liveCreated);
    state.counters["window_live_removed"] = static_cast<double>(held.back().liveRemoved - held.front().liveRemoved);
    state.counters["window_max_park_removed"] = static_cast<double>(maxPark);
    state.counters["max_park_removed"] = static_cast<double>(held.back().maxPark);
    steady = steady && maxPark == 0;
    state.counters["steady"] = steady ? 1.0 : 0.0;
    if (!steady)
        state.SetLabel("not steady: live+static " + text + ", max park removals " + std::to_string(maxPark));
}

// The busy scenario's shares when they are not its own (hub: taxiing, standing, near).
using Shares = std::vector<std::string>;

void BM_WholeProgram(benchmark::State& state, std::int64_t live, std::int64_t parked, const Shares& shares,
                     const fs::path& program)
{
    const fs::path source = CORV_SOURCE_DIR;
    const fs::path build = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path simulator = build / "standins" / "standin_simulator";
    const fs::path service = build / "standins" / "standin_service";
    for (const fs::path& binary : {program, simulator, service}) {
        if (!fs::exists(binary)) {
            state.SkipWithError(("build " + binary.string() + " first").c_str());
            return;
        }
    }
    std::string pattern = (fs::temp_directory_path() / "corv-whole-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    const fs::path demo = pattern;
    for (const char* folder : {"program/docs", "config/Corv_P3D", "runtime", "P3D v5/Scenery"})
        fs::create_directories(demo / folder);
    fs::permissions(demo / "runtime", fs::perms::owner_all);
    lf_write(demo / "license.txt", "DEMO-KEY-0001\n");
    const bool busy = live > 0 || parked > 0;

    // The add-on scenery from the sample airports but the scenario's own, which stays a stock
    // airport whose park file the download site serves.
    std::istringstream airports(lf_read(source / "standins/data/airports.xml"));
    std::string addon;
    for (std::string line; std::getline(airports, line);)
        if (line.find("code=\"EHAM\"") == std::string::npos)
            addon += line + "\n";
    lf_write(demo / "addon-airports.xml", addon);
    lf_write(demo / "config/Corv_P3D/parameters.xml",
             "<?xml version=\"1.0\"?>\n<parameters>\n  <parameter name=\"afolder0\" value=\"" +
                 (demo / "scenery").string() + "\"/>\n  <parameter name=\"lfolder0\" value=\"" +
                 (source / "standins/data/liveries").string() + "\"/>\n" +
                 (busy ? "  <parameter name=\"CUSTOM_PARKING_PERCENTAGE\" value=\"100\"/>\n"
                         "  <parameter name=\"AUTO_RANGE\" value=\"false\"/>\n"
                       : "") +
                 "</parameters>\n");

    std::map<std::string, std::optional<std::string>> env{
        {"XDG_CONFIG_HOME", (demo / "config").string()},
        {"XDG_RUNTIME_DIR", (demo / "runtime").string()},
        {"CORV_REGISTRY_FILE", (demo / "registry.txt").string()},
        {"CORV_SERVICE_KEY_FILE", (demo / "license.txt").string()},
        {"DISPLAY", std::nullopt},
        {"WAYLAND_DISPLAY", std::nullopt}};
    Child scenery = lf_start({"/usr/bin/env", "python3", (source / "scripts/make_demo_scenery").string(),
                              (demo / "scenery").string(), (demo / "addon-airports.xml").string()},
                             env, demo, demo / "scenery.out", false);
    int sceneryStatus = 0;
    waitpid(scenery.pid, &sceneryStatus, 0);
    fs::path scenario = source / "standins/data/scenario-eham.json";
    if (busy) {
        scenario = demo / "scenario-busy.json";
        std::vector<std::string> command{"/usr/bin/env", "python3", (source / "scripts/make_busy_scenario").string(),
                                         std::to_string(live), std::to_string(parked), scenario.string()};
        command.insert(command.end(), shares.begin(), shares.end());
        Child busy = lf_start(command, env, demo, demo / "busy.out", false);
        int busyStatus = 0;
        waitpid(busy.pid, &busyStatus, 0);
        if (!WIFEXITED(busyStatus) || WEXITSTATUS(busyStatus) != 0)
            sceneryStatus = busyStatus;
    }

    std::vector<std::string> simCommand{simulator.string(), "--journal", (demo / "simulator-journal.jsonl").string(),
                                        "--setup-path", (demo / "P3D v5").string()};
    if (const char* extra = std::getenv("CORV_BENCH_SIMULATOR_ARGS")) {
        std::istringstream words(extra);
        for (std::string word; words >> word;)
            simCommand.push_back(word);
    }
    Child sim = lf_start(simCommand, env, demo, demo / "simulator.out", true);
    Child svc = lf_start({service.string(), "--scenario", scenario.string(),
                          "--data", (source / "standins/data").string(), "--site", (demo / "site").string(),
                          "--quit-on-eof", "--epoch",
                          std::to_string(std::time(nullptr) - SCENARIO_START)},
                         env, demo, demo / "service.out", true);
    const auto ready = lf_waitForLine(demo / "simulator.out", "READY");
    const auto port = lf_waitForLine(demo / "service.out", "PORT");
    std::string reply;
    const bool clockSet =
        port && vald::HttpHandle("bench")
                    .post("http://127.0.0.1:" + *port + "/control/clock",
                          "{\"seconds\": " + std::to_string(SCENARIO_START) + ", \"running\": true}", reply)
                    .responseCode == 200;
    if (!WIFEXITED(sceneryStatus) || WEXITSTATUS(sceneryStatus) != 0 || !ready || !clockSet) {
        lf_stop(svc, SIGTERM);
        lf_stop(sim, SIGTERM);
        state.SkipWithError(("the scenery or a stand-in did not start; see " + demo.string()).c_str());
        return;
    }
    env["CORV_API_BASE"] = "http://127.0.0.1:" + *port;
    env["CORV_DOWNLOAD_BASE"] = "http://127.0.0.1:" + *port;

    double cpuTotal = 0, cpuSteady = 0, peakRssMb = 0;
    JournalCount journal(demo / "simulator-journal.jsonl");
    JournalCount ranWith = journal;
    std::vector<HeldCount> window;  // start, middle and end of the measured window
    std::chrono::duration<double> runUp{0};
    int exitStatus = 0;
    for (auto _ : state) {
        Child corv = lf_start({program.string()}, env, demo / "program", demo / "program.out", false);
        auto start = std::chrono::steady_clock::now();
        if (busy) {
            const std::int64_t liveTarget = std::min(live, MAX_LIVE_IN_SIM);
            const std::int64_t staticTarget = std::min(parked, MAX_STATIC_IN_SIM);
            std::int64_t held = -1;
            auto changed = std::chrono::steady_clock::now();
            for (;;) {
                journal.readOn();
                const auto now = std::chrono::steady_clock::now();
                if ((journal.liveNow >= liveTarget && journal.staticNow >= staticTarget) || now > start + RUN_UP_LIMIT)
                    break;
                if (journal.liveNow + journal.staticNow != held) {
                    held = journal.liveNow + journal.staticNow;
                    changed = now;
                } else if (now > changed + RUN_UP_STILL) {
                    break;
                }
                std::this_thread::sleep_for(5s);
            }
            runUp = std::chrono::steady_clock::now() - start;
            // The measured minute starts where the steady part of a plain run starts.
            start = std::chrono::steady_clock::now() - STEADY_FROM;
        }
        std::this_thread::sleep_until(start + STEADY_FROM);
        const double cpuAtSteady = lf_cpuSeconds(corv.pid);
        window.push_back(lf_heldNow(journal, demo / "program/Log.txt"));
        std::this_thread::sleep_until(start + (STEADY_FROM + RUN_TIME) / 2);
        window.push_back(lf_heldNow(journal, demo / "program/Log.txt"));
        std::this_thread::sleep_until(start + RUN_TIME);
        const double cpuAtEnd = lf_cpuSeconds(corv.pid);
        window.push_back(lf_heldNow(journal, demo / "program/Log.txt"));
        // What came and went up to here: on SIGTERM the program removes all it made.
        journal.readOn();
        ranWith = journal;
        // A program that does not end on SIGTERM is killed after a while rather than waited for.
        // Its peak is read as long as it runs, up to its last few milliseconds.
        peakRssMb = lf_peakResidentMb(corv.pid);
        kill(corv.pid, SIGTERM);
        rusage usage{};
        const auto endBy = std::chrono::steady_clock::now() + END_LIMIT;
        while (wait4(corv.pid, &exitStatus, WNOHANG, &usage) == 0) {
            if (std::chrono::steady_clock::now() > endBy) {
                kill(corv.pid, SIGKILL);
                wait4(corv.pid, &exitStatus, 0, &usage);
                break;
            }
            peakRssMb = std::max(peakRssMb, lf_peakResidentMb(corv.pid));
            std::this_thread::sleep_for(10ms);
        }
        auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
        cpuTotal = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        cpuSteady = cpuAtEnd - cpuAtSteady;
    }
    lf_stop(svc, SIGTERM);
    lf_stop(sim, SIGTERM);

    const double runSeconds = std::chrono::duration<double>(RUN_TIME).count();
    const double steadySeconds = std::chrono::duration<double>(RUN_TIME - STEADY_FROM).count();
    // After a run-up the whole run's share says nothing: the steady part is the figure.
    if (!busy)
        state.counters["cpu_percent_of_core"] = 100.0 * cpuTotal / runSeconds;
    state.counters["steady_cpu_percent_of_core"] = 100.0 * cpuSteady / steadySeconds;
    state.counters["program_vmhwm_mb"] = peakRssMb;
    // What the run did, so that a quiet program cannot pass for a thrifty one.
    state.counters["aircraft_created"] = static_cast<double>(ranWith.createdLive + ranWith.createdStatic);
    lf_reportHeld(state, window, busy);
    if (busy) {
        // What came and went up to the end.
        state.counters["run_up_s"] = runUp.count();
        state.counters["live_created"] = static_cast<double>(ranWith.createdLive);
        state.counters["live_removed"] = static_cast<double>(ranWith.removedLive);
        state.counters["static_created"] = static_cast<double>(ranWith.createdStatic);
        state.counters["static_removed"] = static_cast<double>(ranWith.removedStatic);
        state.counters["refused"] = static_cast<double>(ranWith.refused);
    }
    if (!WIFEXITED(exitStatus) || WEXITSTATUS(exitStatus) != 0)
        state.SkipWithError(("Corv_P3D did not end cleanly on SIGTERM; see " + demo.string()).c_str());
    else if (std::getenv("CORV_BENCH_KEEP") == nullptr)
        fs::remove_all(demo);
}

// Each scenario for this build and, when CORV_BENCH_PROGRAM names another program, for that one
// right after it, so that both meet the machine in the same state.
const bool registered = [] {
    const fs::path build = fs::read_symlink("/proc/self/exe").parent_path();
    const char* other = std::getenv("CORV_BENCH_PROGRAM");
    struct Scenario {
        std::int64_t live, parked;
        Shares shares;
    };
    const Shares hub{"60", "40", "400"};
    for (const Scenario& scenario : {Scenario{0, 0, {}}, Scenario{500, 500, {}}, Scenario{2000, 500, {}},
                                     Scenario{2000, 2000, {}}, Scenario{2000, 500, hub}}) {
        const std::string name = std::string("WholeProgram/") + (scenario.shares.empty() ? "" : "hub/") +
                                 std::to_string(scenario.live) + "/" + std::to_string(scenario.parked);
        std::vector<std::pair<std::string, fs::path>> programs{{name, build / "Corv_P3D"}};
        if (other != nullptr)
            programs.emplace_back(name + "/beside", fs::path(other));
        for (const auto& run : programs) {
            const fs::path program = run.second;
            benchmark::RegisterBenchmark(run.first.c_str(), [scenario, program](benchmark::State& state) {
                BM_WholeProgram(state, scenario.live, scenario.parked, scenario.shares, program);
            })->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
        }
    }
    return true;
}();

}  // namespace
