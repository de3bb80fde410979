#include "engine/position_stream.hpp"

#include <algorithm>
#include <exception>

#include "engine/air_segments.hpp"
#include "engine/aircraft_config.hpp"
#include "engine/approach_landing.hpp"
#include "engine/ground_movement.hpp"
#include "engine/motion_math.hpp"
#include "engine/pause_holds.hpp"
#include "engine/point_acceptance.hpp"
#include "engine/removal.hpp"
#include "engine/spawn_step.hpp"
#include "engine/stand_claims.hpp"
#include "engine/tick_motion.hpp"
#include "engine/track_end.hpp"
#include "engine/track_timing.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "simlink/sim_queues.hpp"

namespace {

constexpr double TAKEOFF_RUN_SPEED_KT = 43.0;
constexpr double NEAR_PLACE_DEG = 0.00015;
constexpr double STOP_MOVING_DEPARTING_KT = 30.0;
constexpr double STOP_NEAR_DEPARTING_KT = 50.0;
constexpr double SAME_STOP_NM = 0.011879049676025918;  // 22 m
constexpr Tick SAME_STOP_TICKS = 1500;
constexpr std::size_t STOP_LOOK_BACK = 5;

bool lf_toBeErased(const LiveAircraft& aircraft) { return aircraft.skip || aircraft.dequeued; }

void lf_queuePosition(LiveAircraft& aircraft)
{
    if (aircraft.objectId != 0) {
        gf_positionFillBuffer().push_back(PositionSetRecord{aircraft.simPosition, aircraft.objectId});
        return;
    }
    gf_logWarn(vald::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc", aircraft.hexid,
                            aircraft.identity.callsign, aircraft.identity.registration,
                            gf_typeKeyText(aircraft.identity), aircraft.track.size()));
    removeAircraftFromSim(aircraft);
}

void lf_streamEmpty(LiveAircraft& aircraft)
{
    const SimPosition& at = aircraft.simPosition;
    gf_logWarn(vald::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                            "updateLiveAc", gf_flightKeyText(aircraft.identity), aircraft.hexid, aircraft.objectId,
                            at.altitude, vald::format("{:.6f},{:.6f}", at.lat, at.lon), at.speed));
    removeAircraftFromSim(aircraft);
}

std::string lf_failureText(const char* where, const std::exception& e, const LiveAircraft& aircraft)
{
    return vald::format("{}: {} {}, sz:{}, fs:{}, st:{}", where, e.what(), gf_flightKeyText(aircraft.identity),
                        aircraft.track.size(), gf_phaseName(aircraft.phase), gf_simStateName(aircraft.state));
}

void lf_activeStep(LiveAircraft& aircraft)
{
    if (aircraft.track.empty()) {
        lf_streamEmpty(aircraft);
        return;
    }
    if (tickCounter.load() >= aircraft.track.front().playTick)
        nextPosMain(aircraft);
    if (aircraft.state != SimState::active || aircraft.track.empty())
        return;
    const bool standing = aircraft.track.front().stationary;
    aircraft.simPosition.verticalSpeed = aircraft.segmentVerticalRate / 60.0;
    aircraft.simPosition.speed = standing ? 0.0 : aircraft.segmentSpeed;
    if (!standing)
        lf_moveOneTick(aircraft);
    // An arrival coming onto a stand whose holder's data has ended meets it before their wings touch.
    if (aircraft.claimedStand != 0 && !gf_meetClaimHolder(aircraft))
        return;
    lf_queuePosition(aircraft);
}

// A ground point after a stop: repeated stops collapse, and a stop shortly before moving on
// (or at the same place) is dropped.
void lf_collapseStops(LiveAircraft& aircraft, const TrackPoint& point)
{
    auto& track = aircraft.track;
    if (point.airborne || track.empty() || !track.back().stationary)
        return;
    if (point.stationary) {
        if (std::all_of(track.begin(), track.end(), [](const TrackPoint& p) { return p.stationary; }))
            track.resize(1);
        return;
    }
    if (track.size() < 3)
        return;
    const std::size_t last = track.size() - 1;
    const std::size_t lowest = track.size() >= STOP_LOOK_BACK + 1 ? track.size() - (STOP_LOOK_BACK + 1) : 0;
    for (std::size_t i = last - 1;; --i) {
        const TrackPoint& moving = track[i];
        if (!moving.stationary) {
            const bool soon = track[last].playTick - moving.playTick < SAME_STOP_TICKS;
            if (soon || gf_distanceNm(gf_latLonOf(point), gf_latLonOf(moving)) <= SAME_STOP_NM)
                track.resize(i + 1);
            return;
        }
        if (i == lowest)
            return;
    }
}

void lf_touchAndGo(LiveAircraft& aircraft)
{
    aircraft.phase = FlightPhase::taxi;  // the phase before the landing is kept
    lf_configureTakeoffRun(aircraft, 3, EVENT_FULL);
}

// A touch and go in the landing roll, or a fast or airborne point of a taxiing aircraft.
void lf_detectTakeoff(LiveAircraft& aircraft, const TrackPoint& point)
{
    if (aircraft.state != SimState::active || !aircraft.onGround || aircraft.departing || aircraft.track.empty())
        return;
    const TrackPoint& last = aircraft.track.back();
    if (aircraft.landingRoll && last.airborne && point.airborne) {
        lf_touchAndGo(aircraft);
        return;
    }
    // Fast points on the ground during the landing roll are the roll-out, not a take-off run.
    const bool fast = !aircraft.landingRoll && !point.airborne && point.groundSpeed >= TAKEOFF_RUN_SPEED_KT &&
                      last.groundSpeed >= TAKEOFF_RUN_SPEED_KT;
    if ((fast || point.airborne) && aircraft.phase == FlightPhase::taxi)
        lf_startTakeoffRun(aircraft);
}

// Refusal of a stop of an aircraft that should not stop here.
bool lf_refuseStop(const LiveAircraft& aircraft, const TrackPoint& point, const TrackPoint& last, double limitKt)
{
    if (point.airborne || (aircraft.state == SimState::active && !aircraft.onGround))
        return true;
    return aircraft.departing && point.groundSpeed > 0.0 && last.groundSpeed >= limitKt;
}

}  // namespace

bool updateLiveAc(LiveAircraft& aircraft)
{
    try {
        if (aircraft.state == SimState::buffer)
            lf_spawnStep(aircraft);
        else if (aircraft.state == SimState::active)
            lf_activeStep(aircraft);
        return lf_toBeErased(aircraft);
    } catch (const std::exception& e) {
        // A step that failed once fails again at every tick: the aircraft goes, with one line.
        gf_logWarn(lf_failureText("updateLiveAc", e, aircraft));
    }
    try {
        removeAircraftFromSim(aircraft);
    } catch (const std::exception& e) {
        gf_logWarn(lf_failureText("updateLiveAc", e, aircraft));
        aircraft.skip = true;
    }
    return lf_toBeErased(aircraft);
}

// A failure here is logged once by updateLiveAc, which removes the aircraft.
void nextPosMain(LiveAircraft& aircraft)
{
    for (;;) {
        auto& track = aircraft.track;
        if (track.size() >= 2) {
            if (aircraft.onGround || !track[1].stationary || aircraft.category == AircraftCategory::Rotorcraft) {
                lf_trackStep(aircraft);
                return;
            }
            track.erase(track.begin() + 1);
            continue;
        }
        if (lf_trackEndStep(aircraft))
            continue;
        lf_endTrack(aircraft);
        return;
    }
}

void lf_trackStep(LiveAircraft& aircraft)
{
    aircraft.curve = CurveSegment{};
    aircraft.curve.t0 = NAN;
    aircraft.curve.t1 = NAN;
    aircraft.curveIndex = 0.0;
    TrackPoint& front = aircraft.track[0];
    TrackPoint& next = aircraft.track[1];
    if (gf_samePlace(front, next))
        next.stationary = true;
    if (!next.stationary)
        aircraft.courseToNext = gf_bearingRad(gf_latLonOf(front), gf_latLonOf(next));
    if (aircraft.onGround)
        nextPosGround(aircraft);
    else if (!next.stationary)
        lf_retimeNextPoint(aircraft);
    else if (aircraft.category == AircraftCategory::Rotorcraft)
        lf_retimeGroundPoint(aircraft);
    if (aircraft.track.size() < 2)
        return;
    if (aircraft.track[1].stationary) {
        aircraft.latStep = 0.0;
        aircraft.lonStep = 0.0;
        if (!aircraft.landingRoll && !aircraft.departing)
            lf_relaxLimits(aircraft);
    } else {
        lf_setIncrements(aircraft);
        if (aircraft.onGround)
            lf_planGroundSegment(aircraft);
        else
            lf_planAirSegment(aircraft, aircraft.track[1]);
    }
    aircraft.track.pop_front();
}

void decodeExisting(LiveAircraft& aircraft, TrackPoint& point)
{
    try {
        auto& track = aircraft.track;
        if (track.size() > MAX_TRACK_POINTS) {
            removeAircraftFromSim(aircraft);
            return;
        }
        // A holding aircraft whose flight turns up far away is not the one holding here, unless it
        // held for a pause of the feed: then its flight goes on from there.
        if (aircraft.holding != 0 && !track.empty() && gf_heldForPause(aircraft)) {
            if (!gf_resumeFromPause(aircraft, point))
                return;
        } else if (aircraft.holding != 0 && !track.empty() &&
                   gf_distanceNm(gf_latLonOf(track.front()), gf_latLonOf(point)) * METRES_PER_NM >
                       static_cast<double>(HOLDING_THRESHOLD_METERS.value())) {
            aircraft.holding = 0;
            aircraft.holdingStart = 0;
            removeAircraftFromSim(aircraft);
            return;
        }
        if (aircraft.phase == FlightPhase::birth) {
            if (track.empty() || !lf_checkBirthPoint(aircraft, point))
                return;
            point.playTick = std::max(point.playTick, track.back().playTick + 1);
            track.push_back(point);
            return;
        }
        // Past the birth the first point itself may change (moved on, made due at once): one
        // waiting in buffer is looked at again.
        aircraft.spawnDueTick = 0;
        if (!checkExtendingSituations(aircraft, point))
            return;
        lf_collapseStops(aircraft, point);
        if (!track.empty())
            point.playTick = std::max(point.playTick, track.back().playTick + 1);
        lf_detectTakeoff(aircraft, point);
        track.push_back(point);
        // A new stop on a stand that another aircraft holds: the two meet before the arrival gets there.
        if (!gf_approachHeldStand(aircraft))
            return;
        if (track.size() == 2 && track[0].stationary && track[1].stationary) {
            track[0].playTick = tickCounter.load() + 1;
            track[0].groundSpeed = track[1].groundSpeed;
        }
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{} exception {}", "decodeExisting", e.what()));
        throw;
    }
}

bool lf_checkBirthPoint(LiveAircraft& aircraft, TrackPoint& point)
{
    if (aircraft.track.empty())
        return true;
    const TrackPoint& last = aircraft.track.back();
    if (gf_samePlace(point, last))
        point.stationary = true;
    if (aircraft.category == AircraftCategory::Rotorcraft)
        return true;
    if (point.stationary) {
        if (lf_refuseStop(aircraft, point, last, STOP_MOVING_DEPARTING_KT))
            return false;
        if (point.groundSpeed > 0.0)
            point.groundSpeed = 0.0;
        return true;
    }
    if (gf_samePlace(point, last, NEAR_PLACE_DEG)) {
        if (lf_refuseStop(aircraft, point, last, STOP_NEAR_DEPARTING_KT))
            return false;
        const Tick due = point.playTick;
        point = last;
        point.playTick = due;
        point.groundSpeed = 0.0;
        point.stationary = true;
        return true;
    }
    if (point.groundSpeed != 0.0 || (!aircraft.departing && !point.airborne))
        return true;
    return last.groundSpeed < STOP_NEAR_DEPARTING_KT;
}
