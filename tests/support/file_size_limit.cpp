#include "tests/support/file_size_limit.hpp"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace corv_test {

int runWithFileSizeLimit(std::uint64_t limitBytes, const std::function<int()>& action)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(250);
        int answer = 251;
        try {
            answer = action();
        } catch (...) {
            answer = 252;
        }
        ::_exit(answer & 0xFF);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace corv_test
