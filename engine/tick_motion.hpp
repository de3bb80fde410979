#pragma once
// The motion of a live aircraft by one tick: along its curve or by its per-tick increments, its
// heading, attitude and altitude by their per-tick rates.
#include "engine/aircraft_records.hpp"

// Moves the aircraft by one tick (see the per-phase rules in the source).
void lf_moveOneTick(LiveAircraft& aircraft);

// Turns the heading by one turn rate towards the target, the shorter way round, unless they
// differ by at most half a degree.
void lf_turnTowards(LiveAircraft& aircraft, double targetHeading);

// A latitude beyond the pole is reflected onto the far meridian (longitude + 180 degrees); the
// longitude is then brought into [-180, 180).
void lf_normalisePosition(SimPosition& position);
