#include "engine/spawn_step.hpp"

#include <algorithm>
#include <cmath>

#include "engine/creation_queue.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/ghosts.hpp"
#include "engine/live_creation.hpp"
#include "engine/park_limits.hpp"
#include "engine/pause_holds.hpp"
#include "engine/removal.hpp"
#include "engine/stand_claims.hpp"
#include "engine/stand_marks.hpp"
#include "engine/stand_search.hpp"
#include "engine/track_end.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "liveries/livery_choice.hpp"
#include "refdata/registration.hpp"
#include "simlink/sim_state.hpp"

namespace {

constexpr Tick MOVING_LEAD_TICKS = 300;
constexpr Tick STANDING_LEAD_TICKS = 100;
constexpr std::size_t CROWDED_CREATION_QUEUE = 10;

constexpr double USER_MOVING_KT = 8.0;
constexpr double HELD_GROUND_KT = 8.0;
constexpr double HELD_DISTANCE_NM = 500.0 / METRES_PER_NM;
constexpr double GROUND_CLEARANCE_NM = 0.08099352051835854;  // 150 m
constexpr double AIR_RANGE_NM = 6.0;
constexpr double AIR_LEVEL_BAND_FT = 3000.0;
constexpr double AIR_LATERAL_FT = 4000.0;
constexpr double APPROACH_RANGE_NM = 1.5;
constexpr double APPROACH_HEIGHT_FT = 1000.0;
constexpr double APPROACH_LATERAL_FT = 500.0;

constexpr double BIRTH_AIRPORT_RANGE_NM = 5.0;
constexpr double AT_REST_KT = 5.0;
constexpr double AT_REST_DRIFT_NM = 0.018898488120950324;  // 35 m
constexpr double BIRTH_STAND_REACH_NM = 0.029697624190064796;  // 55 m

constexpr double BASE_PITCH_DEG = -3.0;
constexpr double CLIMB_RATE_CAP_FPM = 2400.0;
constexpr double DESCENT_RATE_CAP_FPM = -3000.0;
constexpr double GROUND_PITCH_RAD = 0.010471975511965976;  // 0.6 degrees
constexpr double SECONDS_PER_MINUTE = 60.0;

void lf_drop(LiveAircraft& aircraft) { aircraft.skip = true; }
void lf_dropForNow(LiveAircraft& aircraft)
{
    aircraft.skip = true;
    aircraft.droppedForNow = true;
}

// The tick from which the spawn step acts on an aircraft whose first point this is: an aircraft
// that taxis is placed a little earlier than one that flies or stands.
Tick lf_dueTick(const TrackPoint& front)
{
    const bool moving = !(front.groundSpeed == 0.0);
    const Tick lead = !front.airborne && moving ? MOVING_LEAD_TICKS : STANDING_LEAD_TICKS;
    return front.playTick - lead;
}

// Held back by the live limit: the aircraft is looked at again at the next whole second, all
// those held back together and in their order in the list. Its start moves on along its track
// meanwhile: the first point is given up now, as at each look.
void lf_holdBack(LiveAircraft& aircraft, Tick now)
{
    aircraft.track.pop_front();
    aircraft.heldBackUntil = (now / TICKS_PER_SECOND + 1) * TICKS_PER_SECOND;
}

// The points that came due while the aircraft was held back are given up as a look at each of
// them would have done; the last one stays for the spawn step to decide on.
void lf_catchUpHeldBack(LiveAircraft& aircraft, Tick now)
{
    std::deque<TrackPoint>& track = aircraft.track;
    while (track.size() > 1 && lf_dueTick(track.front()) < now)
        track.pop_front();
}

void lf_popFront(LiveAircraft& aircraft) { aircraft.track.pop_front(); }

LatLon lf_pointPosition(const TrackPoint& point) { return LatLon{point.lat, point.lon}; }

double lf_lateralFeet(double distanceNm, double angle)
{
    return distanceNm * FEET_PER_NM * std::sin(std::fabs(gf_wrapPi(angle)));
}

bool lf_hold(LiveAircraft& aircraft)
{
    lf_popFront(aircraft);
    return true;
}

bool lf_mixedTrack(const LiveAircraft& aircraft)
{
    const bool anyAirborne = std::any_of(aircraft.track.begin(), aircraft.track.end(),
                                         [](const TrackPoint& point) { return point.airborne; });
    const bool anyOnGround = std::any_of(aircraft.track.begin(), aircraft.track.end(),
                                         [](const TrackPoint& point) { return !point.airborne; });
    return anyAirborne && anyOnGround;
}

}  // namespace

void lf_takeRegistrationData(LiveAircraft& aircraft)
{
    FlightIdentity& flight = aircraft.identity;
    if (flight.registration.empty())
        return;
    const std::optional<DbaseRecord> known = gf_findRegcode(flight.registration);
    if (!known)
        return;
    flight.airline = gf_flyingAirline(*known);
    flight.type = known->type;
    aircraft.cargo = known->cargo;
    if (!gf_isValidCallsign(flight))
        flight.callsign = flight.registration;
}

bool lf_takeLivery(LiveAircraft& aircraft)
{
    if (!aircraft.liveryTitle.empty())
        return true;
    std::string title = gf_rememberedLivery(aircraft.hexid);
    if (title.empty()) {
        LiveryPick pick;
        pick.identity = aircraft.identity;
        pick.category = aircraft.category;
        pick.cargo = aircraft.cargo;
        pick.keyText = gf_flightKeyText(aircraft.identity);
        gf_chooseLiveryForSpawn(pick);
        if (pick.title.empty()) {
            if (!aircraft.identity.registration.empty())
                unmatchedLiveryKeys.insert(gf_unmatchedLiveryKey(aircraft.identity));
            return false;
        }
        gf_rememberLivery(aircraft.hexid, pick.title);
        title = std::move(pick.title);
    }
    aircraft.fsltlLivery = title.find("FSLTL_") != std::string::npos;
    aircraft.liveryTitle = std::move(title);
    return true;
}

namespace {

void lf_bornOnStand(LiveAircraft& aircraft, const Stand& stand)
{
    aircraft.standLat = stand.lat;
    aircraft.standLon = stand.lon;
    aircraft.standHeading = stand.heading;
    aircraft.standNumber = stand.number;
    aircraft.cargoStand = stand.cargo != 0;
    lf_occupyStand(stand.number);
    aircraft.setPhase(FlightPhase::parked);
    aircraft.parkTime = gf_parkClockNow();
    aircraft.lastStandDistance = 0.0;
    aircraft.growingDistanceCount = 0;
    aircraft.track.resize(1);
    TrackPoint& front = aircraft.track.front();
    front.lat = stand.lat;
    front.lon = stand.lon;
    front.track = stand.heading * RAD_TO_DEG;
    // Found parked, it stands for this stand's use now, as an arrival does.
    lf_clearStandCargo(aircraft);
    gf_learnStandUse(aircraft, gf_weekSlotValue(gf_weekdayAndSlot()));
    lf_checkMaxPark(1);
}

// The first phase of a new aircraft; false when it must wait a tick (front point dropped). One
// placed again where its flight is now, or whose aircraft went while it held for a pause of the
// feed, does not wait: standing away from a stand it taxis.
bool lf_firstPhase(LiveAircraft& aircraft, bool mayWait = true)
{
    if (aircraft.track.front().airborne) {
        gf_forgetKeptOffStand(aircraft.hexid);
        aircraft.setPhase(FlightPhase::flying);
        return true;
    }
    if (const std::optional<Stand> stand = lf_chooseSpawnStand(aircraft)) {
        lf_bornOnStand(aircraft, *stand);
        return true;
    }
    if (aircraft.skip)
        return true;
    if (mayWait && aircraft.track.size() > 1 && aircraft.track[1].stationary && !gf_wentInPause(aircraft.hexid)) {
        lf_popFront(aircraft);
        return false;
    }
    gf_forgetKeptOffStand(aircraft.hexid);
    aircraft.setPhase(FlightPhase::taxi);
    return true;
}

double lf_firstPitch(const TrackPoint& point)
{
    if (!point.airborne)
        return GROUND_PITCH_RAD;
    const double rate = point.verticalRate;
    const double effective = rate > 0.0 ? std::min(rate, CLIMB_RATE_CAP_FPM) : std::max(DESCENT_RATE_CAP_FPM, rate) * 0.5;
    return (BASE_PITCH_DEG - effective / 600.0 * 2.2) * DEG_TO_RAD;
}

double lf_firstHeading(const LiveAircraft& aircraft)
{
    const TrackPoint& front = aircraft.track.front();
    double heading = 0.0;
    if (aircraft.keptHeading)
        heading = *aircraft.keptHeading;
    else if (aircraft.phase == FlightPhase::parked)
        heading = aircraft.standHeading;
    else if (aircraft.track.size() < 2 || aircraft.track[1].stationary)
        heading = front.track * DEG_TO_RAD;
    else
        heading = gf_bearingRad(lf_pointPosition(front), lf_pointPosition(aircraft.track[1]));
    return gf_normalise2Pi(heading);
}

void lf_markStationary(LiveAircraft& aircraft)
{
    std::deque<TrackPoint>& track = aircraft.track;
    if (!track[1].stationary) {
        track[0].stationary = false;
        return;
    }
    track[0].stationary = true;
    track[0].groundSpeed = 0.0;
    track[1].groundSpeed = 0.0;
    if (track.size() > 2 && track[2].stationary)
        track[2].groundSpeed = 0.0;
}

// The livery and, for a new aircraft on the ground, its stand; false when the aircraft was
// dropped or waits a tick.
bool lf_readyToPlace(LiveAircraft& aircraft)
{
    lf_markStationary(aircraft);
    if (aircraft.phase == FlightPhase::birth) {
        if (!lf_takeLivery(aircraft)) {
            lf_drop(aircraft);
            return false;
        }
        if (!lf_firstPhase(aircraft))
            return false;
    }
    return !aircraft.skip;
}

// The first position and heading, from the front point.
void lf_setFirstPosition(LiveAircraft& aircraft)
{
    const TrackPoint& front = aircraft.track.front();
    SimPosition& at = aircraft.simPosition;
    at.lat = front.lat;
    at.lon = front.lon;
    at.pitch = lf_firstPitch(front);
    at.bank = front.bank.value_or(0.0);
    at.altitude = front.altitude;
    at.verticalSpeed = front.verticalRate / SECONDS_PER_MINUTE;
    at.speed = front.speed;
    at.heading = lf_firstHeading(aircraft);
    aircraft.headingRate = 0.0;
    aircraft.proximityHold = false;
}

// The first position and heading; the hexid goes onto the adding stack.
void lf_place(LiveAircraft& aircraft)
{
    coupledCallsignQueue.push_back(aircraft.hexid);
    lf_setFirstPosition(aircraft);
    aircraft.state = SimState::adding2sim;
    gf_placeLiveCreation(aircraft.hexid);
    if (!gf_endsWithGhostMark(aircraft.identity.callsign))
        lf_removeGhost(aircraft.identity.callsign);
}

// A track used up in the air at the edge of the range: a flight that has left it, whose aircraft
// would have gone at the end of its track, not carried on.
bool lf_endedAtTheRangesEdge(const TrackPoint& last, Tick now)
{
    return last.airborne && last.playTick < now && gf_atTheRangesEdge(lf_pointPosition(last));
}

}  // namespace

bool gf_placeAgainNow(LiveAircraft& aircraft)
{
    std::deque<TrackPoint>& track = aircraft.track;
    const Tick now = tickCounter.load();
    lf_catchUpHeldBack(aircraft, now);
    if (track.empty() || lf_endedAtTheRangesEdge(track.front(), now))
        return false;
    if (track.size() == 1 && !track.front().airborne) {
        // On the ground at the end of its data it stands there.
        TrackPoint standing = track.front();
        standing.playTick = std::max(standing.playTick, now) + 1;
        standing.groundSpeed = 0.0;
        standing.stationary = true;
        track.push_back(standing);
    }
    if (track.size() > 1)
        lf_markStationary(aircraft);
    if (!lf_firstPhase(aircraft, false) || aircraft.skip)
        return false;
    lf_setFirstPosition(aircraft);
    return true;
}

std::string gf_unmatchedLiveryKey(const FlightIdentity& flight)
{
    return gf_typeKeyText(flight) + "|" + flight.registration;
}

void lf_spawnStep(LiveAircraft& aircraft)
{
    const Tick now = tickCounter.load();
    if (now < aircraft.spawnDueTick || now < aircraft.heldBackUntil)
        return;
    if (aircraft.heldBackUntil != 0) {
        aircraft.heldBackUntil = 0;
        lf_catchUpHeldBack(aircraft, now);
    }
    // A track used up is the flight's data run out, no removal of the flight.
    if (aircraft.track.empty())
        return lf_dropForNow(aircraft);
    aircraft.spawnDueTick = lf_dueTick(aircraft.track.front());
    if (now < aircraft.spawnDueTick)
        return;
    // Every rule below may drop the record; its flight's reports go on all the same.
    gf_keptOffRecordSeen(aircraft.hexid);
    if (aircraft.track.size() == 1)
        return lf_dropForNow(aircraft);
    FlightIdentity& flight = aircraft.identity;
    if (gf_endsWithGhostMark(flight.callsign) &&
        std::find(ghostList.begin(), ghostList.end(), flight.callsign) != ghostList.end())
        return lf_drop(aircraft);
    if (lf_mixedTrack(aircraft))
        return lf_popFront(aircraft);
    if (lf_proximityHold(aircraft))
        return;
    if (gf_liveCreationsQueued() > CROWDED_CREATION_QUEUE && aircraft.phase == FlightPhase::birth &&
        !aircraft.respawning)
        return lf_popFront(aircraft);
    const std::int32_t maxLive = MAX_LIVE_SEL.value();
    if (maxLive <= 0)
        return lf_drop(aircraft);
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (!blocked.empty() && blocked == flight.callsign)
        return lf_drop(aircraft);
    lf_takeRegistrationData(aircraft);
    if (flight.airline.empty() && !gf_airlineFromCallsign(flight))
        flight.airline = "PVT";
    if (!gf_isValidCallsign(flight))
        return lf_drop(aircraft);
    if (unmatchedLiveryKeys.contains(gf_unmatchedLiveryKey(flight)))
        return lf_drop(aircraft);
    if (gf_endsWithGhostMark(flight.callsign) && lf_hasLiveCallsign(flight.callsign))
        return lf_drop(aircraft);
    // Its creation given up may still be answered: that late object is to be its aircraft, joined
    // to this record. It keeps its place meanwhile and waits, moving on along its track.
    if (!aircraft.respawning && gf_holdsKeptPlace(aircraft))
        return lf_holdBack(aircraft, now);
    PlaceToTake place;
    if (!aircraft.respawning && gf_liveCount() >= static_cast<std::size_t>(maxLive)) {
        const UserAircraftSnapshot& user = engineUserSnapshot;
        const double distance =
            gf_distanceNm(LatLon{user.latitude, user.longitude}, lf_pointPosition(aircraft.track.front()));
        // The far aircraft keeps its place until the newcomer is shown, however long the simulator
        // takes: the simulator stays full meanwhile, and a place it promised is no other's. A place
        // changes hands only while few creations are on their way (they go out two a second): at
        // most as many as the limit has places, and ten; a new aircraft waits meanwhile, its start
        // moving on along its track, and tries again at the next whole second. A place kept for a
        // creation given up is the newcomer's at once: nothing of it is shown.
        place = gf_placeToTake(distance);
        if (!place)
            return lf_dropForNow(aircraft);
        const std::size_t crowded = std::min(CROWDED_CREATION_QUEUE, static_cast<std::size_t>(maxLive));
        if (aircraft.phase == FlightPhase::birth && gf_creationsUnderWay() >= crowded)
            return lf_holdBack(aircraft, now);
    }
    // A place is promised only to a newcomer that has its livery and its stand: the choice of
    // either may still drop it. It is placed first, which ends a place promised to it before.
    if (!lf_readyToPlace(aircraft))
        return;
    lf_place(aircraft);
    if (place)
        gf_takePlace(aircraft.hexid, place);
}

bool lf_proximityHold(LiveAircraft& aircraft)
{
    const UserAircraftSnapshot& user = engineUserSnapshot;
    const LatLon userAt{user.latitude, user.longitude};
    const TrackPoint& front = aircraft.track.front();
    const double distance = gf_distanceNm(userAt, lf_pointPosition(front));
    if (userOnGround.load()) {
        if (aircraft.proximityHold) {
            if (user.groundSpeed > USER_MOVING_KT)
                return lf_hold(aircraft);
            if (!front.airborne && (front.groundSpeed > HELD_GROUND_KT || distance < HELD_DISTANCE_NM))
                return lf_hold(aircraft);
        }
        if (front.airborne || !COLLISION_USER_GND.value())
            return false;
        return distance < GROUND_CLEARANCE_NM ? lf_hold(aircraft) : false;
    }
    if (!COLLISION_USER_AIR.value())
        return false;
    const double bearing = gf_bearingRad(userAt, lf_pointPosition(front));
    if (front.airborne && distance <= AIR_RANGE_NM && std::fabs(front.altitude - user.altitude) < AIR_LEVEL_BAND_FT) {
        const double course = aircraft.track.size() > 1
                                  ? gf_bearingRad(lf_pointPosition(front), lf_pointPosition(aircraft.track[1]))
                                  : front.track * DEG_TO_RAD;
        if (lf_lateralFeet(distance, course - bearing) <= AIR_LATERAL_FT) {
            aircraft.proximityHold = true;
            return lf_hold(aircraft);
        }
    } else if (!front.airborne && distance <= APPROACH_RANGE_NM && user.altAboveGround < APPROACH_HEIGHT_FT) {
        if (lf_lateralFeet(distance, bearing - user.heading) <= APPROACH_LATERAL_FT) {
            aircraft.proximityHold = true;
            return lf_hold(aircraft);
        }
    }
    return aircraft.proximityHold ? lf_hold(aircraft) : false;
}

void spawnLiveAc(LiveAircraft& aircraft)
{
    if (aircraft.track.size() < 2) {
        gf_logWarn(vald::format("{} sz:{}", "spawnLiveAc", aircraft.track.size()));
        return;
    }
    if (lf_readyToPlace(aircraft))
        lf_place(aircraft);
}

std::optional<Stand> lf_chooseSpawnStand(LiveAircraft& aircraft)
{
    if (parkStands.empty())
        return std::nullopt;
    const std::shared_ptr<const EngineHooks> hooks = gf_engineHooks();
    const ParkAirportSnapshot airport = hooks->parkAirport();
    if (airport.icao.empty())
        return std::nullopt;
    TrackPoint& front = aircraft.track.front();
    if (gf_distanceNm(lf_pointPosition(front), airport.position) > BIRTH_AIRPORT_RANGE_NM)
        return std::nullopt;
    LatLon searchFrom = lf_pointPosition(front);
    if (!front.stationary) {
        const TrackPoint& last = aircraft.track.back();
        if (aircraft.track[1].groundSpeed > AT_REST_KT ||
            gf_distanceNm(lf_pointPosition(last), lf_pointPosition(front)) > AT_REST_DRIFT_NM)
            return std::nullopt;
        searchFrom = lf_pointPosition(last);
    }
    // Born standing on a stand whose holder's data has ended, it takes the stand: the holder goes,
    // as it would for an arrival coming to park there. One that still reports keeps it.
    if (const Stand* held = gf_heldStandAt(searchFrom, aircraft, false)) {
        const LiveAircraft* holder = gf_standHolder(*held, aircraft);
        if (holder != nullptr && gf_holderDataEnded(*holder))
            static_cast<void>(gf_settleHeldStand(*held, aircraft));  // the holder goes: true
    }
    const Stand* found = gf_findNearestStand(searchFrom, aircraft, BIRTH_STAND_REACH_NM, false);
    const std::optional<Stand> stand = found != nullptr ? std::optional<Stand>(*found) : std::nullopt;
    if (!stand)
        return std::nullopt;
    const std::string reserved = hooks->reservedStandName();
    const UserAircraftSnapshot& user = engineUserSnapshot;
    const std::string userStand = gf_standNameAt(LatLon{user.latitude, user.longitude});
    if ((!reserved.empty() && stand->id == reserved) || (!userStand.empty() && stand->id == userStand))
        return std::nullopt;
    if (gf_keptOffStand(aircraft.hexid)) {
        lf_drop(aircraft);
        return std::nullopt;
    }
    if (!lf_claimStand(stand->number, aircraft.identity.callsign) ||
        gf_findCollidingAdjacentLive(*stand, aircraft)) {
        lf_drop(aircraft);
        return std::nullopt;
    }
    lf_makeWay(aircraft, *stand);
    front.stationary = true;
    front.groundSpeed = 0.0;
    return stand;
}
