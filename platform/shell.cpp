#include "platform/shell.hpp"

#include "platform/window.hpp"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vald {

namespace {

// How long xdg-open may take before a target it still shows counts as accepted.
constexpr int ACCEPT_WAIT_STEPS = 60;
constexpr long ACCEPT_WAIT_STEP_NS = 50'000'000;

std::optional<std::string> lf_findInPath(const char* program)
{
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return std::nullopt;
    std::string folders(path);
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

// In the intermediate child: only async-signal-safe calls from here on.
[[noreturn]] void lf_runAndReport(char** argv, int reportFd)
{
    char accepted = 0;
    const pid_t opener = fork();
    if (opener == 0) {
        gf_unblockCloseSignalsInChild();
        execve(argv[0], argv, environ);
        _exit(127);
    }
    if (opener > 0) {
        accepted = 1;  // still running at the end of the wait: it is showing the target
        for (int step = 0; step < ACCEPT_WAIT_STEPS; ++step) {
            int status = 0;
            const pid_t done = waitpid(opener, &status, WNOHANG);
            if (done == opener) {
                accepted = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
                break;
            }
            const timespec pause{0, ACCEPT_WAIT_STEP_NS};
            nanosleep(&pause, nullptr);
        }
    }
    (void)!write(reportFd, &accepted, 1);
    _exit(0);
}

}  // namespace

bool gf_shellOpen(const std::filesystem::path& target)
{
    std::optional<std::string> opener = lf_findInPath("xdg-open");
    if (!opener)
        return false;
    std::string argument = target.string();
    char* argv[] = {opener->data(), argument.data(), nullptr};
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return false;
    // Two generations of children: the opener may outlive the wait, and is then left to init
    // instead of becoming our zombie.
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        lf_runAndReport(argv, report[1]);
    }
    close(report[1]);
    char accepted = 0;
    ssize_t count = 0;
    if (child > 0) {
        do {
            count = read(report[0], &accepted, 1);
        } while (count < 0 && errno == EINTR);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    close(report[0]);
    return child > 0 && count == 1 && accepted == 1;
}

}  // namespace vald
