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

// A waypoint of a scenario flight: scenario second, place, altitude (0 on the ground), ground speed.
struct Waypoint {
    double t = 0.0;
    LatLon at;
    double altitudeFt = 0.0;
    double groundSpeedKt = 0.0;
};

// The reports the service gives of a flight through its waypoints, every two seconds from the first
// to the last: positions, speeds and altitudes interpolated between the waypoints, scenario second
// 0 at zeroDataTime; a standing leg keeps the course of the nearest moving leg.
std::vector<LiveTrafficRecord> gf_waypointReports(const FlightIdentity& flight, std::uint32_t hexId,
                                                  const std::vector<Waypoint>& route, double zeroDataTime);

// Stand E8 of the demo airport, facing 178 degrees.
inline const LatLon DEMO_STAND_E8{52.3093, 4.750472};
// The departure of the demo scenario: standing, push-back 65 m, hold, taxi at 22 kt, hold short,
// take-off roll to 155 kt, lift-off and climb.
inline const std::vector<Waypoint> DEPARTURE{
    {0.0, DEMO_STAND_E8, 0.0, 0.0},
    {30.0, DEMO_STAND_E8, 0.0, 0.0},
    {93.0, {52.309883, 4.750439}, 0.0, 4.0},
    {108.0, {52.309883, 4.750439}, 0.0, 4.0},
    {170.0, {52.3068, 4.747}, 0.0, 22.0},
    {247.1, {52.3012, 4.756}, 0.0, 22.0},
    {325.8, {52.3022, 4.769}, 0.0, 22.0},
    {379.6, {52.3052, 4.7765}, 0.0, 22.0},
    {397.3, {52.3045, 4.7779}, 0.0, 5.0},
    {412.3, {52.3045, 4.7779}, 0.0, 5.0},
    {457.3, {52.29567, 4.754785}, 0.0, 155.0},
    {479.1, {52.286836, 4.731679}, 900.0, 175.0},
    {516.5, {52.269153, 4.685495}, 2600.0, 210.0},
    {563.4, {52.242596, 4.616288}, 4800.0, 250.0},
};

// A flight standing or moving in a straight line north from a point: the quickest script.
FlightScript gf_straightFlight(std::uint32_t hexId, const std::string& callsign, const std::string& type,
                               LatLon from, double speedKt, double altitudeFt, double startDataTime,
                               double endDataTime);

// The reports of a flight circling the user for 700 s from fromDataTime: its distance stays as it
// is. Its callsign is KLM and the hexid's last three decimal digits.
std::vector<LiveTrafficRecord> gf_circlingFlight(std::uint32_t hexid, double radiusNm, double fromDataTime,
                                                 LatLon user);

}  // namespace corv_test
