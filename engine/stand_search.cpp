#include "engine/stand_search.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/live_creation.hpp"
#include "engine/motion_math.hpp"
#include "engine/removal.hpp"
#include "engine/stand_approach.hpp"
#include "engine/stand_claims.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/strings.hpp"
#include "simlink/sim_state.hpp"

namespace {

// Distances start beyond anything on an airport.
constexpr double FAR_NM = 900.0;
// The best score a candidate pass starts from; a worse score is never a candidate.
constexpr double WORST_SCORE = 100.0;
// Airports with this many stands or fewer may look into the next half-hour.
constexpr std::size_t SMALL_AIRPORT_STANDS = 10;
// Out of 100 draws, those below this put the ramp before the gates.
constexpr std::uint32_t RAMP_FIRST_DRAWS = 10;

struct NameCache {
    bool valid = false;
    LatLon position;
    std::string answer;
};
NameCache standNameCache;
std::optional<LatLon> lastParkAttempt;

LatLon lf_placeOf(const Stand& stand) { return LatLon{stand.lat, stand.lon}; }

bool lf_hasPosition(const Stand& stand) { return stand.lat != 0.0 || stand.lon != 0.0; }

// The callsign without its last character; none for an empty one.
std::optional<std::string> lf_withoutLast(const std::string& callsign)
{
    if (callsign.empty())
        return std::nullopt;
    return callsign.substr(0, callsign.size() - 1);
}

bool lf_anyOptionMatches(const Stand& stand, const AircraftInstance& aircraft)
{
    const FlightIdentity& flight = aircraft.identity;
    if (flight.callsign.empty())
        return false;
    return std::any_of(stand.options.begin(), stand.options.end(), [&flight](const StandOption& option) {
        return gf_optionMatchesFlight(flight.callsign, flight, option);
    });
}

bool lf_touches(const Stand& from, const Stand& to, const std::string& typeA, const std::string& typeB)
{
    return gf_wingsTouch(gf_typeWingspan(typeA), gf_typeWingspan(typeB), gf_distanceNm(lf_placeOf(from), lf_placeOf(to)),
                         STAND_TOUCHING_MARGIN);
}

bool lf_parkedOrPushing(const LiveAircraft& aircraft)
{
    return aircraft.state == SimState::active &&
           (aircraft.phase == FlightPhase::parked || aircraft.phase == FlightPhase::pushing_back);
}

// --- free stand for a half-hour ---------------------------------------------------------------

bool lf_freeInSlot(const Stand& stand, const WeekdayAndSlot& slot)
{
    const std::uint64_t bit = std::uint64_t{1} << static_cast<unsigned>(slot.slot);
    return std::none_of(stand.options.begin(), stand.options.end(), [&slot, bit](const StandOption& option) {
        return option.number != 0 && option.day == static_cast<std::uint32_t>(slot.weekday) &&
               (option.halfHours & bit) != 0;
    });
}

using StandFilter = std::function<bool(const Stand&)>;

// What the candidate steps need: the half-hour, the aircraft, its score step, and the best score
// of the running pass.
struct CandidateSearch {
    CandidateSearch(const WeekdayAndSlot& when, const AircraftInstance& forAircraft)
        : slot(when), aircraft(forAircraft),
          step(forAircraft.halfSpan <= SMALL_AIRCRAFT_HALF_SPAN_NM ? SMALL_AIRCRAFT_SCORE_STEP_NM
                                                                   : LARGE_AIRCRAFT_SCORE_STEP_NM)
    {
        candidates.reserve(256);
    }

    WeekdayAndSlot slot;
    const AircraftInstance& aircraft;
    double step;
    double bestScore = WORST_SCORE;
    std::vector<StandCandidate> candidates;
};
using CandidateStep = void (*)(CandidateSearch&, const Stand&);

// Appends the stand when its score is no worse than the pass's best and it is free in the slot.
void lf_addCandidate(CandidateSearch& search, const Stand& stand, double score)
{
    // Compared before it becomes an integer: a huge radius is simply no candidate.
    if (score > search.bestScore || !lf_freeInSlot(stand, search.slot))
        return;
    search.bestScore = score;
    search.candidates.push_back(StandCandidate{stand.id, static_cast<std::int32_t>(score),
                                               lf_anyOptionMatches(stand, search.aircraft) ? 1 : 0});
}

// Only stands the aircraft fits (1.8 m overhang allowed), scored in steps of spare radius.
void lf_addFittingStandCandidate(CandidateSearch& search, const Stand& stand)
{
    if (search.aircraft.halfSpan - stand.radius > STAND_SIZE_TOLERANCE_NM)
        return;
    lf_addCandidate(search, stand, std::round((stand.radius - search.aircraft.halfSpan) / search.step));
}

// Any stand, whatever its size; the difference in nautical miles rounds to 0 on any airport.
void lf_addAnyStandCandidate(CandidateSearch& search, const Stand& stand)
{
    lf_addCandidate(search, stand, std::round(std::fabs(search.aircraft.halfSpan - stand.radius)));
}

// One pass of a candidate step over the stands the filter lets through; true when it added one.
bool lf_pass(CandidateSearch& search, CandidateStep candidateStep, const StandFilter& filter)
{
    const std::size_t before = search.candidates.size();
    search.bestScore = WORST_SCORE;
    for (const Stand& stand : parkStands)
        if (filter(stand))
            candidateStep(search, stand);
    return search.candidates.size() != before;
}

bool lf_fitting(CandidateSearch& search, const StandFilter& filter)
{
    return lf_pass(search, &lf_addFittingStandCandidate, filter);
}

bool lf_anySize(CandidateSearch& search, const StandFilter& filter)
{
    return lf_pass(search, &lf_addAnyStandCandidate, filter);
}

bool lf_collectGateOrRampCandidates(CandidateSearch& search, bool gates)
{
    const StandFilter filter = [gates](const Stand& stand) {
        return stand.cargo == 0 && stand.heli == 0 && (stand.ramp == 0) == gates;
    };
    return lf_fitting(search, filter) || lf_anySize(search, filter);
}

bool lf_gatesFirst()
{
    const std::string icao = gf_engineHooks()->parkAirport().icao;
    if (!icao.empty() && icao.front() == 'K')
        return true;
    return gf_threadRandomEngine()() % 100 >= RAMP_FIRST_DRAWS;
}

void lf_collectCandidates(CandidateSearch& search, const AircraftInstance& aircraft)
{
    const auto heli = [](const Stand& stand) { return stand.heli != 0; };
    const auto ramp = [](const Stand& stand) { return stand.ramp != 0; };
    const auto notHeli = [](const Stand& stand) { return stand.heli == 0; };
    const auto cargoNotHeli = [](const Stand& stand) { return stand.cargo != 0 && stand.heli == 0; };
    const auto plainRamp = [](const Stand& stand) { return stand.ramp != 0 && stand.cargo == 0 && stand.heli == 0; };
    if (aircraft.category == AircraftCategory::Rotorcraft) {
        (void)(lf_fitting(search, heli) || lf_fitting(search, ramp) || lf_anySize(search, heli) ||
               lf_anySize(search, ramp));
    } else if (aircraft.cargo) {
        (void)(lf_fitting(search, cargoNotHeli) || lf_anySize(search, cargoNotHeli) ||
               lf_fitting(search, notHeli) || lf_anySize(search, notHeli));
    } else if (aircraft.category == AircraftCategory::Light || aircraft.category == AircraftCategory::Buzjets ||
               aircraft.identity.airline == "PVT") {
        (void)(lf_fitting(search, plainRamp) || lf_anySize(search, plainRamp));
    } else {
        const bool gatesFirst = lf_gatesFirst();
        (void)(lf_collectGateOrRampCandidates(search, gatesFirst) ||
               lf_collectGateOrRampCandidates(search, !gatesFirst));
    }
}

WeekdayAndSlot lf_nextHalfHour(const WeekdayAndSlot& slot)
{
    if (slot.slot + 1 < HALF_HOUR_SLOTS_PER_DAY)
        return WeekdayAndSlot{slot.weekday, slot.slot + 1};
    return WeekdayAndSlot{slot.weekday >= 7 ? 1 : slot.weekday + 1, 0};
}

// --- claims -------------------------------------------------------------------------------------

void lf_clearAdjacentLive(std::uint32_t adjacentNumber, const Stand& stand, const LiveAircraft& aircraft)
{
    LiveAircraft* neighbour = gf_firstLiveOnStand(adjacentNumber);
    const Stand* adjacent = gf_standByNumber(adjacentNumber);
    if (neighbour == nullptr || neighbour == &aircraft || adjacent == nullptr || !lf_parkedOrPushing(*neighbour) ||
        !lf_hasPosition(*adjacent) || !lf_touches(*adjacent, stand, neighbour->identity.type, aircraft.identity.type))
        return;
    gf_log(vald::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}", adjacent->id,
                        neighbour->identity.callsign, aircraft.identity.callsign, stand.id));
    removeAircraftFromSim(*neighbour);
}

}  // namespace

bool gf_optionMatchesFlight(const std::string& callsign, const FlightIdentity& flight, const StandOption& option)
{
    if (option.number == 0 || option.real == 0)
        return false;
    if (!callsign.empty() && (option.callsign == callsign || option.callsignSuffix == callsign))
        return true;
    return option.airline == flight.airline && option.type == flight.type;
}

Stand* gf_findStandByName(const std::string& name)
{
    const auto found =
        std::find_if(parkStands.begin(), parkStands.end(), [&name](const Stand& stand) { return stand.id == name; });
    return found == parkStands.end() ? nullptr : &*found;
}

std::string gf_standNameAt(const LatLon& position)
{
    if (parkStands.empty() || !userOnGround.load())
        return std::string();
    if (standNameCache.valid && gf_samePlace(standNameCache.position, position))
        return standNameCache.answer;
    double best = FAR_NM;
    std::string answer;
    for (const Stand& stand : parkStands) {
        const double distance = gf_distanceNm(position, lf_placeOf(stand));
        if (distance <= STAND_NAME_RADIUS_NM && distance < best) {
            best = distance;
            answer = stand.id;
        }
    }
    standNameCache = NameCache{true, position, answer};
    return answer;
}

Stand* gf_findNearestStand(const LatLon& position, const AircraftInstance& aircraft, double maxDistNm, bool fallback)
{
    Stand* best = nullptr;
    double bestDist = FAR_NM;
    Stand* fallbackStand = nullptr;
    double fallbackDist = FAR_NM;
    Stand* widen = nullptr;
    for (Stand& stand : parkStands) {
        if (stand.occupied)
            continue;
        const double distance = gf_distanceNm(position, lf_placeOf(stand));
        const bool tooSmall = aircraft.halfSpan - stand.radius > STAND_SIZE_TOLERANCE_NM;
        if (distance <= maxDistNm && distance < bestDist) {
            if (tooSmall && distance > STAND_NARROW_RADIUS_NM)
                continue;
            if (tooSmall)
                widen = &stand;
            best = &stand;
            bestDist = distance;
            fallback = false;
        } else if (fallback && distance <= STAND_FALLBACK_RADIUS_NM && distance < fallbackDist && !tooSmall &&
                   lf_anyOptionMatches(stand, aircraft)) {
            fallbackStand = &stand;
            fallbackDist = distance;
        }
    }
    Stand* result = best != nullptr ? best : fallbackStand;
    if (result == nullptr)
        return nullptr;
    if ((result->heli != 0) != (aircraft.category == AircraftCategory::Rotorcraft))
        return nullptr;
    if (result == widen) {
        result->radius = aircraft.halfSpan - STAND_WIDENING_MARGIN_NM;
        result->radiusChanged = 1;
        gf_countLearnedUpdate();
    }
    return result;
}

Stand* gf_findFreeStandForSlot(const WeekdayAndSlot& slot, const AircraftInstance& aircraft, bool nextAllowed)
{
    if (slot.slot < 0 || slot.slot >= HALF_HOUR_SLOTS_PER_DAY)
        throw std::out_of_range("gf_findFreeStandForSlot: half-hour outside the day");
    CandidateSearch search(slot, aircraft);
    lf_collectCandidates(search, aircraft);
    std::vector<StandCandidate>& candidates = search.candidates;
    if (candidates.empty()) {
        if (nextAllowed && parkStands.size() <= SMALL_AIRPORT_STANDS)
            return gf_findFreeStandForSlot(lf_nextHalfHour(slot), aircraft, false);
        return nullptr;
    }
    std::mt19937& random = gf_threadRandomEngine();
    for (std::size_t i = candidates.size() - 1; i > 0; --i)
        std::swap(candidates[i], candidates[random() % (i + 1)]);
    std::stable_sort(candidates.begin(), candidates.end(), [](const StandCandidate& a, const StandCandidate& b) {
        if (a.matchesFlight != b.matchesFlight)
            return a.matchesFlight > b.matchesFlight;
        return a.score < b.score;
    });
    return gf_findStandByName(candidates.front().id);
}

std::optional<std::uint32_t> gf_findCollidingAdjacentLive(const Stand& stand, const AircraftInstance& aircraft)
{
    for (const std::uint32_t number : stand.adjacent) {
        const LiveAircraft* neighbour = gf_firstLiveOnStand(number);
        const Stand* adjacent = gf_standByNumber(number);
        if (neighbour == nullptr || adjacent == nullptr || !lf_parkedOrPushing(*neighbour) ||
            neighbour->identity.callsign == aircraft.identity.callsign || !lf_hasPosition(*adjacent))
            continue;
        if (lf_touches(*adjacent, stand, neighbour->identity.type, aircraft.identity.type))
            return number;
    }
    return std::nullopt;
}

bool lf_claimStand(std::uint32_t standNumber, const std::string& callsign)
{
    LiveAircraft* holder = gf_firstLiveOnStand(standNumber);
    if (holder == nullptr || holder->state != SimState::active ||
        (holder->phase != FlightPhase::parked && holder->phase != FlightPhase::pushing_back &&
         holder->phase != FlightPhase::pushed_back))
        return true;
    const std::string label = lf_standIdText(standNumber);
    const std::string& held = holder->identity.callsign;
    const auto remove = [holder](const std::string& line) {
        gf_log(line);
        removeAircraftFromSim(*holder);
        return true;
    };
    if (held == callsign)
        return remove(vald::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", label, held,
                                   callsign));
    // A ghost is the flight's callsign with '_' appended, nothing else: BAW12 is no ghost of BAW123.
    if (gf_endsWithGhostMark(callsign) && lf_withoutLast(callsign) == held)
        return false;
    if (gf_endsWithGhostMark(held) && (lf_withoutLast(held) == callsign || !gf_endsWithGhostMark(callsign)))
        return remove(vald::format("{:8}: {:8} ghost, replace by {}", label, held, callsign));
    if (gf_endsWithGhostMark(callsign))
        return false;
    if (!holder->leaveStand)
        return remove(
            vald::format("{:8}: {:8} removed because another live {} wants the stand ...", label, held, callsign));
    return false;
}

namespace {

// The free stand the aircraft claimed from a holder whose data had ended, when it is near enough
// to drive onto from there.
Stand* lf_claimedStandNear(LiveAircraft& aircraft, const LatLon& at)
{
    Stand* claimed = gf_standByNumber(aircraft.claimedStand);
    if (claimed == nullptr || claimed->occupied != 0 ||
        (claimed->heli != 0) != (aircraft.category == AircraftCategory::Rotorcraft) ||
        gf_distanceNm(at, LatLon{claimed->lat, claimed->lon}) > STAND_NAME_RADIUS_NM)
        return nullptr;
    return claimed;
}

}  // namespace

void try2Park(LiveAircraft& aircraft, bool wide)
{
    if (aircraft.track.empty()) {
        gf_logWarn(vald::format("{} empty sz?", "try2Park"));
        return;
    }
    const TrackPoint& last = aircraft.track.back();
    const LatLon at{last.lat, last.lon};
    // The stand whose holder went for it: the aircraft's data came onto it, while its track, thinned,
    // may end well short of it. It parks there unless it stopped on another.
    Stand* claimed = lf_claimedStandNear(aircraft, at);
    if (lastParkAttempt && gf_samePlace(*lastParkAttempt, at) && claimed == nullptr)
        return;
    lastParkAttempt = at;
    Stand* stand = claimed != nullptr ? gf_findNearestStand(at, aircraft, STAND_NARROW_RADIUS_NM, false) : nullptr;
    if (stand == nullptr)
        stand = claimed != nullptr
                    ? claimed
                    : gf_findNearestStand(at, aircraft, wide ? STAND_NAME_RADIUS_NM : STAND_NARROW_RADIUS_NM, wide);
    // Its track ends on a stand that a parked aircraft holds: it takes the stand only when the
    // holder's data has ended, and goes otherwise.
    if (stand == nullptr)
        stand = gf_heldStandAt(at, aircraft, false);
    if (stand == nullptr)
        return;
    const std::string reserved = gf_engineHooks()->reservedStandName();
    const UserAircraftSnapshot user = gf_userSnapshot();
    if ((!reserved.empty() && stand->id == reserved) ||
        stand->id == gf_standNameAt(LatLon{user.latitude, user.longitude}))
        return;
    if (!gf_settleHeldStand(*stand, aircraft))
        return;
    for (const std::uint32_t adjacent : stand->adjacent)
        lf_clearAdjacentLive(adjacent, *stand, aircraft);
    lf_makeWay(aircraft, *stand);
    aircraft.standLat = stand->lat;
    aircraft.standLon = stand->lon;
    aircraft.standHeading = stand->heading;
    aircraft.standNumber = stand->number;
    aircraft.claimedStand = 0;
    aircraft.cargoStand = stand->cargo != 0;
    if (aircraft.track.size() > 1)
        aircraft.track.resize(1);
    if (aircraft.phase != FlightPhase::parking)
        aircraft.setPhase(FlightPhase::parking);
    drive2Stand(aircraft, Stand::Place{stand->lat, stand->lon, stand->heading});
}

void gf_resetStandSearch()
{
    standNameCache = NameCache{};
    lastParkAttempt.reset();
}
