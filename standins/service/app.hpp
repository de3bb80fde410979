#pragma once
// Command line of standin_service and its main routine.
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace service_standin {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Options {
    std::filesystem::path scenario;
    std::filesystem::path siteDir;   // empty = a temporary folder, removed at the end
    std::filesystem::path dataDir;   // empty = the scenario file's folder
    std::optional<std::string> keyHex;
    std::optional<std::int64_t> epoch;
    bool frozen = false;
    bool quitOnEof = false;
};

// Throws UsageError.
Options parseOptions(const std::vector<std::string>& args);

[[nodiscard]] int runServiceMain(int argc, char** argv);

}  // namespace service_standin
