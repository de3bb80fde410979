#pragma once
// Traffic scripts for the engine harness: the reports the traffic service would give of one
// flight along a polyline, with a speed and altitude profile, a report interval and a jitter.
#include <cstdint>
#include <vector>

#include "foundation/geodesy.hpp"
#include "traffic/traffic_records.hpp"

namespace corv_test {

// Speed and altitude at a distance along the path; between two marks both change linearly.
struct ProfileMark {
    double distanceNm = 0.0;
    double speedKt = 0.0;
    double altitudeFt = 0.0;  // 0: on the ground
};

struct FlightScript {
    FlightIdentity flight;
    std::uint32_t hexId = 0;
    std::vector<LatLon> path;          // at least one point
    std::vector<ProfileMark> profile;  // by rising distance; at least one mark
    double startDataTime = 0.0;        // data time of the first report (seconds since 1970)
    double reportIntervalSeconds = 2.0;
    double jitterSeconds = 0.0;  // each report time moves by up to this much either way
    double endDataTime = 0.0;    // reports stop here, or at the end of the path when that comes first
    std::uint32_t seed = 1;
};

// The flight's reports in data-time order. An aircraft that stands still (speed 0) keeps
// reporting its place until endDataTime.
std::vector<LiveTrafficRecord> gf_scriptReports(const FlightScript& script);

// All reports of several flights in data-time order.
std::vector<LiveTrafficRecord> gf_mergeReports(const std::vector<std::vector<LiveTrafficRecord>>& flights);

// A flight standing or moving in a straight line north from a point: the quickest script.
FlightScript gf_straightFlight(std::uint32_t hexId, const std::string& callsign, const std::string& type,
                               LatLon from, double speedKt, double altitudeFt, double startDataTime,
                               double endDataTime);

// The reports of a flight circling the user for 700 s from fromDataTime: its distance stays as it
// is. Its callsign is KLM and the hexid's last three decimal digits.
std::vector<LiveTrafficRecord> gf_circlingFlight(std::uint32_t hexid, double radiusNm, double fromDataTime,
                                                 LatLon user);

}  // namespace corv_test
