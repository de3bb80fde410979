#pragma once
// Opening a folder or a document in the desktop's own application, through xdg-open.
#include <filesystem>

namespace vald {

// True when xdg-open is on the PATH and took the request (it ended with status 0, or it is
// still busy showing the target after a few seconds). No xdg-open, a failure to start it or a
// non-zero status is an ordinary refusal: false.
[[nodiscard]] bool gf_shellOpen(const std::filesystem::path& target);

}  // namespace vald
