#include "engine/removal.hpp"

#include <algorithm>
#include <filesystem>

#include "engine/creation_queue.hpp"
#include "engine/flight_plans.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"

namespace {

// A creation not yet handed to the simulator client is withdrawn; one the simulator has already
// is removed once it is made.
void lf_withdrawCreation(StaticAircraft& aircraft)
{
    if (gf_withdrawCreation(aircraft.hexid))
        aircraft.dequeued = true;
    else
        aircraft.removeWhenCreated = true;
}

void lf_removeFromSim(StaticAircraft& aircraft, const LiveAircraft* live)
{
    gf_assertEngineOwner();
    if (aircraft.state == SimState::buffer) {
        aircraft.skip = true;
        return;
    }
    if (aircraft.removeWhenCreated)
        return;
    // A live aircraft gives the stand it stands on up at once, also one that was never created.
    if (live != nullptr && gf_holdsStand(*live))
        lf_freeStand(live->standNumber);
    if (aircraft.state == SimState::adding2sim) {
        lf_withdrawCreation(aircraft);
        return;
    }
    aircraft.state = SimState::removingfromsim;
    if (aircraft.objectId != 0)
        removalQueue.push_back(aircraft.objectId);
    else
        gf_logWarn(vald::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim",
                                gf_flightKeyText(aircraft.identity)));
}

}  // namespace

bool gf_holdsStand(const LiveAircraft& aircraft)
{
    return aircraft.standNumber != 0 && aircraft.phase == FlightPhase::parked && !aircraft.leaveStand;
}

void removeAircraftFromSim(StaticAircraft& aircraft) { lf_removeFromSim(aircraft, nullptr); }

void removeAircraftFromSim(LiveAircraft& aircraft) { lf_removeFromSim(aircraft, &aircraft); }

bool lf_removeFarthest(double distanceNm)
{
    LiveAircraft* farthest = gf_farthestActiveBeyond(distanceNm, true);
    if (farthest == nullptr)
        return true;
    removeAircraftFromSim(*farthest);
    return false;
}

std::size_t gf_activeLiveCount()
{
    return static_cast<std::size_t>(std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& aircraft) {
        return aircraft.state == SimState::active;
    }));
}

void lf_limitLiveCount()
{
    gf_assertEngineOwner();
    const auto limit = static_cast<std::size_t>(std::max(0, MAX_LIVE_SEL.value()));
    // Creations beyond the limit that still wait to be sent are withdrawn, and places kept for
    // creations given up let go, the farthest first, all in one pass: they would only be made to be
    // removed.
    std::size_t count = gf_liveCount();
    if (count > limit) {
        for (const PlaceToGive& place : gf_placesToGive()) {
            if (count <= limit)
                break;
            if (place.waiting != nullptr)
                removeAircraftFromSim(*place.waiting);
            else
                gf_releaseKeptPlace(place.keptHexid);
            count -= std::min(count, place.counted);
        }
    }
    // The aircraft shown beyond it go now, the farthest first; those whose creation was sent
    // already go as they are shown.
    gf_trimShownToLimit();
}

void gf_trimShownToLimit()
{
    const auto limit = static_cast<std::size_t>(std::max(0, MAX_LIVE_SEL.value()));
    while (gf_shownCount() > limit)
        if (lf_removeFarthest(-1.0))
            break;  // none left to remove
}

void lf_sweepStaticAircraft()
{
    gf_assertEngineOwner();
    for (StaticAircraft& aircraft : staticAircraft) {
        if (aircraft.state == SimState::active) {
            removeAircraftFromSim(aircraft);
        } else if (aircraft.state == SimState::adding2sim && !aircraft.removeWhenCreated) {
            lf_withdrawCreation(aircraft);
        }
    }
    std::erase_if(staticAircraft, [](const StaticAircraft& aircraft) { return aircraft.dequeued; });
    // Those whose creation was given up are not made again, and a late answer is nobody's.
    gf_forgetGivenUpStatics();
}

void lf_eraseDroppedLive()
{
    // A parked aircraft waiting to be made again after a respawn keeps its stand; dropped before
    // that (at the live limit, on a blocked callsign), it gives the stand up as it goes. Every
    // other dropped record gave up its stand at its removal, if it held one. A flight dropped is
    // removed: a creation of it given up earlier is nobody's aircraft when answered late. One
    // dropped for now is not: the record kept of it learns where it has flown since.
    for (const LiveAircraft& aircraft : liveAircraft) {
        if (aircraft.skip && aircraft.state == SimState::buffer && gf_holdsStand(aircraft))
            lf_freeStand(aircraft.standNumber);
        if (aircraft.skip && aircraft.droppedForNow && !aircraft.dequeued)
            gf_keptLiveTakesNewerPoints(aircraft);
        else if (aircraft.skip || aircraft.dequeued)
            gf_forgetGivenUpLive(aircraft.hexid);
    }
    std::erase_if(liveAircraft, [](const LiveAircraft& aircraft) { return aircraft.skip || aircraft.dequeued; });
}

void lf_onObjectRemoved(std::uint32_t objectId)
{
    if (objectId == 0)
        return;
    const auto live = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                   [objectId](const LiveAircraft& aircraft) { return aircraft.objectId == objectId; });
    if (live != liveAircraft.end()) {
        if (live->state == SimState::liveryrespawn) {
            live->state = SimState::buffer;
            live->throttleStep = THROTTLE_STEP_NONE;
            live->flapsIndex = FLAPS_INDEX_NONE;
            live->objectId = 0;
            return;
        }
        // The simulator may remove an aircraft on its own: the stand it stood on is free again.
        // One that we removed gave its stand up then, and the stand may have a new occupant.
        if (live->state != SimState::removingfromsim && gf_holdsStand(*live))
            lf_freeStand(live->standNumber);
        if (live->flightPlanWritten) {
            // A flight plan that cannot go (held open, no rights) is left behind: the removal
            // report, and those after it in the same batch, must still be handled.
            const std::filesystem::path plan = gf_flightPlanPath(objectId);
            std::error_code error;
            std::filesystem::remove(plan, error);
            if (error)
                gf_logWarn(vald::format("Could not remove {}: {}", plan.string(), error.message()));
        }
        liveAircraft.erase(live);
        return;
    }
    const auto parked = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                     [objectId](const StaticAircraft& aircraft) { return aircraft.objectId == objectId; });
    if (parked == staticAircraft.end())
        return;
    if (parked != staticAircraft.end() - 1)
        *parked = std::move(staticAircraft.back());
    staticAircraft.pop_back();
}

void lf_removeBlocked(std::uint32_t hexid)
{
    gf_forgetGivenUpLive(hexid);
    LiveAircraft* aircraft = gf_liveByHexid(hexid);
    if (aircraft == nullptr)
        return;
    if (aircraft->state == SimState::buffer) {
        gf_log(vald::format("{} will be removed from buffer while blocked", gf_flightKeyText(aircraft->identity)));
        aircraft->skip = true;
    } else if (aircraft->state == SimState::active) {
        gf_log(vald::format("{} removed from simulator immediately while blocked", gf_flightKeyText(aircraft->identity)));
        removeAircraftFromSim(*aircraft);
    } else if (aircraft->state == SimState::adding2sim && gf_creationWaits(hexid) &&
               gf_givenUpMayBeAnswered(hexid)) {
        // Its creation is held back for the answer to one given up, which is nobody's aircraft
        // now: nothing of it has been sent, as of one in buffer.
        gf_log(vald::format("{} will be removed from buffer while blocked", gf_flightKeyText(aircraft->identity)));
        removeAircraftFromSim(*aircraft);
    }
}
