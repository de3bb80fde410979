#include "standins/simulator/user_track.hpp"

#include <cmath>
#include <fmt/format.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace standin_sim {

namespace {

constexpr double kEhamLatitudeDeg = 52.3086;
constexpr double kEhamLongitudeDeg = 4.7639;
constexpr double kEhamElevationFt = -11.0;

double number(const nlohmann::json& point, const char* name, double fallback, std::size_t index) {
    if (!point.contains(name)) return fallback;
    const auto& value = point.at(name);
    if (!value.is_number()) throw std::runtime_error(fmt::format("track point {}: '{}' is not a number", index, name));
    const double result = value.get<double>();
    if (!std::isfinite(result)) throw std::runtime_error(fmt::format("track point {}: '{}' is not finite", index, name));
    return result;
}

TrackPoint readPoint(const nlohmann::json& item, std::size_t index, const TrackPoint* previous) {
    if (!item.is_object()) throw std::runtime_error(fmt::format("track point {} is not an object", index));
    TrackPoint point;
    point.timeSeconds = number(item, "t", previous ? previous->timeSeconds : 0.0, index);
    if (!item.contains("lat") || !item.contains("lon")) {
        throw std::runtime_error(fmt::format("track point {} needs 'lat' and 'lon'", index));
    }
    point.latitudeDeg = number(item, "lat", 0, index);
    point.longitudeDeg = number(item, "lon", 0, index);
    if (std::abs(point.latitudeDeg) > 90.0 || std::abs(point.longitudeDeg) > 180.0) {
        throw std::runtime_error(fmt::format("track point {}: position out of range", index));
    }
    point.onGround = item.contains("onGround") && item.at("onGround").is_boolean() && item.at("onGround").get<bool>();
    point.altitudeFt = number(item, "altFt", previous ? previous->altitudeFt : 0.0, index);
    const double groundFallback = point.onGround ? point.altitudeFt : (previous ? previous->groundAltitudeFt : 0.0);
    point.groundAltitudeFt = number(item, "groundAltFt", groundFallback, index);
    point.headingDeg = number(item, "headingDeg", previous ? previous->headingDeg : 0.0, index);
    point.pitchDeg = number(item, "pitchDeg", 0.0, index);
    point.bankDeg = number(item, "bankDeg", 0.0, index);
    point.groundSpeedKt = number(item, "groundSpeedKt", 0.0, index);
    if (previous && point.timeSeconds <= previous->timeSeconds) {
        throw std::runtime_error(fmt::format("track point {}: time does not increase", index));
    }
    return point;
}

std::string text(const nlohmann::json& root, const char* name, const std::string& fallback) {
    if (!root.contains(name)) return fallback;
    if (!root.at(name).is_string()) throw std::runtime_error(fmt::format("'{}' is not a text", name));
    return root.at(name).get<std::string>();
}

double lerp(double a, double b, double f) {
    return a + (b - a) * f;
}

double lerpHeadingDeg(double a, double b, double f) {
    const double turn = std::remainder(b - a, 360.0);  // the shorter way round
    double heading = std::fmod(a + turn * f, 360.0);
    return heading < 0 ? heading + 360.0 : heading;
}

}  // namespace

UserScript defaultUserScript() {
    UserScript script;
    script.title = "Stand-in Boeing 737-800";
    script.model = "B738";
    script.atcId = "PH-SIM";
    TrackPoint parked;
    parked.latitudeDeg = kEhamLatitudeDeg;
    parked.longitudeDeg = kEhamLongitudeDeg;
    parked.altitudeFt = kEhamElevationFt;
    parked.groundAltitudeFt = kEhamElevationFt;
    parked.onGround = true;
    script.track.push_back(parked);
    return script;
}

UserScript loadUserScript(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error(fmt::format("cannot open the user script {}", path.string()));
    nlohmann::json root;
    try {
        root = nlohmann::json::parse(in);
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(fmt::format("the user script {} is not JSON: {}", path.string(), e.what()));
    }
    if (!root.is_object()) throw std::runtime_error("the user script is not a JSON object");
    UserScript script = defaultUserScript();
    script.title = text(root, "title", script.title);
    script.model = text(root, "model", script.model);
    script.atcId = text(root, "atcId", script.atcId);
    if (root.contains("lights")) {
        if (!root.at("lights").is_number_unsigned()) throw std::runtime_error("'lights' is not a mask");
        script.lightMask = root.at("lights").get<std::uint32_t>();
    }
    if (root.contains("track")) {
        const auto& items = root.at("track");
        if (!items.is_array() || items.empty()) throw std::runtime_error("'track' needs at least one point");
        script.track.clear();
        for (std::size_t i = 0; i < items.size(); ++i) {
            script.track.push_back(readPoint(items[i], i, script.track.empty() ? nullptr : &script.track.back()));
        }
    }
    return script;
}

UserPose poseAt(const std::vector<TrackPoint>& track, double timeSeconds) {
    if (track.empty()) return {};
    if (timeSeconds <= track.front().timeSeconds) return {track.front(), 0.0};
    if (timeSeconds >= track.back().timeSeconds) return {track.back(), 0.0};
    std::size_t next = 1;
    while (track[next].timeSeconds < timeSeconds) ++next;
    const TrackPoint& a = track[next - 1];
    const TrackPoint& b = track[next];
    const double span = b.timeSeconds - a.timeSeconds;
    const double f = (timeSeconds - a.timeSeconds) / span;
    UserPose pose;
    TrackPoint& p = pose.point;
    p.timeSeconds = timeSeconds;
    p.latitudeDeg = lerp(a.latitudeDeg, b.latitudeDeg, f);
    p.longitudeDeg = lerp(a.longitudeDeg, b.longitudeDeg, f);
    p.altitudeFt = lerp(a.altitudeFt, b.altitudeFt, f);
    p.groundAltitudeFt = lerp(a.groundAltitudeFt, b.groundAltitudeFt, f);
    p.headingDeg = lerpHeadingDeg(a.headingDeg, b.headingDeg, f);
    p.pitchDeg = lerp(a.pitchDeg, b.pitchDeg, f);
    p.bankDeg = lerp(a.bankDeg, b.bankDeg, f);
    p.groundSpeedKt = lerp(a.groundSpeedKt, b.groundSpeedKt, f);
    p.onGround = a.onGround;
    pose.verticalSpeedFps = (b.altitudeFt - a.altitudeFt) / span;
    return pose;
}

}  // namespace standin_sim
