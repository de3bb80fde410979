#pragma once
// The service's wire forms of traffic: the 48-element live array of a flying or taxiing target
// and the parked entry, and the "data" objects of live and parked replies built from a scenario.
#include <cstdint>

#include <nlohmann/json.hpp>

#include "standins/service/scenario.hpp"
#include "standins/service/track.hpp"

namespace service_standin {

inline constexpr std::size_t kLiveArraySize = 48;

struct QueryBox {
    double top = 0;
    double bottom = 0;
    double left = 0;
    double right = 0;
    bool contains(double lat, double lon) const {
        return lat <= top && lat >= bottom && lon >= left && lon <= right;
    }
};

// altitude [4] is the pressure altitude referred to 1013.25 hPa, so the true altitude of the
// state is converted with the QNH of the air the aircraft flies in; 0 on the ground.
nlohmann::json liveArray(const Flight& flight, const FlightState& state, double dataTime, double qnhHpa);

// [lat, lon, stand, type, registration, report time, callsign]; lat and lon always as floats.
nlohmann::json parkedEntry(const ParkedAircraft& aircraft, std::int64_t reportTime);

// Member per target, keyed by its address, of every flight inside the box at scenario time t.
// epochAtZero is the epoch second of scenario time 0.
nlohmann::json liveData(const Scenario& scenario, double t, double epochAtZero, const QueryBox& box);
nlohmann::json parkedData(const Scenario& scenario, double t, double epochAtZero, const QueryBox& box);

}  // namespace service_standin
