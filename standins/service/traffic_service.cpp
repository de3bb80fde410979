#include "standins/service/traffic_service.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include <fmt/format.h>

#include "standins/service/geo.hpp"
#include "standins/service/live_array.hpp"

namespace service_standin {
namespace {

using nlohmann::json;

constexpr int kMaxBufferCount = 10;
constexpr std::size_t kNearestStations = 3;

json refused(int status, const std::string& message) { return {{"status", status}, {"message", message}}; }

std::optional<double> numberField(const FormFields& fields, const char* name) {
    const std::string* v = formValue(fields, name);
    if (!v || v->empty()) return std::nullopt;
    double d = 0;
    const auto [ptr, ec] = std::from_chars(v->data(), v->data() + v->size(), d);
    if (ec != std::errc() || ptr != v->data() + v->size() || !std::isfinite(d)) return std::nullopt;
    return d;
}

std::optional<long long> integerField(const FormFields& fields, const char* name) {
    const std::string* v = formValue(fields, name);
    if (!v || v->empty()) return std::nullopt;
    long long i = 0;
    const auto [ptr, ec] = std::from_chars(v->data(), v->data() + v->size(), i);
    if (ec != std::errc() || ptr != v->data() + v->size()) return std::nullopt;
    return i;
}

std::string field(const FormFields& fields, const char* name) {
    const std::string* v = formValue(fields, name);
    return v ? *v : std::string();
}

}  // namespace

std::string serviceEndpoint(const std::string& path, const FormFields& fields) {
    if (path == "/v4/auth") return "auth";
    if (path == "/v4/deauth") return "deauth";
    if (path == "/v4/nearestmetar") return "nearestmetar";
    if (path == "/v4/weather") return "weather";
    if (path == "/v4/traffic") {
        if (field(fields, "querytype") == "parkedtraffic") return "parked";
        return formValue(fields, "buffercount") ? "history" : "live";
    }
    return {};
}

TrafficService::TrafficService(Scenario scenario, const ScenarioClock& clock, double epochAtZero)
    : scenario_(std::move(scenario)), clock_(clock), epochAtZero_(epochAtZero) {}

json TrafficService::answer(const std::string& endpoint, const FormFields& fields) {
    std::lock_guard lock(mutex_);
    if (endpoint == "auth") return auth(fields);
    if (endpoint == "deauth") return deauth(fields);
    if (endpoint == "history" || endpoint == "live" || endpoint == "parked") return traffic(endpoint, fields);
    if (endpoint == "nearestmetar") return nearestMetar(fields);
    if (endpoint == "weather") return weather(fields);
    return refused(404, "unknown request");
}

bool TrafficService::setQnh(const std::string& icao, const json& qnh) {
    std::lock_guard lock(mutex_);
    for (Station& s : scenario_.stations) {
        if (s.icao != icao) continue;
        s.qnh = qnh;
        return true;
    }
    return false;
}

std::string TrafficService::newGuid() {
    const std::uint64_t a = random_();
    const std::uint64_t b = random_();
    return fmt::format("{:08x}-{:04x}-{:04x}-{:04x}-{:012x}", a >> 32, (a >> 16) & 0xffff, a & 0xffff, b >> 48,
                       b & 0xffffffffffffULL);
}

json TrafficService::auth(const FormFields& fields) {
    const License& lic = scenario_.license;
    const std::string key = field(fields, "license");
    const bool accepted =
        !key.empty() && (lic.keys.empty() || std::find(lic.keys.begin(), lic.keys.end(), key) != lic.keys.end());
    if (!accepted) return refused(lic.badKeyStatus, "License key not valid");
    if (lic.singleSession)
        for (const auto& [guid, heldKey] : sessions_)
            if (heldKey == key) return refused(405, "Another session is active with this license");
    const std::string guid = lic.guid.empty() ? newGuid() : lic.guid;
    sessions_[guid] = key;
    return {{"status", 200}, {"GUID", guid},        {"rrl", lic.rrl},
            {"wrrl", lic.wrrl}, {"server", lic.server}, {"message", "Authenticated"}};
}

json TrafficService::deauth(const FormFields& fields) {
    const auto it = sessions_.find(field(fields, "GUID"));
    if (it == sessions_.end()) return refused(401, "Unknown GUID");
    sessions_.erase(it);
    return {{"status", 200}, {"message", "Deauthenticated"}, {"server", scenario_.license.server}};
}

bool TrafficService::sessionKnown(const FormFields& fields) const {
    return sessions_.count(field(fields, "GUID")) > 0;
}

json TrafficService::traffic(const std::string& endpoint, const FormFields& fields) {
    if (!sessionKnown(fields)) return refused(401, "GUID not valid, authenticate again");
    const std::string querytype = field(fields, "querytype");
    if (querytype != "locationtraffic" && querytype != "parkedtraffic") return refused(400, "parameter fault: querytype");
    const auto top = numberField(fields, "top");
    const auto bottom = numberField(fields, "bottom");
    const auto left = numberField(fields, "left");
    const auto right = numberField(fields, "right");
    if (!top || !bottom || !left || !right || *top < *bottom || *right < *left)
        return refused(400, "parameter fault: box");
    const QueryBox box{*top, *bottom, *left, *right};
    std::optional<long long> toffset = 0;
    if (formValue(fields, "toffset")) toffset = integerField(fields, "toffset");
    if (!toffset) return refused(400, "parameter fault: toffset");
    const double t = clock_.seconds() - 60.0 * static_cast<double>(*toffset);
    const int rrl = scenario_.license.rrl;

    if (endpoint == "parked")
        return {{"status", 200}, {"rrl", rrl}, {"data", parkedData(scenario_, t, epochAtZero_, box)}};
    if (endpoint == "live")
        return {{"status", 200}, {"rrl", rrl}, {"data", liveData(scenario_, t, epochAtZero_, box)}};

    const auto count = integerField(fields, "buffercount");
    const auto spacing = numberField(fields, "buffertime");
    if (!count || *count < 1 || *count > kMaxBufferCount || !spacing || *spacing <= 0)
        return refused(400, "parameter fault: buffer");
    json data = json::object();
    for (long long i = 0; i < *count; ++i)
        data[fmt::format("buffer_{}", i)] =
            liveData(scenario_, t - static_cast<double>(i) * *spacing, epochAtZero_, box);
    return {{"status", 200}, {"rrl", rrl}, {"data", data}};
}

json TrafficService::nearestMetar(const FormFields& fields) {
    if (!sessionKnown(fields)) return refused(401, "GUID not valid, authenticate again");
    const auto lat = numberField(fields, "lat");
    const auto lon = numberField(fields, "lon");
    if (!lat || !lon) return refused(400, "parameter fault: position");
    std::vector<std::pair<double, const Station*>> byDistance;
    for (const Station& s : scenario_.stations) byDistance.emplace_back(distanceNm(*lat, *lon, s.lat, s.lon), &s);
    std::sort(byDistance.begin(), byDistance.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    json data = json::array();
    for (std::size_t i = 0; i < byDistance.size() && i < kNearestStations; ++i) {
        const Station& s = *byDistance[i].second;
        data.push_back({{"ICAO", s.icao}, {"Dist", std::round(byDistance[i].first * 10) / 10}, {"METAR", s.metar}});
    }
    return {{"status", 200}, {"data", data}};
}

json TrafficService::weather(const FormFields& fields) {
    if (!sessionKnown(fields)) return refused(401, "GUID not valid, authenticate again");
    if (field(fields, "querytype") != "locwx") return refused(400, "parameter fault: querytype");
    const auto lat = numberField(fields, "lat");
    const auto lon = numberField(fields, "lon");
    if (!lat || !lon) return refused(400, "parameter fault: position");
    const std::string wanted = field(fields, "airports");
    const Station* station = nullptr;
    for (const Station& s : scenario_.stations)
        if (s.icao == wanted) station = &s;
    if (!station) station = nearestStation(scenario_, *lat, *lon);
    json data = json::object();
    if (station) data = {{"ICAO", station->icao}, {"QNH", station->qnh}, {"METAR", station->metar}};
    return {{"status", 200}, {"wrrl", scenario_.license.wrrl}, {"data", data}};
}

}  // namespace service_standin
