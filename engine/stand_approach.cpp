#include "engine/stand_approach.hpp"

#include <algorithm>
#include <cmath>

#include "engine/ground_movement.hpp"
#include "engine/motion_math.hpp"
#include "engine/track_timing.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

void drive2Stand(LiveAircraft& aircraft, const Stand::Place& stand)
{
    auto& track = aircraft.track;
    if (track.empty()) {
        gf_logWarn(vald::format("{} empty sz?", "drive2Stand"));
        return;
    }
    const double push = gf_pushSpeedOf(aircraft);
    TrackPoint& last = track.back();
    const LatLon at{stand.lat, stand.lon};
    const Tick n = std::max<Tick>(100, std::llround(gf_distanceNm(LatLon{last.lat, last.lon}, at) * TICKS_PER_HOUR / push));

    TrackPoint onStand;
    onStand.lat = stand.lat;
    onStand.lon = stand.lon;
    onStand.altitude = aircraft.simPosition.altitude;
    onStand.groundSpeed = push;
    onStand.speed = push;
    onStand.track = stand.heading * RAD_TO_DEG;
    onStand.verticalRate = 0.0;
    onStand.playTick = track.front().playTick + n;
    onStand.airborne = false;
    onStand.stationary = gf_samePlace(gf_latLonOf(last), at);
    onStand.headingUsable = track.front().headingUsable;
    onStand.bank = aircraft.simPosition.bank;
    last.groundSpeed = push;
    track.push_back(onStand);

    TrackPoint standing = onStand;
    standing.groundSpeed = 0.0;
    standing.speed = 0.0;
    standing.stationary = true;
    standing.playTick = track.front().playTick + 50 + n;
    track.push_back(standing);

    // The last leg is driven straight, turning onto the stand's heading: a curve planned towards
    // the old track end is dropped, and the turn rate of the leg is taken for this turn.
    aircraft.curve = CurveSegment{};
    aircraft.courseToNext = stand.heading;
    gf_measureTurnToCourse(aircraft);
    if (aircraft.trackEndWait > 0 || aircraft.holding != 0) {
        aircraft.trackEndWait = 0;
        aircraft.holding = 0;
        lf_widenLimits(aircraft);
    }
}
