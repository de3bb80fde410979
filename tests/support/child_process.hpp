#pragma once
// A program started by a test as a child process: its own arguments, environment additions and
// working folder, a pipe on its standard input, and its standard output and error in files that
// the test reads while it runs. The destructor ends a child that is still running: SIGTERM, a
// bounded wait, then SIGKILL.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace corv_test {

struct ChildOptions {
    std::filesystem::path program;
    std::vector<std::string> arguments;
    // Set on top of this process's environment; nullopt removes the variable.
    std::map<std::string, std::optional<std::string>> environment;
    // Empty: this process's current folder.
    std::filesystem::path workingFolder;
    // Where standard output and error go; empty: files in a temporary folder of the child's own.
    std::filesystem::path outputFile;
    std::filesystem::path errorFile;
};

class ChildProcess {
public:
    // Starts the program; started() tells whether that worked.
    explicit ChildProcess(ChildOptions options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Writes text and a line end to the child's standard input; false when it cannot be written
    // (the child has closed its input or ended).
    bool writeLine(const std::string& text);
    // The child reads the end of its input.
    void closeInput();

    std::string output() const;
    std::string errorOutput() const;
    // The whole lines of the standard output so far (the last one may still be being written).
    std::vector<std::string> outputLines() const;
    // The first whole line of the standard output that starts with prefix, once there (checked
    // every 10 ms up to limit); nullopt when none came in time.
    std::optional<std::string> waitForLine(const std::string& prefix, std::chrono::milliseconds limit) const;
    // The same, but gives up as soon as the child has ended without that line.
    std::optional<std::string> waitForLineWhileRunning(const std::string& prefix, std::chrono::milliseconds limit);

    void signal(int number) const;
    // The exit code once the child has ended by itself (checked every 10 ms up to limit); a child
    // ended by a signal gives minus the signal number; nullopt while it still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    bool running();

private:
    std::optional<int> reap(bool block);

    ChildOptions options_;
    std::unique_ptr<TempDir> ownFolder_;
    pid_t pid_ = -1;
    int input_ = -1;
    std::optional<int> status_;
};

// Polls condition every 10 ms until it holds or limit has passed; whether it held.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace corv_test
