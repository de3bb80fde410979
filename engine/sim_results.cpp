#include "engine/sim_results.hpp"

#include <algorithm>

#include "engine/approach_landing.hpp"
#include "engine/engine_state.hpp"
#include "engine/live_creation.hpp"
#include "engine/removal.hpp"
#include "engine/sim_requests.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/strings.hpp"
#include "liveries/matching_summary.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_queues.hpp"

namespace {

constexpr std::uint32_t FIRST_AI_OBJECT_ID = 3;
constexpr std::int32_t FIRST_TOGGLE_TICK = 50;
constexpr std::int32_t SECOND_TOGGLE_TICK = 100;
constexpr std::int32_t FINISHED = -1;
constexpr double CG_LOWEST_FT = 1.0;
constexpr double CG_HIGHEST_FT = 35.0;
constexpr double PITCH_LOWEST_RAD = -1.0 * DEG_TO_RAD;
constexpr double PITCH_HIGHEST_RAD = 2.5 * DEG_TO_RAD;
constexpr std::uint32_t CABIN_DARK_DRAWS = 10;
constexpr std::uint32_t CABIN_LIT_BELOW = 9;
// A simulator without room for another object is asked again after this long at the latest.
constexpr Tick SIMULATOR_FULL_PAUSE_TICKS = 5 * TICKS_PER_SECOND;

template <typename Aircraft, typename Match>
Aircraft* lf_findIn(std::vector<Aircraft>& list, Match match)
{
    const auto found = std::find_if(list.begin(), list.end(), match);
    return found == list.end() ? nullptr : &*found;
}

LiveAircraft* lf_liveByObjectId(std::uint32_t objectId)
{
    return lf_findIn(liveAircraft, [objectId](const LiveAircraft& aircraft) { return aircraft.objectId == objectId; });
}

StaticAircraft* lf_staticByHexid(std::uint32_t hexid)
{
    return lf_findIn(staticAircraft, [hexid](const StaticAircraft& aircraft) { return aircraft.hexid == hexid; });
}

void lf_liveCreated(const SimResult& result)
{
    LiveAircraft* aircraft = gf_liveByHexid(result.hexid);
    if (aircraft == nullptr || result.objectId < FIRST_AI_OBJECT_ID)
        return;
    aircraft->objectId = result.objectId;
    aircraft->respawning = false;  // back in the simulator
    aircraft->heightAboveGround = result.value2;
    if (!aircraft->track.empty() && !aircraft->track.front().airborne)
        lf_onCreatedOnGround(*aircraft);
    lf_assignFlightPlan(*aircraft);
    if (!gf_engineSimRequests().staticCg(result.objectId)) {
        gf_logWarn("SimConnect request StaticCG fails");
        gf_simRequestError();
    }
    deferredResults.push_back(result);
}

void lf_nearGround(const SimResult& result)
{
    LiveAircraft* aircraft = lf_liveByObjectId(result.objectId);
    if (aircraft == nullptr)
        return;
    if (result.hexid == 1 && !aircraft->onGround && aircraft->stageCounter < 2 &&
        aircraft->state != SimState::removingfromsim && aircraft->phase != FlightPhase::take_off) {
        // First contact while flaring or on approach is the touchdown.
        if (aircraft->flareStage != 0 || aircraft->approachConfigured)
            lf_touchdown(*aircraft);
        aircraft->onGround = true;
        aircraft->altitudeRate = 0.0;
        aircraft->stageCounter = 1;
    }
    aircraft->heightAboveGround = result.value2;
    if (aircraft->onGround || aircraft->stageCounter > 1)
        aircraft->simPosition.altitude = result.value1 + aircraft->staticCgHeight;
}

void lf_staticCg(const SimResult& result)
{
    LiveAircraft* aircraft = lf_liveByObjectId(result.objectId);
    if (aircraft == nullptr)
        return;
    if (result.value1 >= CG_LOWEST_FT && result.value1 <= CG_HIGHEST_FT)
        aircraft->staticCgHeight = result.value1;
    const bool plausible = result.value2 > PITCH_LOWEST_RAD && result.value2 <= PITCH_HIGHEST_RAD;
    aircraft->staticPitch = plausible ? result.value2 : STATIC_PITCH_DEFAULT_DEG * DEG_TO_RAD;
}

// The creation failed and the aircraft goes. A refused livery is not offered again; one that
// failed only because the simulator was full or never answered is tried again when the flight
// comes back.
template <typename Aircraft>
void lf_eraseRefused(std::vector<Aircraft>& list, std::uint32_t hexid, bool titleRefused)
{
    const auto found =
        std::find_if(list.begin(), list.end(), [hexid](const Aircraft& aircraft) { return aircraft.hexid == hexid; });
    if (found == list.end())
        return;
    if (titleRefused)
        gf_liveryNotCreated(found->identity, found->liveryTitle);
    else
        gf_log(vald::format("{} not created for now, tried again later", gf_flightKeyText(found->identity)));
    if (found != list.end() - 1)
        *found = std::move(list.back());
    list.pop_back();
}

void lf_handleSimResult(const SimResult& result)
{
    switch (result.kind) {
    case SIM_RESULT_LIVE_CREATED:
        lf_liveCreated(result);
        break;
    case SIM_RESULT_STATIC_CREATED:
        deferredResults.push_back(result);
        break;
    case SIM_RESULT_OBJECT_REMOVED:
        // Whoever's it was, it leaves room for another.
        creationsHeldUntil = 0;
        lf_onObjectRemoved(result.objectId);
        break;
    case SIM_RESULT_FOREIGN_NEAR_GROUND:
        lf_nearGround(result);
        break;
    case SIM_RESULT_STATIC_CG:
        lf_staticCg(result);
        break;
    case SIM_RESULT_BLOCKED:
        lf_removeBlocked(result.hexid);
        break;
    case SIM_RESULT_CREATION_FAILED: {
        const bool titleRefused = result.value1 == CREATION_TITLE_REFUSED;
        // Asked again at once, a full simulator refuses again: the creations wait for room.
        if (result.value1 == CREATION_SIMULATOR_FULL)
            creationsHeldUntil = tickCounter.load() + SIMULATOR_FULL_PAUSE_TICKS;
        if (result.hexid > LAST_STATIC_HEXID) {
            // One born on a stand leaves it free.
            if (const LiveAircraft* refused = gf_liveByHexid(result.hexid); refused != nullptr && gf_holdsStand(*refused))
                lf_freeStand(refused->standNumber);
            lf_eraseRefused(liveAircraft, result.hexid, titleRefused);
        }
        else
            lf_eraseRefused(staticAircraft, result.hexid, titleRefused);
        break;
    }
    default:
        break;
    }
}

// A removal asked for while the aircraft was being created is carried out now.
void lf_removeIfAsked(StaticAircraft& aircraft)
{
    if (!aircraft.removeWhenCreated)
        return;
    aircraft.removeWhenCreated = false;
    removeAircraftFromSim(aircraft);
}

void lf_finishLive(SimResult& record)
{
    if (record.counter < CREATION_DELAY_TICKS) {
        ++record.counter;
        if ((record.counter == FIRST_TOGGLE_TICK || record.counter == SECOND_TOGGLE_TICK) &&
            !gf_engineSimRequests().allLightsToggle(record.objectId)) {
            gf_logWarn("SimConnect gf_allLightsToggle fails");
            gf_simRequestError();
        }
        return;
    }
    record.counter = FINISHED;
    // An aircraft that went while it waited has nothing left to release.
    LiveAircraft* aircraft = gf_liveByHexid(record.hexid);
    if (aircraft == nullptr || aircraft->objectId != record.objectId)
        return;
    lf_activateLiveAc(*aircraft);
    lf_removeIfAsked(*aircraft);
}

void lf_finishStatic(SimResult& record)
{
    if (record.counter < CREATION_DELAY_TICKS) {
        ++record.counter;
        return;
    }
    record.counter = FINISHED;
    StaticAircraft* aircraft = lf_staticByHexid(record.hexid);
    if (aircraft == nullptr)
        return;
    aircraft->state = SimState::active;
    aircraft->objectId = record.objectId;
    lf_shutdownStatic(*aircraft);
    gf_log(vald::format("{:8}: {:8} parked", lf_standIdText(aircraft->standNumber), aircraft->identity.callsign));
    lf_removeIfAsked(*aircraft);
}

}  // namespace

void lf_processSimResults()
{
    gf_assertEngineOwner();
    gf_drainSimResults(&lf_handleSimResult);
    if (!deferredResults.empty())
        lf_finishCreation();
}

void lf_finishCreation()
{
    bool finished = false;
    for (SimResult& record : deferredResults) {
        if (record.kind == SIM_RESULT_LIVE_CREATED)
            lf_finishLive(record);
        else if (record.kind == SIM_RESULT_STATIC_CREATED)
            lf_finishStatic(record);
        finished = finished || record.counter == FINISHED;
    }
    if (finished)
        std::erase_if(deferredResults, [](const SimResult& record) { return record.counter < 0; });
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
