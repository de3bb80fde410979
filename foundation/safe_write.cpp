#include "foundation/safe_write.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

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

std::uint64_t lf_nextTempNumber()
{
    static std::atomic<std::uint64_t> counter{0};
    return counter.fetch_add(1);
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

bool gf_writeFileSafely(const fs::path& path, std::string_view bytes, std::string& error, WriteDurability durability)
{
    const bool synced = durability == WriteDurability::Synced;
    error.clear();
    if (path.filename().empty()) {
        error = vald::format("could not write {}: no file name", gf_pathToUtf8(path));
        return false;
    }
    // A link is followed: the file it names is replaced, the link stays a link.
    fs::path target = path;
    std::error_code linkError;
    if (fs::is_symlink(path, linkError)) {
        target = fs::weakly_canonical(path, linkError);
        if (linkError) {
            error = vald::format("could not write {}: {}", gf_pathToUtf8(path), linkError.message());
            return false;
        }
    }
    // The new file keeps the old one's permission bits; a new one gets the usual 0666 & ~umask.
    // Only a regular file is replaced: a device or a folder of that name is never renamed over.
    mode_t mode = 0666;
    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode)) {
        error = vald::format("could not write {}: not a regular file", gf_pathToUtf8(path));
        return false;
    }
    if (hadOld)
        mode = old.st_mode & 07777;
    fs::path temporary = target;
    temporary += vald::format("{}{}-{}", kTempMarker, static_cast<long>(::getpid()), lf_nextTempNumber());

    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (descriptor < 0) {
        error = vald::format("could not write {}: {}", gf_pathToUtf8(path), lf_systemReason(errno));
        return false;
    }
    int failure = lf_writeAll(descriptor, bytes);
    if (failure == 0 && hadOld)
        static_cast<void>(::fchmod(descriptor, mode));  // undo the umask; the content matters more
    if (failure == 0 && synced && ::fsync(descriptor) != 0)
        failure = errno;
    if (::close(descriptor) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && ::rename(temporary.c_str(), target.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        error = vald::format("could not write {}: {}", gf_pathToUtf8(path), lf_systemReason(failure));
        return false;
    }
    if (synced)
        lf_syncFolder(target.parent_path());
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
        if (owner < 0 || owner == self)
            continue;
        std::error_code kind;
        if (!entry.is_regular_file(kind))
            continue;
        std::error_code failed;
        if (fs::remove(entry.path(), failed))
            ++removed;
        else if (failed)
            gf_logWarn(vald::format("could not remove the temporary file {}: {}", gf_pathToUtf8(entry.path()),
                                    failed.message()));
    }
    return removed;
}
