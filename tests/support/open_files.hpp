#pragma once
// The descriptors this process holds open on a file, and whether one is closed on exec.
#include <fcntl.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace corv_test {

inline std::vector<int> openDescriptorsOf(const std::filesystem::path& file)
{
    std::vector<int> found;
    std::error_code error;
    const std::filesystem::path wanted = std::filesystem::canonical(file, error);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), linkError);
        if (!linkError && target == wanted)
            found.push_back(std::stoi(entry.path().filename().string()));
    }
    return found;
}

inline bool closedOnExec(int descriptor)
{
    const int flags = fcntl(descriptor, F_GETFD);
    return flags >= 0 && (flags & FD_CLOEXEC) != 0;
}

}  // namespace corv_test
