// The traffic reader thread: once the recent history (five buffers played out with rising
// delays), then the live traffic every rrl ms until it is stopped, with a waiting parked-traffic
// request sent in place of one poll. Also the live query box that follows the user aircraft and
// the Traffic and Weather lamps.
#include <array>
#include <cmath>
#include <string>

#include "foundation/geodesy.hpp"
#include "foundation/format.hpp"
#include "foundation/json_input.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/time_slots.hpp"
#include "foundation/status_display.hpp"
#include "traffic/reader_thread.hpp"
#include "traffic/traffic_hooks.hpp"
#include "traffic/traffic_reader_thread.hpp"

using nlohmann::json;

namespace {

constexpr std::size_t LIVE_ARRAY_SIZE = 48;
constexpr std::size_t LIVE_RECORDS_RESERVE = 384;
constexpr std::uint32_t LIVE_POLL_DELAY_SECONDS = 30;
constexpr std::uint32_t HISTORY_BUFFER_SPACING_SECONDS = 6;
constexpr std::array<const char*, 5> HISTORY_KEYS{"buffer_4", "buffer_3", "buffer_2", "buffer_1", "buffer_0"};

// The live box follows the aircraft only once it has moved this far (degrees).
constexpr double BOX_MOVE_DEGREES = 0.00015;
constexpr double NO_POSITION_DEGREES = 0.0001;
constexpr double KM_PER_NM = METRES_PER_NM / 1000.0;
constexpr double KM_PER_DEGREE_LATITUDE = 111.2;
constexpr double HALF_PI = 1.5707963267948966;

// A lamp shows whether data arrives; it is repainted only when that changes.
void lf_followData(bool& hasData, bool arrives, bool trafficLamp)
{
    if (arrives == hasData)
        return;
    hasData = arrives;
    lf_setReaderLamp(trafficLamp, arrives ? vald::LAMP_RECEIVED : vald::LAMP_WAITING);
}

bool lf_isLiveArray(const json& element)
{
    return element.is_array() && element.size() == LIVE_ARRAY_SIZE;
}

}  // namespace

void TrafficReader::lf_processData(json& data)
{
    if (!data.is_array() && !data.is_object())
        return;
    const LiveFilterSettings settings = liveFilterSettings();
    for (json& element : data) {
        if (!lf_isLiveArray(element))
            continue;
        workLine = std::move(element);
        processLine(settings);
    }
}

void TrafficReader::lf_handOver(TrafficBatchKind kind, std::uint32_t delaySeconds)
{
    recordCount.store(static_cast<std::int64_t>(liveRecords.size()));
    if (liveRecords.empty())
        dataTime.store(0.0);
    gf_trafficHooks()->scheduleReceived(liveRecords, kind, delaySeconds);
    liveRecords.clear();
    // The engine may have swapped its own storage in.
    if (liveRecords.capacity() < LIVE_RECORDS_RESERVE)
        liveRecords.reserve(LIVE_RECORDS_RESERVE);
}

bool TrafficReader::buffer(std::uint32_t& status)
{
    if (guid.empty())
        return false;
    bool replayed = false;
    try {
        const std::string body = gf_historyBody(guid, liveBox(), toffset.load());
        const auto transportWarning = [](const vald::HttpOutcome& outcome) {
            return vald::format("{} buffer traffic code: {}", gf_nowText(), outcome.errorText);
        };
        if (readerRequest(trcurl_, API_TRAFFIC_PATH, body, readerReply, transportWarning,
                          "buffer traffic: empty content")) {
            json reply = vald::gf_parseJson(readerReply);
            const std::int32_t replyStatus = gf_replyStatus(reply);
            if (replyStatus != 200) {
                status = static_cast<std::uint32_t>(replyStatus);
                if (replyStatus == 406)
                    gf_logWarn(vald::format(" buffer traffic msg {}", gf_replyText(reply, "message")));
            } else {
                rrl.store(gf_replyInterval(reply, "rrl"));
                startCollectingSeen();
                const auto data = reply.find("data");
                if (reply.is_object() && data != reply.end() && !data->is_null() && !data->empty()) {
                    replayed = true;
                    for (std::size_t i = 0; i < HISTORY_KEYS.size(); ++i) {
                        if (data->is_object()) {
                            const auto buffer = data->find(HISTORY_KEYS[i]);
                            if (buffer != data->end() && !buffer->is_null() && !buffer->empty())
                                lf_processData(*buffer);
                        }
                        lf_handOver(TrafficBatchKind::history, static_cast<std::uint32_t>(i) * HISTORY_BUFFER_SPACING_SECONDS);
                    }
                }
            }
        }
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{}: {}", "buffer", e.what()));
        replayed = false;
    }
    // The pause before the first poll; a stop cuts it short.
    sleepInterruptible(rrl.load());
    if (stop.load()) {
        status = READER_STOPPED_STATUS;
        return false;
    }
    return replayed;
}

bool TrafficReader::receive(std::uint32_t& status)
{
    if (guid.empty())
        return false;
    if (!buffer(status)) {
        if (stop.load()) {
            status = READER_STOPPED_STATUS;
            stopped.store(true);
            return false;
        }
        gf_logWarn(vald::format("buffer failed {}", status));
    }
    running.store(true);
    std::int32_t endStatus = 0;
    bool refused = false;
    while (!stop.load() && !refused) {
        try {
            if (const std::optional<ParkedRequest> request = parkedExchange.take()) {
                parkedtraffic(*request);
                sleepInterruptible(rrl.load());
                continue;
            }
            const std::string body = gf_liveTrafficBody(guid, liveBox(), toffset.load());
            const auto transportWarning = [](const vald::HttpOutcome& outcome) {
                return vald::format("curl traffic code:{} = {}", static_cast<int>(outcome.code), outcome.errorText);
            };
            if (readerRequest(trcurl_, API_TRAFFIC_PATH, body, readerReply, transportWarning,
                              "traffic receive: empty content")) {
                json reply = vald::gf_parseJson(readerReply);
                const std::int32_t replyStatus = gf_replyStatus(reply);
                if (replyStatus == 406) {
                    gf_logWarn(vald::format("{} curl traffic msg: {}", gf_nowText(), gf_replyText(reply, "message")));
                } else if (replyStatus != 200) {
                    endStatus = replyStatus;
                    refused = true;
                    continue;
                } else {
                    rrl.store(gf_replyInterval(reply, "rrl"));
                    const auto data = reply.find("data");
                    if (reply.is_object() && data != reply.end() && !data->empty())
                        lf_processData(*data);
                    lf_handOver(TrafficBatchKind::live, LIVE_POLL_DELAY_SECONDS);
                }
            }
        } catch (const std::exception& e) {
            gf_logWarn(vald::format("{}: {}", "receive", e.what()));
        }
        sleepInterruptible(rrl.load());
    }
    running.store(false);
    if (stop.load()) {
        status = READER_STOPPED_STATUS;
        stopped.store(true);
        return false;
    }
    status = static_cast<std::uint32_t>(endStatus);
    return false;
}

void gf_trafficReader(TrafficReader& traffic, WeatherReader& weather)
{
    lf_runReaderThread(traffic, weather, {"Traffic Reader", "Traffic", "gf_trafficReader", true},
                       [&traffic](std::uint32_t& status) { return traffic.receive(status); });
}

void gf_updateTrafficBox(TrafficReader& reader)
{
    const UserPositionSnapshot user = gf_trafficHooks()->userPosition();
    if (std::fabs(user.lat) <= NO_POSITION_DEGREES && std::fabs(user.lon) <= NO_POSITION_DEGREES)
        return;
    const double range = rangeNm.load();
    if (std::fabs(user.lat - reader.lastBoxCentre.lat) < BOX_MOVE_DEGREES &&
        std::fabs(user.lon - reader.lastBoxCentre.lon) < BOX_MOVE_DEGREES && range == reader.lastRangeNm)
        return;
    reader.lastRangeNm = range;
    const LatLon centre{user.lat, user.lon};
    reader.lastBoxCentre = centre;
    const double halfHeightDeg = range * KM_PER_NM / KM_PER_DEGREE_LATITUDE;
    QueryBox box;
    box.top = user.lat + halfHeightDeg;
    box.bottom = user.lat - halfHeightDeg;
    box.left = gf_destinationPoint(centre, -HALF_PI, range * FEET_PER_NM).lon;
    box.right = gf_destinationPoint(centre, HALF_PI, range * FEET_PER_NM).lon;
    reader.setLiveBox(box);
}

void gf_updateDataIndicators(TrafficReader& traffic, WeatherReader& weather)
{
    if (!vald::gf_displaySnapshot().authenticated)
        return;
    lf_followData(weather.hasData, weather.stationKnown.load(), false);
    lf_followData(traffic.hasData, traffic.recordCount.load() >= 1, true);
}
