#pragma once
// Shared pieces of the traffic tests: a live-traffic array, the log of the test, and hooks that
// record what the traffic client hands the layers above (called on the test's own thread).
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/status_sink.hpp"
#include "foundation/log.hpp"
#include "tests/support/log_lines.hpp"
#include "tests/support/temp_dir.hpp"
#include "traffic/traffic_hooks.hpp"

namespace corv_test {

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
        TrafficHooks hooks;
        hooks.blockedCallsignSeen = [this](std::uint32_t hexId) { blocked.push_back(hexId); };
        hooks.requestStop = [this](std::uint32_t reason, std::int32_t delay) { stops.push_back({reason, delay}); };
        hooks.setAuthenticated = [this](bool on) { authenticated.push_back(on); };
        gf_registerTrafficHooks(std::move(hooks));
        StatusSink sink;
        sink.show = [this](const std::string& text, bool) { statuses.push_back(text); };
        sink.clear = [this] { statuses.push_back("<clear>"); };
        gf_setStatusSink(std::move(sink));
    }
    ~RecordingHooks()
    {
        gf_resetTrafficHooks();
        gf_resetStatusSink();
    }
    RecordingHooks(const RecordingHooks&) = delete;
    RecordingHooks& operator=(const RecordingHooks&) = delete;

    std::vector<std::uint32_t> blocked;
    std::vector<std::string> statuses;
    std::vector<std::pair<std::uint32_t, std::int32_t>> stops;
    std::vector<bool> authenticated;
};

}  // namespace corv_test
