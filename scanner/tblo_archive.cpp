#include "scanner/tblo_archive.hpp"

#include <algorithm>

#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/text.hpp"
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

// Copies one generated file into tblo. One with a link to the archive beside it is named in
// linked: it leaves my_thirdparty once an archive that holds it has taken the old one's place.
void lf_copyToTblo(const std::string& name, std::vector<fs::path>& linked)
{
    const fs::path source = MY_THIRDPARTY_FOLDER / gf_pathFromUtf8(name + ".xml");
    const fs::path target = TBLO_FOLDER_PATH / gf_pathFromUtf8(name + ".xml");
    std::string failure;
    if (!gf_copyFileSafely(source, target, failure, WriteDurability::Scratch)) {
        gf_logWarn(vald::format("'{}' failed to copy '{}': {}", gf_pathToUtf8(source), gf_pathToUtf8(target), failure));
        return;
    }
    gf_log(vald::format("{} copied to {}", name, gf_pathToUtf8(target)));
    std::error_code error;
    const fs::path link = MY_THIRDPARTY_FOLDER / gf_pathFromUtf8(name + ".txt");
    const fs::file_status status = fs::status(link, error);
    if (error && error != std::errc::no_such_file_or_directory)
        gf_logWarn(vald::format("exists({}) failed: {}", gf_pathToUtf8(link), error.message()));
    else if (fs::exists(status))
        linked.push_back(source);
}

// The archive is built under this name beside the zip.
fs::path lf_buildingPath(const fs::path& zipPath)
{
    fs::path building = zipPath;
    building += ".building";
    return building;
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

bool lf_zipClose(vald::ZipArchive& archive, const fs::path& zipPath, std::size_t added, bool whole)
{
    // The new archive takes the old one's place only when it is whole: a full disk, or an entry
    // that could not be added, leaves the old one.
    const fs::path building = archive.path();
    bool closed = false;
    if (whole)
        closed = archive.close();
    else
        archive.discard();
    std::error_code error;
    bool placed = building == zipPath && closed;
    if (building != zipPath && closed) {
        if (fs::exists(zipPath, error))
            gf_log(vald::format("[zip] Removing old zip {}", gf_pathToUtf8(zipPath)));
        std::string failure;
        placed = gf_placeFinishedFile(building, zipPath, failure);
        if (!placed)
            gf_logWarn(failure);
    }
    if (building != zipPath)
        fs::remove(building, error);
    const fs::file_status status = fs::status(zipPath, error);
    const bool exists = fs::exists(status);
    const std::uintmax_t size = fs::file_size(zipPath, error);
    const std::int64_t shownSize = error ? -1 : static_cast<std::int64_t>(size);
    gf_log(vald::format("[zip] Added {} files, ok_close={}, exists={}, size={} bytes", added, closed, exists, shownSize));
    return placed && exists && shownSize > 0;
}

bool lf_zipFolder(const fs::path& zipPath, std::vector<std::string>* packed)
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
    const fs::path building = lf_buildingPath(zipPath);
    fs::remove(building, error);
    vald::ZipArchive archive(building);
    if (!archive.open(vald::ZipArchive::OpenMode::New)) {
        gf_log("[zip] Could not open archive for writing");
        return false;
    }
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(TBLO_FOLDER_PATH)) {
        // The old zip and the new one are no part of it.
        if (!entry.is_regular_file() || entry.path() == zipPath || entry.path() == building)
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
            return lf_zipClose(archive, zipPath, names.size(), false);
        }
        names.push_back(name);
    }
    const bool placed = lf_zipClose(archive, zipPath, names.size());
    if (placed && packed != nullptr)
        *packed = std::move(names);
    return placed;
}

void lf_prepareTblo(const std::vector<std::string>& names)
{
    if (names.empty())
        return;
    std::vector<fs::path> linked;
    for (const std::string& name : names)
        if (gf_isKnownAirport(name))
            lf_copyToTblo(name, linked);
    // The copies: the archive of an earlier scan, kept until it is replaced, is none of them.
    const fs::path zip = TBLO_FOLDER_PATH / TBLO_ZIP;
    std::error_code error;
    const std::size_t n = gf_countFilesIn(TBLO_FOLDER_PATH) - (fs::is_regular_file(zip, error) ? 1 : 0);
    if (n == 0) {
        lf_setTbloCount(0);
        gf_log("All your third party airports are recognised, no off line learning needed.");
        return;
    }
    // A linked file leaves my_thirdparty only when the archive placed holds it (not one whose copy
    // could not be read).
    std::vector<std::string> packed;
    if (lf_zipFolder(zip, &packed)) {
        for (const fs::path& source : linked) {
            std::error_code error;
            if (std::find(packed.begin(), packed.end(), gf_pathToUtf8(source.filename())) == packed.end())
                continue;
            if (!fs::remove(source, error) && error)
                gf_logWarn(vald::format("remove({}) failed: {}", gf_pathToUtf8(source), error.message()));
        }
    } else {
        gf_logWarn("Zippen TBLO folder failed");
    }
    gf_removeXMLFilesFromDirectory();
    lf_setTbloCount(n);
    vald::gf_controls().setEnabled(BUTTON_TBLO.controlId(), true);
    gf_log(vald::format("\n! Mail {} to {}\n", gf_pathToUtf8(zip), TBLO_MAIL_ADDRESS));
}
