#pragma once
// The one way the program writes a file. The bytes go to a temporary file beside the target,
// are flushed and synced to the disk, and the temporary file is then renamed over the target:
// a reader, a crash or a full disk sees the old file or the new one, never a part of either.
// A failure leaves the old file as it was, removes the temporary file and is told to the caller.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// How far a write is pushed to the disk. A scratch file (one the program makes for the simulator
// and removes at closing, written on the main loop) skips the syncs: after a crash it is made
// anew, and a sync can take longer than a tick. It is still never seen half-written.
enum class WriteDurability { Synced, Scratch };

// Writes bytes as the whole new content of path. On failure answers false and sets error to a
// line for the log or the status line (the path and the system's reason); the old file, if any,
// is untouched. A file that existed keeps its permission bits.
bool gf_writeFileSafely(const std::filesystem::path& path, std::string_view bytes, std::string& error,
                        WriteDurability durability = WriteDurability::Synced);

// Pushes every write already made on the file system that holds folder to the disk (one sync for
// many scratch writes, where a sync per file would cost more than the writing). False with error
// set when the sync failed: what was written may not survive a crash.
bool gf_syncFileSystemOf(const std::filesystem::path& folder, std::string& error);

// Whether name (a file name, no folder) is a temporary file of the writer above.
bool gf_isSafeWriteTempName(std::string_view name);

// At start: removes the writer's temporary files that an earlier run left in folder (not its
// subfolders) when it ended during a write. Files of this process are kept (a write may be under
// way on another thread). Answers how many were removed; failures are logged.
std::size_t gf_removeLeftoverTempFiles(const std::filesystem::path& folder);
