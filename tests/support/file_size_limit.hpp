#pragma once
// A full disk, played by the file size limit: action runs in a forked child in which no file can
// grow past limitBytes (RLIMIT_FSIZE), with SIGXFSZ ignored so that a write past the limit fails
// with EFBIG as it would on a full disk instead of ending the process.
#include <cstdint>
#include <functional>

namespace corv_test {

// The child's exit code: action's answer (0..255); -1 when the child could not be started or
// did not end normally.
int runWithFileSizeLimit(std::uint64_t limitBytes, const std::function<int()>& action);

}  // namespace corv_test
