#pragma once
// Positions on a spherical earth of radius 10800/pi nautical miles (one NM per minute of arc).
// Distances in nautical miles, distances along a bearing in feet, bearings in radians.
#include <cmath>
#include <cstdint>
#include <numbers>

struct LatLon {
    double lat = 0.0;  // degrees, north positive
    double lon = 0.0;  // degrees, east positive
};

// One curved piece of an aircraft's path: a quadratic Bezier curve from the origin (0, 0) over
// the control point to the end point, in metres east/north of the origin, run through as the
// parameter goes from t0 to t1. A NaN control point describes no curve.
struct CurveSegment {
    double originLat = 0.0;
    double originLon = 0.0;
    double t0 = 0.0;
    double endNorthM = 0.0;
    double endEastM = 0.0;
    double t1 = 0.0;
    double controlEastM = NAN;
    double controlNorthM = NAN;
};

inline constexpr double DEG_TO_RAD = 0.017453292519943295;
inline constexpr double RAD_TO_DEG = 57.29577951308232;
inline constexpr double TWO_PI = 6.283185307179586;
inline constexpr double EARTH_DIAMETER_NM = 6875.493541569878;
inline constexpr double RECIPROCAL_EARTH_RADIUS_PER_FT = 4.787404208238998e-8;
inline constexpr double METRES_PER_DEGREE_LAT = 111132.95;
inline constexpr double FEET_PER_NM = 6076.11549;
inline constexpr double METRES_PER_NM = 1852.0;
inline constexpr std::int32_t WHOLE_METRES_PER_NM = 1852;
// The standard sea-level pressure in whole hectopascals, the QNH until the weather tells one.
inline constexpr std::int32_t STANDARD_QNH_HPA = 1013;
// The standard sea-level pressure exactly, for altitude corrections.
inline constexpr double STANDARD_PRESSURE_HPA = 1013.25;

// Two points closer than this in latitude and longitude (degrees) lie at the same place.
inline constexpr double SAME_PLACE_DEG = 1e-8;

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

// Great-circle distance (haversine).
double gf_distanceNm(LatLon a, LatLon b);
// Initial true bearing in [0, 2*pi).
double gf_bearingRad(LatLon from, LatLon to);
// The point distanceFt along the great circle that leaves from at bearingRad; longitude in
// [-180, 180].
LatLon gf_destinationPoint(LatLon from, double bearingRad, double distanceFt);
// Position and heading (radians from north, clockwise, in [0, 2*pi]) at parameter t. False, and
// nothing written, when the segment is no curve, t lies outside [t0, t1], t1 <= t0, or a result
// is not finite.
[[nodiscard]] bool gf_pointOnPathSegment(const CurveSegment& segment, LatLon& position, double& headingRad, double t);
