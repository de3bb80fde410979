#pragma once
// Shared pieces of the traffic tests: a live-traffic array, the log of the test, hooks that
// record what the traffic client hands the layers above (called on the test's own thread), and a
// recorder of the program's sleeps.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/clock.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "tests/support/log_lines.hpp"
#include "tests/support/temp_dir.hpp"
#include "traffic/traffic_hooks.hpp"

namespace corv_test {

using Stops = std::vector<std::pair<std::uint32_t, std::int32_t>>;
// The stop the run was asked for (closing reason and restart delay); empty while none is pending.
inline Stops pendingStop()
{
    if (!stopRequested.load())
        return {};
    return {{closingReason.load(), restartDelaySeconds.load()}};
}

// A valid airborne target near (52.3, 4.76): A320 PH-BXA KLM1234, adsb_icao, 10000 ft, 48 elements.
inline nlohmann::json liveArray()
{
    nlohmann::json a = nlohmann::json::parse(R"(["484506", 52.31, 4.76, 90.0, 10000, 250.0, null, null, "A320",
        "PH-BXA", 1700000000.5, "EHAM", "LFPG", "KLM1234", null, -500, null, "adsb_icao", null, null, 280, null,
        null, 0, null, 91.5, null, null, "A3"])");
    while (a.size() < 48)
        a.push_back(nullptr);
    return a;
}

// The test's own working folder with Log.txt open in it.
class TrafficLog {
public:
    TrafficLog() : dir_(true) { gf_openLog(); }
    ~TrafficLog() { gf_closeLogForTest(); }

    const TempDir& dir() const { return dir_; }
    // The lines written so far, after the header line; the log stays open.
    std::vector<std::string> lines() const
    {
        {
            std::lock_guard<std::mutex> lock(gf_logMutex());
            gf_logStream().flush();
        }
        return logLinesAfterHeader(dir_ / "Log.txt");
    }

private:
    TempDir dir_;
};

struct RecordingHooks {
    RecordingHooks()
    {
        gf_clearStopRequest();
        TrafficHooks hooks;
        hooks.blockedCallsignSeen = [this](std::uint32_t hexId) { blocked.push_back(hexId); };
        hooks.setAuthenticated = [this](bool on) { authenticated.push_back(on); };
        gf_registerTrafficHooks(std::move(hooks));
        StatusSink sink;
        sink.show = [this](const std::string& text, bool) { statuses.push_back(text); };
        sink.clear = [this] { statuses.push_back("<clear>"); };
        gf_setStatusSink(std::move(sink));
    }
    ~RecordingHooks()
    {
        gf_clearStopRequest();
        gf_resetTrafficHooks();
        gf_resetStatusSink();
    }
    RecordingHooks(const RecordingHooks&) = delete;
    RecordingHooks& operator=(const RecordingHooks&) = delete;

    std::vector<std::uint32_t> blocked;
    std::vector<std::string> statuses;
    static Stops stops() { return pendingStop(); }
    std::vector<bool> authenticated;
};

// Takes the place of the program's sleep while it lives: every sleep is recorded in ms, under a
// lock, as the reader threads and the test thread may sleep at once, and then does only what
// `also` does (nothing when empty). The real clock is back at its end.
class SleepRecorder {
public:
    explicit SleepRecorder(std::function<void()> also = {}) : also_(std::move(also)) { install(); }
    ~SleepRecorder() { gf_resetClockForTest(); }
    SleepRecorder(const SleepRecorder&) = delete;
    SleepRecorder& operator=(const SleepRecorder&) = delete;

    // Puts the recorder (back) in as the program's sleep.
    void install()
    {
        Clock clock;
        clock.sleepFor = [this](SteadyDuration duration) { sleep(duration); };
        gf_setClockForTest(std::move(clock));
    }
    void sleep(SteadyDuration duration)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            slept_.push_back(static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count()));
        }
        if (also_)
            also_();
    }
    std::vector<long> slept() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return slept_;
    }

private:
    std::function<void()> also_;
    mutable std::mutex mutex_;
    std::vector<long> slept_;
};

}  // namespace corv_test
