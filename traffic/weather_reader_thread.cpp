// The weather reader thread: in each cycle the nearest METAR station to the user aircraft, then
// the weather there; each new QNH goes to the traffic records' altitude correction, the engine
// and the window.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include <gsl/narrow>

#include "foundation/format.hpp"
#include "foundation/json_input.hpp"
#include "foundation/log.hpp"
#include "foundation/time_slots.hpp"
#include "foundation/status_display.hpp"
#include "traffic/reader_thread.hpp"
#include "traffic/traffic_hooks.hpp"

using nlohmann::json;

namespace {

constexpr std::int32_t MIN_QNH_HPA = 900;
constexpr std::int32_t MAX_QNH_HPA = 1100;
// From this value on a QNH is read as inches of mercury times 100.
constexpr std::int32_t FIRST_INCHES_VALUE = 1101;
constexpr double HPA_PER_HUNDREDTH_INCH = 0.33865307;

std::int32_t lf_noQnh()
{
    gf_logWarn("No QNH found in data");
    return STANDARD_QNH_HPA;
}

// An optional "-" and the decimal digits up to the first other character.
std::int32_t lf_qnhFromText(const std::string& text)
{
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) {
        gf_logWarn(vald::format("{}: {}", "extractQNH", vald::gf_quoted(text)));
        return STANDARD_QNH_HPA;
    }
    return value;
}

// Half away from zero, then narrowed: a value beyond 32 bits throws.
std::int32_t lf_roundToInt(double value)
{
    const double rounded = std::round(value);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() && rounded <= std::numeric_limits<std::int32_t>::max()))
        throw gsl::narrowing_error{};
    return static_cast<std::int32_t>(rounded);
}

// As single precision, the way the service's value is read; beyond its range throws.
float lf_toSingle(double value)
{
    if (!(std::fabs(value) <= std::numeric_limits<float>::max()))
        throw gsl::narrowing_error{};
    return static_cast<float>(value);
}

}  // namespace

std::int32_t extractQNH(const json& data)
{
    if (!data.is_object() || data.empty())
        return lf_noQnh();
    const auto member = data.find("QNH");
    if (member == data.end())
        return lf_noQnh();
    std::int32_t qnhValue = STANDARD_QNH_HPA;
    if (member->is_number_unsigned())
        qnhValue = gsl::narrow<std::int32_t>(member->get<std::uint64_t>());
    else if (member->is_number_integer())
        qnhValue = gsl::narrow<std::int32_t>(member->get<std::int64_t>());
    else if (member->is_number_float())
        qnhValue = lf_roundToInt(lf_toSingle(member->get<double>()));
    else if (member->is_string())
        qnhValue = lf_qnhFromText(member->get<std::string>());
    else
        return lf_noQnh();
    if (qnhValue >= FIRST_INCHES_VALUE)
        qnhValue = lf_roundToInt(qnhValue * HPA_PER_HUNDREDTH_INCH);
    return qnhValue;
}

void WeatherReader::lf_publishQnh(std::int32_t qnhHpa, TrafficReader& traffic)
{
    qnh = qnhHpa;
    traffic.qnh.exchange(qnhHpa);
    gf_trafficHooks()->publishEngineQnh(qnhHpa);
    vald::gf_updateDisplay(
        [qnhHpa](vald::StatusDisplayValues& d) {
            d.qnhHpa = qnhHpa;
            if (d.weatherLamp == vald::LAMP_WAITING)
                d.weatherLamp = vald::LAMP_RECEIVED;
        },
        vald::COUNTS_BAND);
    qnhPublished.store(true);
}

bool WeatherReader::nearestmetar(std::uint32_t& status)
{
    bool found = false;
    if (!guid.empty()) {
        try {
            const UserPositionSnapshot user = gf_trafficHooks()->userPosition();
            const std::string body = gf_nearestMetarBody(guid, toffset.load(), LatLon{user.lat, user.lon});
            const auto transportWarning = [](const vald::HttpOutcome& outcome) {
                return vald::format("{} nearestmetar code: {}", gf_nowText(), outcome.errorText);
            };
            if (readerRequest(nmcurl_, API_NEAREST_METAR_PATH, body, readerReply, transportWarning,
                              "nearest metar: empty content")) {
                const json reply = vald::gf_parseJsonOrDiscarded(readerReply);
                const std::int32_t replyStatus = reply.is_discarded() ? 0 : gf_replyStatus(reply);
                if (reply.is_discarded()) {
                    gf_logWarn("nearest metar: invalid JSON");
                } else if (replyStatus != 200) {
                    status = static_cast<std::uint32_t>(replyStatus);
                    if (replyStatus == 406 || replyStatus == 500)
                        gf_logWarn(vald::format("{} json nearestmetar {}", replyStatus, gf_replyText(reply, "message")));
                } else {
                    const auto data = reply.find("data");
                    if (!reply.is_object() || data == reply.end() || data->is_null() || data->empty()) {
                        station.clear();
                    } else {
                        // Anything but an array is a type error of the JSON library.
                        const std::string icao = data->at(0).value("ICAO", std::string());
                        station = icao;
                        found = !icao.empty();
                        if (found)
                            stationKnown.store(true);
                    }
                }
            }
        } catch (const std::exception& e) {
            gf_logWarn(vald::format("{}: {}", "nearestmetar", e.what()));
            found = false;
        }
    }
    sleepInterruptible(wrrl.load());
    return found;
}

bool WeatherReader::receive(std::uint32_t& status, TrafficReader& traffic)
{
    if (guid.empty())
        return false;
    const auto endOnStatus = [this, &status](std::int32_t refusedStatus) {
        if (stop.load()) {
            status = READER_STOPPED_STATUS;
            stopped.store(true);
        } else {
            status = static_cast<std::uint32_t>(refusedStatus);
        }
        return false;
    };
    for (;;) {
        if (stop.load()) {
            status = READER_STOPPED_STATUS;
            stopped.store(true);
            return false;
        }
        try {
            if (!nearestmetar(status)) {
                if (status == 400 || status == 401)
                    return endOnStatus(static_cast<std::int32_t>(status));
                sleepInterruptible(wrrl.load());
                continue;
            }
            const UserPositionSnapshot user = gf_trafficHooks()->userPosition();
            const std::string body =
                gf_weatherBody(guid, toffset.load(), LatLon{user.lat, user.lon}, user.altitudeFt, station);
            const auto transportWarning = [](const vald::HttpOutcome& outcome) {
                return vald::format("{} weather code: {}", gf_nowText(), outcome.errorText);
            };
            if (readerRequest(wrcurl_, API_WEATHER_PATH, body, readerReply, transportWarning,
                              "Empty content?, no QNH to be found")) {
                const json reply = vald::gf_parseJsonOrDiscarded(readerReply);
                if (reply.is_discarded()) {
                    gf_logWarn(vald::format("Invalid JSON: {}", vald::gf_quoted(readerReply)));
                } else {
                    const std::int32_t replyStatus = gf_replyStatus(reply);
                    if (replyStatus == 200) {
                        wrrl.store(gf_replyInterval(reply, "wrrl"));
                        const auto data = reply.find("data");
                        const json none;
                        const std::int32_t q =
                            std::clamp(extractQNH(data != reply.end() ? *data : none), MIN_QNH_HPA, MAX_QNH_HPA);
                        // The standard value is published on every reply.
                        if (q != qnh || q == STANDARD_QNH_HPA)
                            lf_publishQnh(q, traffic);
                        stationKnown.store(true);
                    } else if (replyStatus == 406 || replyStatus == 500) {
                        status = static_cast<std::uint32_t>(replyStatus);
                        gf_logWarn(vald::format("{} json weather {}", replyStatus, gf_replyText(reply, "message")));
                        stationKnown.store(false);
                    } else {
                        return endOnStatus(replyStatus);
                    }
                }
            }
        } catch (const std::exception& e) {
            gf_logWarn(vald::format("{}: {}", "receive", e.what()));
        }
        sleepInterruptible(wrrl.load());
    }
}

void gf_weatherReader(WeatherReader& weather, TrafficReader& traffic)
{
    lf_runReaderThread(weather, traffic, {"Weather Reader", "Weather", "gf_weatherReader", false},
                       [&weather, &traffic](std::uint32_t& status) { return weather.receive(status, traffic); });
}
