#pragma once
// The simulator stand-in (standin_simulator) as a child process for one test: started with its
// journal, optionally its own runtime folder and registry file, ready once it printed "READY";
// control commands on its standard input, each answered by an "OK <command>" (or "ERROR ...")
// line; its journal read as it grows. Ended with the test.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/child_process.hpp"

namespace corv_test {

struct SimulatorSetup {
    // Where the stand-in writes its journal; empty: no journal.
    std::filesystem::path journal;
    std::vector<std::string> arguments;
    // XDG_RUNTIME_DIR and CORV_REGISTRY_FILE of the stand-in; empty: this process's own.
    std::filesystem::path runtimeFolder;
    std::filesystem::path registryFile;
    // Empty: this process's current folder.
    std::filesystem::path workingFolder;
};

class SimulatorStandin {
public:
    // Throws when the stand-in does not get to "READY".
    explicit SimulatorStandin(SimulatorSetup setup);
    // With the journal (empty: none) and the arguments, in this process's folders.
    explicit SimulatorStandin(const std::filesystem::path& journal, std::vector<std::string> arguments = {});
    SimulatorStandin(const SimulatorStandin&) = delete;
    SimulatorStandin& operator=(const SimulatorStandin&) = delete;

    // The port of its "PORT <n>" line (IPv4 transport); empty without one.
    const std::string& port() const { return port_; }
    const std::filesystem::path& journalFile() const { return journal_; }

    // Sends a control command and waits for its answer line ("OK ..." or "ERROR ..."); empty when
    // none came within limit.
    std::string command(const std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(30));

    // Every whole journal line so far. Read on from where the last call stopped: the journal grows
    // with every frame, and tests poll it often (a journal written anew is read from its start).
    const std::vector<nlohmann::json>& journal() const;
    // Waits until some journal line satisfies match (at most limit); that line, or null.
    nlohmann::json waitForJournal(const std::function<bool(const nlohmann::json&)>& match,
                                  std::chrono::milliseconds limit = std::chrono::seconds(30)) const;
    // The packet lines of the journal (kind "packet"), in order.
    std::vector<nlohmann::json> packets() const;

    ChildProcess& process() { return child_; }

private:
    std::filesystem::path journal_;
    ChildProcess child_;
    std::string port_;
    mutable std::vector<nlohmann::json> lines_;
    mutable std::uintmax_t linesEnd_ = 0;  // bytes of the journal read into lines_
};

}  // namespace corv_test
