#include "platform/single_instance.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/known_folders.hpp"

namespace vald {

std::string SingleInstance::lockFileName(std::string_view mutexName) { return gf_runtimeFileName(mutexName, ".lock"); }

SingleInstance::SingleInstance(std::string_view mutexName)
{
    if (const auto folder = gf_runtimeFolder()) {
        lockFile_ = *folder / lockFileName(mutexName);
        lf_acquire();
    }
}

SingleInstance::SingleInstance(std::string_view mutexName, const std::filesystem::path& folder)
    : lockFile_(folder / lockFileName(mutexName))
{
    lf_acquire();
}

void SingleInstance::lf_acquire()
{
    // Close-on-exec: a program we start (a file browser) must not keep our lock alive.
    fd_ = open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        state_ = State::Unavailable;
        return;
    }
    int result = 0;
    do {
        result = flock(fd_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        state_ = State::Acquired;
        return;
    }
    state_ = errno == EWOULDBLOCK ? State::AlreadyRunning : State::Unavailable;
    close(fd_);
    fd_ = -1;
}

SingleInstance::~SingleInstance()
{
    // The file stays: removing it could let a third process lock a new file while a second one
    // still holds the old one.
    if (fd_ >= 0)
        close(fd_);
}

}  // namespace vald
