#include "parking/park_adjust.hpp"

#include <algorithm>

#include "engine/engine_state.hpp"
#include "engine/ghosts.hpp"
#include "engine/park_limits.hpp"
#include "engine/removal.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/strings.hpp"
#include "parking/park_airport.hpp"
#include "parking/static_planning.hpp"
#include "parking/week_search.hpp"
#include "foundation/status_display.hpp"
#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"

namespace {

constexpr std::int32_t LAST_HALF_HOUR = HALF_HOUR_SLOTS_PER_DAY - 1;


bool lf_isRemoval(const StaticAircraft& s)
{
    return std::any_of(parkRemovals.begin(), parkRemovals.end(), [&s](const ParkRemoval& r) {
        return r.standNumber == s.standNumber && r.callsign == s.identity.callsign;
    });
}

void lf_toRemovals(const StaticAircraft& s) { parkRemovals.push_back({s.identity.callsign, s.standNumber}); }

void lf_markRemoving(StaticAircraft& s)
{
    s.state = SimState::removingfromsim;
    lf_toRemovals(s);
}

void lf_keep(const StaticAircraft& s)
{
    keptStatics.push_back(KeptStatic{s.identity.callsign, s.identity.callsign2, s.identity.callsign3,
                                     s.identity.registration, s.identity.airline, s.identity.type, s.parkedSlot,
                                     s.standNumber, 0});
}

void lf_erasePosition(std::vector<ParkPosition>::iterator p) { parkPositions.erase(p); }

// t = now minus the position's age lies after the static's parked slot.
bool lf_positionParkedLater(const ParkPosition& p, const StaticAircraft& s)
{
    return gf_weekSlotIndex(gf_weekSlotMinus(gf_weekSlotNow(), p.age)) > gf_weekSlotIndex(s.parkedSlot);
}

void lf_retimeOrRemoveStatic(const StaticAircraft& s, std::vector<ParkPosition>::iterator p)
{
    if (lf_positionParkedLater(*p, s)) {
        lf_toRemovals(s);
        return;
    }
    lf_keep(s);
    lf_erasePosition(p);
}

bool lf_optionOfStatic(const StandOption& o, const StaticAircraft& s, std::uint32_t day)
{
    return o.day == day && o.registration == s.identity.registration && o.airline == s.identity.airline &&
           o.type == s.identity.type;
}

// The first planned position on an overlapping stand whose span reaches the static.
std::vector<ParkPosition>::iterator lf_collidingNeighbour(const Stand& stand, const StaticAircraft& s)
{
    for (const std::uint32_t n : stand.adjacent) {
        const auto p = std::find_if(parkPositions.begin(), parkPositions.end(),
                                    [n](const ParkPosition& q) { return q.standNumber == n; });
        if (p == parkPositions.end())
            continue;
        const Stand* other = gf_standByNumber(n);
        const double apart = gf_distanceNm(LatLon{s.standLat, s.standLon},
                                           other != nullptr ? LatLon{other->lat, other->lon} : LatLon{0.0, 0.0});
        if (gf_wingsTouch(gf_typeWingspan(p->type), gf_typeWingspan(s.identity.type), apart))
            return p;
    }
    return parkPositions.end();
}

void lf_recheckOne(StaticAircraft& s, std::uint64_t weekSlot)
{
    const auto seenLive = [](const std::string& cs) { return !cs.empty() && parkingLiveCallsigns.count(cs) != 0; };
    if (seenLive(s.identity.callsign2) || seenLive(s.identity.callsign3)) {
        lf_toRemovals(s);
        return;
    }
    const auto onStand = std::find_if(parkPositions.begin(), parkPositions.end(),
                                      [&s](const ParkPosition& p) { return p.standNumber == s.standNumber; });
    if (onStand != parkPositions.end()) {
        const bool same = onStand->airline == s.identity.airline && onStand->type == s.identity.type &&
                          (onStand->callsign + "*" == s.identity.callsign ||
                           onStand->secondCallsign + "*" == s.identity.callsign);
        if (same) {
            lf_keep(s);
            lf_erasePosition(onStand);
        } else {
            lf_retimeOrRemoveStatic(s, onStand);
        }
        return;
    }
    const Stand* stand = gf_standByNumber(s.standNumber);
    if (stand == nullptr) {
        lf_toRemovals(s);
        return;
    }
    const auto neighbour = lf_collidingNeighbour(*stand, s);
    if (neighbour != parkPositions.end()) {
        lf_retimeOrRemoveStatic(s, neighbour);
        return;
    }
    const std::int32_t w = std::min(std::max(weekFitReal, weekFitSoft), LAST_HALF_HOUR);
    for (const StandOption& o : stand->options)
        if (gf_optionSeenToday(o, s, weekSlot, w) || gf_optionSeenWrapped(o, s, weekSlot, w)) {
            lf_keep(s);
            return;
        }
    lf_toRemovals(s);
}

// The coupled flight of a kept week static leaves after the current half-hour.
void lf_markDeparting(KeptStatic& k, std::uint64_t weekSlot)
{
    const Stand* stand = gf_standByNumber(k.standNumber);
    if (stand == nullptr)
        return;
    std::string cs = k.callsign;
    if (!cs.empty() && cs.back() == '*')
        cs.pop_back();
    const std::uint32_t day = gf_weekSlotDay(weekSlot);
    const auto o = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& opt) {
        return opt.number >= 1 && opt.day == day && opt.callsign == cs && opt.airline == k.airline &&
               opt.type == k.type;
    });
    if (o == stand->options.end())
        return;
    const std::int32_t halfHour = gf_weekSlotHalfHour(weekSlot);
    if (halfHour < LAST_HALF_HOUR) {
        k.departing = gf_optionHasHalfHour(*o, halfHour + 1) ? 0 : 1;
        return;
    }
    const std::uint32_t nextDay = day % 7 + 1;
    const bool goesOn = std::any_of(stand->options.begin(), stand->options.end(), [&](const StandOption& opt) {
        return opt.number >= 1 && opt.day == nextDay && opt.airline == o->airline && opt.type == o->type &&
               gf_optionHasHalfHour(opt, 0);
    });
    k.departing = goesOn ? 0 : 1;
}

// A kept static whose coupled flight leaves is replaced by that flight.
void lf_replaceDeparting()
{
    const std::uint64_t now = gf_weekSlotNow();
    for (const KeptStatic& k : keptStatics) {
        if (k.departing == 0)
            continue;
        ParkPosition p;
        p.sourceKey = 0;
        p.sourceFlag = 1;
        p.standNumber = k.standNumber;
        // The replacement stands since the static came: its age is the time elapsed since then.
        p.age = gf_halfHoursSince(k.parkedSlot, now);
        p.airline = k.airline;
        p.type = k.type;
        p.callsign = k.secondCallsign;
        p.secondCallsign = k.thirdCallsign;
        p.registration = k.registration;
        p.preferCallsign = 0;
        parkPositions.push_back(std::move(p));
        parkRemovals.push_back({k.callsign, k.standNumber});
    }
    std::erase_if(keptStatics, [](const KeptStatic& k) { return k.departing != 0; });
}

void lf_markStandOf(std::uint32_t standNumber)
{
    if (Stand* stand = gf_standByNumber(standNumber))
        lf_markPlanned(*stand);
}

void lf_showRemovalsAndAdditions(const char* what)
{
    gf_showStatus(vald::format("{}: {} to be removed, {} to be added", what, parkRemovals.size(), parkPositions.size()),
                  true);
}

}  // namespace

void lf_refreshFromParkedTraffic()
{
    lf_matchParkedTraffic();
    for (StaticAircraft& s : staticAircraft) {
        if (s.state != SimState::active || s.sourceFlag != 0)
            continue;
        if (parkingLiveHexids.count(s.sourceKey) != 0) {
            lf_markRemoving(s);
            continue;
        }
        const auto p = std::find_if(parkPositions.begin(), parkPositions.end(), [&s](const ParkPosition& q) {
            return q.callsign + "*" == s.identity.callsign || q.secondCallsign + "*" == s.identity.callsign ||
                   gf_sameRegistration(q.registration, s.identity.registration);
        });
        if (p != parkPositions.end() && p->standNumber == s.standNumber) {
            lf_keep(s);
            lf_erasePosition(p);
        } else {
            lf_markRemoving(s);
        }
    }
    gf_log(vald::format("{} new parking position{} from PT", parkPositions.size(), parkPositions.size() == 1 ? "" : "s"));
}

void lf_reconcileWeekStatics(bool fullReset)
{
    if (fullReset)
        return;
    for (StaticAircraft& s : staticAircraft) {
        if (s.state != SimState::active || s.sourceFlag != 1)
            continue;
        const auto p = std::find_if(parkPositions.begin(), parkPositions.end(), [&s](const ParkPosition& q) {
            return q.standNumber == s.standNumber || gf_equalsBeforeStar(q.callsign, s.identity.callsign);
        });
        if (p == parkPositions.end())
            continue;
        if (!lf_positionParkedLater(*p, s) ||
            (p->callsign + "*" == s.identity.callsign && p->airline == s.identity.airline && p->type == s.identity.type))
            lf_erasePosition(p);
        else
            lf_markRemoving(s);
    }
}

bool gf_optionSeenToday(const StandOption& o, const StaticAircraft& s, std::uint64_t weekSlot,
                        std::int32_t windowHalfHours)
{
    if (!lf_optionOfStatic(o, s, gf_weekSlotDay(weekSlot)))
        return false;
    const std::int32_t halfHour = gf_weekSlotHalfHour(weekSlot);
    for (std::int32_t h = halfHour; h >= std::max(halfHour - windowHalfHours, 0); --h)
        if (gf_optionHasHalfHour(o, h))
            return true;
    return false;
}

bool gf_optionSeenWrapped(const StandOption& o, const StaticAircraft& s, std::uint64_t weekSlot,
                          std::int32_t windowHalfHours)
{
    const std::int32_t halfHour = gf_weekSlotHalfHour(weekSlot);
    if (windowHalfHours <= halfHour)
        return false;
    const std::uint32_t day = gf_weekSlotDay(weekSlot);
    if (!lf_optionOfStatic(o, s, day <= 1 ? 7 : day - 1))
        return false;
    const std::int32_t lowest = LAST_HALF_HOUR - std::min(windowHalfHours - halfHour, LAST_HALF_HOUR - 1);
    for (std::int32_t h = LAST_HALF_HOUR; h >= lowest; --h)
        if (gf_optionHasHalfHour(o, h))
            return true;
    return false;
}

void lf_recheckWeekStatics(std::uint64_t weekSlot)
{
    for (StaticAircraft& s : staticAircraft)
        if (s.state == SimState::active && s.sourceFlag == 1 && !lf_isRemoval(s))
            lf_recheckOne(s, weekSlot);
    std::stable_sort(keptStatics.begin(), keptStatics.end(), [](const KeptStatic& a, const KeptStatic& b) {
        return gf_weekSlotIndex(a.parkedSlot) > gf_weekSlotIndex(b.parkedSlot);
    });
    for (KeptStatic& k : keptStatics)
        if (!k.thirdCallsign.empty() && k.callsign.find(k.thirdCallsign) != std::string::npos)
            lf_markDeparting(k, weekSlot);
}

void lf_trimParkingToWanted(std::int64_t wanted)
{
    std::int64_t excess =
        static_cast<std::int64_t>(parkPositions.size() + keptStatics.size() + parkedLiveList.size()) - wanted;
    for (; excess >= 1; --excess) {
        if (!parkPositions.empty()) {
            lf_unplanStands({parkPositions.back()});
            parkPositions.pop_back();
        } else if (!keptStatics.empty()) {
            parkRemovals.push_back({keptStatics.back().callsign, keptStatics.back().standNumber});
            keptStatics.pop_back();
        } else if (!parkedLiveList.empty()) {
            const std::uint32_t standNumber = parkedLiveList.back().standNumber;
            const auto live = std::find_if(liveAircraft.begin(), liveAircraft.end(), [standNumber](const LiveAircraft& a) {
                return a.standNumber == standNumber;
            });
            if (live != liveAircraft.end())
                removeAircraftFromSim(*live);
            parkedLiveList.pop_back();
        } else {
            break;
        }
    }
}

void lf_executeParkRemovals()
{
    for (const ParkRemoval& removal : parkRemovals) {
        const auto s = std::find_if(staticAircraft.begin(), staticAircraft.end(), [&removal](const StaticAircraft& a) {
            return a.standNumber == removal.standNumber &&
                   (a.state == SimState::active || a.state == SimState::removingfromsim);
        });
        if (s == staticAircraft.end())
            continue;
        // A static already on its way out keeps its one removal request.
        const bool queued = s->objectId != 0 &&
                            std::find(removalQueue.begin(), removalQueue.end(), s->objectId) != removalQueue.end();
        if (!queued)
            removeAircraftFromSim(*s);
    }
    parkRemovals.clear();
}

void lf_adjustParking(bool fullReset)
{
    const std::uint64_t slot = lf_weekNowText();
    lf_endParkingBusy();
    vald::gf_updateDisplay(
        [](vald::StatusDisplayValues& values) {
            values.softPositions = false;
            values.weekData = false;
        },
        vald::LIVE_STATUS_BAND);
    parkRemovals.clear();
    keptStatics.clear();
    parkedLiveList.clear();
    parkPositions.clear();
    lf_clearStandMarks();
    for (Stand& stand : parkStands) {
        std::uint32_t number = 0;
        for (StandOption& option : stand.options)
            option.number = ++number;
    }
    lf_startWeekPlanning();
    lf_markUserStands();
    if (fullReset)
        for (const StaticAircraft& s : staticAircraft)
            if (s.state == SimState::active && s.sourceFlag == 1)
                lf_toRemovals(s);
    const bool ptOnly = RT_PARKTRAFFIC_ONLY.value();
    const std::int64_t wanted = lf_wantedParkCount();
    lf_collectParkedLive();
    const auto liveCount = static_cast<std::int64_t>(parkedLiveList.size());
    if (!ptOnly && wanted >= 1 && wanted < liveCount) {
        gf_showStatus(vald::format("Parking adjustments: {} more live ac than wanted", liveCount - wanted), true);
        lf_removeLiveParked(static_cast<std::uint64_t>(liveCount - wanted));
        lf_collectParkedLive();
    }
    for (const ParkedLiveEntry& live : parkedLiveList)
        lf_markStandOf(live.standNumber);
    if (lf_fetchParkedOrRetry())
        lf_refreshFromParkedTraffic();
    if (ptOnly) {
        // Parked traffic only: the week data plays no part.
        lf_showRemovalsAndAdditions("ParkTraffic changes");
        lf_executeParkRemovals();
        return;
    }
    lf_reconcileWeekStatics(fullReset);
    const auto base = static_cast<std::int64_t>(keptStatics.size() + parkedLiveList.size());
    for (const KeptStatic& k : keptStatics)
        lf_markStandOf(k.standNumber);
    if (wanted - static_cast<std::int64_t>(parkPositions.size()) != base)
        lf_fillFromWeekPasses(slot, wanted, base);
    lf_recheckWeekStatics(slot);
    lf_replaceDeparting();
    lf_trimParkingToWanted(wanted);
    std::stable_sort(parkPositions.begin(), parkPositions.end(),
                     [](const ParkPosition& a, const ParkPosition& b) { return a.age > b.age; });
    lf_showRemovalsAndAdditions("Parking adjustments");
    lf_executeParkRemovals();
}
