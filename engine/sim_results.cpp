#include "engine/sim_results.hpp"

#include <algorithm>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>

#include "engine/approach_landing.hpp"
#include "engine/creation_queue.hpp"
#include "engine/engine_state.hpp"
#include "engine/live_creation.hpp"
#include "engine/removal.hpp"
#include "engine/sim_requests.hpp"
#include "engine/spawn_step.hpp"
#include "engine/stand_marks.hpp"
#include "engine/static_parking_step.hpp"
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

// A late object was taken in place of the creation the flight had sent since: its own object,
// when it comes, is one too many.
bool lf_shownAlready(const SimResult& result, const LiveAircraft& aircraft)
{
    if (aircraft.objectId == 0 || aircraft.objectId == result.objectId)
        return false;
    gf_logWarn(vald::format("{} created while shown already, oid: {}, removed", gf_flightKeyText(aircraft.identity),
                            result.objectId));
    removalQueue.push_back(result.objectId);
    return true;
}

void lf_liveCreated(const SimResult& result)
{
    LiveAircraft* aircraft = gf_liveByHexid(result.hexid);
    if (aircraft == nullptr || result.objectId < FIRST_AI_OBJECT_ID || lf_shownAlready(result, *aircraft))
        return;
    aircraft->objectId = result.objectId;
    aircraft->respawning = false;  // back in the simulator
    // Shown now: a creation of it given up earlier and answered late is one too many.
    gf_forgetGivenUpLive(result.hexid);
    aircraft->heightAboveGround = result.value2;
    if (!aircraft->track.empty() && !aircraft->track.front().airborne)
        lf_onCreatedOnGround(*aircraft);
    lf_assignFlightPlan(*aircraft);
    if (!gf_engineSimRequests().staticCg(result.objectId)) {
        gf_logWarn("SimConnect request StaticCG fails");
        gf_simRequestError();
    }
    deferredResults.push_back(result);
    // Shown now: a place it was to take at the live limit changes hands.
    gf_trimShownToLimit();
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

// The static's creation has been answered: its report waits on the deferred list.
bool lf_staticAnswered(std::uint32_t hexid)
{
    return std::any_of(deferredResults.begin(), deferredResults.end(), [hexid](const SimResult& record) {
        return record.kind == SIM_RESULT_STATIC_CREATED && record.hexid == hexid && record.counter >= 0;
    });
}

// The aircraft still waits for its creation: a failure reported for another creation of the same
// flight (one that was given up and sent again) leaves an aircraft that has its object alone.
bool lf_waitsForCreation(const LiveAircraft& aircraft)
{
    return aircraft.state == SimState::adding2sim && aircraft.objectId == 0;
}
bool lf_waitsForCreation(const StaticAircraft& aircraft)
{
    return aircraft.state == SimState::adding2sim && !lf_staticAnswered(aircraft.hexid);
}

// The send id a result carries for a creation given up.
std::uint32_t lf_sendIdOf(double value) { return static_cast<std::uint32_t>(value); }

// The aircraft waiting for its creation goes; one born on a stand leaves it free.
template <typename Aircraft>
void lf_eraseWaiting(std::vector<Aircraft>& list, typename std::vector<Aircraft>::iterator found)
{
    if constexpr (std::is_same_v<Aircraft, LiveAircraft>) {
        if (gf_holdsStand(*found))
            lf_freeStand(found->standNumber);
    }
    if (found != list.end() - 1)
        *found = std::move(list.back());
    list.pop_back();
}

// What the creation given up was sent as: a live flight renamed or given another airframe after
// it was sent is due to respawn already.
template <typename Aircraft>
GivenUpCreation lf_givenUpOf(const Aircraft& aircraft, std::uint32_t sendId)
{
    GivenUpCreation given{aircraft.hexid, sendId, aircraft.identity, aircraft.liveryTitle};
    if constexpr (std::is_same_v<Aircraft, LiveAircraft>) {
        given.outdated = aircraft.respawnDue;
        given.outdatedLivery = aircraft.respawnNewLivery;
    }
    return given;
}

// The creation failed and the aircraft goes. A refused livery is not offered again; one that
// failed only because the simulator was full or never answered is tried again when the flight
// comes back. One given up unanswered is noted as given up with what it was sent as while its
// aircraft waited for it, and the aircraft is kept for the simulator's late answer, unless its
// removal was asked meanwhile.
template <typename Aircraft>
void lf_eraseRefused(std::vector<Aircraft>& list, const SimResult& result)
{
    const std::uint32_t hexid = result.hexid;
    const auto found =
        std::find_if(list.begin(), list.end(), [hexid](const Aircraft& aircraft) { return aircraft.hexid == hexid; });
    const bool waits = found != list.end() && lf_waitsForCreation(*found);
    if (result.value1 == CREATION_NOT_ANSWERED)
        gf_noteGivenUp(hexid, waits ? std::optional(lf_givenUpOf(*found, lf_sendIdOf(result.value2))) : std::nullopt);
    if (found == list.end())
        return;
    // Shown already, by an object taken as another of its creations: the refusal still stands for
    // the title.
    if (!waits) {
        if (result.value1 == CREATION_TITLE_REFUSED && !gf_isRefusedLivery(found->liveryTitle))
            gf_liveryNotCreated(found->identity, found->liveryTitle);
        return;
    }
    if (result.value1 == CREATION_TITLE_REFUSED)
        gf_liveryNotCreated(found->identity, found->liveryTitle);
    else
        gf_log(vald::format("{} not created for now, tried again later", gf_flightKeyText(found->identity)));
    if (result.value1 == CREATION_NOT_ANSWERED && !found->removeWhenCreated)
        gf_keepGivenUp(*found);
    lf_eraseWaiting(list, found);
}

std::string lf_lateObjectText(const std::string& name, std::uint32_t objectId, const char* outcome)
{
    return vald::format("{} created after its creation was given up, oid: {}, {}", name, objectId, outcome);
}

// A late object that is not the flight's aircraft: nobody would drive it.
void lf_removeLateObject(const SimResult& result, const std::string& name, const char* outcome = "removed")
{
    gf_logWarn(lf_lateObjectText(name, result.objectId, outcome));
    removalQueue.push_back(result.objectId);
}

// The object shows the flight as its creation was sent: under another name or livery than the
// flight's now, it respawns once, as soon as it is shown, as a creation sent before a rename
// does; with GUID_CHANGES off it flies on as it is shown. True when it is due.
bool lf_respawnIfOutdated(LiveAircraft& aircraft, const std::optional<GivenUpCreation>& shown)
{
    if (!shown || !GUID_CHANGES.value())
        return false;
    const bool otherLivery = shown->outdatedLivery || shown->liveryTitle != aircraft.liveryTitle;
    if (!shown->outdated && !otherLivery && shown->identity.callsign == aircraft.identity.callsign)
        return false;
    aircraft.respawnDue = true;
    aircraft.respawnNewLivery = aircraft.respawnNewLivery || otherLivery;
    return true;
}

// A live creation answered after it was given up, as creation_queue judges it: the flight's
// aircraft, or one too many.
void lf_lateLive(const SimResult& result)
{
    using Kind = LateLiveVerdict::Kind;
    LateLiveVerdict verdict = gf_judgeLateLive(result.hexid, lf_sendIdOf(result.value1), result.objectId);
    std::optional<GivenUpCreation>& shown = verdict.shown;
    LiveAircraft* aircraft = gf_liveByHexid(result.hexid);
    // The record to show: the flight's own that waits for its creation, or the one given up (with
    // what the flight received meanwhile), placed where the flight is now.
    std::optional<LiveAircraft> record;
    if (verdict.kind == Kind::inPlaceOfCreation)
        record = *aircraft;
    else if (verdict.kind == Kind::bringBack || verdict.kind == Kind::joinBuffered)
        record = std::move(verdict.kept);
    if (record && verdict.kind == Kind::joinBuffered)
        gf_takeNewerPoints(*record, *aircraft);
    // A waiting record holds the stand it was born on: it is to be chosen again.
    const bool heldStand = verdict.kind == Kind::inPlaceOfCreation && gf_holdsStand(*aircraft);
    if (heldStand)
        lf_freeStand(aircraft->standNumber);
    if (!record || !gf_placeAgainNow(*record)) {
        if (heldStand)
            lf_occupyStand(aircraft->standNumber);
        if (shown)
            gf_keepAnsweredForRefusal(*shown);
        // A flight that waits for a creation of its own and cannot take this object, past the
        // live limit or not to be placed where it is now, could not take that creation's object
        // either: it would be made only to be removed. The flight goes with the object (its
        // creation withdrawn, or its object removed when it comes) and comes back with its next
        // record, judged anew.
        if (verdict.kind == Kind::beyondLimit || verdict.kind == Kind::inPlaceOfCreation) {
            lf_removeLateObject(result, verdict.name, "removed with the flight's own creation");
            removeAircraftFromSim(*aircraft);
        } else {
            lf_removeLateObject(result, verdict.name);
        }
        return;
    }
    if (verdict.kind == Kind::inPlaceOfCreation)
        static_cast<void>(gf_withdrawCreation(result.hexid));
    if (aircraft == nullptr)
        aircraft = &liveAircraft.emplace_back(std::move(*record));
    else
        *aircraft = std::move(*record);
    aircraft->state = SimState::adding2sim;
    if (shown) {
        shown->respawnDueBefore = aircraft->respawnDue;
        shown->respawnNewLiveryBefore = aircraft->respawnNewLivery;
        gf_keepAnsweredForRefusal(*shown);
    }
    const bool due = lf_respawnIfOutdated(*aircraft, shown);
    gf_log(lf_lateObjectText(verdict.name, result.objectId,
                             due ? "taken as its aircraft, to respawn" : "taken as its aircraft"));
    SimResult created = result;
    created.kind = SIM_RESULT_LIVE_CREATED;
    lf_liveCreated(created);
    // The object was made where its creation was sent; it is shown where the flight is now as
    // soon as it is frozen, as a prompt answer's object would be, not flown there from the old
    // place (lf_finishLive).
    aircraft->placeOnceFrozen = aircraft->objectId == result.objectId;
}

// A static creation answered after it was given up is the static's aircraft while the static
// waits to be made again, or while its new creation waits to be handed to the simulator.
void lf_lateStatic(const SimResult& result)
{
    if (std::optional<GivenUpCreation> shown = gf_takeGivenUpCreation(result.hexid, lf_sendIdOf(result.value1))) {
        shown->objectId = result.objectId;
        gf_keepAnsweredForRefusal(*shown);
    }
    StaticAircraft* aircraft = lf_staticByHexid(result.hexid);
    std::optional<StaticAircraft> kept = aircraft == nullptr ? gf_takeGivenUpStatic(result.hexid) : std::nullopt;
    const std::string name = aircraft != nullptr ? aircraft->identity.callsign
                             : kept            ? kept->identity.callsign
                                               : vald::format("static {}", result.hexid);
    const bool taken = aircraft != nullptr
                           ? lf_waitsForCreation(*aircraft) && !aircraft->removeWhenCreated &&
                                 gf_withdrawCreation(result.hexid)
                           : kept && gf_staticStandFree(*kept);
    if (!taken) {
        lf_removeLateObject(result, name);
        return;
    }
    if (kept)
        staticAircraft.push_back(std::move(*kept));
    gf_log(lf_lateObjectText(name, result.objectId, "taken as its aircraft"));
    SimResult created = result;
    created.kind = SIM_RESULT_STATIC_CREATED;
    deferredResults.push_back(created);
}

// The object taken as a creation that the simulator refused since answers another creation with
// its tail number, which the client names (value1 its send id, value2 1.0 when it had been given
// up). Another creation of the same flight: the object shows the flight as that one was sent, and
// respawns when that is outdated. Another flight's: the flight that held the object has no
// aircraft, as after its creation's refusal in time (its record goes; it comes back with its next
// record), and the object is that creation's answer, judged as any.
void lf_objectPassedOn(const SimResult& result)
{
    const std::uint32_t objectId = result.objectId;
    const bool late = result.value2 != 0.0;
    LiveAircraft* holder = lf_liveByObjectId(objectId);
    if (holder != nullptr && holder->hexid == result.hexid) {
        std::optional<GivenUpCreation> shown =
            late ? gf_takeGivenUpCreation(result.hexid, lf_sendIdOf(result.value1)) : std::nullopt;
        if (!shown)
            return;
        shown->objectId = objectId;
        gf_keepAnsweredForRefusal(*shown);
        const bool due = lf_respawnIfOutdated(*holder, shown);
        gf_log(lf_lateObjectText(gf_flightKeyText(holder->identity), objectId,
                                 due ? "its later creation, to respawn" : "its later creation"));
        return;
    }
    const bool held = holder != nullptr;
    const double heightAboveGround = held ? holder->heightAboveGround : 0.0;
    if (held) {
        gf_log(vald::format("{} refused, its object {} is another's", gf_flightKeyText(holder->identity), objectId));
        lf_eraseWaiting(liveAircraft, liveAircraft.begin() + (holder - liveAircraft.data()));
    }
    if (late) {
        lf_lateLive(SimResult{objectId, result.hexid, 0, SIM_RESULT_LATE_CREATED, result.value1, heightAboveGround});
        return;
    }
    LiveAircraft* waiting = gf_liveByHexid(result.hexid);
    const bool waits = waiting != nullptr && lf_waitsForCreation(*waiting);
    if (held && waits) {
        lf_liveCreated(SimResult{objectId, result.hexid, 0, SIM_RESULT_LIVE_CREATED, 0.0, heightAboveGround});
    } else if (waits) {
        // Its object went already as one too many: the creation that waits for it failed for now.
        gf_log(vald::format("{} not created for now, tried again later", gf_flightKeyText(waiting->identity)));
        lf_eraseWaiting(liveAircraft, liveAircraft.begin() + (waiting - liveAircraft.data()));
    } else if (held) {
        lf_removeLateObject(result, vald::format("{:x}", result.hexid));
    }
}

// A creation given up that the simulator refused after all. A refused title is not offered again,
// as when refused in time (counted once, however many of its creations come back refused late),
// and the flight's creation with that title that still waits to be sent goes with its record; one
// already sent again has its own answer coming. A refusal for want of room leaves all as it is:
// the flight has come back or comes back as after any creation that failed.
void lf_lateRefused(const SimResult& result)
{
    const std::uint32_t hexid = result.hexid;
    const std::optional<GivenUpCreation> given = gf_takeGivenUpCreation(hexid, lf_sendIdOf(result.value2));
    // An object taken as it was another creation's (the client passes it on next): the flight it
    // shows is no longer this one's as it was sent.
    if (LiveAircraft* holder = given && given->objectId != 0 ? lf_liveByObjectId(given->objectId) : nullptr;
        holder != nullptr && holder->hexid == hexid) {
        holder->respawnDue = given->respawnDueBefore;
        holder->respawnNewLivery = given->respawnNewLiveryBefore;
    }
    if (!given || result.value1 != CREATION_TITLE_REFUSED)
        return;
    gf_log(vald::format("{} refused after its creation was given up, livery '{}'", gf_flightKeyText(given->identity),
                        given->liveryTitle));
    if (!gf_isRefusedLivery(given->liveryTitle))
        gf_liveryNotCreated(given->identity, given->liveryTitle);
    const auto sameWaiting = [&given](const auto& aircraft) {
        return aircraft.hexid == given->hexid && aircraft.liveryTitle == given->liveryTitle &&
               lf_waitsForCreation(aircraft);
    };
    if (hexid > LAST_STATIC_HEXID) {
        const auto found = std::find_if(liveAircraft.begin(), liveAircraft.end(), sameWaiting);
        if (found != liveAircraft.end() && gf_withdrawCreation(found->hexid))
            lf_eraseWaiting(liveAircraft, found);
    } else {
        const auto found = std::find_if(staticAircraft.begin(), staticAircraft.end(), sameWaiting);
        if (found != staticAircraft.end() && gf_withdrawCreation(hexid))
            lf_eraseWaiting(staticAircraft, found);
    }
}

// What the result tells of the creations handed on and of the simulator's time to answer them (a
// creation given up is noted with the refusals, where what it was sent as is known).
void lf_noteAnswer(const SimResult& result)
{
    switch (result.kind) {
    case SIM_RESULT_LIVE_CREATED:
    case SIM_RESULT_STATIC_CREATED:
        gf_noteAnswerInTime(result.hexid, true);
        break;
    case SIM_RESULT_CREATION_FAILED:
        // With a send id: one answered already, refused after all.
        if (result.value1 != CREATION_NOT_ANSWERED && result.value2 == 0.0)
            gf_noteAnswerInTime(result.hexid, true);
        break;
    case SIM_RESULT_LATE_CREATED:
        gf_noteAnswerLate(result.hexid, lf_sendIdOf(result.value1), true);
        break;
    case SIM_RESULT_LATE_REFUSED:
        gf_noteAnswerLate(result.hexid, lf_sendIdOf(result.value2), true);
        break;
    case SIM_RESULT_OBJECT_PASSED_ON:
        if (result.value2 != 0.0)
            gf_noteAnswerLate(result.hexid, lf_sendIdOf(result.value1), false);
        else
            gf_noteAnswerInTime(result.hexid, false);
        break;
    default:
        break;
    }
}

void lf_handleSimResult(const SimResult& result)
{
    lf_noteAnswer(result);
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
    case SIM_RESULT_CREATION_FAILED:
        // Asked again at once, a full simulator refuses again: the creations wait for room.
        if (result.value1 == CREATION_SIMULATOR_FULL)
            creationsHeldUntil = tickCounter.load() + SIMULATOR_FULL_PAUSE_TICKS;
        if (result.hexid > LAST_STATIC_HEXID)
            lf_eraseRefused(liveAircraft, result);
        else
            lf_eraseRefused(staticAircraft, result);
        break;
    case SIM_RESULT_LATE_CREATED:
        if (result.hexid > LAST_STATIC_HEXID)
            lf_lateLive(result);
        else
            lf_lateStatic(result);
        break;
    case SIM_RESULT_LATE_REFUSED:
        lf_lateRefused(result);
        break;
    case SIM_RESULT_OBJECT_PASSED_ON:
        lf_objectPassedOn(result);
        break;
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

// A late object's first position, once its freeze events have gone.
void lf_placeOnceFrozen(const SimResult& record)
{
    LiveAircraft* aircraft = gf_liveByHexid(record.hexid);
    if (aircraft == nullptr || aircraft->objectId != record.objectId || !aircraft->placeOnceFrozen ||
        gf_freezeQueued(record.objectId))
        return;
    aircraft->placeOnceFrozen = false;
    gf_positionFillBuffer().push_back(PositionSetRecord{aircraft->simPosition, aircraft->objectId});
}

void lf_finishLive(SimResult& record)
{
    lf_placeOnceFrozen(record);
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
    // From now on it is moved every tick.
    aircraft->placeOnceFrozen = false;
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
    gf_tidyCreations();
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
