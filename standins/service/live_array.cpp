#include "standins/service/live_array.hpp"

#include <cmath>

namespace service_standin {
namespace {

using nlohmann::json;

// Feet of pressure altitude per hPa near the ground.
constexpr double kFeetPerHpa = 27.0;

double round(double value, double scale) { return std::round(value * scale) / scale; }

json textOrNull(const std::string& s) { return s.empty() ? json("null") : json(s); }

}  // namespace

json liveArray(const Flight& flight, const FlightState& state, double dataTime, double qnh) {
    json a = json::array();
    for (std::size_t i = 0; i < kLiveArraySize; ++i) a.push_back(nullptr);
    const bool airborne = !state.onGround;
    a[0] = flight.hex;
    a[1] = round(state.lat, 1e6);
    a[2] = round(state.lon, 1e6);
    a[3] = round(state.trackDeg, 10);
    a[4] = airborne ? static_cast<std::int64_t>(std::lround(state.altFt - (qnh - 1013.25) * kFeetPerHpa))
                    : std::int64_t{0};
    a[5] = round(state.gsKt, 10);
    a[8] = flight.type.empty() ? json("ZZZZ") : json(flight.type);
    a[9] = textOrNull(flight.registration);
    a[10] = round(dataTime, 1000);
    a[11] = textOrNull(flight.origin);
    a[12] = textOrNull(flight.destination);
    a[13] = textOrNull(flight.callsign);
    a[15] = static_cast<std::int64_t>(std::lround(state.vsFpm));
    a[17] = flight.source;
    // Without wind the true airspeed equals the ground speed; on the ground none is reported.
    a[20] = airborne ? static_cast<std::int64_t>(std::lround(state.gsKt)) : std::int64_t{-1};
    a[23] = airborne ? round(state.bankDeg, 10) : 0.0;
    a[25] = round(state.trackDeg, 10);
    a[28] = textOrNull(flight.category);
    return a;
}

json parkedEntry(const ParkedAircraft& p, std::int64_t reportTime) {
    // Stored as doubles, the positions serialize with a fraction even when whole ("52.0").
    return json::array({round(p.lat, 1e6), round(p.lon, 1e6), p.stand, p.type.empty() ? "0" : p.type,
                        textOrNull(p.registration), reportTime, textOrNull(p.callsign)});
}

json liveData(const Scenario& scenario, double t, double epochAtZero, const QueryBox& box) {
    json data = json::object();
    double trackTime = t;
    std::int64_t repetition = 0;
    // Before the clock's start the scenario has not begun: nothing flies, looping or not.
    if (scenario.loopSeconds && t >= 0) {
        repetition = static_cast<std::int64_t>(std::floor(t / *scenario.loopSeconds));
        trackTime = t - static_cast<double>(repetition) * *scenario.loopSeconds;
    }
    for (const Flight& f : scenario.flights) {
        const auto state = stateAt(f, trackTime);
        if (!state || !box.contains(state->lat, state->lon)) continue;
        const Station* station = nearestStation(scenario, state->lat, state->lon);
        const double qnh = station ? qnhHpa(station->qnh) : 1013.25;
        const std::string hex = loopedHex(f.hex, repetition);
        json array = liveArray(f, *state, epochAtZero + t, qnh);
        array[0] = hex;
        if (!f.callsign.empty()) array[13] = loopedCallsign(f.callsign, repetition);
        data[hex] = std::move(array);
    }
    return data;
}

json parkedData(const Scenario& scenario, double t, double epochAtZero, const QueryBox& box) {
    json data = json::object();
    for (const ParkedAircraft& p : scenario.parked) {
        if (!box.contains(p.lat, p.lon)) continue;
        const auto reported = static_cast<std::int64_t>(std::floor(epochAtZero + t - p.ageMinutes * 60.0));
        data[p.hex] = parkedEntry(p, reported);
    }
    return data;
}

}  // namespace service_standin
