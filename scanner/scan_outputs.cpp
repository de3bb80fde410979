#include "scanner/scan_outputs.hpp"

#include <sys/stat.h>

#include <mutex>
#include <optional>
#include <set>
#include <system_error>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/text.hpp"
#include "scanner/airports_scan_log.hpp"

namespace fs = std::filesystem;

namespace {

// A list longer than this is no list of ours: it is not followed.
constexpr std::uintmax_t MAX_LIST_BYTES = 16U * 1024U * 1024U;

std::mutex listMutex;
std::set<std::string, std::less<>> earlierOutputs;   // guarded by listMutex
std::set<std::string, std::less<>> currentOutputs;   // guarded by listMutex
// While a record of the user's files is in force, a file in the output folders that it does not
// name is the scan's (an interrupted scan created it). Guarded by listMutex.
std::optional<std::set<std::string, std::less<>>> keptFiles;

std::string lf_key(const fs::path& path) { return gf_pathToUtf8(path.lexically_normal()); }

// Only a file directly in one of the two output folders may be removed by the list.
bool lf_inOutputFolder(const fs::path& path)
{
    const fs::path folder = path.lexically_normal().parent_path();
    return !path.filename().empty() &&
           (folder == MY_ORBX_FOLDER.lexically_normal() || folder == MY_THIRDPARTY_FOLDER.lexically_normal());
}

// The lines of a list file of ours; anything but ok leaves lines empty and sets error.
FileRead lf_readListFile(const fs::path& path, std::vector<std::string>& lines, std::string& error)
{
    std::string bytes;
    const FileRead read = gf_readFileLimited(path, MAX_LIST_BYTES, bytes, error);
    if (read == FileRead::ok)
        gf_splitLines(bytes, lines);
    return read;
}

std::vector<std::string> lf_readList()
{
    std::vector<std::string> lines;
    std::string error;
    const FileRead read = lf_readListFile(SCAN_GENERATED_LIST_PATH, lines, error);
    if (read != FileRead::ok && read != FileRead::missing)
        gf_logWarn(error + ": no earlier scan output is removed");
    return lines;
}

// The files directly in the two output folders (no folders, no temporary files of a write under
// way); nothing when a folder cannot be read whole, since a partial picture would leave a user's
// file out of the record.
std::optional<std::vector<std::string>> lf_outputFolderFiles()
{
    std::vector<std::string> keys;
    for (const fs::path& folder : {MY_ORBX_FOLDER, MY_THIRDPARTY_FOLDER}) {
        std::error_code error;
        if (!fs::exists(folder, error) && !error)
            continue;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            const bool isFolder = it->is_directory(error);
            if (!error && !isFolder && !gf_isSafeWriteTempName(gf_pathToUtf8(it->path().filename())))
                keys.push_back(lf_key(it->path()));
        }
        if (error) {
            gf_logWarn(vald::format("{} cannot be read: {}", gf_pathToUtf8(folder), error.message()));
            return std::nullopt;
        }
    }
    return keys;
}

// The user's files by the record an interrupted scan left, else by a new record of the files now
// in the output folders that the earlier scan did not list. Nothing when there is no record to go
// by: then only listed files may be written over.
std::optional<std::set<std::string, std::less<>>> lf_takeKeptRecord(const std::set<std::string, std::less<>>& listed)
{
    const std::string recordName = gf_pathToUtf8(SCAN_KEPT_LIST_PATH);
    std::set<std::string, std::less<>> kept;
    std::vector<std::string> lines;
    std::string error;
    const FileRead read = lf_readListFile(SCAN_KEPT_LIST_PATH, lines, error);
    if (read == FileRead::ok) {
        // Left by an interrupted scan: rebuilt now, it would count that scan's files as the user's.
        for (const std::string& line : lines) {
            const fs::path path = gf_pathFromUtf8(line);
            if (!lf_inOutputFolder(path)) {
                gf_logWarn(vald::format("{} names a file outside the output folders and is not followed", recordName));
                return std::nullopt;
            }
            kept.insert(lf_key(path));
        }
        return kept;
    }
    if (read != FileRead::missing) {
        gf_logWarn(error + ": not followed, the files an interrupted scan made are kept as they are");
        return std::nullopt;
    }
    const std::optional<std::vector<std::string>> present = lf_outputFolderFiles();
    if (!present)
        return std::nullopt;
    for (const std::string& key : *present)
        if (listed.count(key) == 0)
            kept.insert(key);
    std::error_code folderError;
    fs::create_directories(SCAN_KEPT_LIST_PATH.parent_path(), folderError);
    if (!gf_writeLines(std::vector<std::string>(kept.begin(), kept.end()), SCAN_KEPT_LIST_PATH)) {
        gf_logWarn(vald::format("{} could not be written: after a power loss during this scan, its new files would "
                                "be kept as the user's",
                                recordName));
        return std::nullopt;
    }
    return kept;
}

}  // namespace

void gf_startScanOutputs()
{
    std::set<std::string, std::less<>> listed;
    for (const std::string& line : lf_readList()) {
        const fs::path path = gf_pathFromUtf8(line);
        if (!line.empty() && lf_inOutputFolder(path))
            listed.insert(lf_key(path));
    }
    std::optional<std::set<std::string, std::less<>>> kept = lf_takeKeptRecord(listed);
    std::lock_guard<std::mutex> lock(listMutex);
    earlierOutputs = std::move(listed);
    currentOutputs.clear();
    keptFiles = std::move(kept);
}

void gf_finishScanOutputs()
{
    {
        std::lock_guard<std::mutex> lock(listMutex);
        keptFiles.reset();
    }
    std::error_code error;
    fs::remove(SCAN_KEPT_LIST_PATH, error);
    if (error)
        gf_logWarn(vald::format("{} could not be removed: {}", gf_pathToUtf8(SCAN_KEPT_LIST_PATH), error.message()));
}

void gf_removeStaleScanOutputs()
{
    bool recorded = false;
    {
        std::lock_guard<std::mutex> lock(listMutex);
        recorded = keptFiles.has_value();
    }
    const std::optional<std::vector<std::string>> present =
        recorded ? lf_outputFolderFiles() : std::optional<std::vector<std::string>>{};
    std::set<std::string, std::less<>> stale;
    {
        std::lock_guard<std::mutex> lock(listMutex);
        for (const std::string& key : earlierOutputs)
            if (currentOutputs.count(key) == 0)
                stale.insert(key);
        // Created by an interrupted scan and not written again: perhaps torn, and no longer wanted.
        for (const std::string& key : present.value_or(std::vector<std::string>{}))
            if (keptFiles && keptFiles->count(key) == 0 && currentOutputs.count(key) == 0)
                stale.insert(key);
    }
    std::set<std::string, std::less<>> kept;
    for (const std::string& key : stale) {
        std::error_code error;
        fs::remove(gf_pathFromUtf8(key), error);
        if (error) {
            gf_log(vald::format("problems with removing previous files (maybe still open?): {}: {}", key,
                                error.message()));
            kept.insert(key);  // still the scan's: it may be written over
        }
    }
    std::lock_guard<std::mutex> lock(listMutex);
    earlierOutputs = std::move(kept);
}

bool gf_mayWriteScanOutput(const fs::path& path)
{
    const std::string key = lf_key(path);
    {
        std::lock_guard<std::mutex> lock(listMutex);
        if (currentOutputs.count(key) != 0 || earlierOutputs.count(key) != 0)
            return true;
        // Not the user's when the scan began: an interrupted scan created it.
        if (keptFiles && keptFiles->count(key) == 0 && lf_inOutputFolder(path))
            return true;
    }
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error)))
        return true;
    gf_addToAirportsScanLog(vald::format("{}{} is not a file of the scan: kept as it is", "===> ", key));
    return false;
}

void gf_noteScanOutput(const fs::path& path)
{
    std::lock_guard<std::mutex> lock(listMutex);
    currentOutputs.insert(lf_key(path));
}

std::vector<std::string> gf_generatedThirdpartyNames()
{
    std::vector<std::string> names;
    const std::string folder = lf_key(MY_THIRDPARTY_FOLDER);
    std::lock_guard<std::mutex> lock(listMutex);
    for (const std::string& key : currentOutputs) {
        const fs::path path = gf_pathFromUtf8(key);
        if (lf_key(path.parent_path()) == folder && path.extension() == ".xml" && path.stem().native().size() == 4)
            names.push_back(gf_pathToUtf8(path.stem()));
    }
    return names;
}

bool gf_syncScanOutputs()
{
    // One sync per file system: the output folders usually share one.
    std::set<dev_t> synced;
    bool ok = true;
    for (const fs::path& folder : {MY_ORBX_FOLDER, MY_THIRDPARTY_FOLDER, TBLO_FOLDER_PATH}) {
        struct stat info {};
        // What is not there, or is no folder, holds nothing of this scan.
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !synced.insert(info.st_dev).second)
            continue;
        std::string error;
        if (!gf_syncFileSystemOf(folder, error)) {
            gf_logWarn(error);
            ok = false;
        }
    }
    return ok;
}

bool gf_saveScanOutputList()
{
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> lock(listMutex);
        lines.assign(currentOutputs.begin(), currentOutputs.end());
        // A file of the earlier scan that could not be removed is still the scan's.
        for (const std::string& key : earlierOutputs)
            if (currentOutputs.count(key) == 0)
                lines.push_back(key);
    }
    std::error_code error;
    fs::create_directories(SCAN_GENERATED_LIST_PATH.parent_path(), error);
    return gf_writeLines(lines, SCAN_GENERATED_LIST_PATH);
}
