#pragma once
// The one way the program writes a file. The bytes go to a temporary file beside the target,
// are flushed and synced to the disk, and the temporary file is then renamed over the target:
// a reader, a crash or a full disk sees the old file or the new one, never a part of either.
// A failure leaves the old file as it was, removes the temporary file and is told to the caller.
// A file without write permission (write-protected by its user) is never replaced.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// How far a write is pushed to the disk. A scratch file (one the program makes for the simulator
// and removes at closing, written on the main loop) skips the syncs: after a crash it is made
// anew, and a sync can take longer than a tick. It is still never seen half-written.
enum class WriteDurability { Synced, Scratch };

// Writes bytes as the whole new content of path. On failure answers false and sets error to a
// line for the log or the status line (the path and the system's reason); the old file, if any,
// is untouched. A file that existed keeps its permission bits. A link at path is followed: the file
// it names is replaced and the link stays.
[[nodiscard]] bool gf_writeFileSafely(const std::filesystem::path& path, std::string_view bytes, std::string& error,
                                      WriteDurability durability = WriteDurability::Synced);

// Which file stands at a path: the same identity means nobody replaced or changed it since.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of what stands at path itself (a link is not followed); nothing when nothing does.
[[nodiscard]] std::optional<FileIdentity> gf_fileIdentity(const std::filesystem::path& path);

// The identity of the file lstat or fstat described.
[[nodiscard]] FileIdentity gf_identityOf(const struct stat& info);
// Whether the user made the file that info describes read-only (no write bit, or no write
// permission for this process): theirs to keep as it is, never replaced by the program.
[[nodiscard]] bool gf_isWriteProtected(const std::filesystem::path& file, const struct stat& info);

// A write for a caller that shares the target's folder with the user: it never follows a link at
// the target, and it replaces only what mayReplace allows, asked just before the new file takes
// the target's place with the identity of what stands there then (nothing: the target is free).
// A new file never replaces one that appears after that question.
struct GuardedWrite {
    WriteDurability durability = WriteDurability::Synced;
    std::function<bool(const std::optional<FileIdentity>& current)> mayReplace;
};
enum class [[nodiscard]] WriteOutcome {
    written,
    refused,  // the target is a link, write-protected, or not what mayReplace allows: left as it is
    failed,   // the system refused (a full disk, a read-only folder, ...): the old file is untouched
};
// error tells the reason of anything but written.
[[nodiscard]] WriteOutcome gf_writeFileGuarded(const std::filesystem::path& path, std::string_view bytes,
                                               const GuardedWrite& rules, std::string& error);

// Copies from as the whole new content of to, in pieces, through the same temporary file and
// rename (a copy aside that fails leaves no half copy). False with error set on any failure,
// a missing from included.
[[nodiscard]] bool gf_copyFileSafely(const std::filesystem::path& from, const std::filesystem::path& to,
                                     std::string& error, WriteDurability durability = WriteDurability::Synced);

// Creates a new temporary file of the writer's own beside target (in the same folder, named as the
// writer names its own), for bytes that arrive in pieces, such as a download: the caller fills it
// through descriptor (open for writing), closes it, and puts it in target's place with
// gf_placeFinishedFile or removes it. It is made new under a name of its own, so that nothing that
// stands beside target (a file, a link, a link to nowhere, another run's temporary file) is ever
// opened, followed or truncated; one that a run leaves behind goes with gf_removeLeftoverTempFiles.
// False with error set when it could not be made (a missing or read-only folder).
[[nodiscard]] bool gf_createTempFileBeside(const std::filesystem::path& target, std::filesystem::path& temporary,
                                           int& descriptor, std::string& error);

// Puts a file built whole beside target (in the same folder) in target's place: synced, renamed
// over it, and the folder synced, so that a crash leaves the old file or the new one. Refuses, as
// the writer does, to replace a link, a write-protected file or anything but a regular file. False
// with error set when it did not place the file; built is then left where it is.
[[nodiscard]] bool gf_placeFinishedFile(const std::filesystem::path& built, const std::filesystem::path& target,
                                        std::string& error);

// Appends bytes to path (made when missing; never through a link) and syncs them to the disk
// before it answers: a record that must be on the disk before what it records is made. False
// with error set when the bytes may not have reached the disk whole.
[[nodiscard]] bool gf_appendDurably(const std::filesystem::path& path, std::string_view bytes, std::string& error);

// Pushes every write already made on the file system that holds folder to the disk (one sync for
// many scratch writes, where a sync per file would cost more than the writing). False with error
// set when the sync failed: what was written may not survive a crash.
[[nodiscard]] bool gf_syncFileSystemOf(const std::filesystem::path& folder, std::string& error);

// Whether name (a file name, no folder) is a temporary file of the writer above.
bool gf_isSafeWriteTempName(std::string_view name);

// At start: removes the writer's temporary files that an earlier run left in folder (not its
// subfolders) when it ended during a write. Files of this process are kept (a write may be under
// way on another thread), but for those older than the process: an earlier process with the same
// id left them. Answers how many were removed; failures are logged.
std::size_t gf_removeLeftoverTempFiles(const std::filesystem::path& folder);
