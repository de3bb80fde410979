#include "engine/ghosts.hpp"

#include <algorithm>
#include <exception>
#include <limits>

#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/park_limits.hpp"
#include "engine/removal.hpp"
#include "engine/stand_marks.hpp"
#include "engine/stand_search.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "refdata/registration.hpp"

std::vector<ParkedLiveEntry> parkedLiveList;

namespace {

// Half-hours either side of the slot in which coupled callsigns are looked for.
constexpr int COUPLED_WINDOW_HALF_HOURS = 10;
constexpr std::size_t GHOST_LIST_CAPACITY = 500;
constexpr int COUPLED_WINDOW_HALF_HOURS_HEAVY = 14;
constexpr std::int64_t SECONDS_PER_MINUTE = 60;

bool lf_isParkedLive(const LiveAircraft& aircraft)
{
    return aircraft.phase == FlightPhase::parked && aircraft.state == SimState::active;
}

const char* lf_groundText(bool onGround) { return onGround ? "on ground" : "airborne"; }

// The half-hours first..last of a day as a set.
std::uint64_t lf_halfHourRange(int first, int last)
{
    std::uint64_t bits = 0;
    for (int slot = first; slot <= last; ++slot)
        bits |= std::uint64_t{1} << static_cast<unsigned>(slot);
    return bits;
}

// Why the static aircraft is the same flight as the live one; empty when it is not.
std::string lf_duplicateReason(const StaticAircraft& parked, const LiveAircraft& live, bool onGround)
{
    const FlightIdentity& s = parked.identity;
    const FlightIdentity& a = live.identity;
    const std::string label = lf_standIdText(parked.standNumber);
    const char* where = lf_groundText(onGround);
    if (parked.sourceFlag == 0 && parked.sourceKey == live.hexid)
        return vald::format("{:8}: {:8} removed, new {} '{}' has same hexid", label, s.callsign, where, a.callsign);
    if (gf_sameRegistration(a.registration, s.registration))
        return vald::format("{:8}: {:8} {} removed, new {} '{}' has same regcode {}", label, s.callsign,
                            s.registration, where, a.callsign, a.registration);
    const auto coupledWith = [&s](const std::string& callsign) {
        return !callsign.empty() && (callsign == s.callsign2 || callsign == s.callsign3);
    };
    const std::string base = a.callsign.substr(0, a.callsign.size() - 1);
    if (coupledWith(a.callsign) || coupledWith(a.callsign3) || (gf_endsWithGhostMark(a.callsign) && coupledWith(base)))
        return vald::format("{:8}: {:8} '{}' '{}' removed, new {} {} '{}' '{}' has {} callsign", label, s.callsign,
                            s.callsign2, s.callsign3, where, a.callsign, a.callsign2, a.callsign3,
                            s.callsign2 == a.callsign ? "same" : "coupled");
    return std::string();
}

}  // namespace

void lf_removeGhost(const std::string& callsign)
{
    const std::string ghost = gf_ghostOf(callsign);
    const auto found = std::find_if(liveAircraft.begin(), liveAircraft.end(), [&ghost](const LiveAircraft& aircraft) {
        return aircraft.identity.callsign == ghost && aircraft.state != SimState::removingfromsim;
    });
    if (found == liveAircraft.end())
        return;
    if (found->phase == FlightPhase::parked)
        gf_log(vald::format("{:8}: {:8} is a ghost and will be removed, continue with {}",
                            lf_standIdText(found->standNumber), ghost, callsign));
    else
        gf_log(vald::format("          {:8} is a ghost and will be removed, continue with {}", ghost, callsign));
    if (std::find(ghostList.begin(), ghostList.end(), ghost) == ghostList.end()) {
        // A long session meets many ghosts: the oldest are forgotten first.
        if (ghostList.size() >= GHOST_LIST_CAPACITY)
            ghostList.erase(ghostList.begin());
        ghostList.push_back(ghost);
    }
    removeAircraftFromSim(*found);
}

bool lf_hasLiveCallsign(const std::string& callsign)
{
    if (callsign.empty())
        return false;
    const std::string base = callsign.substr(0, callsign.size() - 1);
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&base](const LiveAircraft& aircraft) {
        return aircraft.state != SimState::removingfromsim && aircraft.identity.callsign == base;
    });
}

bool gf_flightIsLive(std::uint32_t hexid, const std::string& callsign, const std::string& registration)
{
    const std::string ghost = callsign.empty() ? std::string() : gf_ghostOf(callsign);
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAircraft& live) {
        // One that only waits in the list was never shown: its flight may stand as a parked copy.
        if (live.state == SimState::buffer && !live.respawning)
            return false;
        return (hexid != 0 && live.hexid == hexid) ||
               (!callsign.empty() && (live.identity.callsign == callsign || live.identity.callsign == ghost)) ||
               gf_sameRegistration(live.identity.registration, registration);
    });
}

void lf_removeStaticDuplicates(LiveAircraft& aircraft, bool onGround)
{
    if (aircraft.identity.callsign.empty())
        return;
    for (StaticAircraft& parked : staticAircraft) {
        if (parked.state != SimState::active)
            continue;
        const std::string reason = lf_duplicateReason(parked, aircraft, onGround);
        if (reason.empty())
            continue;
        gf_log(reason);
        removeAircraftFromSim(parked);
        return;
    }
}

void lf_searchForCoupledCsAroundThisTime(std::uint64_t weekSlot, LiveAircraft& aircraft)
{
    try {
        const WeekdayAndSlot slot{static_cast<int>(gf_weekSlotDay(weekSlot)), gf_weekSlotHalfHour(weekSlot)};
        const int window = aircraft.category == AircraftCategory::Heavy ? COUPLED_WINDOW_HALF_HOURS_HEAVY
                                                                        : COUPLED_WINDOW_HALF_HOURS;
        const std::uint64_t halfHours = lf_halfHourRange(std::max(slot.slot - window, 0),
                                                         std::min(slot.slot + window, HALF_HOUR_SLOTS_PER_DAY - 1));
        FlightIdentity& flight = aircraft.identity;
        std::string callsign = flight.callsign;
        if (gf_endsWithGhostMark(callsign))
            callsign.pop_back();
        for (const Stand& stand : parkStands) {
            for (const StandOption& option : stand.options) {
                if (option.number == 0 || option.day != static_cast<std::uint32_t>(slot.weekday) ||
                    (option.halfHours & halfHours) == 0 || option.airline != flight.airline ||
                    option.callsignSuffix.empty() ||
                    (callsign != option.callsign && callsign != option.callsignSuffix))
                    continue;
                flight.callsign2 = option.callsign;
                flight.callsign3 = option.callsignSuffix;
                return;
            }
        }
    } catch (const std::exception& error) {
        gf_log(vald::format("{}: {}", "lf_searchForCoupledCsAroundThisTime", error.what()));
    }
}

void lf_clearReservedStand()
{
    const Stand* reserved = gf_findStandByName(gf_engineHooks()->reservedStandName());
    // Without such a stand there is nothing to clear (number 0 is no stand at all).
    if (reserved == nullptr || reserved->number == 0)
        return;
    const std::uint32_t number = reserved->number;
    for (StaticAircraft& parked : staticAircraft) {
        if (parked.standNumber == number && parked.state == SimState::active) {
            removeAircraftFromSim(parked);
            return;
        }
    }
    for (LiveAircraft& aircraft : liveAircraft) {
        if (aircraft.standNumber == number && lf_isParkedLive(aircraft)) {
            removeAircraftFromSim(aircraft);
            return;
        }
    }
}

void lf_collectParkedLive()
{
    parkedLiveList.clear();
    const bool keepAll = INITIAL_LOAD_ONLY.value();
    for (LiveAircraft& aircraft : liveAircraft) {
        if (!lf_isParkedLive(aircraft))
            continue;
        if (aircraft.leaveStand) {
            parkedLiveList.push_back(ParkedLiveEntry{aircraft.identity.callsign, 0, aircraft.standNumber, 0});
            continue;
        }
        // Park times are read on the clock that set them.
        const std::int64_t minutes = gf_secondsParked(aircraft) / SECONDS_PER_MINUTE;
        const std::int64_t limit =
            aircraft.category == AircraftCategory::Heavy ? MAX_PARKED_MINUTES_HEAVY : MAX_PARKED_MINUTES;
        if (!keepAll && minutes > limit) {
            removeAircraftFromSim(aircraft);
            continue;
        }
        parkedLiveList.push_back(ParkedLiveEntry{aircraft.identity.callsign, 0, aircraft.standNumber,
                                                 static_cast<std::uint32_t>(std::min<std::int64_t>(minutes, std::numeric_limits<std::uint32_t>::max()))});
    }
    std::stable_sort(parkedLiveList.begin(), parkedLiveList.end(),
                     [](const ParkedLiveEntry& a, const ParkedLiveEntry& b) { return a.parkedMinutes < b.parkedMinutes; });
}

void lf_checkNewLiveAircraft(std::uint64_t weekSlot)
{
    if (coupledCallsignQueue.empty())
        return;
    const std::uint32_t hexid = coupledCallsignQueue.front();
    // Popped first: an aircraft erased meanwhile must not hold up those behind it.
    coupledCallsignQueue.pop_front();
    const auto found = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                    [hexid](const LiveAircraft& aircraft) { return aircraft.hexid == hexid; });
    if (found == liveAircraft.end())
        return;
    if (!found->identity.coupledSearched) {
        lf_searchForCoupledCsAroundThisTime(weekSlot, *found);
        found->identity.coupledSearched = true;
    }
    lf_removeStaticDuplicates(*found, found->onGround);
}
