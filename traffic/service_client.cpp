#include "traffic/service_client.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <thread>

#include "foundation/format.hpp"
#include "foundation/json_input.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "platform/service_endpoints.hpp"
#include "traffic/traffic_hooks.hpp"

using nlohmann::json;

TrafficReader trafficReader;
WeatherReader weatherReader;

namespace {

constexpr std::size_t REPLY_BUFFER_RESERVE = 4096;
constexpr std::size_t READER_REPLY_RESERVE = 16384;
constexpr std::size_t LIVE_RECORDS_RESERVE = 384;

void lf_sleepOnSteadyClock(std::chrono::milliseconds duration)
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_until(deadline);
}

std::string lf_fixed2(double value) { return vald::format("{:.2F}", value); }
std::string lf_fixed4(double value) { return vald::format("{:.4F}", value); }

std::string lf_boxBody(std::string_view guid, const QueryBox& box, std::string_view queryType, std::int32_t toffset,
                       bool history)
{
    const std::string top = lf_fixed2(box.top);
    const std::string bottom = lf_fixed2(box.bottom);
    const std::string left = lf_fixed2(box.left);
    const std::string right = lf_fixed2(box.right);
    const std::string offset = std::to_string(toffset);
    if (history)
        return vald::gf_formBody({{"GUID", guid}, {"top", top}, {"bottom", bottom}, {"left", left}, {"right", right},
                                  {"querytype", queryType}, {"toffset", offset}, {"buffercount", "5"},
                                  {"buffertime", "6"}});
    return vald::gf_formBody({{"GUID", guid}, {"top", top}, {"bottom", bottom}, {"left", left}, {"right", right},
                              {"querytype", queryType}, {"toffset", offset}});
}

}  // namespace

// ---- Reply envelope ----

std::int32_t gf_replyStatus(const json& reply)
{
    if (!reply.is_object())
        return 100;
    const auto it = reply.find("status");
    if (it == reply.end() || !it->is_number_integer())
        return 100;
    if (it->is_number_unsigned())
        return static_cast<std::int32_t>(std::min<std::uint64_t>(it->get<std::uint64_t>(),
                                                                 std::numeric_limits<std::int32_t>::max()));
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(it->get<std::int64_t>(),
                                                               std::numeric_limits<std::int32_t>::min(),
                                                               std::numeric_limits<std::int32_t>::max()));
}

std::string gf_replyText(const json& reply, std::string_view key)
{
    if (!reply.is_object())
        return {};
    const auto it = reply.find(key);
    if (it == reply.end() || !it->is_string())
        return {};
    return vald::gf_quoted(it->get_ref<const std::string&>());
}

std::int32_t gf_replyInterval(const json& reply, std::string_view key)
{
    if (!reply.is_object())
        return DEFAULT_REQUEST_INTERVAL_MS;
    const auto it = reply.find(key);
    if (it == reply.end() || !it->is_number_integer())
        return DEFAULT_REQUEST_INTERVAL_MS;
    if (it->is_number_unsigned())
        return it->get<std::uint64_t>() >= static_cast<std::uint64_t>(MAX_REQUEST_INTERVAL_MS)
                   ? MAX_REQUEST_INTERVAL_MS
                   : std::max(MIN_REQUEST_INTERVAL_MS, static_cast<std::int32_t>(it->get<std::uint64_t>()));
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(it->get<std::int64_t>(), MIN_REQUEST_INTERVAL_MS, MAX_REQUEST_INTERVAL_MS));
}

// ---- Request bodies ----

std::string gf_loginBody(std::string_view serviceKey)
{
    const std::string software = vald::format("{}_{}", PROGRAM_ID, PROGRAM_VERSION_TEXT);
    return vald::gf_formBody({{"license", serviceKey}, {"software", software}});
}

std::string gf_logoutBody(std::string_view guid) { return vald::gf_formBody({{"GUID", guid}}); }

std::string gf_historyBody(std::string_view guid, const QueryBox& box, std::int32_t toffset)
{
    return lf_boxBody(guid, box, "locationtraffic", toffset, true);
}

std::string gf_liveTrafficBody(std::string_view guid, const QueryBox& box, std::int32_t toffset)
{
    return lf_boxBody(guid, box, "locationtraffic", toffset, false);
}

std::string gf_parkedTrafficBody(std::string_view guid, const QueryBox& box, std::int32_t toffset)
{
    return lf_boxBody(guid, box, "parkedtraffic", toffset, false);
}

std::string gf_nearestMetarBody(std::string_view guid, std::int32_t toffset, LatLon user)
{
    return vald::gf_formBody({{"GUID", guid}, {"toffset", std::to_string(toffset)}, {"lat", lf_fixed4(user.lat)},
                              {"lon", lf_fixed4(user.lon)}});
}

std::string gf_weatherBody(std::string_view guid, std::int32_t toffset, LatLon user, double altitudeFt,
                           std::string_view station)
{
    // Whole feet; below 1 ft (and anything unreadable) is 0.
    const std::int64_t wholeFeet = altitudeFt >= 1.0 ? static_cast<std::int64_t>(std::min(altitudeFt, 1.0e9)) : 0;
    return vald::gf_formBody({{"GUID", guid}, {"querytype", "locwx"}, {"toffset", std::to_string(toffset)},
                              {"lat", lf_fixed4(user.lat)}, {"lon", lf_fixed4(user.lon)},
                              {"alt", std::to_string(wholeFeet)}, {"airports", station}});
}

// ---- RtApiClient ----

RtApiClient::RtApiClient() : sleeper_(&lf_sleepOnSteadyClock)
{
    lf_configure(aucurl_, false);
    replyBuffer.reserve(REPLY_BUFFER_RESERVE);
}

RtApiClient::~RtApiClient() = default;

void RtApiClient::lf_configure(vald::HttpHandle& handle, bool abortOnStop)
{
    handle.setUserAgent(vald::format("{}/{}", PROGRAM_ID, PROGRAM_VERSION_TEXT));
    handle.setAbortFlag(abortOnStop ? &stop : nullptr);
    handles_.push_back(&handle);
}

void RtApiClient::setHttpLimits(const vald::HttpLimits& limits)
{
    for (vald::HttpHandle* handle : handles_)
        handle->setLimits(limits);
}

void RtApiClient::sleepPlain(std::int32_t ms) const
{
    if (ms > 0)
        sleeper_(std::chrono::milliseconds(ms));
}

void RtApiClient::sleepInterruptible(std::int32_t ms)
{
    const std::int32_t half = ms / 2;
    for (int i = 0; i < 2; ++i) {
        if (stop.load() || half <= 0)
            continue;
        if (sleeperInjected_) {
            sleeper_(std::chrono::milliseconds(half));
            continue;
        }
        // In short steps, so that closing never waits long for a reader in its pause.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(half);
        for (auto now = std::chrono::steady_clock::now(); now < deadline && !stop.load();
             now = std::chrono::steady_clock::now())
            std::this_thread::sleep_until(std::min(deadline, now + std::chrono::milliseconds(STOP_POLL_MS)));
    }
}

void RtApiClient::reset()
{
    guid.clear();
    aucurl_.renew();
    stop.store(false);
    toffset.store(0);
    stopped.store(false);
    // Emptied in place: an object or array loses its elements, a scalar its value.
    switch (workLine.type()) {
    case json::value_t::object:
    case json::value_t::array:
    case json::value_t::string:
        workLine.clear();
        break;
    case json::value_t::boolean:
        workLine = false;
        break;
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
        workLine = 0;
        break;
    default:
        break;
    }
    replyBuffer.clear();
}

vald::HttpOutcome RtApiClient::postRequest(vald::HttpHandle& handle, std::string_view path, const std::string& body,
                                           std::string& reply)
{
    reply.clear();
    const std::string url = vald::gf_apiBaseUrl() + std::string(path);
    return handle.post(url, body, reply);
}

bool RtApiClient::readerRequest(vald::HttpHandle& handle, std::string_view path, const std::string& body,
                                std::string& reply,
                                const std::function<std::string(const vald::HttpOutcome&)>& transportWarning,
                                std::string_view emptyWarning)
{
    const vald::HttpOutcome outcome = postRequest(handle, path, body, reply);
    if (!outcome.ok()) {
        if (!stop.load())
            gf_logWarn(transportWarning(outcome));
        return false;
    }
    if (reply.empty()) {
        gf_logWarn(emptyWarning);
        return false;
    }
    return true;
}

// ---- TrafficReader ----

TrafficReader::TrafficReader()
{
    lf_configure(trcurl_, true);
    lf_configure(ptcurl_, true);
    liveRecords.reserve(LIVE_RECORDS_RESERVE);
    readerReply.reserve(READER_REPLY_RESERVE);
}

QueryBox TrafficReader::liveBox() const
{
    std::lock_guard<std::mutex> lock(sharedMutex_);
    return liveBox_;
}

void TrafficReader::setLiveBox(const QueryBox& box)
{
    std::lock_guard<std::mutex> lock(sharedMutex_);
    liveBox_ = box;
}

LatLon TrafficReader::userPosition() const
{
    std::lock_guard<std::mutex> lock(sharedMutex_);
    return userPosition_;
}

void TrafficReader::setUserPosition(LatLon position)
{
    std::lock_guard<std::mutex> lock(sharedMutex_);
    userPosition_ = position;
}

std::optional<double> TrafficReader::parkElevationFt() const
{
    std::lock_guard<std::mutex> lock(sharedMutex_);
    return parkElevationFt_;
}

void TrafficReader::setParkElevationFt(std::optional<double> elevationFt)
{
    std::lock_guard<std::mutex> lock(sharedMutex_);
    parkElevationFt_ = elevationFt;
}

void TrafficReader::startCollectingSeen()
{
    std::lock_guard<std::mutex> lock(seenMutex_);
    collectSeen_.store(true);
}

SeenTargets TrafficReader::takeSeen()
{
    std::lock_guard<std::mutex> lock(seenMutex_);
    collectSeen_.store(false);
    SeenTargets taken = std::move(seen_);
    seen_ = SeenTargets();
    return taken;
}

void TrafficReader::lf_recordSeen(const std::string& callsign, std::uint32_t hexId)
{
    // The flag is tested under the same lock that takeSeen holds, so nothing is inserted into
    // sets that the worker has already taken over.
    std::lock_guard<std::mutex> lock(seenMutex_);
    if (!collectSeen_.load())
        return;
    if (!callsign.empty())
        seen_.callsigns.insert(callsign);
    seen_.hexIds.insert(hexId);
}

LiveFilterSettings TrafficReader::liveFilterSettings() const
{
    const std::shared_ptr<const TrafficHooks> hooks = gf_trafficHooks();
    const ParkAirportSnapshot park = hooks->parkAirport();
    LiveFilterSettings settings;
    settings.rangeNm = rangeNm.load();
    settings.airborneOnly = AIRBORNE_ONLY.value();
    settings.blockCallsign = BLOCK_CALLSIGN.value();
    settings.parkAirportIcao = park.icao;
    settings.parkAirportPosition = park.position;
    settings.parkAirportElevationFt = park.elevationFt;
    settings.userPosition = userPosition();
    settings.parkElevationFt = parkElevationFt();
    settings.qnh = qnh.load();
    return settings;
}

void TrafficReader::resetForRun()
{
    reset();
    trcurl_.renew();
    ptcurl_.renew();
    readerReply.clear();
    dataTime.store(0.0);
    {
        std::lock_guard<std::mutex> lock(seenMutex_);
        seen_ = SeenTargets();
        collectSeen_.store(false);
    }
    liveRecords.clear();
    recordCount.store(0);
    setParkElevationFt(std::nullopt);
    qnh.store(STANDARD_QNH_HPA);
    lastRangeNm = -1.0;
    lastBoxCentre = LatLon{};
    setLiveBox(QueryBox{});
    hasData = true;
    announceBlocked.store(true);
    guid.clear();
}

// ---- WeatherReader ----

WeatherReader::WeatherReader()
{
    lf_configure(wrcurl_, true);
    lf_configure(nmcurl_, true);
    readerReply.reserve(READER_REPLY_RESERVE);
}

void WeatherReader::resetForRun()
{
    reset();
    wrcurl_.renew();
    nmcurl_.renew();
    readerReply.clear();
    qnh = STANDARD_QNH_HPA;
    stationKnown.store(false);
    qnhPublished.store(false);
    hasData = true;
    station.clear();
}

void gf_resetReaders()
{
    // A reader that has just set its stopped flag may still be on its last steps.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!(trafficReader.ended.load() && weatherReader.ended.load()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!trafficReader.ended.load() || !weatherReader.ended.load())
        throw std::runtime_error("gf_resetReaders: a reader thread has not ended");
    trafficReader.resetForRun();
    weatherReader.resetForRun();
}
