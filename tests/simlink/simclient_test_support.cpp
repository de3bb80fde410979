#include "tests/simlink/simclient_test_support.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "platform/control_model.hpp"
#include "platform/window_display.hpp"
#include "simlink/sim_dispatch.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/simlink_hooks.hpp"
#include "simlink/user_stand.hpp"
#include "simlink/window_hooks.hpp"

extern char** environ;

namespace corv_test {

namespace {

constexpr auto PATIENCE = std::chrono::seconds(10);

}  // namespace

SimulatorProcess::SimulatorProcess(const std::filesystem::path& folder, const std::vector<std::string>& arguments)
    : journalFile_(folder / "journal.jsonl")
{
    const std::filesystem::path program = binaryDir() / "standins" / "standin_simulator";
    if (!std::filesystem::exists(program))
        throw std::runtime_error("build the target standin_simulator first: " + program.string());
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> all{program.string(), "--journal", journalFile_.string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    pid_ = pid;
    control_ = in[1];
    output_ = out[0];
    if (spawned != 0)
        throw std::runtime_error("cannot start standin_simulator");
    for (std::string line = readLine(); line != "READY"; line = readLine())
        if (line.empty())
            throw std::runtime_error("standin_simulator ended before READY");
}

SimulatorProcess::~SimulatorProcess()
{
    ::close(control_);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
        poll(nullptr, 0, 50);
    if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    ::close(output_);
}

std::string SimulatorProcess::command(const std::string& line)
{
    const std::string text = line + "\n";
    if (::write(control_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return "ERROR write";
    for (std::string answer = readLine(); !answer.empty(); answer = readLine())
        if (answer.rfind("OK", 0) == 0 || answer.rfind("ERROR", 0) == 0)
            return answer;
    return std::string();
}

std::string SimulatorProcess::readLine()
{
    std::string line;
    char c = 0;
    pollfd pfd{output_, POLLIN, 0};
    while (::poll(&pfd, 1, 10000) > 0 && ::read(output_, &c, 1) == 1 && c != '\n')
        line += c;
    return line;
}

std::vector<nlohmann::json> SimulatorProcess::journal() const
{
    std::vector<nlohmann::json> lines;
    std::ifstream in(journalFile_);
    for (std::string line; std::getline(in, line);) {
        // The last line may still be on its way.
        auto parsed = nlohmann::json::parse(line, nullptr, false);
        if (!parsed.is_discarded())
            lines.push_back(std::move(parsed));
    }
    return lines;
}

nlohmann::json SimulatorProcess::waitForJournal(const std::function<bool(const nlohmann::json&)>& match) const
{
    nlohmann::json found;
    eventually([&] {
        for (const nlohmann::json& line : journal())
            if (match(line)) {
                found = line;
                return true;
            }
        return false;
    });
    return found;
}

std::vector<nlohmann::json> SimulatorProcess::packets() const
{
    std::vector<nlohmann::json> result;
    for (nlohmann::json& line : journal())
        if (line.value("kind", "") == "packet")
            result.push_back(std::move(line));
    return result;
}

std::function<bool(const nlohmann::json&)> isPacket(const std::string& name)
{
    return [name](const nlohmann::json& line) { return line.value("kind", "") == "packet" && line["packet"] == name; };
}

bool packetHas(const nlohmann::json& line, const std::string& name, const nlohmann::json& fields)
{
    if (line.value("kind", "") != "packet" || line.value("packet", "") != name)
        return false;
    for (const auto& [key, value] : fields.items())
        if (!line.contains(key) || line[key] != value)
            return false;
    return true;
}

std::vector<SimResult> drainResults()
{
    std::vector<SimResult> results;
    gf_drainSimResults([&results](const SimResult& result) { results.push_back(result); });
    return results;
}

bool eventually(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + PATIENCE;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool WindowLines::hasStatus(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(status.begin(), status.end(), text) != status.end();
}

bool WindowLines::hasError(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(errors.begin(), errors.end(), text) != errors.end();
}

SimClientTest::SimClientTest()
{
    resetSimClient();
    gf_setClosingReasonStore(&closingReason);
    // The hooks may outlive the test on a thread that ends late: they hold the lines weakly.
    const auto into = [lines = std::weak_ptr<WindowLines>(window)](std::vector<std::string> WindowLines::*list) {
        return [lines, list](const std::string& text, auto...) {
            if (const auto target = lines.lock()) {
                std::lock_guard<std::mutex> lock(target->mutex);
                ((*target).*list).push_back(text);
            }
        };
    };
    WindowHooks hooks;
    hooks.showStatus = into(&WindowLines::status);
    hooks.showError = into(&WindowLines::errors);
    hooks.clearStatus = [lines = std::weak_ptr<WindowLines>(window)] {
        if (const auto target = lines.lock()) {
            std::lock_guard<std::mutex> lock(target->mutex);
            ++target->clears;
        }
    };
    gf_setWindowHooks(std::move(hooks));
}

SimClientTest::~SimClientTest()
{
    resetSimClient();
    gf_setClosingReasonStore(nullptr);
}

void SimClientTest::resetSimClient()
{
    stopRequested.store(false);
    userClosing.store(false);
    restartDelaySeconds.store(0);
    gf_resetSimClientState();
    gf_resetSimDispatchState();
    gf_clearSimResults();
    gf_resetUserStand();
    simRequestErrorFlag.store(false);
    simMajorVersion.store(5);
    SIM_INSTALL_PATH.setValue("");
    gf_resetWindowHooks();
    gf_resetSimlinkHooks();
    vald::gf_resetDisplayForTest();
    vald::gf_controls().reset();
}

Bytes objectData(std::uint32_t messageId, std::uint32_t requestId, std::uint32_t objectId,
                                const Bytes& data)
{
    ByteWriter body;
    // request, object, define, flags, entry, out of, count: the data starts at byte 40.
    body.u32(requestId).u32(objectId).u32(0).u32(0).u32(1).u32(1).u32(1);
    Bytes bytes = body.bytes();
    bytes.insert(bytes.end(), data.begin(), data.end());
    return simMessage(messageId, bytes);
}

void dispatch(const Bytes& message)
{
    lf_simDispatch(message.data(), static_cast<std::uint32_t>(message.size()), nullptr);
}

}  // namespace corv_test
