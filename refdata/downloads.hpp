#pragma once
// Fetching files from the maker's download site: versions.json, program releases, release notes,
// the encrypted data files and airport park-position files. Every fetch writes the body of a URL
// into a local file through gf_downloadToFile.
//
// A download never destroys the file it replaces: the bytes go to a temporary file beside the
// target, which takes the target's place through the program's writer (synced, then renamed) only
// after a complete transfer answered with HTTP status 200 and, for an encrypted data file, after
// it proved usable. The temporary file is made new under a name of its own: nothing that stands
// beside the target (a user's file, a link, a file of an older version) is opened or truncated,
// and one that a killed run leaves is removed at the next start with the writer's own. Every
// transfer has a connect time-out and a low-speed limit, so a stalled site cannot hang the
// start-up, and ends within about a second of a close. No failure throws out of here: it is logged
// and answered with false.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/http.hpp"

// The user agent of every download.
inline constexpr const char* DOWNLOAD_USER_AGENT = "Corv";

// One libcurl handle for downloads, used by one thread at a time; empty when libcurl could not
// make one. Each download makes its own. A transfer on it is abandoned within about a second once
// the run is asked to end (gf_stopPending) or the caller's own flag is set.
class DownloadHandle {
public:
    DownloadHandle();
    DownloadHandle(const DownloadHandle&) = delete;
    DownloadHandle& operator=(const DownloadHandle&) = delete;
    bool empty() const { return !http_; }
    vald::HttpHandle* http() { return http_.get(); }
    // While *flag is true a transfer is abandoned too; nullptr ends that. The flag must outlive
    // the transfers.
    void setAbortFlag(const std::atomic<bool>* flag) { abortFlag_.store(flag); }

private:
    std::unique_ptr<vald::HttpHandle> http_;
    std::atomic<const std::atomic<bool>*> abortFlag_{nullptr};
};

// The site's folder /downloads/ with its final slash, e.g. "https://host/downloads/". The host is
// the download base of the platform layer (CORV_DOWNLOAD_BASE moves it); a base that already
// ends in /downloads is taken as it is. Throws std::invalid_argument for a base that may not be
// used (plain http to a host that is not a loopback address).
std::string gf_downloadBase();

// What a download brings; each kind has its own size limit (gf_downloadLimit).
enum class DownloadKind { versions, dataFile, releaseNotes, release };

// The most bytes a download of the kind may bring, counted after decoding: beyond it the transfer
// is abandoned and the old file kept.
std::uint64_t gf_downloadLimit(DownloadKind kind);

// Why the downloaded bytes (in a temporary file, given) may not replace the target; nothing
// when they may.
using DownloadCheck = std::function<std::optional<std::string>(const std::filesystem::path& downloaded)>;

// True when the whole body of url is in target. Logs "Could not open output file: {}" when the
// target cannot be written (the site is then not asked), "Download error: '{}' for {}" for a
// failed transfer (network, time-out, HTTP status >= 400, write error, a body beyond the kind's
// limit) or a target the writer may not replace, "{} not replaced by the download of '{}': {}"
// (target, url, reason) for a body that check refuses, and "Downloader exception: '{}', {} => {}"
// for an exception; an empty handle gives false without a line. The bytes are stored as received;
// after any failure the target is as it was.
[[nodiscard]] bool gf_downloadToFile(DownloadHandle& holder, const std::string& url,
                                     const std::filesystem::path& target, DownloadKind kind,
                                     const DownloadCheck& check = {});

// Downloads the encrypted data file fileName of the program's major version
// ("<base><major>/<fileName>") to target with its own handle; it replaces target only when it
// decrypts and the reader that loads that file at start-up reads it without a fault (the document's
// root and at least one record included: gf_dbaseFault, gf_airportsFault, gf_aigRegcodesFault by
// fileName; a name no reader reads is refused). Logs "Downloaded '{}' to '{}'" or, as a warning, "Downloading '{}'
// failed !".
[[nodiscard]] bool gf_downloadFromSite(const std::filesystem::path& fileName, const std::filesystem::path& target);

// Test only: the time-outs of the handles made from now on (the defaults of vald::HttpLimits
// until then), and back to those defaults.
void gf_setDownloadLimitsForTest(const vald::HttpLimits& limits);
void gf_resetDownloadLimitsForTest();
