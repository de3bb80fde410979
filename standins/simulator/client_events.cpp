#include "standins/simulator/client_events.hpp"

#include <algorithm>
#include <cctype>

namespace standin_sim {

namespace {

void setLight(SimObject& o, std::uint32_t bit, std::uint32_t data) {
    o.lightMask = data != 0 ? (o.lightMask | bit) : (o.lightMask & ~bit);
}

struct SimEvent {
    const char* name;
    void (*apply)(SimObject&, std::uint32_t);
};

const SimEvent kEvents[] = {
    {"BEACON_LIGHTS_SET", [](SimObject& o, std::uint32_t d) { setLight(o, light::Beacon, d); }},
    {"NAV_LIGHTS_SET", [](SimObject& o, std::uint32_t d) { setLight(o, light::Nav, d); }},
    {"TAXI_LIGHTS_SET", [](SimObject& o, std::uint32_t d) { setLight(o, light::Taxi, d); }},
    {"STROBES_SET", [](SimObject& o, std::uint32_t d) { setLight(o, light::Strobe, d); }},
    {"LANDING_LIGHTS_SET", [](SimObject& o, std::uint32_t d) { setLight(o, light::Landing, d); }},
    {"CABIN_LIGHTS_SET", [](SimObject& o, std::uint32_t d) { setLight(o, light::Cabin, d); }},
    {"LOGO_LIGHTS_SET", [](SimObject& o, std::uint32_t d) { setLight(o, light::Logo, d); }},
    {"ALL_LIGHTS_TOGGLE", [](SimObject& o, std::uint32_t) { o.lightMask = o.lightMask == 0 ? light::All : 0; }},
    {"FREEZE_LATITUDE_LONGITUDE_SET", [](SimObject& o, std::uint32_t d) { o.freezeLatLon = d != 0; }},
    {"FREEZE_ALTITUDE_SET", [](SimObject& o, std::uint32_t d) { o.freezeAltitude = d != 0; }},
    {"FREEZE_ATTITUDE_SET", [](SimObject& o, std::uint32_t d) { o.freezeAttitude = d != 0; }},
    {"FLAPS_SET", [](SimObject& o, std::uint32_t d) { o.flaps = d; }},
    {"SPOILERS_SET", [](SimObject& o, std::uint32_t d) { o.spoilers = d; }},
    {"GEAR_SET", [](SimObject& o, std::uint32_t d) { o.gearDown = d != 0; }},
    {"ENGINE_AUTO_START", [](SimObject& o, std::uint32_t) { o.enginesRunning = true; }},
    {"ENGINE_AUTO_SHUTDOWN", [](SimObject& o, std::uint32_t) { o.enginesRunning = false; }},
    {"THROTTLE_SET", [](SimObject& o, std::uint32_t d) { o.throttle = d; }},
};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

std::string knownSimEvent(const std::string& name) {
    const std::string key = upper(name);
    for (const auto& event : kEvents) {
        if (key == event.name) return key;
    }
    return {};
}

void applySimEvent(const std::string& canonicalName, std::uint32_t data, SimObject& object) {
    for (const auto& event : kEvents) {
        if (canonicalName == event.name) {
            event.apply(object, data);
            return;
        }
    }
}

}  // namespace standin_sim
