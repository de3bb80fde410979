#include "engine/live_creation.hpp"

#include <algorithm>

#include "engine/creation_queue.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/flight_plans.hpp"
#include "engine/removal.hpp"
#include "engine/sim_requests.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/strings.hpp"
#include "simlink/sim_queues.hpp"

namespace {

constexpr double HIGH_LIGHTS_CEILING_FT = 10000.0;
constexpr double CABIN_LIGHTS_HEIGHT_FT = 2000.0;
constexpr std::uint32_t ROTORCRAFT_THROTTLE_STEP = 4;
constexpr std::uint32_t TAXI_FLAPS = 1;
constexpr double CLEARANCE_FACTOR = 1.1;
constexpr std::uint32_t CABIN_DARK_DRAWS = 10;
constexpr std::uint32_t CABIN_LIT_BELOW = 9;

std::uint32_t lf_on(bool on) { return on ? 1u : 0u; }

void lf_event(const LiveAircraft& aircraft, std::uint32_t eventId, std::uint32_t data = 0)
{
    gf_queueClientEvent(QueuedClientEvent{aircraft.objectId, eventId, data});
}

std::string lf_makeWayText(const StaticAircraft& parked, const LiveAircraft& aircraft)
{
    const bool sameFlight = parked.identity.callsign2 == aircraft.identity.callsign ||
                            parked.identity.registration == aircraft.identity.registration;
    return vald::format("{:8}: {:8} {} makes way for{} {} {}", lf_standIdText(parked.standNumber),
                        parked.identity.callsign, parked.identity.registration,
                        sameFlight ? " the same live version" : "", aircraft.identity.callsign,
                        aircraft.identity.registration);
}

}  // namespace

void lf_onCreatedOnGround(LiveAircraft& aircraft)
{
    aircraft.onGround = true;
    aircraft.altitudeRate = 0.0;
    aircraft.stageCounter = 1;
    if (aircraft.phase != FlightPhase::parked)
        return;
    aircraft.parkedSlot = gf_weekSlotValue(gf_weekdayAndSlot());
    const std::string standText = lf_standIdText(aircraft.standNumber);
    gf_log(vald::format("{:8}: {:8} parks", standText, aircraft.identity.callsign));
    gf_engineHooks()->erasePlannedStand(aircraft.standNumber);
    const auto parked = std::find_if(staticAircraft.begin(), staticAircraft.end(), [&aircraft](const StaticAircraft& s) {
        return s.state == SimState::active && s.standNumber == aircraft.standNumber;
    });
    if (parked != staticAircraft.end()) {
        gf_log(vald::format("{:8}: {:8} parks over static {}", standText, aircraft.identity.callsign,
                            parked->identity.callsign));
        removeAircraftFromSim(*parked);
    }
}

void lf_assignFlightPlan(LiveAircraft& aircraft)
{
    const FlightIdentity& flight = aircraft.identity;
    if (flight.origin.empty() || flight.destination.empty())
        return;
    const std::filesystem::path path = gf_flightPlanPath(aircraft.objectId);
    aircraft.flightPlanWritten =
        gf_writeFlightPlan(path, aircraft) && gf_engineSimRequests().flightPlan(aircraft.objectId, path.string());
    if (!aircraft.flightPlanWritten)
        gf_logWarn(vald::format("{} creating a flight plan failed", gf_routeText(flight)));
}

void lf_activateLiveAc(LiveAircraft& aircraft)
{
    const bool rotorcraft = aircraft.category == AircraftCategory::Rotorcraft;
    const bool airborne = !aircraft.track.empty() && aircraft.track.front().airborne;
    if (airborne) {
        lf_event(aircraft, ENGINE_AUTO_START);
        if (!rotorcraft)
            lf_event(aircraft, SPOILERS_SET);
        const bool low = aircraft.simPosition.altitude <= HIGH_LIGHTS_CEILING_FT;
        gf_setLights(aircraft.objectId, {1, 1, lf_on(low), 0, 1, lf_on(low),
                                         lf_on(aircraft.heightAboveGround >= CABIN_LIGHTS_HEIGHT_FT)});
    } else {
        const bool parked = aircraft.phase == FlightPhase::parked;
        if (!rotorcraft)
            lf_event(aircraft, SPOILERS_SET);
        lf_event(aircraft, parked ? ENGINE_AUTO_SHUTDOWN : ENGINE_AUTO_START);
        const bool nav = parked ? NAV_LIGHTS_WHILE_PARKED.value() : true;
        gf_setLights(aircraft.objectId,
                     {lf_on(nav), lf_on(!parked), 0, lf_on(aircraft.phase == FlightPhase::taxi), 0, 1, 1});
        gf_setThrottle(aircraft, rotorcraft ? ROTORCRAFT_THROTTLE_STEP : 0);
        gf_setFlaps(aircraft, aircraft.phase == FlightPhase::taxi ? TAXI_FLAPS : 0);
    }
    aircraft.state = SimState::active;
}

void lf_shutdownStatic(StaticAircraft& aircraft)
{
    if (aircraft.throttleStep != 0) {
        gf_queueClientEvent(QueuedClientEvent{aircraft.objectId, THROTTLE_SET, 0});
        aircraft.throttleStep = 0;
    }
    gf_setFlaps(aircraft, 0);
    gf_queueClientEvent(QueuedClientEvent{aircraft.objectId, ENGINE_AUTO_SHUTDOWN, 0});
    const bool cabin = !aircraft.cargoStand && gf_threadRandomEngine()() % CABIN_DARK_DRAWS < CABIN_LIT_BELOW;
    gf_setLights(aircraft.objectId,
                 {NAV_LIGHTS_WHILE_PARKED.value() ? 1u : 0u, 0, 0, 0, 0, 1, cabin ? 1u : 0u});
}

void lf_makeWay(LiveAircraft& aircraft, const Stand& stand)
{
    for (StaticAircraft& parked : staticAircraft) {
        if (parked.standNumber != stand.number)
            continue;
        if (parked.state == SimState::active) {
            gf_log(lf_makeWayText(parked, aircraft));
            removeAircraftFromSim(parked);
        } else if (parked.state == SimState::adding2sim && !parked.removeWhenCreated) {
            if (gf_withdrawCreation(parked.hexid)) {
                parked.dequeued = true;
                gf_log("queued " + lf_makeWayText(parked, aircraft));
            } else {
                parked.removeWhenCreated = true;
            }
        }
    }
    std::erase_if(staticAircraft, [](const StaticAircraft& parked) { return parked.dequeued; });
    for (const std::uint32_t adjacent : stand.adjacent)
        lf_makeWayAdjacent(aircraft, adjacent, stand);
}

void lf_makeWayAdjacent(LiveAircraft& aircraft, std::uint32_t adjacentNumber, const Stand& stand)
{
    const Stand* adjacent = gf_standByNumber(adjacentNumber);
    if (adjacent == nullptr)
        return;
    const double apart = gf_distanceNm(LatLon{adjacent->lat, adjacent->lon}, LatLon{stand.lat, stand.lon});
    const double liveHalfSpan = gf_typeWingspan(aircraft.identity.type);
    for (StaticAircraft& parked : staticAircraft) {
        if (parked.state != SimState::active || parked.standNumber != adjacentNumber ||
            !gf_wingsTouch(gf_typeWingspan(parked.identity.type), liveHalfSpan, apart, CLEARANCE_FACTOR))
            continue;
        gf_log(vald::format("{:8}: {:8} makes way for {} parking at excluded stand {}", lf_standIdText(adjacentNumber),
                            parked.identity.callsign, aircraft.identity.callsign, stand.id));
        removeAircraftFromSim(parked);
        return;
    }
}
