#pragma once
// A logged-in pair of readers against the traffic-service stand-in, with hooks that record what
// the reader threads hand the layers above. The stand-in's clock is frozen at START_EPOCH, which
// is also the program's clock, so report ages are exact.
#include <algorithm>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/clock.hpp"
#include "standins/http/client.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/time_slots.hpp"
#include "foundation/status_display.hpp"
#include "tests/support/service_standin.hpp"
#include "tests/traffic/traffic_test_support.hpp"
#include "traffic/reader_thread.hpp"
#include "traffic/traffic_reader_thread.hpp"

namespace corv_test {

inline constexpr std::int64_t START_EPOCH = 1700000000;  // 22:13:20 UTC, slot 44
inline constexpr LatLon EHAM{52.3086, 4.7639};

inline nlohmann::json merged(nlohmann::json a, const nlohmann::json& b)
{
    a.update(b);
    return a;
}

// One flight north of EHAM, airborne through all history buffers; two weather stations.
inline nlohmann::json readerScenario(int rrl = 600, int wrrl = 600)
{
    return merged(nlohmann::json::parse(R"({"clock": "frozen",
      "stations": [{"icao": "EHAM", "lat": 52.3086, "lon": 4.7639, "qnh": 1021},
                   {"icao": "EHRD", "lat": 51.9569, "lon": 4.4372, "qnh": 1005}],
      "flights": [{"hex": "4840d6", "callsign": "KLM1776", "type": "B738", "category": "A3", "source": "adsb_icao",
        "track": [{"t": -600, "lat": 52.6, "lon": 4.76, "altFt": 9000, "gsKt": 250},
                  {"t": 3600, "lat": 52.4, "lon": 4.76, "altFt": 3000, "gsKt": 250}]}]})"),
                  {{"startEpoch", START_EPOCH}, {"license", {{"guid", "G-1"}, {"rrl", rrl}, {"wrrl", wrrl}}}});
}

inline bool logged(const std::vector<std::string>& lines, const std::string& part)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

struct Batch {
    std::uint32_t delay = 0;
    std::size_t count = 0;
    double dataTime = 0.0;  // of the first record
};

class ReaderSession {
public:
    // realPauses: the readers wait for real; else each pause is counted and lasts 2 ms.
    explicit ReaderSession(const nlohmann::json& scenario, bool realPauses = false)
        : standin(scenario), api_("CORV_API_BASE", standin.baseUrl())
    {
        if (!realPauses)
            pauses_.emplace([] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
        gf_setUtcNowForTest([] { return static_cast<UtcSeconds>(START_EPOCH); });
        vald::gf_resetDisplayForTest();
        gf_clearStopRequest();
        TrafficHooks hooks;
        hooks.userPosition = [this] { return locked([&] { return user; }); };
        hooks.parkAirport = [] { return ParkAirportSnapshot{"EHAM", EHAM, -11.0}; };
        hooks.scheduleReceived = [this](std::vector<LiveTrafficRecord>& records, TrafficBatchKind, std::uint32_t delay) {
            locked([&] { batches.push_back({delay, records.size(), records.empty() ? 0.0 : records[0].dataTime}); });
            records.clear();
        };
        hooks.publishEngineQnh = [this](std::int32_t qnh) { locked([&] { engineQnh.push_back(qnh); }); };
        gf_registerTrafficHooks(std::move(hooks));
        StatusSink sink;
        sink.show = [this](const std::string& text, bool) { locked([&] { statuses.push_back(text); }); };
        gf_setStatusSink(std::move(sink));
        // The session is opened on a third client, so that the readers keep their intervals; the
        // login's wait passes at once.
        Clock quiet;
        quiet.sleepFor = [](SteadyDuration) {};
        gf_setClockForTest(std::move(quiet));
        WeatherReader login;
        std::uint32_t status = 0;
        EXPECT_TRUE(login.authenticate(status, "KEY"));
        restoreClock();
        traffic.guid = weather.guid = login.guid;
        traffic.setUserPosition(EHAM);
        gf_updateTrafficBox(traffic);
    }
    ~ReaderSession()
    {
        gf_stopReaders(traffic, weather);
        EXPECT_TRUE(gf_waitReadersEnded(std::chrono::seconds(60), traffic, weather));
        gf_resetTrafficHooks();
        gf_resetStatusSink();
        gf_resetClockForTest();
        gf_clearStopRequest();
    }

    template <typename F>
    auto locked(F&& f) -> decltype(f())
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return f();
    }
    // The session's clock: the fixed UTC time, the real steady time, and the pauses.
    void restoreClock()
    {
        gf_resetClockForTest();
        gf_setUtcNowForTest([] { return static_cast<UtcSeconds>(START_EPOCH); });
        if (pauses_)
            pauses_->install();
    }
    // One pause of the session's clock.
    void pause(SteadyDuration duration)
    {
        if (pauses_)
            pauses_->sleep(duration);
        else
            std::this_thread::sleep_for(duration);
    }
    // The pauses counted so far, in ms.
    std::vector<long> paused() const { return pauses_ ? pauses_->slept() : std::vector<long>{}; }
    std::vector<Batch> received() { return locked([&] { return batches; }); }
    std::vector<std::int32_t> publishedQnh() { return locked([&] { return engineQnh; }); }
    static bool waitFor(const std::function<bool()>& done)  // up to 60 s: a hang guard only
    {
        for (int i = 0; i < 6000 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    }
    nlohmann::json sent(const std::string& endpoint) const
    {
        nlohmann::json found = nlohmann::json::array();
        for (const nlohmann::json& r : standin.requests())
            if (r["endpoint"] == endpoint)
                found.push_back(r);
        return found;
    }
    void faults(const std::string& endpoint, const std::vector<nlohmann::json>& rules) const
    {
        for (const nlohmann::json& rule : rules)
            standin.addFault(merged(rule, {{"endpoint", endpoint}, {"times", 1}}));
    }
    standin_http::Client control() const { return standin_http::Client(standin.baseUrl()); }
    // Sets the reader's stop flag; whether its thread then ends within the bounded wait of
    // waitFor, well inside the 30 s stalls and 10 s pauses the tests make it wait in.
    static bool endsOnStop(RtApiClient& reader)
    {
        reader.stop.store(true);
        return waitFor([&] { return reader.ended.load(); });
    }

    TrafficLog log;
    ServiceStandin standin;

private:
    ScopedEnv api_;
    std::mutex mutex_;
    std::optional<SleepRecorder> pauses_;  // empty: the pauses are real

public:
    UserPositionSnapshot user{EHAM.lat, EHAM.lon, 1234.9};
    std::vector<Batch> batches;
    std::vector<std::int32_t> engineQnh;
    std::vector<std::string> statuses;
    // The stop the run was asked for; read once the threads have ended.
    static Stops stops() { return pendingStop(); }
    TrafficReader traffic;
    WeatherReader weather;
};

}  // namespace corv_test
