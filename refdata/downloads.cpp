#include "refdata/downloads.hpp"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
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

// The temporary file of one download, made new beside the target under a name of its own:
// removed when the download ends in any way but with the file in the target's place.
class DownloadFile {
public:
    DownloadFile() = default;
    ~DownloadFile()
    {
        static_cast<void>(close());
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    [[nodiscard]] bool create(const fs::path& target, std::string& error)
    {
        return gf_createTempFileBeside(target, path_, descriptor_, error);
    }
    int descriptor() const { return descriptor_; }
    const fs::path& path() const { return path_; }
    // The errno of a failed close; 0 when the bytes were handed over whole.
    [[nodiscard]] int close()
    {
        if (descriptor_ < 0)
            return 0;
        const int failure = ::close(descriptor_) == 0 ? 0 : errno;
        descriptor_ = -1;
        return failure;
    }
    // It took the target's place: nothing is left to remove.
    void placed() { path_.clear(); }

private:
    fs::path path_;
    int descriptor_ = -1;
};

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
    // A close or a stop of the run ends every download within about a second, however slowly the
    // site sends: the old file stays and the run goes on closing.
    http_->setAbortCheck([this] {
        const std::atomic<bool>* flag = abortFlag_.load();
        return gf_stopPending() || (flag != nullptr && flag->load());
    });
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
        // The bytes go to a temporary file made new beside the target: nothing that stands there
        // already (a user's file or link of any name) is opened. Making it is also the test that
        // the target can be written: the site is not asked when it fails.
        DownloadFile file;
        std::string error;
        if (!file.create(target, error)) {
            gf_log(vald::format("Could not open output file: {}", targetText));
            return false;
        }
        const vald::HttpOutcome outcome = http->download(url, file.descriptor(), gf_downloadLimit(kind));
        const int closeFailure = file.close();
        std::string failure = outcome.ok() ? std::string() : outcome.errorText;
        if (failure.empty() && closeFailure != 0)
            failure = "cannot write the downloaded file: " +
                      std::error_code(closeFailure, std::generic_category()).message();
        if (!failure.empty()) {
            gf_log(vald::format("Download error: '{}' for {}", failure, url));
            return false;
        }
        if (const std::optional<std::string> fault = check ? check(file.path()) : std::nullopt) {
            gf_log(vald::format("{} not replaced by the download of '{}': {}", targetText, url, *fault));
            return false;
        }
        if (!gf_placeFinishedFile(file.path(), target, error)) {
            gf_log(vald::format("Download error: '{}' for {}", error, url));
            return false;
        }
        file.placed();
        return true;
    } catch (const std::exception& e) {
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
