#include "engine/ground_movement.hpp"

#include <algorithm>
#include <cmath>
#include <gsl/narrow>
#include <unordered_map>

#include "engine/air_segments.hpp"
#include "engine/approach_landing.hpp"
#include "engine/data_clock.hpp"
#include "engine/engine_state.hpp"
#include "engine/pause_holds.hpp"
#include "engine/stand_claims.hpp"
#include "engine/stand_marks.hpp"
#include "engine/stand_search.hpp"
#include "engine/track_timing.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "simlink/sim_queues.hpp"

namespace {

constexpr double PI = 3.141592653589793;
constexpr double MIDPOINT_MIN_TURN_DEG = 45.0;
constexpr double MIDPOINT_MAX_SPEED_KT = 43.0;
constexpr Tick MIDPOINT_MIN_TICKS = 600;
constexpr double SPEED_CHANGE_KT = 5.0;
constexpr double TAKE_OFF_VERTICAL_RATE = 256.0;

Tick lf_now() { return tickCounter.load(); }

LatLon lf_at(const TrackPoint& point) { return LatLon{point.lat, point.lon}; }
LatLon lf_aircraftAt(const LiveAircraft& aircraft) { return LatLon{aircraft.simPosition.lat, aircraft.simPosition.lon}; }

Tick lf_ticksFor(double distanceNm, double speedKt) { return std::llround(distanceNm * TICKS_PER_HOUR / speedKt); }

// Local offsets in metres of a point from the start of a curve.
void lf_offsetsFrom(double startLat, double startLon, LatLon point, double& northM, double& eastM)
{
    const double latForCos = startLat > 180.0 ? std::fmod(startLat, 360.0) : startLat;
    northM = (point.lat - startLat) * METRES_PER_DEGREE_LAT;
    eastM = std::cos(latForCos * DEG_TO_RAD) * METRES_PER_DEGREE_LAT * (point.lon - startLon);
}

double lf_takeOffSpeed(AircraftCategory category)
{
    static const std::unordered_map<std::int32_t, double> speeds{
        {0, 90.0}, {1, 110.0}, {2, 140.0}, {3, 150.0}, {4, 220.0}, {5, 0.0},
    };
    return speeds.at(static_cast<std::int32_t>(category));
}

void lf_startEngines(LiveAircraft& aircraft)
{
    gf_queueClientEvent(QueuedClientEvent{aircraft.objectId, ENGINE_AUTO_START, 0});
    gf_setThrottle(aircraft, 0);
    gf_setFlaps(aircraft, 1);
}

void lf_throttleForTaxi(LiveAircraft& aircraft)
{
    const TrackPoint& p0 = aircraft.track[0];
    const TrackPoint& p1 = aircraft.track[1];
    const bool rotor = aircraft.category == AircraftCategory::Rotorcraft;
    if (aircraft.departing) {
        if (rotor || p0.groundSpeed >= 25.0 || p1.groundSpeed >= 30.0)
            gf_setThrottle(aircraft, 4);
        else if (p0.groundSpeed >= 20.0 || p1.groundSpeed >= 25.0)
            gf_setThrottle(aircraft, 2);
        else if (p0.groundSpeed >= 15.0 || p1.groundSpeed >= 20.0)
            gf_setThrottle(aircraft, 1);
        else
            gf_setThrottle(aircraft, 0);
    } else if (!aircraft.landingRoll) {
        gf_setThrottle(aircraft, rotor ? 4 : 0);
    }
}

void lf_detectTakeOff(LiveAircraft& aircraft, Tick n)
{
    const auto& track = aircraft.track;
    if (!aircraft.departing || aircraft.phase == FlightPhase::take_off || track[0].groundSpeed < 43.0)
        return;
    const bool groundAhead =
        std::any_of(track.begin() + 1, track.end(), [](const TrackPoint& point) { return !point.airborne; });
    const bool levelAhead = std::any_of(track.begin() + 1, track.end(), [](const TrackPoint& point) {
        return point.verticalRate <= TAKE_OFF_VERTICAL_RATE;
    });
    if (levelAhead) {
        if (!lf_canTakeOff(aircraft) || groundAhead)
            return;
        aircraft.altitudeRate = aircraft.maxClimbStep;
    } else if (groundAhead) {
        aircraft.altitudeRate = aircraft.maxClimbStep;
    } else {
        aircraft.altitudeRate =
            std::max(track[1].altitude - aircraft.simPosition.altitude, 0.1) / static_cast<double>(n);
    }
    lf_takeoffStart(aircraft);
}

// Smoothing of the taxi track at the next point.
void lf_smoothTurn(LiveAircraft& aircraft)
{
    auto& track = aircraft.track;
    const TrackPoint& p0 = track[0];
    const TrackPoint& p1 = track[1];
    if (track.size() >= 3 && !track[2].stationary) {
        const double turn = std::fabs(lf_headingChangeToNext(aircraft)) * RAD_TO_DEG;
        const Tick legTicks = std::max<Tick>(MIN_SEGMENT_TICKS, p1.playTick - p0.playTick);
        if (turn > MIDPOINT_MIN_TURN_DEG && gf_distanceNm(lf_at(p0), lf_at(p1)) > MIDPOINT_MIN_LEG_NM &&
            p0.groundSpeed <= MIDPOINT_MAX_SPEED_KT && legTicks >= MIDPOINT_MIN_TICKS) {
            lf_insertMidPoint(aircraft);
        } else if (turn > 3.0 && turn <= 160.0) {
            if (gf_samePlace(lf_at(track[0]), lf_at(track[2]))) {
                lf_splitIfSpeedChange(aircraft);
            } else {
                lf_startCurve(aircraft);
                aircraft.curveAngle = turn;
            }
        } else {
            lf_splitIfSpeedChange(aircraft);
        }
    } else if (track.size() >= 3) {
        lf_splitIfSpeedChange(aircraft);
    } else if (aircraft.trackEndWait < 1) {
        lf_splitIfSpeedChange(aircraft);
    }
    gf_measureTurnToCourse(aircraft);
}

void lf_leaveStand(LiveAircraft& aircraft)
{
    lf_widenLimits(aircraft);
    if (!aircraft.leaveStand || aircraft.track.empty())
        return;
    const LatLon stand{aircraft.standLat, aircraft.standLon};
    const double exitDeg =
        std::round(gf_wrapPi(gf_bearingRad(stand, lf_at(aircraft.track.back())) - aircraft.standHeading) * RAD_TO_DEG);
    if (std::fabs(exitDeg) < 90.0)
        lf_pullOut(aircraft);
    else
        lf_pushBack(aircraft);
}

// A taxiing aircraft that stops at the end of its track looks for a stand there; on its way, one
// that heads for a stand another aircraft holds meets the holder before their wings touch.
void lf_parkAtTrackEnd(LiveAircraft& aircraft)
{
    const auto& track = aircraft.track;
    if (!gf_approachHeldStand(aircraft))
        return;
    if (aircraft.phase != FlightPhase::taxi || !track.back().stationary || parkStands.empty())
        return;
    if (!aircraft.towed && gf_cameFromStand(aircraft))
        return;
    // Holding for a pause of the feed, it parks once its data has ended, not before.
    if (aircraft.trackEndWait >= 1) {
        if (!gf_heldForPause(aircraft) || gf_dataEnded(aircraft))
            try2Park(aircraft, aircraft.touchedDown);
        return;
    }
    if (track.size() >= 2 && track[1].groundSpeed <= 5.0 &&
        gf_distanceNm(lf_aircraftAt(aircraft), lf_at(track.back())) <= PARK_APPROACH_NM)
        try2Park(aircraft, false);
}

}  // namespace

double gf_pushSpeedOf(const LiveAircraft& aircraft)
{
    if (aircraft.pushSpeed > 0.0)
        return aircraft.pushSpeed;
    return gf_categoryConstants(aircraft.category).pushSpeedKt;
}

void gf_measureTurnToCourse(LiveAircraft& aircraft)
{
    if (gf_curveRunning(aircraft)) {
        aircraft.turnToCourse = false;
        return;
    }
    aircraft.turnToCourseAngle =
        std::fabs(gf_wrapPi(aircraft.courseToNext - aircraft.simPosition.heading) * RAD_TO_DEG);
    aircraft.turnToCourse = aircraft.turnToCourseAngle > 3.0;
}

void gf_taxiLights(const LiveAircraft& aircraft)
{
    // nav, beacon, landing, taxi, strobes, logo, cabin
    gf_setLights(aircraft.objectId, {1, 1, 0, 1, 0, 1, 0});
}




void nextPosGround(LiveAircraft& aircraft)
{
    if (aircraft.track.empty())
        return;
    if (aircraft.phase == FlightPhase::pushing_back)
        lf_pushBackStep(aircraft);
    else if (aircraft.phase == FlightPhase::parked)
        lf_leaveStand(aircraft);
    else if (aircraft.track.size() >= 2 && !aircraft.track[1].stationary)
        lf_smoothTurn(aircraft);
    lf_parkAtTrackEnd(aircraft);
    lf_retimeGroundPoint(aircraft);
}

void lf_planGroundSegment(LiveAircraft& aircraft)
{
    auto& track = aircraft.track;
    if (track.size() < 2)
        return;
    const Tick n = std::max<Tick>(MIN_SEGMENT_TICKS, track[1].playTick - lf_now());
    if (aircraft.phase == FlightPhase::parked || aircraft.phase == FlightPhase::flying)
        aircraft.setPhase(FlightPhase::taxi);
    else
        lf_throttleForTaxi(aircraft);
    if (aircraft.landingRoll)
        lf_landingRoll(aircraft);
    else if (!aircraft.departing)
        lf_relaxLimits(aircraft);
    if (aircraft.flareStage == 0 && aircraft.phase != FlightPhase::take_off) {
        aircraft.simPosition.pitch = aircraft.staticPitch;
        aircraft.simPosition.bank = 0.0;
        aircraft.pitchRate = 0.0;
        aircraft.bankRate = 0.0;
    }
    if (gf_curveRunning(aircraft))
        aircraft.curveStep = 1.0 / static_cast<double>(n);
    aircraft.segmentSpeed = aircraft.phase == FlightPhase::pushing_back ? -track[1].groundSpeed : track[1].groundSpeed;
    lf_detectTakeOff(aircraft, n);
}

bool lf_canTakeOff(const LiveAircraft& aircraft)
{
    const double minimum = lf_takeOffSpeed(aircraft.category);
    return std::all_of(aircraft.track.begin() + (aircraft.track.empty() ? 0 : 1), aircraft.track.end(),
                       [minimum](const TrackPoint& point) { return point.groundSpeed >= minimum; });
}

void lf_insertMidPoint(LiveAircraft& aircraft)
{
    auto& track = aircraft.track;
    if (track.size() < 2)
        return;
    const TrackPoint& p0 = track[0];
    const TrackPoint& p1 = track[1];
    TrackPoint mid = p0;
    mid.lat = (p0.lat + p1.lat) / 2.0;
    mid.lon = (p0.lon + p1.lon) / 2.0;
    mid.groundSpeed = (p0.groundSpeed + p1.groundSpeed) / 2.0;
    mid.playTick = std::llround(static_cast<double>(p0.playTick + p1.playTick) / 2.0);
    const double altitude = (p0.altitude + p1.altitude) / 2.0;
    mid.airborne = altitude > 0.0;
    mid.altitude = mid.airborne ? altitude : 0.0;
    mid.stationary = false;
    track.insert(track.begin() + 1, mid);
}

void lf_splitIfSpeedChange(LiveAircraft& aircraft)
{
    const auto& track = aircraft.track;
    if (track.size() < 2)
        return;
    const TrackPoint& p0 = track[0];
    const TrackPoint& p1 = track[1];
    const bool moving = p0.groundSpeed > 0.0 || p1.groundSpeed > 0.0;
    if (moving && std::fabs(p0.groundSpeed - p1.groundSpeed) > SPEED_CHANGE_KT &&
        gf_distanceNm(lf_at(p0), lf_at(p1)) >= SPLIT_MIN_LEG_NM)
        lf_insertMidPoint(aircraft);
}

void lf_startCurve(LiveAircraft& aircraft)
{
    auto& track = aircraft.track;
    if (track.size() < 3)
        return;
    if (track[2].groundSpeed == 0.0)
        track[2].groundSpeed = (track[0].groundSpeed + track[1].groundSpeed) / 2.0;
    CurveSegment& curve = aircraft.curve;
    curve.originLat = aircraft.simPosition.lat;
    curve.originLon = aircraft.simPosition.lon;
    curve.t0 = 0.0;
    curve.t1 = 1.0;
    lf_offsetsFrom(curve.originLat, curve.originLon, lf_at(track[1]), curve.controlNorthM, curve.controlEastM);
    lf_offsetsFrom(curve.originLat, curve.originLon, lf_at(track[2]), curve.endNorthM, curve.endEastM);
    aircraft.curveIndex = 0.0;
    track.erase(track.begin() + 1);
}

void lf_retimeGroundPoint(LiveAircraft& aircraft)
{
    auto& track = aircraft.track;
    if (track.size() < 2)
        return;
    const Tick now = lf_now();
    const TrackPoint& p0 = track[0];
    TrackPoint& p1 = track[1];
    if (p1.stationary) {
        Tick due = now + std::max<Tick>(MIN_SEGMENT_TICKS,
                                        p0.playTick - now + std::max<Tick>(MIN_SEGMENT_TICKS, p1.playTick - p0.playTick));
        if (aircraft.trackEndWait < 1)
            due = std::clamp(due, p1.playTick - aircraft.earlyLimit, p1.playTick + aircraft.lateLimit);
        p1.playTick = std::max(due, now);
        return;
    }
    aircraft.currentTurnRate = aircraft.turnRate;
    const double distance = gf_distanceNm(lf_at(p0), lf_at(p1));
    const Tick n = std::max<Tick>(MIN_SEGMENT_TICKS, lf_ticksFor(distance, lf_segmentSpeed(aircraft)));
    if (gf_curveRunning(aircraft) || aircraft.turnToCourse) {
        const double angle = aircraft.turnToCourse ? aircraft.turnToCourseAngle : aircraft.curveAngle;
        const double rateDeg = aircraft.turnRate * RAD_TO_DEG;
        const double k = rateDeg > 0.0 ? std::max(1.0, std::round(angle / rateDeg / 100.0)) : 1.0;
        if (angle > 0.0 && distance > 0.0) {
            double r = static_cast<double>(n) / k;
            if (angle > MIDPOINT_MIN_TURN_DEG) {
                aircraft.currentTurnRate = aircraft.turnRate * std::min(r, std::min(angle, 90.0) / 30.0);
                if (angle >= 90.0) {
                    aircraft.earlyLimit = std::max(aircraft.earlyLimit, 2000);
                    if (aircraft.lateLimit < 2000) {
                        aircraft.lateLimit = 2000;
                        lf_retimeNextPointBy(aircraft, n);
                    }
                }
            } else {
                // A turn of up to 45 degrees is spread over the leg and done within its first
                // 30 m: r is the leg's duration over the turn's at the base rate, both in ticks
                // (k counts whole seconds, too coarse for a short leg onto a stand).
                r = static_cast<double>(n) * rateDeg / angle;
                if (r >= 1.2)
                    r = std::min({r, r * 10.0 / angle, r * 30.0 * STAND_METRES_TO_NM / distance});
                if (r > 0.0)
                    aircraft.currentTurnRate = aircraft.turnRate / r;
            }
        }
    }
    lf_retimeNextPointBy(aircraft, n);
}

void lf_pushBack(LiveAircraft& aircraft)
{
    aircraft.trackEndWait = 0;
    const double back = gf_normalise2Pi(aircraft.standHeading + PI);
    const Stand* stand = gf_standByNumber(aircraft.standNumber);
    if (stand == nullptr || aircraft.track.empty())
        return;
    const Tick now = lf_now();
    const double push = gf_pushSpeedOf(aircraft);
    auto& track = aircraft.track;
    track.resize(1);
    track[0].groundSpeed = push;
    const LatLon from = lf_aircraftAt(aircraft);
    TrackPoint a = track[0];
    const LatLon aAt = gf_destinationPoint(from, back, 2.5 * stand->radius * FEET_PER_NM);
    a.lat = aAt.lat;
    a.lon = aAt.lon;
    a.altitude = 0.0;
    a.airborne = false;
    a.stationary = false;
    a.groundSpeed = push;
    a.speed = push;
    a.track = aircraft.simPosition.heading * RAD_TO_DEG;
    const Tick aTicks = lf_ticksFor(gf_distanceNm(from, aAt), push);
    a.playTick = now + aTicks;
    aircraft.courseToNext = aircraft.simPosition.heading;
    track.push_back(a);
    lf_insertMidPoint(aircraft);

    const auto sideOf = [&](double bearing) {
        TrackPoint side = a;
        const LatLon at = gf_destinationPoint(aAt, bearing, aircraft.halfSpan * FEET_PER_NM);
        side.lat = at.lat;
        side.lon = at.lon;
        side.playTick = now + aTicks / 2 + lf_ticksFor(gf_distanceNm(lf_at(track[1]), at), push);
        return side;
    };
    aircraft.alternativeEnd = sideOf(gf_normalise2Pi(back + PI / 2.0));
    track.push_back(sideOf(gf_normalise2Pi(back - PI / 2.0)));

    gf_taxiLights(aircraft);
    aircraft.setPhase(FlightPhase::pushing_back);
    aircraft.pushBackState = 2;
}

void lf_pushBackStep(LiveAircraft& aircraft)
{
    if (aircraft.pushBackState > 0)
        --aircraft.pushBackState;
    auto& track = aircraft.track;
    if (aircraft.pushBackState == 1) {
        if (aircraft.pushBackRight.has_value() && !STRAIGHT_PBS_ONLY.value()) {
            if (*aircraft.pushBackRight)
                track.back() = aircraft.alternativeEnd;
            lf_startCurve(aircraft);
            const double rateDeg = aircraft.turnRate * RAD_TO_DEG;
            const auto steps = gsl::narrow<std::int32_t>(std::round(90.0 / rateDeg / 100.0));
            aircraft.curveStep = 1.0 / static_cast<double>(std::max(steps, 1));
            aircraft.curveAngle = 90.0;
        } else if (track.size() > 2) {
            track.pop_back();
        }
        return;
    }
    aircraft.courseToNext = aircraft.simPosition.heading;
    lf_startEngines(aircraft);
    aircraft.setPhase(FlightPhase::pushed_back);
    aircraft.pushBackState = 1;
    aircraft.lastStandDistance = 900.0;
    aircraft.trackEndWait = 0;
    aircraft.leaveStand = false;
}

void lf_pullOut(LiveAircraft& aircraft)
{
    aircraft.leaveStand = false;
    aircraft.trackEndWait = 0;
    if (aircraft.track.empty())
        return;
    const double push = gf_pushSpeedOf(aircraft);
    auto& track = aircraft.track;
    track.resize(1);
    track[0].groundSpeed = push;
    TrackPoint a = track[0];
    const LatLon aAt = gf_destinationPoint(LatLon{aircraft.standLat, aircraft.standLon}, aircraft.standHeading,
                                           2.0 * aircraft.halfSpan * FEET_PER_NM);
    a.lat = aAt.lat;
    a.lon = aAt.lon;
    a.stationary = false;
    a.groundSpeed = push;
    a.speed = push;
    a.playTick = lf_now() + gsl::narrow<std::int32_t>(std::llround(
                                gf_distanceNm(lf_aircraftAt(aircraft), aAt) * TICKS_PER_HOUR / push));
    track.push_back(a);
    aircraft.setPhase(FlightPhase::taxi);
    aircraft.courseToNext = aircraft.simPosition.heading;
    gf_taxiLights(aircraft);
    lf_startEngines(aircraft);
    gf_log(vald::format("{:8}: {:8} pulling out", lf_standIdText(aircraft.standNumber), aircraft.identity.callsign));
    // The stand was given up as the aircraft began to leave it; it no longer names it.
    aircraft.standNumber = 0;
}
