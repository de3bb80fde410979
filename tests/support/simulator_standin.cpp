#include "tests/support/simulator_standin.hpp"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <stdexcept>

namespace corv_test {
namespace {

using namespace std::chrono_literals;

// Bounds the wait for the "READY" line of a stand-in that neither starts nor ends.
constexpr auto START_LIMIT = 30s;

ChildOptions lf_simulatorOptions(const SimulatorSetup& setup)
{
    ChildOptions options;
    options.program = binaryDir() / "standins" / "standin_simulator";
    if (!std::filesystem::exists(options.program))
        throw std::runtime_error("build the target standin_simulator first: " + options.program.string());
    if (!setup.journal.empty())
        options.arguments = {"--journal", setup.journal.string()};
    options.arguments.insert(options.arguments.end(), setup.arguments.begin(), setup.arguments.end());
    if (!setup.runtimeFolder.empty())
        options.environment["XDG_RUNTIME_DIR"] = setup.runtimeFolder.string();
    if (!setup.registryFile.empty())
        options.environment["CORV_REGISTRY_FILE"] = setup.registryFile.string();
    options.workingFolder = setup.workingFolder;
    return options;
}

bool lf_isAnswer(const std::string& line)
{
    return line.rfind("OK", 0) == 0 || line.rfind("ERROR", 0) == 0;
}

}  // namespace

SimulatorStandin::SimulatorStandin(SimulatorSetup setup)
    : journal_(setup.journal), child_(lf_simulatorOptions(setup))
{
    if (!child_.started())
        throw std::runtime_error("cannot start standin_simulator");
    // A stand-in that fails ends instead of getting ready.
    if (!child_.waitForLineWhileRunning("READY", START_LIMIT))
        throw std::runtime_error("standin_simulator did not get to READY: " + child_.errorOutput());
    if (const auto line = child_.waitForLine("PORT ", 0ms))
        port_ = line->substr(5);
}

SimulatorStandin::SimulatorStandin(const std::filesystem::path& journal, std::vector<std::string> arguments)
    : SimulatorStandin(SimulatorSetup{journal, std::move(arguments), {}, {}, {}})
{
}

std::string SimulatorStandin::command(const std::string& line, std::chrono::milliseconds limit)
{
    // The stand-in writes only in answer to commands, so the answer is the first one after the
    // lines there are now.
    const std::size_t before = child_.outputLines().size();
    if (!child_.writeLine(line))
        return "ERROR write";
    std::string answer;
    const auto answered = [&] {
        const std::vector<std::string> lines = child_.outputLines();
        for (std::size_t i = before; i < lines.size(); ++i)
            if (lf_isAnswer(lines[i])) {
                answer = lines[i];
                return true;
            }
        return false;
    };
    waitUntil([&] { return answered() || !child_.running(); }, limit);
    if (answer.empty())
        answered();
    return answer;
}

const std::vector<nlohmann::json>& SimulatorStandin::journal() const
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(journal_, error);
    if (error || size < linesEnd_) {
        lines_.clear();
        linesEnd_ = 0;
    }
    if (error || size == linesEnd_)
        return lines_;
    std::ifstream in(journal_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(linesEnd_));
    for (std::string line; std::getline(in, line);) {
        // The last line may still be on its way: read again at the next call.
        if (in.eof())
            break;
        linesEnd_ += line.size() + 1;
        auto parsed = nlohmann::json::parse(line, nullptr, false);
        if (!parsed.is_discarded())
            lines_.push_back(std::move(parsed));
    }
    return lines_;
}

nlohmann::json SimulatorStandin::waitForJournal(const std::function<bool(const nlohmann::json&)>& match,
                                                std::chrono::milliseconds limit) const
{
    nlohmann::json found;
    waitUntil(
        [&] {
            for (const nlohmann::json& line : journal())
                if (match(line)) {
                    found = line;
                    return true;
                }
            return false;
        },
        limit);
    return found;
}

std::vector<nlohmann::json> SimulatorStandin::packets() const
{
    std::vector<nlohmann::json> result;
    for (const nlohmann::json& line : journal())
        if (line.value("kind", "") == "packet")
            result.push_back(line);
    return result;
}

}  // namespace corv_test
