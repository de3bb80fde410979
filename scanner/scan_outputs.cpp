#include "scanner/scan_outputs.hpp"

#include <sys/stat.h>

#include <mutex>
#include <set>
#include <system_error>

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

std::string lf_key(const fs::path& path) { return gf_pathToUtf8(path.lexically_normal()); }

// Only a file directly in one of the two output folders may be removed by the list.
bool lf_inOutputFolder(const fs::path& path)
{
    const fs::path folder = path.lexically_normal().parent_path();
    return !path.filename().empty() &&
           (folder == MY_ORBX_FOLDER.lexically_normal() || folder == MY_THIRDPARTY_FOLDER.lexically_normal());
}

std::vector<std::string> lf_readList()
{
    std::vector<std::string> lines;
    std::error_code error;
    const std::uintmax_t bytes = fs::file_size(SCAN_GENERATED_LIST_PATH, error);
    if (error)
        return lines;
    if (bytes > MAX_LIST_BYTES) {
        gf_logWarn(vald::format("{} is larger than {} bytes and is not followed: no earlier scan output is removed",
                                gf_pathToUtf8(SCAN_GENERATED_LIST_PATH), MAX_LIST_BYTES));
        return lines;
    }
    TextFile file{SCAN_GENERATED_LIST_PATH, {}};
    return gf_readFileLines(file, 0);
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
    std::lock_guard<std::mutex> lock(listMutex);
    earlierOutputs = std::move(listed);
    currentOutputs.clear();
}

void gf_removeStaleScanOutputs()
{
    std::set<std::string, std::less<>> stale;
    {
        std::lock_guard<std::mutex> lock(listMutex);
        for (const std::string& key : earlierOutputs)
            if (currentOutputs.count(key) == 0)
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
