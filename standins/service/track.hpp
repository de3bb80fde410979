#pragma once
// Where a scenario flight is at a scenario time: linear interpolation between its track points.
#include <optional>

#include "standins/service/scenario.hpp"

namespace service_standin {

struct FlightState {
    double lat = 0;
    double lon = 0;
    double altFt = 0;      // true altitude
    double gsKt = 0;
    double trackDeg = 0;   // [0, 360)
    double vsFpm = 0;
    double bankDeg = 0;
    bool onGround = false;
};

// Empty before the first and after the last track point: the flight is not in the air data then.
std::optional<FlightState> stateAt(const Flight& flight, double t);

}  // namespace service_standin
