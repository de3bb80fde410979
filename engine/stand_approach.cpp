#include "engine/stand_approach.hpp"

#include <algorithm>
#include <cmath>

#include "engine/ground_movement.hpp"
#include "engine/motion_math.hpp"
#include "engine/stand_search.hpp"
#include "engine/track_timing.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

bool gf_approachHeldStand(LiveAircraft& aircraft)
{
    const auto& track = aircraft.track;
    if (aircraft.phase != FlightPhase::taxi || (!aircraft.towed && gf_cameFromStand(aircraft)) || track.size() < 2 ||
        !(track.back().stationary || track.back().groundSpeed == 0.0))
        return true;
    const Stand* stand = gf_heldStandAt(gf_latLonOf(track.back()), aircraft, true);
    if (stand == nullptr)
        return true;
    // A holder whose data has ended goes as soon as the arrival's data stops on its stand. One
    // that still reports is met when the arrival comes close: until the next segment start the
    // arrival gets no farther from here than the point it drives to, or, on a curve, than the
    // curve's start and then its control point or its end (the curve keeps within those three).
    const LiveAircraft& holder = *gf_standHolder(*stand, aircraft);
    const LatLon at = gf_latLonOf(aircraft.simPosition);
    double reach = gf_distanceNm(at, gf_latLonOf(track[1]));
    if (const CurveSegment& curve = aircraft.curve; gf_curveRunning(aircraft))
        reach = std::max(reach, gf_distanceNm(at, LatLon{curve.originLat, curve.originLon}) +
                                    std::max(std::hypot(curve.controlNorthM, curve.controlEastM),
                                             std::hypot(curve.endNorthM, curve.endEastM)) /
                                        METRES_PER_NM);
    const double apart = gf_distanceNm(at, gf_latLonOf(holder.simPosition));
    if (!gf_holderDataEnded(holder, aircraft) &&
        !gf_wingsTouch(aircraft.halfSpan, holder.halfSpan, apart - reach, STAND_TOUCHING_MARGIN))
        return true;
    return gf_settleHeldStand(*stand, aircraft);
}

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
