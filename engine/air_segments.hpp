#pragma once
// The airborne segment planner: at the start of each air segment it sets the per-tick rates that
// carry altitude, pitch, heading and bank to the next track point, and configures the aircraft
// (lights, gear, flaps, throttle) by altitude and vertical rate; it puts a descending aircraft
// near the park airport on approach.
#include <optional>

#include "engine/aircraft_records.hpp"

// Per-category limits of the air segments, in radians.
struct AirLimits {
    double pitchRatePerTick = 0.0;
    double bank = 0.0;
    double bankRatePerTick = 0.0;
};
// std::out_of_range for a value outside AircraftCategory.
const AirLimits& gf_airLimits(AircraftCategory category);

void lf_planAirSegment(LiveAircraft& aircraft, TrackPoint& next);
// Lift-off with both points on the ground (climb fitted to a later airborne point) or, on
// approach or without any climb in the track, a descent.
void lf_planClimbOrDescent(LiveAircraft& aircraft);
void lf_climbToNextPoint(LiveAircraft& aircraft);
// Flies straight on to the k-th point (k counted from 1 at the front) when it is airborne.
[[nodiscard]] bool lf_fitClimbPoint(LiveAircraft& aircraft, std::size_t k);
double lf_descentRate(const LiveAircraft& aircraft);
// Bearing from the next point to the one after it minus the heading, in (-pi, pi]; 0 with
// fewer than three points.
double lf_headingChangeToNext(const LiveAircraft& aircraft);
void lf_bankRateForTurn(LiveAircraft& aircraft, double headingChange, double ticks);
void lf_configureMidAltitude(LiveAircraft& aircraft);
void lf_configureLowAltitude(LiveAircraft& aircraft);
