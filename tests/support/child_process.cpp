#include "tests/support/child_process.hpp"

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <cerrno>
#include <sstream>

extern char** environ;

namespace corv_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// How long a child may take to end after SIGTERM before it is killed.
constexpr auto TERM_LIMIT = 10s;

std::vector<std::string> lf_environment(const std::map<std::string, std::optional<std::string>>& changes)
{
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : changes) {
        if (value)
            merged[name] = *value;
        else
            merged.erase(name);
    }
    std::vector<std::string> result;
    for (const auto& [name, value] : merged)
        result.push_back(name + "=" + value);
    return result;
}

std::string lf_readIfThere(const fs::path& path)
{
    std::error_code error;
    if (!fs::exists(path, error))
        return {};
    return readFile(path);
}

}  // namespace

ChildProcess::ChildProcess(ChildOptions options) : options_(std::move(options))
{
    if (options_.outputFile.empty() || options_.errorFile.empty()) {
        ownFolder_ = std::make_unique<TempDir>();
        if (options_.outputFile.empty())
            options_.outputFile = ownFolder_->path() / "stdout.txt";
        if (options_.errorFile.empty())
            options_.errorFile = ownFolder_->path() / "stderr.txt";
    }
    // A write to a child that has gone must fail, not end the test program.
    std::signal(SIGPIPE, SIG_IGN);

    int inputPipe[2];
    if (pipe2(inputPipe, O_CLOEXEC) != 0)
        return;
    std::vector<std::string> envText = lf_environment(options_.environment);
    std::vector<char*> envp;
    for (std::string& text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::string program = options_.program.string();
    std::vector<std::string> arguments = options_.arguments;
    std::vector<char*> argv{program.data()};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputPipe[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, options_.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, options_.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!options_.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options_.workingFolder.c_str());
    // The child gets the usual handling of SIGPIPE back, and no signal blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const int failed = posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(inputPipe[0]);
    if (failed != 0) {
        pid_ = -1;
        close(inputPipe[1]);
        return;
    }
    input_ = inputPipe[1];
}

ChildProcess::~ChildProcess()
{
    closeInput();
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGTERM);
        if (!waitForExit(std::chrono::duration_cast<std::chrono::milliseconds>(TERM_LIMIT))) {
            kill(pid_, SIGKILL);
            reap(true);
        }
    }
}

bool ChildProcess::writeLine(const std::string& text)
{
    if (input_ < 0)
        return false;
    const std::string line = text + "\n";
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = write(input_, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

void ChildProcess::closeInput()
{
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
}

std::string ChildProcess::output() const { return lf_readIfThere(options_.outputFile); }
std::string ChildProcess::errorOutput() const { return lf_readIfThere(options_.errorFile); }

std::vector<std::string> ChildProcess::outputLines() const
{
    std::vector<std::string> result;
    std::istringstream lines(output());
    std::string line;
    // Only whole lines count: the last one may still be being written.
    while (std::getline(lines, line) && !lines.eof())
        result.push_back(line);
    return result;
}

std::optional<std::string> ChildProcess::waitForLine(const std::string& prefix, std::chrono::milliseconds limit) const
{
    std::optional<std::string> found;
    waitUntil(
        [&] {
            for (const std::string& line : outputLines()) {
                if (line.rfind(prefix, 0) == 0) {
                    found = line;
                    return true;
                }
            }
            return false;
        },
        limit);
    return found;
}

std::optional<std::string> ChildProcess::waitForLineWhileRunning(const std::string& prefix,
                                                                  std::chrono::milliseconds limit)
{
    std::optional<std::string> found;
    waitUntil(
        [&] {
            found = waitForLine(prefix, 0ms);
            return found || !running();
        },
        limit);
    // The line may have come just before the child ended.
    return found ? found : waitForLine(prefix, 0ms);
}

void ChildProcess::signal(int number) const
{
    if (pid_ > 0 && !status_)
        kill(pid_, number);
}

std::optional<int> ChildProcess::reap(bool block)
{
    if (!status_ && pid_ > 0) {
        int status = 0;
        pid_t done = 0;
        do
            done = waitpid(pid_, &status, block ? 0 : WNOHANG);
        while (done < 0 && errno == EINTR);
        if (done == pid_)
            status_ = status;
    }
    if (!status_)
        return std::nullopt;
    return WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -WTERMSIG(*status_);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds limit)
{
    std::optional<int> code;
    waitUntil([&] { return (code = reap(false)).has_value(); }, limit);
    return code;
}

bool ChildProcess::running() { return pid_ > 0 && !reap(false); }

}  // namespace corv_test
