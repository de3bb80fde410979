#include "refdata/downloads.hpp"

#include <fstream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/program_id.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/text.hpp"
#include "platform/service_endpoints.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "refdata/decrypt.hpp"
#include "refdata/regcodes.hpp"

namespace fs = std::filesystem;

namespace {

std::mutex& lf_limitsMutex()
{
    static std::mutex mutex;
    return mutex;
}

vald::HttpLimits& lf_limits()
{
    static vald::HttpLimits limits;
    return limits;
}

// Where the bytes of a download wait until they are complete and checked.
fs::path lf_partialOf(const fs::path& target)
{
    fs::path partial = target;
    partial += ".part";
    return partial;
}

void lf_removePartial(const fs::path& target)
{
    std::error_code ignored;
    fs::remove(lf_partialOf(target), ignored);
}

// Whether the bytes can be written beside target: the temporary file is created (empty) the way
// the transfer will create it. Nothing is asked of the site when this fails.
bool lf_canWriteBeside(const fs::path& target)
{
    std::ofstream probe(lf_partialOf(target), std::ios::binary | std::ios::app);
    return probe.is_open();
}

// The check of a downloaded data file: the reader that loads it at start-up, by its name.
DownloadCheck lf_dataFileCheck(const fs::path& fileName)
{
    PlainTextFault read;
    if (fileName == DBASE_ENC_NAME)
        read = &gf_dbaseFault;
    else if (fileName == AIRPORTS_ENC_NAME)
        read = &gf_airportsFault;
    else if (fileName == AIG_REGCODES_ENC_NAME)
        read = &gf_aigRegcodesFault;
    else
        read = [](const std::string&) { return std::optional<std::string>("no reader of the program reads it"); };
    return [read](const fs::path& downloaded) { return gf_dataFileFault(downloaded, read); };
}

}  // namespace

DownloadHandle::DownloadHandle()
{
    try {
        http_ = std::make_unique<vald::HttpHandle>("downloader");
    } catch (const std::exception&) {
        http_.reset();  // libcurl could not make a handle: the holder stays empty
        return;
    }
    http_->setUserAgent(DOWNLOAD_USER_AGENT);
    std::lock_guard<std::mutex> lock(lf_limitsMutex());
    http_->setLimits(lf_limits());
}

std::string gf_downloadBase()
{
    std::string base = vald::gf_downloadBaseUrl();
    constexpr std::string_view folder = "/downloads";
    if (base.size() < folder.size() || base.compare(base.size() - folder.size(), folder.size(), folder) != 0)
        base += folder;
    return base + "/";
}

std::uint64_t gf_downloadLimit(DownloadKind kind)
{
    constexpr std::uint64_t MB = 1024u * 1024u;
    switch (kind) {
    case DownloadKind::versions:
        return 1 * MB;
    case DownloadKind::dataFile:
    case DownloadKind::releaseNotes:
        return 32 * MB;
    case DownloadKind::release:
        return 1024 * MB;
    }
    return 1 * MB;
}

bool gf_downloadToFile(DownloadHandle& holder, const std::string& url, const fs::path& target, DownloadKind kind,
                       const DownloadCheck& check)
{
    vald::HttpHandle* http = holder.http();
    if (http == nullptr)
        return false;
    std::string targetText;
    try {
        targetText = gf_pathToUtf8(target);
        if (!lf_canWriteBeside(target)) {
            gf_log(vald::format("Could not open output file: {}", targetText));
            return false;
        }
        const fs::path partial = lf_partialOf(target);
        const vald::HttpOutcome outcome = http->download(url, partial, gf_downloadLimit(kind));
        if (!outcome.ok()) {
            gf_log(vald::format("Download error: '{}' for {}", outcome.errorText, url));
            return false;
        }
        if (const std::optional<std::string> fault = check ? check(partial) : std::nullopt) {
            lf_removePartial(target);
            gf_log(vald::format("{} not replaced by the download of '{}': {}", targetText, url, *fault));
            return false;
        }
        std::string error;
        if (!gf_placeFinishedFile(partial, target, error)) {
            lf_removePartial(target);
            gf_log(vald::format("Download error: '{}' for {}", error, url));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        lf_removePartial(target);
        gf_log(vald::format("Downloader exception: '{}', {} => {}", e.what(), url, targetText));
        return false;
    }
}

bool gf_downloadFromSite(const fs::path& fileName, const fs::path& target)
{
    std::string url;
    try {
        url = vald::format("{}{}/{}", gf_downloadBase(), gf_programVersion().major, gf_pathToUtf8(fileName));
    } catch (const std::exception& e) {
        // No usable site address: reported like a failed download, never thrown.
        gf_log(vald::format("Downloader exception: '{}', {} => {}", e.what(), fileName.string(), target.string()));
        gf_logWarn(vald::format("Downloading '{}' failed !", fileName.string()));
        return false;
    }
    DownloadHandle holder;
    const bool downloaded = gf_downloadToFile(holder, url, target, DownloadKind::dataFile, lf_dataFileCheck(fileName));
    if (downloaded)
        gf_log(vald::format("Downloaded '{}' to '{}'", url, gf_pathToUtf8(target)));
    else
        gf_logWarn(vald::format("Downloading '{}' failed !", url));
    return downloaded;
}

void gf_setDownloadLimitsForTest(const vald::HttpLimits& limits)
{
    std::lock_guard<std::mutex> lock(lf_limitsMutex());
    lf_limits() = limits;
}

void gf_resetDownloadLimitsForTest() { gf_setDownloadLimitsForTest(vald::HttpLimits{}); }
