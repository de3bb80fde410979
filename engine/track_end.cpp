#include "engine/track_end.hpp"

#include <algorithm>
#include <cmath>

#include "engine/data_clock.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/ground_movement.hpp"
#include "engine/live_creation.hpp"
#include "engine/park_limits.hpp"
#include "engine/pause_holds.hpp"
#include "engine/removal.hpp"
#include "engine/stand_claims.hpp"
#include "engine/stand_learning.hpp"
#include "engine/stand_marks.hpp"
#include "engine/stand_search.hpp"
#include "engine/track_timing.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/strings.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_records.hpp"

namespace {

constexpr double HOLD_SPAN_FACTOR = 1.2;
constexpr Tick TICKS_PER_MINUTE = 6000;
// How far inside the range its edge begins.
constexpr double RANGE_EDGE_NM = 0.5;
constexpr Tick PARKED_WAIT_TICKS = 604800 * TICKS_PER_SECOND;  // a week: a parked aircraft stays

Tick lf_now() { return tickCounter.load(); }
LatLon lf_aircraftAt(const LiveAircraft& aircraft) { return LatLon{aircraft.simPosition.lat, aircraft.simPosition.lon}; }
LatLon lf_standAt(const LiveAircraft& aircraft) { return LatLon{aircraft.standLat, aircraft.standLon}; }
std::uint64_t lf_weekSlotNow() { return gf_weekSlotValue(gf_weekdayAndSlot()); }

// Another taxiing aircraft on the ground so close that the two would touch.
bool lf_blockedByTaxiing(const LiveAircraft& aircraft)
{
    const LatLon at = lf_aircraftAt(aircraft);
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAircraft& other) {
        return &other != &aircraft && other.state == SimState::active && other.onGround &&
               other.phase == FlightPhase::taxi && other.objectId != aircraft.objectId &&
               gf_wingsTouch(aircraft.halfSpan, other.halfSpan,
                             gf_distanceNm(at, LatLon{other.simPosition.lat, other.simPosition.lon}), HOLD_SPAN_FACTOR);
    });
}

// An arrival (it did not come from a stand) that stops on a stand that a parked aircraft holds
// meets the holder there: the holder goes when its data has ended, else the arrival goes (true);
// while the holder is in doubt after a pause, it holds.
// A departure that pauses beside a held stand holds like any other.
bool lf_arrivalGoesForHolder(LiveAircraft& aircraft)
{
    if (gf_cameFromStand(aircraft))
        return false;
    const Stand* held = gf_heldStandAt(lf_aircraftAt(aircraft), aircraft, true);
    return held != nullptr && !gf_holderInDoubt(*held, aircraft) && !gf_settleHeldStand(*held, aircraft);
}

// Holds at the end of the taxi track: a stationary point 3 s on, again and again, up to the
// holding limit. One whose data is gone close to another taxiing aircraft, or an arrival whose
// data is gone on a stand whose holder still reports standing there, does not stay on top of
// the other: it goes. A track that ends while the feed pauses is not the end of its data: the
// aircraft holds where it is until its data comes again, as the other does, and its data is gone
// only once it has ended on the clock (engine/pause_holds). An arrival that holds a claim on its
// stand, whose holder went for it, holds and parks there (the park search at the segment start)
// whoever taxis beside it; once the claim lapses, the rule applies again.
bool lf_holdAtTrackEnd(LiveAircraft& aircraft)
{
    if (gf_holdDataGone(aircraft) &&
        ((lf_blockedByTaxiing(aircraft) && !gf_holdsClaim(aircraft)) || lf_arrivalGoesForHolder(aircraft))) {
        aircraft.holding = 0;
        return false;
    }
    const Tick now = lf_now();
    if (aircraft.holding != 0) {
        if (AIRBORNE_ONLY.value() || now - aircraft.holdingStart > MAX_HOLDING_MINUTES.value() * TICKS_PER_MINUTE) {
            aircraft.holding = 0;
            return false;
        }
    } else {
        aircraft.holdingStart = now;
    }
    aircraft.holding = 1;
    TrackPoint hold = aircraft.track.front();
    hold.playTick += HOLD_STEP_TICKS;
    hold.groundSpeed = 0.0;
    hold.stationary = true;
    aircraft.track.push_back(hold);
    aircraft.trackEndWait = 1;
    return true;
}

// How many dead-reckoned points the aircraft gets; none when it is not to be carried on.
std::int32_t lf_extrapolationCount(const LiveAircraft& aircraft)
{
    if (!gf_categoryEnabled(aircraft.category))
        return 0;
    if (aircraft.track.front().airborne) {
        if (gf_atTheRangesEdge(lf_aircraftAt(aircraft)))
            return 0;
        if (!AIRBORNE_ONLY.value())
            return 8;
        const std::optional<double> elevation = lf_parkAirportElevation();
        return aircraft.simPosition.altitude >= elevation.value_or(0.0) + 1000.0 ? 8 : 0;
    }
    return aircraft.phase == FlightPhase::parked ? 1 : 10;
}

double lf_departingSpeed(TrackPoint& point)
{
    const double speed = point.groundSpeed;
    if (speed <= 30.0)
        return 40.0;
    if (speed <= 60.0)
        return 80.0;
    if (speed <= 100.0)
        return 110.0;
    if (speed <= 140.0) {
        point.verticalRate = 600.0;
        return 150.0;
    }
    if (speed <= 160.0) {
        point.verticalRate = 1200.0;
        return 170.0;
    }
    point.verticalRate = 2400.0;
    return 180.0;
}

double lf_rollOutSpeed(TrackPoint& point)
{
    point.verticalRate = 0.0;
    const double speed = point.groundSpeed;
    for (const auto& [threshold, next] : {std::pair{140.0, 100.0}, {100.0, 80.0}, {80.0, 60.0}, {60.0, 30.0}})
        if (speed >= threshold)
            return next;
    return 20.0;
}

// The engines and lights of an aircraft that came to stand.
// Learning of the stand use when the stand and the flight agree on cargo.
bool lf_slotTakenByKey(const std::string& key, std::uint64_t weekSlot)
{
    const std::uint32_t day = gf_weekSlotDay(weekSlot);
    const std::uint64_t bit = 1ULL << gf_weekSlotHalfHour(weekSlot);
    return std::any_of(parkStands.begin(), parkStands.end(), [&](const Stand& stand) {
        return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& option) {
            return option.registration == key && option.day == day && (option.halfHours & bit) != 0;
        });
    });
}

}  // namespace

bool gf_atTheRangesEdge(const LatLon& at)
{
    const UserAircraftSnapshot& user = engineUserSnapshot;
    return gf_userPositionKnown(user) &&
           gf_distanceNm(at, LatLon{user.latitude, user.longitude}) >= rangeNm.load() - RANGE_EDGE_NM;
}

bool lf_trackEndStep(LiveAircraft& aircraft)
{
    if (aircraft.track.empty())
        return false;
    gf_noteTrackEnd(aircraft);
    if (aircraft.phase == FlightPhase::parking) {
        lf_arriveAtStand(aircraft);
    } else if (aircraft.phase == FlightPhase::pushed_back ||
               (aircraft.phase == FlightPhase::taxi && !aircraft.departing && !aircraft.landingRoll)) {
        return lf_holdAtTrackEnd(aircraft);
    } else if (aircraft.holding != 0 && gf_heldForPause(aircraft)) {
        // A roll stopped for a pause whose data has ended since ends as one whose data ended then.
        if (gf_rollEnded(aircraft)) {
            aircraft.holding = 0;
            return false;
        }
        return lf_holdAtTrackEnd(aircraft);
    }
    if (aircraft.trackEndWait < 0 || aircraft.state != SimState::active)
        return false;
    if (aircraft.trackEndWait == 1) {
        // A roll that came to a stop while the feed pauses holds there.
        if (gf_rollsToAStop(aircraft))
            return lf_holdAtTrackEnd(aircraft);
        aircraft.trackEndWait = -1;
        return false;
    }
    if (aircraft.trackEndWait >= 2) {
        lf_extrapolateTrack(aircraft, aircraft.trackEndWait - 1);
        return true;
    }
    const std::int32_t count = lf_extrapolationCount(aircraft);
    if (count == 0)
        return false;
    lf_extrapolateTrack(aircraft, count);
    return true;
}

void lf_endTrack(LiveAircraft& aircraft)
{
    if (aircraft.state != SimState::active)
        return;
    if (aircraft.phase != FlightPhase::parked)
        lf_learnStandAtTrackEnd(aircraft, aircraft.phase != FlightPhase::flying);
    gf_noteGone(aircraft);
    removeAircraftFromSim(aircraft);
}

void lf_extrapolateTrack(LiveAircraft& aircraft, std::int32_t count)
{
    aircraft.trackEndWait = count;
    TrackPoint point = aircraft.track.front();
    const bool parked = aircraft.phase == FlightPhase::parked;
    const double seconds = point.airborne ? 8.0 : 3.0;
    bool moves = !(point.stationary || parked);
    if (moves) {
        double speed = point.groundSpeed;
        if (point.airborne && !aircraft.approachConfigured)
            speed = std::max(speed * 0.95, 1.0);
        else if (point.airborne && count >= 4)
            speed = std::max(speed * 0.9, 1.0);
        else if (!point.airborne && !aircraft.landingRoll && !aircraft.departing)
            moves = false;
        else if (!point.airborne && aircraft.departing && !gf_rollsToAStop(aircraft))
            speed = lf_departingSpeed(point);
        else if (!point.airborne)
            speed = lf_rollOutSpeed(point);
        if (!point.airborne || !aircraft.approachConfigured || count >= 4) {
            point.groundSpeed = speed;
            point.speed = speed;
        }
    }
    if (moves) {
        const LatLon from{point.lat, point.lon};
        if (point.groundSpeed > 0.0) {
            const LatLon to = gf_destinationPoint(from, aircraft.simPosition.heading,
                                                  seconds * 100.0 * point.groundSpeed * FEET_PER_NM / TICKS_PER_HOUR);
            point.lat = to.lat;
            point.lon = to.lon;
        }
        point.stationary = gf_samePlace(gf_latLonOf(point), from);
        // The altitude changes by the climb or descent over the point's seconds.
        if (aircraft.approachConfigured && aircraft.flareStage == 0) {
            point.verticalRate = -667.0;
            point.altitude -= seconds * 10.005;
        } else if (aircraft.phase == FlightPhase::take_off) {
            point.verticalRate = 1500.0;
            point.altitude += seconds * 25.0;
        }
        point.airborne = point.altitude > 0.0;
        if (!point.airborne)
            point.altitude = 0.0;
    } else {
        point.stationary = true;
        point.groundSpeed = 0.0;
    }
    point.playTick += parked ? PARKED_WAIT_TICKS : std::llround(100.0 * seconds);
    if (parked)
        aircraft.standTest = false;
    aircraft.track.push_back(point);
}

void lf_arriveAtStand(LiveAircraft& aircraft)
{
    const Stand* stand = gf_standByNumber(aircraft.standNumber);
    if (stand != nullptr && stand->occupied != 0) {
        // Another aircraft stands there: this one never had the stand, and its removal must not
        // free it.
        aircraft.trackEndWait = 1;
        aircraft.standNumber = 0;
        removeAircraftFromSim(aircraft);
        return;
    }
    if (gf_distanceNm(lf_aircraftAt(aircraft), lf_standAt(aircraft)) > ARRIVED_AT_STAND_NM) {
        aircraft.setPhase(FlightPhase::taxi);
        return;
    }
    aircraft.setPhase(FlightPhase::parked);
    lf_occupyStand(aircraft.standNumber);
    aircraft.parkedSlot = lf_weekSlotNow();
    if (aircraft.towed)
        gf_log(vald::format("          towed aircraft {} parks", gf_flightKeyText(aircraft.identity)));
    aircraft.track.front().stationary = true;
    aircraft.parkTime = gf_parkClockNow();
    aircraft.firstStandDistance = 0.0;
    aircraft.largestStandDistance = 0.0;
    aircraft.growingDistanceCount = 0;
    lf_clearStandCargo(aircraft);
    lf_shutdownStatic(aircraft);
    gf_log(vald::format("{:8}: {:8} arrived at stand", lf_standIdText(aircraft.standNumber),
                        aircraft.identity.callsign));
    coupledCallsignQueue.push_back(aircraft.hexid);
    gf_learnStandUse(aircraft, aircraft.parkedSlot);
    lf_checkMaxPark(0);
}

void gf_learnStandUse(const LiveAircraft& aircraft, std::uint64_t weekSlot)
{
    if (aircraft.identity.airline.empty() || aircraft.cargoStand != aircraft.cargo)
        return;
    if (lt_addStandOption(StandLearning::real, aircraft.standNumber, aircraft, weekSlot))
        static_cast<void>(lf_noteStandUse(weekSlot, aircraft.hexid, true));  // forced: always noted
}

void lf_clearStandCargo(LiveAircraft& aircraft)
{
    if (aircraft.cargoStand || !aircraft.cargo)
        return;
    Stand* stand = gf_standByNumber(aircraft.standNumber);
    if (stand == nullptr || stand->cargo == 0)
        return;
    stand->cargo = 0;
    stand->cargoChanged = 1;
    gf_logWarn(vald::format("{} stand: {}, cargo attribute set to false, {} parked here",
                            gf_engineHooks()->parkAirport().icao, stand->id, gf_flightKeyText(aircraft.identity)));
    gf_countLearnedUpdate();
}

void lf_learnStandAtTrackEnd(LiveAircraft& aircraft, bool notFlying)
{
    const ParkAirportSnapshot park = gf_engineHooks()->parkAirport();
    if (!LEARN_SOFT.value() || !gf_engineHooks()->softLearningAllowed() || park.icao.empty() ||
        gf_distanceNm(lf_aircraftAt(aircraft), park.position) > SOFT_LEARNING_RADIUS_NM ||
        (!notFlying && aircraft.heightAboveGround >= 2500.0) || aircraft.standNumber != 0)
        return;
    const WeekdayAndSlot now = gf_weekdayAndSlot();
    const std::uint64_t weekSlot = gf_weekSlotValue(now);
    if (lf_learnKnownStand(aircraft, weekSlot, notFlying))
        return;
    if (!lf_noteStandUse(weekSlot, aircraft.hexid, false) || lf_slotTakenByKey(gf_learningKey(aircraft), weekSlot))
        return;
    const Stand* stand = gf_findFreeStandForSlot(now, aircraft, false);
    const StandLearnFlags flags{true, notFlying};
    if (stand == nullptr || !lt_addStandOption(StandLearning::soft, stand->number, aircraft, weekSlot, flags))
        std::erase_if(standUseList, [&aircraft](const auto& use) { return use.first == aircraft.hexid; });
}

bool lf_learnKnownStand(LiveAircraft& aircraft, std::uint64_t weekSlot, bool notFlying)
{
    for (const Stand& stand : parkStands) {
        const auto entry = stand.softFlights.find(aircraft.hexid);
        if (entry == stand.softFlights.end() || entry->second.weekSlot == weekSlot)
            continue;
        if (!lt_addStandOption(StandLearning::soft, stand.number, aircraft, weekSlot, StandLearnFlags{true, !notFlying}))
            return false;
        static_cast<void>(lf_noteStandUse(weekSlot, aircraft.hexid, true));  // forced: always noted
        return true;
    }
    return false;
}

bool lf_atStandTest(LiveAircraft& aircraft, TrackPoint& point)
{
    const bool first = !aircraft.standTest;
    aircraft.standTest = true;
    const double d = gf_distanceNm(lf_standAt(aircraft), LatLon{point.lat, point.lon});
    const double limit = aircraft.previousPhase == FlightPhase::parking ? 2.0 * AT_STAND_LIMIT_NM : AT_STAND_LIMIT_NM;
    if (d <= limit) {
        aircraft.parkTime = gf_parkClockNow();
        if (first) {
            aircraft.firstStandDistance = d;
            aircraft.largestStandDistance = d;
            aircraft.growingDistanceCount = 0;
            return false;
        }
        if (d >= aircraft.largestStandDistance + STAND_DRIFT_NM) {
            ++aircraft.growingDistanceCount;
            aircraft.largestStandDistance = d;
            const double moved = d - aircraft.firstStandDistance;
            if (!((aircraft.growingDistanceCount >= 3 && moved >= aircraft.halfSpan / 2.0) || moved > aircraft.halfSpan))
                return false;
        } else {
            if (d < aircraft.largestStandDistance - STAND_DRIFT_NM)
                aircraft.growingDistanceCount = 0;
            return false;
        }
    } else if (aircraft.phase == FlightPhase::parking) {
        aircraft.setPhase(FlightPhase::taxi);
        point.stationary = false;
        return true;
    } else if (d > STAND_LEFT_NM) {
        removeAircraftFromSim(aircraft);
        return false;
    }
    // Leaving the stand (also a parked aircraft found well off it: towed or taxiing away). An
    // earlier point began it already, and the stand was given up then.
    point.stationary = false;
    const bool leftBefore = aircraft.leaveStand;
    aircraft.leaveStand = true;
    if (leftBefore)
        return true;
    lf_leaveStandBookkeeping(aircraft);
    aircraft.setPhase(FlightPhase::parked);
    return true;
}

void lf_leaveStandBookkeeping(LiveAircraft& aircraft)
{
    if (aircraft.trackEndWait > 0) {
        if (aircraft.phase == FlightPhase::parked && aircraft.touchedDown && !aircraft.track.empty()) {
            // The front point is the last one reached, or the waiting point a week after it.
            Tick reached = aircraft.track.front().playTick;
            if (reached > lf_now())
                reached -= PARKED_WAIT_TICKS;
            const Tick since = lf_now() - reached;
            const Tick towLimit = aircraft.category == AircraftCategory::Heavy   ? 360000
                                  : aircraft.category == AircraftCategory::Large ? 150000
                                  : aircraft.category == AircraftCategory::Buzjets ? 90000
                                                                                    : 0;
            if (since < towLimit)
                aircraft.towed = true;
            aircraft.touchedDown = false;
        }
        // The waiting point of a parked aircraft lies far ahead: it moves off at once.
        if (!aircraft.track.empty())
            aircraft.track.front().playTick = lf_now() + 1;
        aircraft.trackEndWait = 0;
        lf_widenLimits(aircraft);
    }
    gf_learnStandUse(aircraft, lf_weekSlotNow());
    lf_freeStand(aircraft.standNumber);
}
