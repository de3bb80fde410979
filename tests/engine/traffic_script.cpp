#include "tests/engine/traffic_script.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "foundation/format.hpp"

namespace corv_test {

namespace {

constexpr double STEP_SECONDS = 0.1;
constexpr double SECONDS_PER_HOUR = 3600.0;

ProfileMark lf_profileAt(const std::vector<ProfileMark>& profile, double distanceNm)
{
    if (distanceNm <= profile.front().distanceNm)
        return profile.front();
    for (std::size_t i = 1; i < profile.size(); ++i) {
        const ProfileMark& a = profile[i - 1];
        const ProfileMark& b = profile[i];
        if (distanceNm <= b.distanceNm) {
            const double f = b.distanceNm > a.distanceNm ? (distanceNm - a.distanceNm) / (b.distanceNm - a.distanceNm) : 1.0;
            return {distanceNm, a.speedKt + f * (b.speedKt - a.speedKt), a.altitudeFt + f * (b.altitudeFt - a.altitudeFt)};
        }
    }
    return profile.back();
}

// Position and course (degrees) at a distance along the path.
std::pair<LatLon, double> lf_pointAt(const std::vector<LatLon>& path, double distanceNm)
{
    double left = distanceNm;
    for (std::size_t i = 1; i < path.size(); ++i) {
        const double leg = gf_distanceNm(path[i - 1], path[i]);
        const double course = gf_bearingRad(path[i - 1], path[i]);
        if (left <= leg || i + 1 == path.size()) {
            const LatLon at = gf_destinationPoint(path[i - 1], course, std::min(left, leg) * FEET_PER_NM);
            return {at, course * RAD_TO_DEG};
        }
        left -= leg;
    }
    return {path.front(), 0.0};
}

double lf_pathLength(const std::vector<LatLon>& path)
{
    double length = 0.0;
    for (std::size_t i = 1; i < path.size(); ++i)
        length += gf_distanceNm(path[i - 1], path[i]);
    return length;
}

bool lf_moves(const Waypoint& a, const Waypoint& b) { return gf_distanceNm(a.at, b.at) > 1e-6; }

}  // namespace

std::vector<LiveTrafficRecord> gf_waypointReports(const FlightIdentity& flight, std::uint32_t hexId,
                                                  const std::vector<Waypoint>& route, double zeroDataTime)
{
    std::vector<LiveTrafficRecord> reports;
    std::size_t leg = 0;
    for (double t = route.front().t; t <= route.back().t; t += 2.0) {
        while (leg + 2 < route.size() && t > route[leg + 1].t)
            ++leg;
        const Waypoint& a = route[leg];
        const Waypoint& b = route[leg + 1];
        const double f = (t - a.t) / (b.t - a.t);
        std::size_t moving = leg;
        while (moving > 0 && !lf_moves(route[moving], route[moving + 1]))
            --moving;
        while (moving + 2 < route.size() && !lf_moves(route[moving], route[moving + 1]))
            ++moving;
        LiveTrafficRecord report;
        report.flight = flight;
        report.hexId = hexId;
        report.dataTime = zeroDataTime + t;
        report.lat = a.at.lat + (b.at.lat - a.at.lat) * f;
        report.lon = a.at.lon + (b.at.lon - a.at.lon) * f;
        report.altitudeFt = a.altitudeFt + (b.altitudeFt - a.altitudeFt) * f;
        report.airborne = report.altitudeFt > 0.0;
        report.groundSpeedKt = a.groundSpeedKt + (b.groundSpeedKt - a.groundSpeedKt) * f;
        report.speedKt = report.groundSpeedKt;
        const double course = gf_bearingRad(route[moving].at, route[moving + 1].at) * RAD_TO_DEG;
        report.trackDeg = course < 0.0 ? course + 360.0 : course;
        report.verticalRate = report.airborne ? (b.altitudeFt - a.altitudeFt) / (b.t - a.t) * 60.0 : 0.0;
        reports.push_back(report);
    }
    return reports;
}

std::vector<LiveTrafficRecord> gf_scriptReports(const FlightScript& script)
{
    std::mt19937 random(script.seed);
    std::uniform_real_distribution<double> jitter(-script.jitterSeconds, script.jitterSeconds);
    const double length = lf_pathLength(script.path);
    std::vector<LiveTrafficRecord> reports;
    double distance = 0.0;
    double time = script.startDataTime;
    for (double due = script.startDataTime; due <= script.endDataTime; due += script.reportIntervalSeconds) {
        const double reportTime = script.jitterSeconds > 0.0 ? due + jitter(random) : due;
        while (time + STEP_SECONDS <= reportTime) {
            distance = std::min(length, distance + lf_profileAt(script.profile, distance).speedKt * STEP_SECONDS /
                                                       SECONDS_PER_HOUR);
            time += STEP_SECONDS;
        }
        const ProfileMark now = lf_profileAt(script.profile, distance);
        const ProfileMark ahead = lf_profileAt(script.profile, distance + 0.1);
        const auto [position, course] = lf_pointAt(script.path, distance);
        LiveTrafficRecord report;
        report.flight = script.flight;
        report.hexId = script.hexId;
        report.dataTime = reportTime;
        report.lat = position.lat;
        report.lon = position.lon;
        report.altitudeFt = now.altitudeFt;
        report.airborne = now.altitudeFt > 0.0;
        report.groundSpeedKt = distance >= length ? 0.0 : now.speedKt;
        report.speedKt = report.groundSpeedKt;
        report.trackDeg = course < 0.0 ? course + 360.0 : course;
        // Feet per 0.1 nm at the present speed, as feet per minute.
        report.verticalRate = (ahead.altitudeFt - now.altitudeFt) / 0.1 * now.speedKt / 60.0;
        reports.push_back(report);
    }
    return reports;
}

std::vector<LiveTrafficRecord> gf_mergeReports(const std::vector<std::vector<LiveTrafficRecord>>& flights)
{
    std::vector<LiveTrafficRecord> all;
    for (const auto& flight : flights)
        all.insert(all.end(), flight.begin(), flight.end());
    std::stable_sort(all.begin(), all.end(),
                     [](const LiveTrafficRecord& a, const LiveTrafficRecord& b) { return a.dataTime < b.dataTime; });
    return all;
}

FlightScript gf_straightFlight(std::uint32_t hexId, const std::string& callsign, const std::string& type, LatLon from,
                               double speedKt, double altitudeFt, double startDataTime, double endDataTime)
{
    FlightScript script;
    script.flight.airline = "KLM";
    script.flight.type = type;
    script.flight.callsign = callsign;
    script.hexId = hexId;
    script.path = {from, LatLon{from.lat + 2.0, from.lon}};
    script.profile = {ProfileMark{0.0, speedKt, altitudeFt}};
    script.startDataTime = startDataTime;
    script.endDataTime = endDataTime;
    return script;
}

std::vector<LiveTrafficRecord> gf_circlingFlight(std::uint32_t hexid, double radiusNm, double fromDataTime,
                                                 LatLon user)
{
    FlightScript script = gf_straightFlight(hexid, vald::format("KLM{}", hexid % 1000), "A320", user, 200.0, 5000.0,
                                            fromDataTime, fromDataTime + 700.0);
    script.path.clear();
    for (int step = 0; step <= 720; ++step) {
        const double angle = (static_cast<double>(hexid % 16) * 22.5 + step * 10.0) * DEG_TO_RAD;
        script.path.push_back(gf_destinationPoint(user, angle, radiusNm * FEET_PER_NM));
    }
    return gf_scriptReports(script);
}

}  // namespace corv_test
