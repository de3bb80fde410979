#include "scanner/tblo_archive.hpp"

#include <algorithm>
#include <deque>
#include <fstream>
#include <iterator>
#include <sstream>

#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/text.hpp"
#include "liveries/scan_pool.hpp"
#include "liveries/scan_workers.hpp"
#include "platform/control_model.hpp"
#include "foundation/status_display.hpp"
#include "platform/zip_archive.hpp"
#include "refdata/airports.hpp"

namespace fs = std::filesystem;

std::atomic<std::uint64_t> tbloFileCount{0};

namespace {

void lf_setTbloCount(std::uint64_t count)
{
    tbloFileCount.store(count);
    vald::gf_updateDisplay([count](vald::StatusDisplayValues& values) { values.tbloFileCount = count; },
                           vald::COUNTS_BAND);
}

// Copies one generated file; drops it from my_thirdparty when a link to the archive stands beside it.
void lf_copyToTblo(const std::string& name)
{
    const fs::path source = MY_THIRDPARTY_FOLDER / gf_pathFromUtf8(name + ".xml");
    const fs::path target = TBLO_FOLDER_PATH / gf_pathFromUtf8(name + ".xml");
    std::error_code error;
    const std::optional<std::string> bytes = lf_readFileBytes(source, MAX_PARK_FILE_BYTES);
    std::string failure = "cannot be read";
    if (!bytes || !gf_writeFileSafely(target, *bytes, failure, WriteDurability::Scratch)) {
        gf_logWarn(vald::format("'{}' failed to copy '{}': {}", gf_pathToUtf8(source), gf_pathToUtf8(target), failure));
        return;
    }
    gf_log(vald::format("{} copied to {}", name, gf_pathToUtf8(target)));
    const fs::path link = MY_THIRDPARTY_FOLDER / gf_pathFromUtf8(name + ".txt");
    const fs::file_status status = fs::status(link, error);
    if (error && error != std::errc::no_such_file_or_directory) {
        gf_logWarn(vald::format("exists({}) failed: {}", gf_pathToUtf8(link), error.message()));
        return;
    }
    if (fs::exists(status) && !fs::remove(source, error) && error)
        gf_logWarn(vald::format("remove({}) failed: {}", gf_pathToUtf8(source), error.message()));
}

// The copies of the known airports' files, each a task on the scan pool: they touch one file each.
void lf_copyOnPool(const std::vector<std::string>& names)
{
    ScanPool pool;
    std::deque<ScanPool::Ticket> pending;
    const auto collectOldest = [&pool, &pending] {
        std::string failure;
        if (pool.wait(pending.front(), failure) == ScanPool::Outcome::failed)
            gf_logWarn(vald::format("a copy to {} failed: {}", gf_pathToUtf8(TBLO_FOLDER_PATH), failure));
        pending.pop_front();
    };
    try {
        for (const std::string& name : names) {
            if (!gf_isKnownAirport(name))
                continue;
            ScanPool::Ticket ticket = pool.submit([name] { lf_copyToTblo(name); });
            if (!ticket)
                break;  // stopping: the scan runs again at the next start
            pending.push_back(std::move(ticket));
            if (pending.size() > static_cast<std::size_t>(std::max(1, scanWorkerLimit.load())))
                collectOldest();
        }
    } catch (const ScanPoolStalled& e) {
        gf_logWarn(vald::format("copies to {} aborted: {}", gf_pathToUtf8(TBLO_FOLDER_PATH), e.what()));
    }
    while (!pending.empty())
        collectOldest();
    pool.finish();
}

}  // namespace

std::optional<std::string> lf_readFileBytes(const fs::path& path, std::size_t maxBytes)
{
    std::string bytes;
    std::string error;
    if (gf_readFileLimited(path, maxBytes, bytes, error) != FileRead::ok) {
        gf_logWarn(error);
        return std::nullopt;
    }
    return bytes;
}

bool lf_zipClose(vald::ZipArchive& archive, const fs::path& zipPath, std::size_t added)
{
    // The archive is built beside the zip and reaches it through the one writer.
    const fs::path building = archive.path();
    const bool closed = archive.close();
    std::error_code error;
    if (building != zipPath) {
        const std::optional<std::string> zipped = closed ? lf_readFileBytes(building, TBLO_ZIP_MAX_BYTES) : std::nullopt;
        std::string failure;
        if (zipped && !gf_writeFileSafely(zipPath, *zipped, failure, WriteDurability::Scratch))
            gf_logWarn(failure);
        fs::remove(building, error);
    }
    const fs::file_status status = fs::status(zipPath, error);
    const bool exists = fs::exists(status);
    const std::uintmax_t size = fs::file_size(zipPath, error);
    const std::int64_t shownSize = error ? -1 : static_cast<std::int64_t>(size);
    gf_log(vald::format("[zip] Added {} files, ok_close={}, exists={}, size={} bytes", added, closed, exists, shownSize));
    return exists && shownSize > 0;
}

bool lf_zipFolder(const fs::path& zipPath)
{
    std::error_code error;
    if (!fs::is_directory(TBLO_FOLDER_PATH, error)) {
        gf_log(vald::format("[zip] Not a directory: {}", gf_pathToUtf8(TBLO_FOLDER_PATH)));
        return false;
    }
    if (zipPath.has_parent_path())
        fs::create_directories(zipPath.parent_path(), error);
    gf_log(vald::format("[zip] Target file: {}", gf_pathToUtf8(fs::absolute(zipPath, error))));
    gf_log(vald::format("[zip] Source dir : {}", gf_pathToUtf8(fs::absolute(TBLO_FOLDER_PATH, error))));
    if (fs::exists(zipPath, error)) {
        gf_log(vald::format("[zip] Removing old zip {}", gf_pathToUtf8(zipPath)));
        fs::remove(zipPath, error);
    }
    fs::path building = zipPath;
    building += ".building";
    fs::remove(building, error);
    vald::ZipArchive archive(building);
    if (!archive.open(vald::ZipArchive::OpenMode::New)) {
        gf_log("[zip] Could not open archive for writing");
        return false;
    }
    std::size_t added = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(TBLO_FOLDER_PATH)) {
        if (!entry.is_regular_file())
            continue;
        const std::string path = gf_pathToUtf8(entry.path());
        const std::optional<std::string> bytes = lf_readFileBytes(entry.path(), MAX_PARK_FILE_BYTES);
        if (!bytes) {
            gf_log(vald::format("[zip] READ FAIL: {}", path));
            continue;
        }
        const std::string name = gf_pathToUtf8(entry.path().filename());
        gf_log(vald::format("[zip] Adding (data) {} -> {} ({} bytes)", path, name, bytes->size()));
        if (!archive.addData(name, *bytes, vald::ZipArchive::Compression::Fast)) {
            gf_log(vald::format("[zip] ERROR addData({})", name));
            break;
        }
        ++added;
    }
    return lf_zipClose(archive, zipPath, added);
}

void lf_prepareTblo(const std::vector<std::string>& names)
{
    if (names.empty())
        return;
    lf_copyOnPool(names);
    const std::size_t n = gf_countFilesIn(TBLO_FOLDER_PATH);
    if (n == 0) {
        lf_setTbloCount(0);
        gf_log("All your third party airports are recognised, no off line learning needed.");
        return;
    }
    const fs::path zip = TBLO_FOLDER_PATH / TBLO_ZIP;
    if (!lf_zipFolder(zip))
        gf_logWarn("Zippen TBLO folder failed");
    gf_removeXMLFilesFromDirectory();
    lf_setTbloCount(n);
    vald::gf_controls().setEnabled(BUTTON_TBLO.controlId(), true);
    gf_log(vald::format("\n! Mail {} to {}\n", gf_pathToUtf8(zip), TBLO_MAIL_ADDRESS));
}
