#include "engine/point_acceptance.hpp"

#include <cmath>

#include "engine/motion_math.hpp"
#include "engine/position_stream.hpp"
#include "engine/track_end.hpp"
#include "engine/track_timing.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"

namespace {

constexpr double HOLD_HALF_SPANS = 6.0;
constexpr double HOLD_MOVING_HALF_SPANS = 2.75;
constexpr double BEHIND_RAD = 100.0 * DEG_TO_RAD;
constexpr double LANDING_BEHIND_RAD = 90.0 * DEG_TO_RAD;
constexpr double ROLL_REVERSED_RAD = 150.0 * DEG_TO_RAD;
constexpr double LANDING_SPEED_CAP_KT = 40.0;
constexpr std::uint32_t PUSH_BACK_TURNING = 2;

// Angle between the bearing from a point to another and the aircraft's heading, 0..pi.
double lf_offHeading(const LiveAircraft& aircraft, const TrackPoint& from, const TrackPoint& to)
{
    return std::fabs(gf_wrapPi(gf_bearingRad(gf_latLonOf(from), gf_latLonOf(to)) - aircraft.simPosition.heading));
}

void lf_stopWaiting(LiveAircraft& aircraft)
{
    aircraft.trackEndWait = 0;
    lf_widenLimits(aircraft);
}

// The front point due next tick: a waiting aircraft moves on at once.
void lf_resumeNow(LiveAircraft& aircraft)
{
    if (!aircraft.track.empty())
        aircraft.track.front().playTick = tickCounter.load() + 1;
}

void lf_clearStand(LiveAircraft& aircraft)
{
    aircraft.standLat = 0.0;
    aircraft.standLon = 0.0;
    aircraft.standHeading = 0.0;
    aircraft.standNumber = 0;
    aircraft.cargoStand = false;
}

// The first received point while the push-back turns gives its direction.
bool lf_pushingBack(LiveAircraft& aircraft, const TrackPoint& point)
{
    if (STRAIGHT_PBS_ONLY.value() || aircraft.pushBackState != PUSH_BACK_TURNING)
        return false;
    double heading = 0.0;
    if (point.trueHeading)
        heading = *point.trueHeading;
    else if (point.track != 0.0)
        heading = point.track * DEG_TO_RAD;
    else
        return false;
    aircraft.pushBackRight = gf_wrapPi(heading - aircraft.simPosition.heading) > 0.0;
    return false;
}

// Pushed back: the aircraft holds until a point lies away from the stand, then taxis.
bool lf_pushedBack(LiveAircraft& aircraft, TrackPoint& point)
{
    const double d = gf_distanceNm(gf_latLonOf(aircraft.simPosition), gf_latLonOf(point));
    const double span = aircraft.halfSpan;
    const bool movingAway = d > HOLD_MOVING_HALF_SPANS * span && d > aircraft.lastStandDistance;
    if (d <= HOLD_HALF_SPANS * span && !movingAway) {
        if (aircraft.holding == 0) {
            aircraft.holding = 1;
            aircraft.holdingStart = tickCounter.load();
        }
        aircraft.lastStandDistance = d;
        return false;
    }
    point.stationary = false;
    if (aircraft.trackEndWait > 0) {
        lf_resumeNow(aircraft);
        lf_stopWaiting(aircraft);
    }
    gf_endPushBack(aircraft);
    return true;
}

bool lf_otherPhase(LiveAircraft& aircraft, TrackPoint& point)
{
    if (!lf_checkBirthPoint(aircraft, point))
        return false;
    if (aircraft.trackEndWait < 1)
        return true;
    if (aircraft.track.empty()) {
        gf_log(vald::format("{} empty sz?", "checkExtendingSituations"));
        return false;
    }
    if (!aircraft.onGround && lf_offHeading(aircraft, aircraft.track.back(), point) >= BEHIND_RAD)
        return false;
    lf_stopWaiting(aircraft);
    lf_resumeNow(aircraft);
    aircraft.holding = 0;
    return true;
}

}  // namespace

void gf_endPushBack(LiveAircraft& aircraft)
{
    aircraft.pushBackRight.reset();
    aircraft.pushBackState = 0;
    aircraft.setPhase(FlightPhase::taxi);
    lf_clearStand(aircraft);
    aircraft.holding = 0;
}

bool checkExtendingSituations(LiveAircraft& aircraft, TrackPoint& point)
{
    switch (aircraft.phase) {
    case FlightPhase::parking:
    case FlightPhase::parked:
        if (aircraft.state == SimState::buffer || aircraft.state == SimState::adding2sim)
            return false;
        return lf_atStandTest(aircraft, point);
    case FlightPhase::pushing_back:
        return lf_pushingBack(aircraft, point);
    case FlightPhase::pushed_back:
        return lf_pushedBack(aircraft, point);
    default:
        break;
    }
    if (aircraft.approachConfigured || aircraft.landingRoll)
        return checkNewPosDuringLanding(aircraft, point);
    return lf_otherPhase(aircraft, point);
}

bool checkNewPosDuringLanding(LiveAircraft& aircraft, TrackPoint& point)
{
    auto& track = aircraft.track;
    if (track.empty()) {
        gf_logWarn(vald::format("{} empty sz?", "checkNewPosDuringLanding"));
        return false;
    }
    if (gf_samePlace(point, track.back()))
        return false;
    if (track.size() == 1) {
        const double off = lf_offHeading(aircraft, track.front(), point);
        if (aircraft.approachConfigured && off >= LANDING_BEHIND_RAD)
            return false;
        if (aircraft.landingRoll && off >= ROLL_REVERSED_RAD) {
            if (aircraft.trackEndWait >= 1)
                return false;
            TrackPoint here = track.front();
            here.lat = aircraft.simPosition.lat;
            here.lon = aircraft.simPosition.lon;
            here.playTick = tickCounter.load() + 1;
            track.assign(1, here);
        }
    } else {
        const std::size_t size = track.size();
        if (lf_offHeading(aircraft, track.back(), point) >= LANDING_BEHIND_RAD) {
            track.pop_back();
            if (size >= 3 && lf_offHeading(aircraft, track.back(), point) >= LANDING_BEHIND_RAD)
                track.pop_back();
        }
    }
    if (aircraft.trackEndWait >= 1)
        lf_stopWaiting(aircraft);
    const TrackPoint& last = track.back();
    if (gf_samePlace(point, last))
        point.stationary = true;
    else if (point.groundSpeed > last.groundSpeed && point.groundSpeed > LANDING_SPEED_CAP_KT)
        point.groundSpeed = last.groundSpeed;
    return true;
}
