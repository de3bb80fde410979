#pragma once
// Small helpers shared by the per-tick motion of live aircraft: the play-out ticks left to a
// point, whether a curve is under way, and the "same place" test of two track points (the angle
// wraps and the test of two positions are foundation/geodesy.hpp).
#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/aircraft_records.hpp"
#include "engine/engine_state.hpp"
#include "foundation/geodesy.hpp"

// A segment never lasts less than this many ticks, whatever the distance and speed.
inline constexpr Tick MIN_SEGMENT_TICKS = 25;
// Ticks per hour: ticks for a leg = distance NM * TICKS_PER_HOUR / speed kt.
inline constexpr double TICKS_PER_HOUR = 360000.0;

inline bool gf_samePlace(const TrackPoint& a, const TrackPoint& b, double epsDeg = SAME_PLACE_DEG)
{
    return gf_samePlace(LatLon{a.lat, a.lon}, LatLon{b.lat, b.lon}, epsDeg);
}

// A curve is under way.
inline bool gf_curveRunning(const LiveAircraft& aircraft) { return !std::isnan(aircraft.curve.controlEastM); }

inline LatLon gf_latLonOf(const TrackPoint& point) { return LatLon{point.lat, point.lon}; }
inline LatLon gf_latLonOf(const SimPosition& position) { return LatLon{position.lat, position.lon}; }

// Ticks left until the point is due, at least MIN_SEGMENT_TICKS.
inline Tick gf_ticksLeft(const TrackPoint& point)
{
    return std::max(MIN_SEGMENT_TICKS, point.playTick - tickCounter.load());
}
