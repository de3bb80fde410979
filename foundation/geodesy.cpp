#include "foundation/geodesy.hpp"

double gf_distanceNm(LatLon a, LatLon b)
{
    const double latA = a.lat * DEG_TO_RAD;
    const double latB = b.lat * DEG_TO_RAD;
    const double sinHalfDLat = std::sin((latB - latA) / 2);
    const double sinHalfDLon = std::sin((b.lon - a.lon) * DEG_TO_RAD / 2);
    const double h = sinHalfDLat * sinHalfDLat + std::cos(latB) * std::cos(latA) * sinHalfDLon * sinHalfDLon;
    return std::atan2(std::sqrt(h), std::sqrt(1 - h)) * EARTH_DIAMETER_NM;
}

double gf_bearingRad(LatLon from, LatLon to)
{
    const double latFrom = from.lat * DEG_TO_RAD;
    const double latTo = to.lat * DEG_TO_RAD;
    const double dLon = (to.lon - from.lon) * DEG_TO_RAD;
    const double y = std::sin(dLon) * std::cos(latTo);
    const double x = std::cos(latFrom) * std::sin(latTo) - std::sin(latFrom) * std::cos(latTo) * std::cos(dLon);
    double theta = std::atan2(y, x);
    if (theta < 0)
        theta += TWO_PI;
    return theta;
}

LatLon gf_destinationPoint(LatLon from, double bearingRad, double distanceFt)
{
    const double delta = distanceFt * RECIPROCAL_EARTH_RADIUS_PER_FT;
    const double lat1 = from.lat * DEG_TO_RAD;
    const double lon1 = from.lon * DEG_TO_RAD;
    const double lat2 = std::asin(std::sin(lat1) * std::cos(delta) + std::cos(lat1) * std::sin(delta) * std::cos(bearingRad));
    const double lon2 = std::remainder(
        lon1 + std::atan2(std::sin(bearingRad) * std::sin(delta) * std::cos(lat1), std::cos(delta) - std::sin(lat1) * std::sin(lat2)),
        TWO_PI);
    return {lat2 * RAD_TO_DEG, lon2 * RAD_TO_DEG};
}

bool gf_pointOnPathSegment(const CurveSegment& segment, LatLon& position, double& headingRad, double t)
{
    if (std::isnan(segment.controlEastM) || std::isnan(segment.controlNorthM))
        return false;
    // An empty or reversed parameter range has no point: dividing by it would give NaN.
    if (!(segment.t1 > segment.t0) || t < segment.t0 || t > segment.t1)
        return false;
    const double s = (t - segment.t0) / (segment.t1 - segment.t0);
    if (s < 0 || s > 1)
        return false;
    const double u = 1 - s;

    const double dEast = 2 * u * segment.controlEastM + 2 * s * (segment.endEastM - segment.controlEastM);
    const double dNorth = 2 * u * segment.controlNorthM + 2 * s * (segment.endNorthM - segment.controlNorthM);
    double heading = std::atan2(dEast, dNorth);
    if (heading < 0)
        heading += TWO_PI;
    else if (heading > TWO_PI)
        heading -= TWO_PI;

    const double east = 2 * u * s * segment.controlEastM + s * s * segment.endEastM;
    const double north = 2 * u * s * segment.controlNorthM + s * s * segment.endNorthM;
    const double lat = north / METRES_PER_DEGREE_LAT + segment.originLat;
    const double lon = east / (std::cos(segment.originLat * DEG_TO_RAD) * METRES_PER_DEGREE_LAT) + segment.originLon;
    // A non-finite input (an infinite offset, an origin at a pole) must not pass as a position.
    if (!std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(heading))
        return false;
    position = {lat, lon};
    headingRad = heading;
    return true;
}
