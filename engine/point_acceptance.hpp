#pragma once
// Whether a received point may join a known aircraft's track, by its phase.
#include "engine/aircraft_records.hpp"

[[nodiscard]] bool checkExtendingSituations(LiveAircraft& aircraft, TrackPoint& point);
// On approach or in the landing roll: points behind the aircraft are dropped, speed jumps cut.
[[nodiscard]] bool checkNewPosDuringLanding(LiveAircraft& aircraft, TrackPoint& point);
// The push-back is over: the aircraft taxis from where it is, its stand given up.
void gf_endPushBack(LiveAircraft& aircraft);
