#include "scanner/tblo_archive.hpp"

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

// Reads one generated file for the archive. One with a link to the archive beside it is named
// in linked: it leaves my_thirdparty once the archive holds it. Nothing when it cannot be read.
std::optional<TbloEntry> lf_takeForTblo(const std::string& name, const fs::path& zipPath, std::vector<fs::path>& linked)
{
    const fs::path source = MY_THIRDPARTY_FOLDER / gf_pathFromUtf8(name + ".xml");
    std::optional<std::string> bytes = lf_readFileBytes(source, MAX_PARK_FILE_BYTES);
    if (!bytes) {
        gf_logWarn(vald::format("'{}' failed to copy into '{}': cannot be read", gf_pathToUtf8(source),
                                gf_pathToUtf8(zipPath)));
        return std::nullopt;
    }
    gf_log(vald::format("{} copied to {}", name, gf_pathToUtf8(zipPath)));
    std::error_code error;
    const fs::path link = MY_THIRDPARTY_FOLDER / gf_pathFromUtf8(name + ".txt");
    const fs::file_status status = fs::status(link, error);
    if (error && error != std::errc::no_such_file_or_directory)
        gf_logWarn(vald::format("exists({}) failed: {}", gf_pathToUtf8(link), error.message()));
    else if (fs::exists(status))
        linked.push_back(source);
    return TbloEntry{name + ".xml", std::move(*bytes)};
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

bool lf_zipEntries(const fs::path& zipPath, const std::vector<TbloEntry>& entries)
{
    std::error_code error;
    if (zipPath.has_parent_path())
        fs::create_directories(zipPath.parent_path(), error);
    gf_log(vald::format("[zip] Target file: {}", gf_pathToUtf8(fs::absolute(zipPath, error))));
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
    for (const TbloEntry& entry : entries) {
        gf_log(vald::format("[zip] Adding (data) {} ({} bytes)", entry.name, entry.bytes.size()));
        if (!archive.addData(entry.name, entry.bytes, vald::ZipArchive::Compression::Fast)) {
            gf_log(vald::format("[zip] ERROR addData({})", entry.name));
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
    // The generated files go from my_thirdparty straight into the archive, without copies in
    // tblo that would only be packed and removed again.
    const fs::path zip = TBLO_FOLDER_PATH / TBLO_ZIP;
    std::vector<TbloEntry> entries;
    std::vector<fs::path> linked;
    for (const std::string& name : names)
        if (gf_isKnownAirport(name))
            if (std::optional<TbloEntry> entry = lf_takeForTblo(name, zip, linked))
                entries.push_back(std::move(*entry));
    const std::size_t n = entries.size() + gf_countFilesIn(TBLO_FOLDER_PATH);
    if (n == 0) {
        lf_setTbloCount(0);
        gf_log("All your third party airports are recognised, no off line learning needed.");
        return;
    }
    // A linked file leaves my_thirdparty only when the archive holds it.
    if (lf_zipEntries(zip, entries)) {
        for (const fs::path& source : linked) {
            std::error_code error;
            if (!fs::remove(source, error) && error)
                gf_logWarn(vald::format("remove({}) failed: {}", gf_pathToUtf8(source), error.message()));
        }
    } else {
        gf_logWarn("Zippen TBLO folder failed");
    }
    entries.clear();
    gf_removeXMLFilesFromDirectory();
    lf_setTbloCount(n);
    vald::gf_controls().setEnabled(BUTTON_TBLO.controlId(), true);
    gf_log(vald::format("\n! Mail {} to {}\n", gf_pathToUtf8(zip), TBLO_MAIL_ADDRESS));
}
