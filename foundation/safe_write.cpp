#include "foundation/safe_write.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <system_error>
#include <utility>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"

namespace fs = std::filesystem;

namespace {

// "<name>.corvtmp-<pid>-<n>": recognisable at start, unique between threads and processes.
constexpr std::string_view kTempMarker = ".corvtmp-";

std::string lf_systemReason(int number)
{
    return std::error_code(number, std::generic_category()).message();
}

// Writes all of bytes to descriptor; the errno of the first failure, 0 when all went out.
int lf_writeAll(int descriptor, std::string_view bytes)
{
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(descriptor, next, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return EIO;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return 0;
}

// The folder's entry for the renamed file reaches the disk; a failure costs only durability
// (the new content is in place), so it is logged and the write still counts.
void lf_syncFolder(const fs::path& folder)
{
    const fs::path name = folder.empty() ? fs::path(".") : folder;
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    if (::fsync(descriptor) != 0 && errno != EINVAL)
        gf_logWarn(vald::format("could not sync folder {}: {}", gf_pathToUtf8(name), lf_systemReason(errno)));
    ::close(descriptor);
}

// When this process began, as the file system dates files: a temporary file that carries this
// process's id but is older was left by an earlier process that had the same id.
const fs::file_time_type processStart = fs::file_time_type::clock::now();
// Room for the coarse clock the file system dates files with.
constexpr std::chrono::seconds PROCESS_START_MARGIN{1};

std::uint64_t lf_nextTempNumber()
{
    static std::atomic<std::uint64_t> counter{0};
    return counter.fetch_add(1);
}

// Creates the writer's own temporary file beside target: a name no other write uses, made new, so
// that nothing standing at any name (a file, a link, a link to nowhere) is opened or followed.
// The descriptor, open for writing; -1 with errno set when it could not be made.
// A name of this process is taken only when an earlier process with the same id left it (the
// numbers restart with each process): the next number is tried, so that a leftover of a killed run
// never blocks a write nor is taken for one.
int lf_createTemp(const fs::path& target, mode_t mode, fs::path& temporary)
{
    constexpr int TAKEN_NAMES_TRIED = 64;
    int descriptor = -1;
    for (int tried = 0; tried < TAKEN_NAMES_TRIED; ++tried) {
        temporary = target;
        temporary += vald::format("{}{}-{}", kTempMarker, static_cast<long>(::getpid()), lf_nextTempNumber());
        descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (descriptor >= 0 || errno != EEXIST)
            break;
    }
    return descriptor;
}

// The process id written into a temporary name, or -1 when name is not one.
long lf_tempOwner(std::string_view name)
{
    const std::size_t marker = name.rfind(kTempMarker);
    if (marker == std::string_view::npos || marker == 0)
        return -1;
    std::string_view rest = name.substr(marker + kTempMarker.size());
    const std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == rest.size() || dash > 9)
        return -1;
    long owner = 0;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (i == dash)
            continue;
        if (rest[i] < '0' || rest[i] > '9')
            return -1;
        if (i < dash)
            owner = owner * 10 + (rest[i] - '0');
    }
    return owner;
}

}  // namespace

bool gf_isSafeWriteTempName(std::string_view name)
{
    return lf_tempOwner(name) >= 0;
}

bool gf_isWriteProtected(const fs::path& file, const struct stat& info)
{
    if ((info.st_mode & 0222) == 0)
        return true;
    return ::access(file.c_str(), W_OK) != 0 && errno == EACCES;
}

FileIdentity gf_identityOf(const struct stat& info)
{
    return FileIdentity{info.st_dev, info.st_ino, static_cast<std::uintmax_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

namespace {

// Fills the temporary file; the errno of the first failure, 0 when all went in.
using Fill = std::function<int(int descriptor)>;

// Renames from to to only where no name stands at to; EEXIST when one does.
int lf_renameNoReplace(const fs::path& from, const fs::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // A file system without it: a hard link is made only where no name stands.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST || (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP))
        return errno;
    // Neither: the last look and the rename follow each other as closely as they can.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

using MayReplace = std::function<bool(const std::optional<FileIdentity>&)>;

// The one write: fill makes the new content in a temporary file beside the target, which then
// takes the target's place. Without mayReplace a link at path is followed; with it, nothing but
// what it allows is replaced.
WriteOutcome lf_write(const fs::path& path, const Fill& fill, WriteDurability durability, const MayReplace* mayReplace,
                      std::string& error)
{
    const bool synced = durability == WriteDurability::Synced;
    const bool guarded = mayReplace != nullptr;
    error.clear();
    const std::string shown = gf_pathToUtf8(path);
    if (path.filename().empty()) {
        error = vald::format("could not write {}: no file name", shown);
        return WriteOutcome::failed;
    }
    fs::path target = path;
    struct stat linkInfo {};
    if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        if (guarded) {
            error = vald::format("{} is a link: left as it is", shown);
            return WriteOutcome::refused;
        }
        std::error_code linkError;
        target = fs::weakly_canonical(path, linkError);
        if (linkError) {
            error = vald::format("could not write {}: {}", shown, linkError.message());
            return WriteOutcome::failed;
        }
    }
    // The new file keeps the old one's permission bits; a new one gets the usual 0666 & ~umask.
    // Only a regular file is replaced: a device or a folder of that name is never renamed over.
    mode_t mode = 0666;
    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode)) {
        error = vald::format("could not write {}: not a regular file", shown);
        return guarded ? WriteOutcome::refused : WriteOutcome::failed;
    }
    if (hadOld && gf_isWriteProtected(target, old)) {
        error = vald::format("{} is write-protected: not replaced", shown);
        return WriteOutcome::refused;
    }
    if (hadOld)
        mode = old.st_mode & 07777;
    fs::path temporary;
    const int descriptor = lf_createTemp(target, mode, temporary);
    if (descriptor < 0) {
        error = vald::format("could not write {}: {}", shown, lf_systemReason(errno));
        return WriteOutcome::failed;
    }
    int failure = fill(descriptor);
    if (failure == 0 && hadOld)
        static_cast<void>(::fchmod(descriptor, mode));  // undo the umask; the content matters more
    if (failure == 0 && synced && ::fsync(descriptor) != 0)
        failure = errno;
    if (::close(descriptor) != 0 && failure == 0)
        failure = errno;
    bool refused = false;
    if (failure == 0 && guarded) {
        // The last look: what stands there now, if anything, must still be what the caller allows.
        const std::optional<FileIdentity> current = gf_fileIdentity(target);
        if (!(*mayReplace)(current))
            refused = true;
        else if (!current && (failure = lf_renameNoReplace(temporary, target)) == EEXIST)
            refused = true;
        else if (current && ::rename(temporary.c_str(), target.c_str()) != 0)
            failure = errno;
        if (refused) {
            failure = 0;
            ::unlink(temporary.c_str());
            error = vald::format("{} was changed meanwhile: left as it is", shown);
            return WriteOutcome::refused;
        }
    } else if (failure == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temporary.c_str());
        error = vald::format("could not write {}: {}", shown, lf_systemReason(failure));
        return WriteOutcome::failed;
    }
    if (synced)
        lf_syncFolder(target.parent_path());
    return WriteOutcome::written;
}

Fill lf_fillWith(std::string_view bytes)
{
    return [bytes](int descriptor) { return lf_writeAll(descriptor, bytes); };
}

}  // namespace

bool gf_writeFileSafely(const fs::path& path, std::string_view bytes, std::string& error, WriteDurability durability)
{
    return lf_write(path, lf_fillWith(bytes), durability, nullptr, error) == WriteOutcome::written;
}

std::optional<FileIdentity> gf_fileIdentity(const fs::path& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return std::nullopt;
    return gf_identityOf(info);
}

WriteOutcome gf_writeFileGuarded(const fs::path& path, std::string_view bytes, const GuardedWrite& rules,
                                 std::string& error)
{
    const MayReplace any = [](const std::optional<FileIdentity>&) { return true; };
    return lf_write(path, lf_fillWith(bytes), rules.durability, rules.mayReplace ? &rules.mayReplace : &any, error);
}

bool gf_copyFileSafely(const fs::path& from, const fs::path& to, std::string& error, WriteDurability durability)
{
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        error = vald::format("could not copy {} to {}: {}", gf_pathToUtf8(from), gf_pathToUtf8(to),
                             lf_systemReason(errno));
        return false;
    }
    const Fill copy = [source](int descriptor) {
        char piece[64 * 1024];
        while (true) {
            const ssize_t got = ::read(source, piece, sizeof piece);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return errno;
            if (got == 0)
                return 0;
            if (const int failure = lf_writeAll(descriptor, std::string_view(piece, static_cast<std::size_t>(got))))
                return failure;
        }
    };
    const bool copied = lf_write(to, copy, durability, nullptr, error) == WriteOutcome::written;
    ::close(source);
    return copied;
}

bool gf_createTempFileBeside(const fs::path& target, fs::path& temporary, int& descriptor, std::string& error)
{
    error.clear();
    fs::path made;
    descriptor = lf_createTemp(target, 0666, made);
    if (descriptor < 0) {
        error = vald::format("could not write {}: {}", gf_pathToUtf8(target), lf_systemReason(errno));
        return false;
    }
    temporary = std::move(made);
    return true;
}

bool gf_placeFinishedFile(const fs::path& built, const fs::path& target, std::string& error)
{
    error.clear();
    const std::string shown = gf_pathToUtf8(target);
    if (built.parent_path() != target.parent_path()) {
        error = vald::format("could not place {}: {} lies in another folder", shown, gf_pathToUtf8(built));
        return false;
    }
    struct stat old {};
    const bool hadOld = ::lstat(target.c_str(), &old) == 0;
    if (hadOld && S_ISLNK(old.st_mode)) {
        error = vald::format("{} is a link: left as it is", shown);
        return false;
    }
    if (hadOld && !S_ISREG(old.st_mode)) {
        error = vald::format("could not place {}: not a regular file", shown);
        return false;
    }
    if (hadOld && gf_isWriteProtected(target, old)) {
        error = vald::format("{} is write-protected: not replaced", shown);
        return false;
    }
    const int descriptor = ::open(built.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    int failure = descriptor < 0 ? errno : 0;
    if (failure == 0 && hadOld)
        static_cast<void>(::fchmod(descriptor, old.st_mode & 07777));  // as the writer: the old file's mode stays
    if (failure == 0 && ::fsync(descriptor) != 0)
        failure = errno;
    if (descriptor >= 0)
        ::close(descriptor);
    if (failure == 0 && ::rename(built.c_str(), target.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        error = vald::format("could not place {}: {}", shown, lf_systemReason(failure));
        return false;
    }
    lf_syncFolder(target.parent_path());
    return true;
}

bool gf_appendDurably(const fs::path& path, std::string_view bytes, std::string& error)
{
    error.clear();
    struct stat info {};
    const bool existed = ::lstat(path.c_str(), &info) == 0;
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (descriptor < 0) {
        error = vald::format("could not write {}: {}", gf_pathToUtf8(path), lf_systemReason(errno));
        return false;
    }
    int failure = lf_writeAll(descriptor, bytes);
    if (failure == 0 && ::fdatasync(descriptor) != 0)
        failure = errno;
    if (::close(descriptor) != 0 && failure == 0)
        failure = errno;
    if (failure != 0) {
        error = vald::format("could not write {}: {}", gf_pathToUtf8(path), lf_systemReason(failure));
        return false;
    }
    if (!existed)
        lf_syncFolder(path.parent_path());  // the new file's name reaches the disk too
    return true;
}

bool gf_syncFileSystemOf(const fs::path& folder, std::string& error)
{
    error.clear();
    const fs::path name = folder.empty() ? fs::path(".") : folder;
    const int descriptor = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        error = vald::format("could not sync {}: {}", gf_pathToUtf8(name), lf_systemReason(errno));
        return false;
    }
    const int failure = ::syncfs(descriptor) == 0 ? 0 : errno;
    ::close(descriptor);
    if (failure != 0)
        error = vald::format("could not sync {}: {}", gf_pathToUtf8(name), lf_systemReason(failure));
    return failure == 0;
}

std::size_t gf_removeLeftoverTempFiles(const fs::path& folder)
{
    const long self = static_cast<long>(::getpid());
    std::size_t removed = 0;
    std::error_code code;
    fs::directory_iterator entries(folder, code);
    if (code)
        return 0;  // a folder that is not there holds nothing to remove
    for (; entries != fs::directory_iterator(); entries.increment(code)) {
        if (code)
            break;
        const fs::directory_entry& entry = *entries;
        const std::string name = gf_pathToUtf8(entry.path().filename());
        const long owner = lf_tempOwner(name);
        if (owner < 0)
            continue;
        std::error_code kind;
        if (!entry.is_regular_file(kind))
            continue;
        if (owner == self) {
            const fs::file_time_type written = entry.last_write_time(kind);
            if (kind || written >= processStart - PROCESS_START_MARGIN)
                continue;  // possibly a write of this process, under way on another thread
        }
        std::error_code failed;
        if (fs::remove(entry.path(), failed))
            ++removed;
        else if (failed)
            gf_logWarn(vald::format("could not remove the temporary file {}: {}", gf_pathToUtf8(entry.path()),
                                    failed.message()));
    }
    return removed;
}
