#include "parking/week_search.hpp"

#include <algorithm>
#include <exception>
#include <set>
#include <utility>

#include "engine/engine_state.hpp"
#include "engine/ghosts.hpp"
#include "engine/stand_learning.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "foundation/strings.hpp"
#include "parking/static_planning.hpp"
#include "foundation/status_display.hpp"
#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"

std::int32_t weekFitReal = 0;
std::int32_t weekFitSoft = -1;

namespace {

constexpr std::size_t CANDIDATE_ROOM = 256;
constexpr std::size_t BATCH_ROOM = 512;
constexpr std::int32_t LAST_HALF_HOUR = HALF_HOUR_SLOTS_PER_DAY - 1;

// Options set aside by this planning, by (stand number, option number). Kept apart from the
// option numbers, which are written with the learned file: a closing before the next
// renumbering must not lose them.
std::set<std::pair<std::uint32_t, std::uint32_t>> excludedOptions;


FlightIdentity lf_identityOf(const StandOption& o)
{
    FlightIdentity flight;
    flight.airline = o.airline;
    flight.type = o.type;
    return flight;
}

bool lf_namesOption(const std::string& text, const StandOption& o)
{
    return !text.empty() && (text == o.callsign || text == o.callsignSuffix);
}

// The first active static on each neighbour must leave room for the option's span.
bool lf_neighbourStaticsFit(const Stand& stand, const StandOption& o)
{
    for (const std::uint32_t n : stand.adjacent) {
        const auto found = std::find_if(staticAircraft.begin(), staticAircraft.end(), [n](const StaticAircraft& s) {
            return s.state == SimState::active && s.standNumber == n;
        });
        if (found == staticAircraft.end())
            continue;
        const double apart = gf_distanceNm(LatLon{found->standLat, found->standLon}, LatLon{stand.lat, stand.lon});
        if (gf_wingsTouch(gf_typeWingspan(found->identity.type), gf_typeWingspan(o.type), apart))
            return false;
    }
    return true;
}

void lf_pickStandOption(std::vector<std::uint32_t>& candidates, const Stand& stand)
{
    for (const StaticAircraft& s : staticAircraft) {
        if (s.sourceFlag != 1 || s.standNumber != stand.number)
            continue;
        for (const StandOption& o : stand.options) {
            const bool named = gf_equalsBeforeStar(o.callsign, s.identity.callsign) ||
                               gf_equalsBeforeStar(o.callsignSuffix, s.identity.callsign);
            if (named && gf_sameTypeKey(lf_identityOf(o), s.identity)) {
                candidates.front() = o.number;
                return;
            }
        }
    }
    std::shuffle(candidates.begin(), candidates.end(), gf_threadRandomEngine());
}

bool lf_matchesActiveParkedStatic(const StandOption& o, const StaticAircraft& s)
{
    if (s.state != SimState::active || s.sourceFlag != 0)
        return false;
    return s.identity.callsign == o.callsign + "*" || s.identity.callsign == o.callsignSuffix + "*" ||
           gf_sameRegistration(s.identity.registration, o.registration);
}

bool lf_flightAlreadyPresent(const StandOption& o, const std::vector<ParkPosition>& batch)
{
    const auto sameRegistration = [&o](const ParkPosition& p) { return gf_sameRegistration(p.registration, o.registration); };
    if (std::any_of(parkPositions.begin(), parkPositions.end(), sameRegistration) ||
        std::any_of(batch.begin(), batch.end(), sameRegistration))
        return true;
    if ((!o.callsign.empty() && lf_inLiveCallsigns(o.callsign)) ||
        (!o.callsignSuffix.empty() && lf_inLiveCallsigns(o.callsignSuffix)))
        return true;
    // The flights seen by the reader are collected only while a park airport is set up; at every
    // planning the program's own live aircraft count, a departure holding at the runway too.
    if (gf_flightIsLive(0, o.callsign, o.registration) || gf_flightIsLive(0, o.callsignSuffix, std::string()))
        return true;
    if (lf_staticHasOption(o, o.registration))
        return true;
    for (const ParkPosition& p : parkPositions)
        if (lf_namesOption(p.callsign, o))
            return true;
    for (const ParkedLiveEntry& live : parkedLiveList)
        if (lf_namesOption(live.callsign, o))
            return true;
    return std::any_of(staticAircraft.begin(), staticAircraft.end(),
                       [&o](const StaticAircraft& s) { return lf_matchesActiveParkedStatic(o, s); });
}

// Whether the static shows the callsign (1) or the coupled second callsign (0): the half-hour
// after the planned slot decides.
std::uint8_t lf_preferCallsign(const Stand& stand, const StandOption& o, std::uint64_t slot)
{
    if (o.callsignSuffix.empty())
        return 1;
    const std::int32_t halfHour = gf_weekSlotHalfHour(slot);
    if (halfHour < LAST_HALF_HOUR)
        return gf_optionHasHalfHour(o, halfHour + 1) ? 1 : 0;
    const std::uint32_t nextDay = gf_weekSlotDay(slot) % 7 + 1;
    for (const StandOption& other : stand.options)
        if (&other != &o && other.number >= 1 && other.day == nextDay && other.airline == o.airline &&
            other.type == o.type && gf_optionHasHalfHour(other, 0))
            return 0;
    return 1;
}

void lf_collectCandidates(const Stand& stand, bool real, bool sameDay, std::uint64_t s,
                          std::vector<std::uint32_t>& candidates)
{
    candidates.clear();
    if (stand.blocked != 0 || (stand.heli != 0 && !HELICOPTERS.value()))
        return;
    for (const StandOption& o : stand.options) {
        if (o.number == 0 || lf_optionExcluded(stand.number, o.number) || (o.real != 0) != real)
            continue;
        if ((sameDay && o.day != gf_weekSlotDay(s)) || !gf_optionHasHalfHour(o, gf_weekSlotHalfHour(s)))
            continue;
        if (lf_neighbourStaticsFit(stand, o))
            candidates.push_back(o.number);
    }
}

const char* lf_kindText(bool real, bool sameDay)
{
    if (sameDay)
        return real ? "real" : "soft";
    return real ? "week/real" : "week/soft";
}

void lf_dropLast(std::vector<ParkPosition>& list, std::size_t count)
{
    count = std::min(count, list.size());
    const std::vector<ParkPosition> dropped(list.end() - static_cast<std::ptrdiff_t>(count), list.end());
    list.resize(list.size() - count);
    lf_unplanStands(dropped);
}

}  // namespace

bool gf_optionHasHalfHour(const StandOption& o, std::int32_t halfHour)
{
    return halfHour >= 0 && halfHour <= LAST_HALF_HOUR && (o.halfHours >> halfHour & 1u) != 0;
}

void lf_startWeekPlanning() { excludedOptions.clear(); }

bool lf_optionExcluded(std::uint32_t standNumber, std::uint32_t optionNumber)
{
    return excludedOptions.count({standNumber, optionNumber}) != 0;
}

void lf_searchStands(std::uint64_t weekSlot, bool real, bool sameDay, std::uint32_t offset,
                     std::vector<ParkPosition>& batch)
{
    const std::uint64_t s = gf_weekSlotMinus(weekSlot, offset);
    std::vector<std::uint32_t> candidates;
    candidates.reserve(CANDIDATE_ROOM);
    try {
        for (Stand& stand : parkStands) {
            if (stand.reserved != 0 || stand.planned != 0)
                continue;
            lf_collectCandidates(stand, real, sameDay, s, candidates);
            if (candidates.empty())
                continue;
            if (candidates.size() > 1)
                lf_pickStandOption(candidates, stand);
            const std::uint32_t first = candidates.front();
            const auto o = std::find_if(stand.options.begin(), stand.options.end(),
                                        [first](const StandOption& opt) { return opt.number >= 1 && opt.number == first; });
            if (o == stand.options.end())
                continue;
            if (lf_flightAlreadyPresent(*o, batch)) {
                excludedOptions.insert({stand.number, o->number});
                continue;
            }
            ParkPosition p;
            p.sourceKey = 0;
            p.sourceFlag = 1;
            p.standNumber = stand.number;
            p.age = offset;
            p.airline = o->airline;
            p.type = o->type;
            p.callsign = o->callsign;
            p.secondCallsign = o->callsignSuffix;
            p.registration = o->registration;
            p.preferCallsign = lf_preferCallsign(stand, *o, weekSlot);
            batch.push_back(std::move(p));
            lf_markPlanned(stand);
        }
    } catch (const std::exception& e) {
        gf_log(vald::format("{}: day: {}, offset {}: {}", "lf_searchStands",
                            vald::format("[{},{}]", gf_weekSlotDay(weekSlot), gf_weekSlotHalfHour(weekSlot)), offset, e.what()));
    }
}

bool lf_searchWeekPositions(std::uint64_t weekSlot, bool real, bool sameDay, std::int64_t target,
                            std::vector<ParkPosition>& batch)
{
    if (target == 0)
        return true;
    const std::size_t before = lf_plannedStandCount();
    const auto maxFit = static_cast<std::uint32_t>(std::clamp(MAX_FIT.value(), 0, 47));
    bool ok = false;
    std::uint32_t offset = 0;
    for (;;) {
        lf_searchStands(weekSlot, real, sameDay, offset, batch);
        if (static_cast<std::int64_t>(lf_plannedStandCount()) >= target) {
            ok = true;
            break;
        }
        parkPositions.insert(parkPositions.end(), batch.begin(), batch.end());
        batch.clear();
        if (offset + 1 > maxFit)
            break;
        ++offset;
    }
    if (real) {
        weekFitReal = static_cast<std::int32_t>(offset);
        weekFitSoft = -1;
    } else {
        weekFitSoft = static_cast<std::int32_t>(offset);
    }
    const std::size_t found = lf_plannedStandCount() - std::min(before, lf_plannedStandCount());
    if (found >= 1) {
        gf_log(vald::format("{} {} position{} found, Max fit={:.1F} hours{}{}", found, lf_kindText(real, sameDay),
                            found == 1 ? "" : "s", MAX_FIT_FL.value(), vald::format(", day {}", gf_weekSlotDay(weekSlot)),
                            vald::format(", hh:{} or {:.1F} hrs, fit: {:.1F} hour", gf_weekSlotHalfHour(weekSlot),
                                         gf_halfHoursToHours(gf_weekSlotHalfHour(weekSlot)),
                                         gf_halfHoursToHours(static_cast<std::int32_t>(offset)))));
        vald::gf_updateDisplay(
            [real, sameDay](vald::StatusDisplayValues& values) {
                values.softPositions = !real;
                values.weekData = !sameDay;
            },
            vald::LIVE_STATUS_BAND);
    }
    return ok;
}

void lf_fillFromWeek(std::uint64_t weekSlot, std::int64_t wanted, std::int64_t base, bool real, bool sameDay)
{
    std::vector<ParkPosition> batch;
    batch.reserve(BATCH_ROOM);
    if (!lf_searchWeekPositions(weekSlot, real, sameDay, wanted, batch))
        return;
    // The batch counts: a surplus is taken at random from it, and its stands are freed.
    const std::int64_t surplus = static_cast<std::int64_t>(parkPositions.size() + batch.size()) + base - wanted;
    if (surplus >= 1 && !batch.empty()) {
        std::shuffle(batch.begin(), batch.end(), gf_threadRandomEngine());
        lf_dropLast(batch, static_cast<std::size_t>(surplus));
    }
    parkPositions.insert(parkPositions.end(), batch.begin(), batch.end());
    const std::int64_t left = static_cast<std::int64_t>(parkPositions.size()) + base - wanted;
    if (left >= 1)
        lf_dropLast(parkPositions, static_cast<std::size_t>(left));
}

void lf_fillFromWeekPasses(std::uint64_t weekSlot, std::int64_t wanted, std::int64_t base)
{
    weekFitReal = 0;
    weekFitSoft = -1;
    const auto short_ = [&] { return wanted > static_cast<std::int64_t>(parkPositions.size()) + base; };
    lf_fillFromWeek(weekSlot, wanted, base, true, true);
    if (WEEK.value() && short_())
        lf_fillFromWeek(weekSlot, wanted, base, true, false);
    if (PARK_SOFT.value() && short_())
        lf_fillFromWeek(weekSlot, wanted, base, false, true);
    if (WEEK.value() && PARK_SOFT.value() && short_())
        lf_fillFromWeek(weekSlot, wanted, base, false, false);
}
