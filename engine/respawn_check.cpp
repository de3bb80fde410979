#include "engine/respawn_check.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "engine/creation_queue.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/ghosts.hpp"
#include "engine/motion_math.hpp"
#include "engine/removal.hpp"
#include "engine/spawn_step.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "liveries/livery_choice.hpp"
#include "liveries/regcode_index.hpp"
#include "refdata/airports.hpp"
#include "refdata/registration.hpp"

namespace {

void lf_takeIfNew(std::string& held, const std::string& received)
{
    if (!received.empty() && received != held)
        held = received;
}

std::string lf_parkAirportIata()
{
    const std::string icao = gf_engineHooks()->parkAirport().icao;
    if (icao.empty())
        return {};
    const AirportRecord* airport = gf_findAirport(icao);
    return airport == nullptr ? std::string() : airport->iata;
}

// A respawn removes an aircraft at once (removals go out ten a second) and creates it again only
// in a creation slot (two a second): many flights changing identity together would empty the
// simulator. So a respawn starts only while fewer than this many others are under way (removed
// and not yet made again); the others fly on as they are shown and respawn later. Newcomers
// waiting to be created do not hold a respawn back: its creation goes ahead of theirs.
constexpr std::size_t RESPAWN_ROOM = 2;

bool lf_roomToRespawn()
{
    const auto respawning = std::count_if(liveAircraft.begin(), liveAircraft.end(),
                                          [](const LiveAircraft& aircraft) { return aircraft.respawning; });
    return static_cast<std::size_t>(respawning) < RESPAWN_ROOM;
}

// Not now: the aircraft lands, takes off, is pushed back or towed, waits at its track end, or is
// not in the simulator as an active aircraft.
bool lf_respawnWouldDisturb(const LiveAircraft& aircraft)
{
    return aircraft.departing || aircraft.approachConfigured || aircraft.touchedDown || aircraft.towed ||
           aircraft.climbOutConfigured || aircraft.state != SimState::active ||
           aircraft.phase == FlightPhase::pushing_back || aircraft.trackEndWait >= 1;
}

// The respawn, now or, without room, at the next look (each second, or a later record).
bool lf_respawnOrWait(LiveAircraft& aircraft, bool newLivery)
{
    aircraft.respawnNewLivery = aircraft.respawnNewLivery || newLivery;
    if (!lf_roomToRespawn()) {
        aircraft.respawnDue = true;
        return true;
    }
    aircraft.respawnDue = false;
    if (aircraft.respawnNewLivery)
        lf_forgetLivery(aircraft);
    aircraft.respawnNewLivery = false;
    gf_log(vald::format("          {} respawns", gf_flightKeyText(aircraft.identity)));
    liveryRespawn(aircraft);
    return false;
}

// No creation has gone out yet: it is made under the flight's present name, and with the livery
// of a new airframe chosen now, as a respawn would (a flight left without a livery goes). Only
// with GUID_CHANGES on: with it off the user asked for no such change, and the creation goes as
// it was placed.
bool lf_renewWaiting(LiveAircraft& aircraft, bool renamed, bool newLivery)
{
    if (newLivery) {
        gf_forgetRememberedLivery(aircraft.hexid);
        aircraft.liveryTitle.clear();
        aircraft.fsltlLivery = false;
        lf_takeRegistrationData(aircraft);
        if (!lf_takeLivery(aircraft)) {
            removeAircraftFromSim(aircraft);  // its waiting creation is withdrawn
            return false;
        }
    }
    if (renamed || newLivery)
        gf_log(vald::format("          {} respawns", gf_flightKeyText(aircraft.identity)));
    lf_renewWaitingCreation(aircraft);
    return true;
}

FlightIdentity lf_keyOf(const DbaseRecord& known)
{
    FlightIdentity key;
    key.airline = known.airl;
    key.type = known.type;
    return key;
}

}  // namespace

void lf_takeRouteStrings(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    lf_takeIfNew(aircraft.identity.origin, record.flight.origin);
    lf_takeIfNew(aircraft.identity.destination, record.flight.destination);
}

void lf_takeFlightStrings(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    lf_takeRouteStrings(aircraft, record);
    lf_takeIfNew(aircraft.identity.callsign, record.flight.callsign);
    lf_takeIfNew(aircraft.identity.registration, record.flight.registration);
}

bool lf_checkRouteChange(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    FlightIdentity& flight = aircraft.identity;
    const FlightIdentity& received = record.flight;
    bool filled = false;
    if (flight.origin.empty() && !received.origin.empty()) {
        flight.origin = received.origin;
        filled = true;
    }
    if (flight.destination.empty() && !received.destination.empty()) {
        flight.destination = received.destination;
        filled = true;
    }
    if (!received.origin.empty() && !received.destination.empty() && received.origin != flight.origin &&
        received.destination != flight.destination) {
        // A flight that returns to the park airport keeps its old route: its stand logic needs it.
        const std::string iata = lf_parkAirportIata();
        const bool returning = !iata.empty() && flight.origin == iata && received.destination == flight.origin;
        if (!returning) {
            flight.origin = received.origin;
            flight.destination = received.destination;
            if (aircraft.onGround && aircraft.phase != FlightPhase::parked && aircraft.phase != FlightPhase::parking) {
                aircraft.setPhase(FlightPhase::taxi);
                aircraft.courseToNext = aircraft.simPosition.heading;
            }
            return false;
        }
    }
    return !filled;
}

bool lf_checkRegLivery(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    const std::string& registration = record.flight.registration;
    const auto special = regcodeIndex.find(registration);
    if (special != regcodeIndex.end()) {
        if (special->second == aircraft.liveryTitle)
            return false;
        if (const std::optional<DbaseRecord> known = gf_findRegcode(registration)) {
            aircraft.identity.airline = known->airl;
            aircraft.identity.type = known->type;
        }
        return true;
    }
    if (registration == aircraft.identity.registration)
        return false;
    const std::optional<DbaseRecord> known = gf_findRegcode(registration);
    if (!known || gf_sameTypeKey(lf_keyOf(*known), aircraft.identity) || known->opr == aircraft.identity.airline)
        return false;
    aircraft.identity.airline = known->opr.empty() ? known->airl : known->opr;
    aircraft.identity.type = known->type;
    return true;
}

bool lf_checkRegAirline(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    const std::optional<DbaseRecord> known = gf_findRegcode(record.flight.registration);
    if (!known || gf_sameTypeKey(lf_keyOf(*known), aircraft.identity) || known->opr == aircraft.identity.airline)
        return false;
    const std::optional<std::string> callsignAirline = gf_airlineCodeOfCallsign(record.flight.callsign);
    if (!callsignAirline || (known->airl != *callsignAirline && known->opr != *callsignAirline))
        return false;
    aircraft.identity.airline = *callsignAirline;
    aircraft.identity.type = known->type;
    return true;
}

int lf_checkRegistrationChange(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    const std::string& registration = record.flight.registration;
    if (registration.empty())
        return 1;
    FlightIdentity& flight = aircraft.identity;
    int result = 1;
    if ((flight.registration == flight.callsign && registration != flight.registration) ||
        flight.registration.empty())
        result = lf_checkRegLivery(aircraft, record) ? 0 : 1;
    else if (registration != flight.registration)
        result = lf_checkRegAirline(aircraft, record) ? 0 : 1;
    flight.registration = registration;
    return result;
}

void lf_forgetLivery(LiveAircraft& aircraft)
{
    // It chooses its stand again when it is made anew: the stand it leaves is free meanwhile.
    if (gf_holdsStand(aircraft)) {
        lf_freeStand(aircraft.standNumber);
        aircraft.standNumber = 0;
    }
    gf_forgetRememberedLivery(aircraft.hexid);
    aircraft.liveryTitle.clear();
    aircraft.fsltlLivery = false;
    aircraft.setPhase(FlightPhase::birth);
}

bool lf_respawnCheck(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    if (aircraft.departing || aircraft.approachConfigured || aircraft.touchedDown || aircraft.towed ||
        aircraft.climbOutConfigured)
        return true;
    if (aircraft.state == SimState::buffer) {
        lf_takeFlightStrings(aircraft, record);
        return true;
    }
    const bool onItsWay = aircraft.state == SimState::adding2sim;
    if (!onItsWay && lf_respawnWouldDisturb(aircraft))
        return true;
    bool unchanged = lf_checkRouteChange(aircraft, record);
    // A new route leaves a new registration to a later record.
    bool newLivery = false;
    if (unchanged) {
        newLivery = lf_checkRegistrationChange(aircraft, record) == 0;
        unchanged = !newLivery;
    }
    FlightIdentity& flight = aircraft.identity;
    const std::string& callsign = record.flight.callsign;
    bool renamed = false;
    if (!callsign.empty() && callsign != flight.callsign && callsign != flight.registration) {
        if (!gf_endsWithGhostMark(callsign))
            lf_removeGhost(callsign);
        else if (lf_hasLiveCallsign(callsign))
            return false;
        flight.callsign = callsign;
        flight.callsign2 = callsign;
        flight.callsign3.clear();
        renamed = true;
    } else if (unchanged && !aircraft.respawnDue) {
        return true;
    }
    // Without a respawn the aircraft flies on as it is shown, and a creation still waiting goes as it
    // was placed (a queued request as it is, one still on the adding stack with the livery it was
    // placed with): its livery and its phase stay.
    if (!GUID_CHANGES.value())
        return true;
    if (onItsWay && gf_creationWaits(aircraft.hexid))
        return lf_renewWaiting(aircraft, renamed, newLivery);
    if (onItsWay) {
        // Sent to the simulator as it was: it respawns once it is shown.
        aircraft.respawnDue = true;
        aircraft.respawnNewLivery = aircraft.respawnNewLivery || newLivery;
        return true;
    }
    return lf_respawnOrWait(aircraft, newLivery);
}

void lf_startDueRespawns()
{
    if (!GUID_CHANGES.value())
        return;
    for (LiveAircraft& aircraft : liveAircraft)
        if (aircraft.respawnDue && !lf_respawnWouldDisturb(aircraft) && lf_respawnOrWait(aircraft, false))
            return;  // no room left
}

void liveryRespawn(LiveAircraft& aircraft)
{
    try {
        const SimPosition& at = aircraft.simPosition;
        TrackPoint point = aircraft.track.empty() ? TrackPoint{} : aircraft.track.front();
        if (aircraft.phase != FlightPhase::parked) {
            point.lat = at.lat;
            point.lon = at.lon;
            point.altitude = at.altitude;
            point.bank = at.bank;
            if (!aircraft.track.empty()) {
                TrackPoint& front = aircraft.track.front();
                front.stationary = gf_samePlace(gf_latLonOf(front), gf_latLonOf(at));
            }
        } else {
            aircraft.track.resize(1, point);
            TrackPoint& front = aircraft.track.front();
            front.stationary = true;
            front.track = at.heading * RAD_TO_DEG;
            point.stationary = true;
        }
        point.playTick = tickCounter.load() + 1;
        aircraft.track.push_front(point);
        aircraft.spawnDueTick = 0;
        aircraft.state = SimState::liveryrespawn;
        aircraft.respawning = true;
        aircraft.keptHeading = at.heading;
        if (aircraft.objectId != 0)
            removalQueue.push_back(aircraft.objectId);
        else
            gf_logWarn(vald::format("{} removing act {} with objectid=0 ?", "liveryRespawn",
                                    gf_flightKeyText(aircraft.identity)));
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{}: {}", "liveryRespawn", e.what()));
    }
}
