#pragma once
// Small helpers shared by the per-tick motion of live aircraft: angle wrapping, the play-out
// ticks left to a point, and the "same place" test of two track points.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/aircraft_records.hpp"
#include "engine/engine_state.hpp"

// A segment never lasts less than this many ticks, whatever the distance and speed.
inline constexpr Tick MIN_SEGMENT_TICKS = 25;
// Two points closer than this in latitude and longitude (degrees) lie at the same place.
inline constexpr double SAME_PLACE_DEG = 1e-8;
// Ticks per hour: ticks for a leg = distance NM * TICKS_PER_HOUR / speed kt.
inline constexpr double TICKS_PER_HOUR = 360000.0;

// An angle in radians wrapped into (-pi, pi].
inline double gf_wrapPi(double angle)
{
    angle = std::remainder(angle, TWO_PI);
    return angle <= -std::numbers::pi ? angle + TWO_PI : angle;
}

// An angle in radians normalised into [0, 2 pi).
inline double gf_normalise2Pi(double angle)
{
    angle = std::fmod(angle, TWO_PI);
    if (angle < 0.0)
        angle += TWO_PI;
    return angle >= TWO_PI ? 0.0 : angle;
}

// A longitude difference (degrees) the short way round, in [-180, 180).
inline double gf_lonDelta(double toLon, double fromLon)
{
    double delta = std::fmod(toLon - fromLon + 180.0, 360.0);
    if (delta < 0.0)
        delta += 360.0;
    return delta - 180.0;
}

// Two positions closer than epsDeg in latitude and in longitude are the same place.
inline bool gf_samePlace(LatLon a, LatLon b, double epsDeg = SAME_PLACE_DEG)
{
    return std::fabs(a.lat - b.lat) < epsDeg && std::fabs(gf_lonDelta(a.lon, b.lon)) < epsDeg;
}
inline bool gf_samePlace(const TrackPoint& a, const TrackPoint& b, double epsDeg = SAME_PLACE_DEG)
{
    return gf_samePlace(LatLon{a.lat, a.lon}, LatLon{b.lat, b.lon}, epsDeg);
}

inline LatLon gf_latLonOf(const TrackPoint& point) { return LatLon{point.lat, point.lon}; }
inline LatLon gf_latLonOf(const SimPosition& position) { return LatLon{position.lat, position.lon}; }

// Ticks left until the point is due, at least MIN_SEGMENT_TICKS.
inline Tick gf_ticksLeft(const TrackPoint& point)
{
    return std::max(MIN_SEGMENT_TICKS, point.playTick - tickCounter.load());
}
