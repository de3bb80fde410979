#include "traffic/reader_thread.hpp"

#include <exception>
#include <thread>

#include "foundation/status_sink.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/status_display.hpp"
#include "traffic/traffic_hooks.hpp"

namespace {

constexpr std::chrono::milliseconds WAIT_STEP{100};

// Sets the reader's ended flag when the thread leaves, whichever way.
class EndedMark {
public:
    explicit EndedMark(RtApiClient& reader) : reader_(reader) { reader_.ended.store(false); }
    ~EndedMark() { reader_.ended.store(true); }
    EndedMark(const EndedMark&) = delete;
    EndedMark& operator=(const EndedMark&) = delete;

private:
    RtApiClient& reader_;
};

void lf_logConnected(std::string_view threadName) { gf_logIndented(vald::format("{} connected", threadName)); }

// A reader that ended with an error ends the run: a refused session (401) with a restart,
// anything else for good.
void lf_reportThreadError(std::string_view threadName, bool restartable)
{
    gf_showStatus(vald::format("The {} has stopped with an error", threadName), true);
    if (restartable)
        gf_requestStop(closing_reason::READER_ERROR, READER_ERROR_RESTART_SECONDS);
    else
        gf_requestStop(closing_reason::SYSTEM_ERROR, 0);
}

void lf_warnEnd(const ReaderThreadNames& names, std::uint32_t status)
{
    if (status == 401)
        gf_logWarn(vald::format("re-authentication to RT API is needed, restart {}", PROGRAM_ID));
    else if (status == 400)
        gf_logWarn(vald::format("{} RT API: parameter fault", names.service));
    else
        gf_logWarn(vald::format("{} RT API error: {}", names.service, status));
}

void lf_endWithError(RtApiClient& other, const ReaderThreadNames& names, std::uint32_t status)
{
    if (status == READER_STOPPED_STATUS)
        return;
    other.stop.store(true);
    lf_reportThreadError(names.thread, status == 401);
}

bool lf_startThread(RtApiClient& reader, std::string_view name, std::function<void()> procedure)
{
    if (!reader.ended.exchange(false)) {
        gf_logWarn(vald::format("The {} of the previous run is still running, not started again", name));
        return false;
    }
    try {
        std::thread(std::move(procedure)).detach();
    } catch (...) {
        reader.ended.store(true);
        throw;
    }
    return true;
}

}  // namespace

void lf_setReaderLamp(bool trafficLamp, std::int32_t state)
{
    vald::gf_updateDisplay(
        [&](vald::StatusDisplayValues& d) {
            if (trafficLamp)
                d.trafficLamp = state;
            else
                d.weatherLamp = state;
        },
        vald::COUNTS_BAND);
}

void lf_runReaderThread(RtApiClient& self, RtApiClient& other, const ReaderThreadNames& names,
                        const std::function<bool(std::uint32_t&)>& receive)
{
    const EndedMark mark(self);
    std::uint32_t status = 0;
    try {
        lf_logConnected(names.thread);
        lf_setReaderLamp(names.trafficLamp, vald::LAMP_RECEIVED);
        if (!receive(status)) {
            lf_setReaderLamp(names.trafficLamp, vald::LAMP_HIDDEN);
            if (status != READER_STOPPED_STATUS)
                lf_warnEnd(names, status);
        }
        lf_endWithError(other, names, status);
    } catch (const std::exception& e) {
        // Nothing may leave the thread: the process would end.
        try {
            gf_logWarn(vald::format("{}: {}", names.procedure, e.what()));
            lf_setReaderLamp(names.trafficLamp, vald::LAMP_HIDDEN);
            lf_reportThreadError(names.thread, false);
            lf_endWithError(other, names, status);
        } catch (...) {
            other.stop.store(true);
        }
    } catch (...) {
        other.stop.store(true);
    }
}

bool gf_startWeatherReader(WeatherReader& weather, TrafficReader& traffic)
{
    return lf_startThread(weather, "Weather Reader", [&weather, &traffic] { gf_weatherReader(weather, traffic); });
}

bool gf_startTrafficReader(TrafficReader& traffic, WeatherReader& weather)
{
    return lf_startThread(traffic, "Traffic Reader", [&traffic, &weather] { gf_trafficReader(traffic, weather); });
}

void gf_stopReaders(TrafficReader& traffic, WeatherReader& weather)
{
    traffic.stop.store(true);
    weather.stop.store(true);
}

bool gf_waitReadersEnded(std::chrono::milliseconds bound, TrafficReader& traffic, WeatherReader& weather)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!(traffic.ended.load() && weather.ended.load()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(WAIT_STEP);
    if (!traffic.ended.load())
        gf_logWarn("The Traffic Reader did not end in time");
    if (!weather.ended.load())
        gf_logWarn("The Weather Reader did not end in time");
    return traffic.ended.load() && weather.ended.load();
}
