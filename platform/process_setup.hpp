#pragma once
// What the process settles once, at its start, before any thread exists; and files that
// programs started by us must not inherit.
#include <fstream>

namespace vald {

// libcurl's global set-up (not thread-safe, so done here and never implicitly by a first handle
// on some worker thread) and SIGPIPE ignored, so that a peer that closes a socket gives a write
// error instead of ending the process. False when libcurl could not be set up.
[[nodiscard]] bool gf_prepareProcess();

// Marks the open file of stream close-on-exec: a program we start (the file browser, the
// installer) does not keep it open. False when that cannot be done.
[[nodiscard]] bool gf_keepFromChildren(std::filebuf& stream);

}  // namespace vald
