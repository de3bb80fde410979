#include "parking/park_download.hpp"

#include <map>
#include <mutex>
#include <system_error>

#include "foundation/clock.hpp"
#include "parking/park_file.hpp"

namespace fs = std::filesystem;

namespace {

std::mutex failedMutex;
std::map<std::string, SteadyTime> failedDownloads;  // by airport: when the download failed

}  // namespace

bool ParkDownload::start(const std::string& icao, const std::string& name, const fs::path& target)
{
    if (busy())
        return false;
    icao_ = icao;
    target_ = target;
    error_.clear();
    ended_.store(false);
    abort_.store(false);
    thread_ = std::thread([this, name] {
        std::string error;
        try {
            error = lf_downloadApf(name, target_, &abort_);
        } catch (const std::exception& e) {
            error = e.what();
        }
        error_ = std::move(error);
        ended_.store(true, std::memory_order_release);
    });
    return true;
}

std::optional<std::string> ParkDownload::take()
{
    if (!busy() || !ended_.load(std::memory_order_acquire))
        return std::nullopt;
    thread_.join();
    icao_.clear();
    return std::move(error_);
}

void ParkDownload::cancel()
{
    if (!busy())
        return;
    abort_.store(true);
    thread_.join();
    const bool fetched = error_.empty();
    icao_.clear();
    error_.clear();
    if (fetched) {
        std::error_code ignored;
        fs::remove(target_, ignored);
    }
}

void gf_rememberFailedParkDownload(const std::string& icao)
{
    std::lock_guard<std::mutex> lock(failedMutex);
    failedDownloads[icao] = gf_steadyNow();
}

bool gf_parkDownloadFailedRecently(const std::string& icao)
{
    std::lock_guard<std::mutex> lock(failedMutex);
    const auto failed = failedDownloads.find(icao);
    if (failed == failedDownloads.end())
        return false;
    if (gf_steadyNow() - failed->second < FAILED_PARK_DOWNLOAD_MEMORY)
        return true;
    failedDownloads.erase(failed);
    return false;
}

void gf_forgetFailedParkDownloads()
{
    std::lock_guard<std::mutex> lock(failedMutex);
    failedDownloads.clear();
}
