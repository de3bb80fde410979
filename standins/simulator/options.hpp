#pragma once
// Command line of standin_simulator (see README.md in this folder).
#include "standins/simulator/server.hpp"
#include "standins/simulator/simulator.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace standin_sim {

struct Options {
    bool help = false;
    int majorVersion = 5;
    SimulatorConfig simulator;
    ServerOptions server;
    std::optional<std::filesystem::path> journal;
    std::optional<double> startUtcSeconds;     // default: the system clock at start
    std::optional<std::string> setupPath;      // published as the installation's SetupPath
};

// Throws std::runtime_error with a message for the user on a bad command line.
Options parseOptions(const std::vector<std::string>& arguments);
const char* usageText();

}  // namespace standin_sim
