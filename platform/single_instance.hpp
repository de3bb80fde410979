#pragma once
// One running program per user session: an exclusive, non-blocking lock on a file in the
// runtime folder, named after the program's mutex name. The lock is held for the life of the
// object (the process) and goes away with the process, also after a crash.
#include <filesystem>
#include <string>
#include <string_view>

namespace vald {

class SingleInstance {
public:
    enum class State {
        Acquired,        // this process is the only one
        AlreadyRunning,  // another process holds the lock
        Unavailable,     // no runtime folder, or the lock file cannot be opened
    };

    // The lock file in the runtime folder ($XDG_RUNTIME_DIR, else the temporary folder).
    explicit SingleInstance(std::string_view mutexName);
    SingleInstance(std::string_view mutexName, const std::filesystem::path& folder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    State state() const { return state_; }
    const std::filesystem::path& lockFile() const { return lockFile_; }

    // The file name for a mutex name: characters other than letters, digits, '.', '-' and '_'
    // become '_', and ".lock" is appended ("Local\$Corv_P3D$" -> "Local__Corv_P3D_.lock").
    static std::string lockFileName(std::string_view mutexName);

private:
    void lf_acquire();

    std::filesystem::path lockFile_;
    int fd_ = -1;
    State state_ = State::Unavailable;
};

}  // namespace vald
