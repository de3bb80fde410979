#include "standins/service/track.hpp"

#include <cmath>

#include "standins/service/geo.hpp"

namespace service_standin {
namespace {

// Below this a segment has no direction of its own (an aircraft standing still).
constexpr double kStillNm = 1e-6;

double lerp(double a, double b, double f) { return a + (b - a) * f; }

double normalizeDeg(double deg) {
    deg = std::fmod(deg, 360.0);
    if (deg < 0) deg += 360.0;
    return deg >= 360.0 ? 0.0 : deg;
}

double lerpAngleDeg(double a, double b, double f) {
    double diff = std::fmod(b - a, 360.0);
    if (diff > 180) diff -= 360;
    if (diff < -180) diff += 360;
    return normalizeDeg(a + diff * f);
}

double segmentNm(const TrackPoint& a, const TrackPoint& b) { return distanceNm(a.lat, a.lon, b.lat, b.lon); }

// Direction of travel of segment i; a standing segment takes that of the nearest moving one
// before it, then after it, so a stopped aircraft keeps the heading it arrived with.
double segmentTrack(const Flight& flight, std::size_t i) {
    const auto& pts = flight.track;
    auto moving = [&](std::size_t k) { return segmentNm(pts[k], pts[k + 1]) > kStillNm; };
    auto bearing = [&](std::size_t k) {
        return bearingDeg(pts[k].lat, pts[k].lon, pts[k + 1].lat, pts[k + 1].lon);
    };
    if (moving(i)) return bearing(i);
    for (std::size_t k = i; k-- > 0;)
        if (moving(k)) return bearing(k);
    for (std::size_t k = i + 1; k + 1 < pts.size(); ++k)
        if (moving(k)) return bearing(k);
    return 0.0;
}

}  // namespace

std::optional<FlightState> stateAt(const Flight& flight, double t) {
    const auto& pts = flight.track;
    if (pts.size() < 2 || t < pts.front().t || t > pts.back().t) return std::nullopt;
    std::size_t i = 0;
    while (i + 2 < pts.size() && t > pts[i + 1].t) ++i;
    const TrackPoint& a = pts[i];
    const TrackPoint& b = pts[i + 1];
    const double dt = b.t - a.t;
    const double f = (t - a.t) / dt;

    // Where both ends give a speed, the speed changes evenly over the segment and the aircraft
    // covers its way accordingly, as a real aircraft's reports show it: a take-off roll from
    // walking pace does not run its first seconds at the roll's average speed, nor does a
    // landing roll its last ones.
    double along = f;
    if (a.gsKt && b.gsKt && *a.gsKt + *b.gsKt > 0.0)
        along = f * (2.0 * *a.gsKt + (*b.gsKt - *a.gsKt) * f) / (*a.gsKt + *b.gsKt);

    FlightState s;
    s.lat = lerp(a.lat, b.lat, along);
    s.lon = lerp(a.lon, b.lon, along);
    s.altFt = lerp(a.altFt, b.altFt, f);
    s.bankDeg = lerp(a.bankDeg, b.bankDeg, f);
    s.onGround = (a.ground && b.ground) || (f == 0.0 && a.ground) || (f == 1.0 && b.ground);
    if (a.gsKt && b.gsKt)
        s.gsKt = lerp(*a.gsKt, *b.gsKt, f);
    else
        s.gsKt = segmentNm(a, b) / dt * 3600.0;
    if (a.trackDeg && b.trackDeg)
        s.trackDeg = lerpAngleDeg(*a.trackDeg, *b.trackDeg, f);
    else
        s.trackDeg = normalizeDeg(segmentTrack(flight, i));
    s.vsFpm = s.onGround ? 0.0 : (b.altFt - a.altFt) / dt * 60.0;
    return s;
}

}  // namespace service_standin
