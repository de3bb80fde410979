#pragma once
// A park file fetched from the download site beside the worker: the worker starts the fetch,
// looks once a second whether it ended, and takes its outcome, so that a slow or unreachable
// site never holds up a tick. A download site that failed is remembered per airport for a few
// minutes, so that an airport the user waits at is not fetched again every second or two.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

// How long a failed download of an airport's park file is remembered.
inline constexpr std::chrono::minutes FAILED_PARK_DOWNLOAD_MEMORY{5};

// One fetch at a time. Every thread it starts is joined: by take(), cancel() or the destructor.
class ParkDownload {
public:
    ParkDownload() = default;
    ~ParkDownload() { cancel(); }
    ParkDownload(const ParkDownload&) = delete;
    ParkDownload& operator=(const ParkDownload&) = delete;

    // Starts fetching the park file name (a name below the site's P3D folder) into target for the
    // airport icao; false when a fetch is already under way.
    [[nodiscard]] bool start(const std::string& icao, const std::string& name, const std::filesystem::path& target);
    // A fetch was started and its outcome not yet taken.
    bool busy() const { return thread_.joinable(); }
    // The fetch has ended and its outcome waits to be taken.
    bool ended() const { return busy() && ended_.load(std::memory_order_acquire); }
    // The airport of the fetch under way or ended; empty when idle.
    const std::string& icao() const { return icao_; }
    // Once the fetch has ended: its error text (empty on success), the thread joined and the
    // fetcher idle again. Nothing while it runs or when idle.
    [[nodiscard]] std::optional<std::string> take();
    // Abandons a fetch under way and waits for its thread; what it brought is dropped.
    void cancel();

private:
    std::thread thread_;
    std::atomic<bool> ended_{false};
    std::atomic<bool> abort_{false};
    std::string icao_;
    std::filesystem::path target_;
    std::string error_;  // written by the thread before ended_, read after it
};

// The failures of the park airport's park-file downloads, per airport (any thread). The
// closest-stand question remembers its own failures with the stands it learnt.
void gf_rememberFailedParkDownload(const std::string& icao);
// The download of icao failed less than FAILED_PARK_DOWNLOAD_MEMORY ago.
bool gf_parkDownloadFailedRecently(const std::string& icao);
void gf_forgetFailedParkDownloads();
