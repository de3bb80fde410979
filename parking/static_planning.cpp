#include "parking/static_planning.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <iterator>

#include "engine/engine_state.hpp"
#include "engine/ghosts.hpp"
#include "engine/stand_marks.hpp"
#include "engine/stand_search.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/strings.hpp"
#include "foundation/time_slots.hpp"
#include "parking/park_airport.hpp"
#include "parking/parking_window.hpp"
#include "parking/week_search.hpp"
#include "foundation/status_display.hpp"
#include "refdata/registration.hpp"
#include "simlink/user_stand.hpp"
#include "traffic/parked_fetch.hpp"

std::vector<ParkRemoval> parkRemovals;
std::vector<KeptStatic> keptStatics;
std::unordered_set<std::string> parkingLiveCallsigns;
std::unordered_set<std::uint32_t> parkingLiveHexids;
std::vector<ParkedTrafficRecord> parkedTraffic;

namespace {

// 110 m: a parked record farther from every stand is not at a stand.
constexpr double PARKED_STAND_MAX_NM = 0.05939524838012959;

ParkedTrafficSource parkedSource;
// The parked traffic for the next planning, asked for ahead of it (worker thread).
ParkedFetch parkedFetch;
// Tries left for a parked-traffic fetch that failed (a single refused request must not leave the
// airport without statics until the next periodic adjustment).
std::int32_t parkedRetriesLeft = PARKED_FETCH_RETRIES;
bool parkedRetryDue = false;

const char* const WEEKDAY_NAMES[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

AircraftInstance lf_instanceOfParked(const ParkedTrafficRecord& record)
{
    FlightIdentity flight = record.flight;
    if (flight.airline.empty() && !gf_airlineFromCallsign(flight))
        flight.airline = "PVT";
    AircraftInstance made = gf_makeAircraftInstance(flight);
    made.cargo = false;
    if (!flight.registration.empty())
        if (const std::optional<DbaseRecord> regcode = gf_findRegcode(flight.registration))
            made.cargo = regcode->cargo;
    return made;
}

// A planned neighbour whose span reaches into the stand keeps the record off it.
bool lf_neighbourCollides(const Stand& stand, const std::string& type)
{
    for (const std::uint32_t n : stand.adjacent) {
        const Stand* other = gf_standByNumber(n);
        const double apart = gf_distanceNm(LatLon{stand.lat, stand.lon},
                                           other != nullptr ? LatLon{other->lat, other->lon} : LatLon{0.0, 0.0});
        for (const ParkPosition& p : parkPositions)
            if (p.standNumber == n && gf_wingsTouch(gf_typeWingspan(p.type), gf_typeWingspan(type), apart))
                return true;
    }
    return false;
}

// The static from parked traffic on the stand: it stays when it parked after the record,
// otherwise it makes room. Answers whether the record still gets the stand.
bool lf_settleStaticOnStand(const ParkedTrafficRecord& record, const Stand& stand)
{
    const std::string starred = record.flight.callsign + "*";
    for (StaticAircraft& s : staticAircraft) {
        if (s.state != SimState::active || s.sourceFlag != 0 || s.standNumber != stand.number ||
            s.identity.callsign == starred)
            continue;
        const std::uint64_t now = gf_weekSlotNow();
        const std::uint64_t t = gf_weekSlotMinus(now, static_cast<std::uint32_t>(std::max(record.slot, 0)));
        if (gf_weekSlotIndex(t) >= gf_weekSlotIndex(s.parkedSlot)) {
            s.state = SimState::removingfromsim;
            parkRemovals.push_back({s.identity.callsign, stand.number});
            return true;
        }
        ParkPosition keep;
        keep.sourceKey = s.sourceKey;
        keep.sourceFlag = 0;
        keep.standNumber = stand.number;
        keep.age = gf_halfHoursSince(s.parkedSlot, now);
        keep.airline = s.identity.airline;
        keep.type = s.identity.type;
        keep.callsign = s.identity.callsign.substr(0, s.identity.callsign.size() - 1);
        keep.registration = s.identity.registration;
        parkPositions.push_back(std::move(keep));
        return false;
    }
    return true;
}

void lf_matchOneRecord(const ParkedTrafficRecord& r)
{
    const std::string& callsign = r.flight.callsign;
    if (callsign.empty() || parkingLiveHexids.count(r.hexId) != 0 || lf_inLiveCallsigns(callsign) ||
        gf_flightIsLive(r.hexId, callsign, r.flight.registration))
        return;
    const AircraftInstance aircraft = lf_instanceOfParked(r);
    Stand* s = gf_findNearestStand(r.position(), aircraft, PARKED_STAND_MAX_NM, false);
    if (s == nullptr) {
        gf_logIndented(vald::format("[{:10}: {:8x} {:8} {:12}, hh:{} ===> no stand for PT {}", r.stand, r.hexId,
                                    callsign, r.flight.registration, r.slot,
                                    vald::format("{:.6f},{:.6f}", r.lat, r.lon)));
        return;
    }
    if (s->reserved != 0 || s->planned != 0)
        return;
    if (s->blocked != 0 && lf_neighbourCollides(*s, aircraft.identity.type))
        return;
    if (!lf_settleStaticOnStand(r, *s))
        return;
    ParkPosition p;
    p.sourceKey = r.hexId;
    p.sourceFlag = 0;
    p.standNumber = s->number;
    p.age = static_cast<std::uint32_t>(std::max(r.slot, 0));
    p.airline = aircraft.identity.airline;
    p.type = aircraft.identity.type;
    p.callsign = callsign;
    p.registration = r.flight.registration;
    parkPositions.push_back(std::move(p));
    lf_markPlanned(*s);
}

void lf_sortByAge(bool descending)
{
    std::stable_sort(parkPositions.begin(), parkPositions.end(), [descending](const ParkPosition& a, const ParkPosition& b) {
        return descending ? a.age > b.age : a.age < b.age;
    });
}

void lf_clearPlanMarks()
{
    vald::gf_updateDisplay(
        [](vald::StatusDisplayValues& values) {
            values.liveAverageFit = -1.0F;
            values.staticAverageFit = -1.0F;
            values.softPositions = false;
            values.weekData = false;
        },
        vald::LIVE_STATUS_BAND);
}

const char* lf_plural(std::size_t n) { return n == 1 ? "" : "s"; }

}  // namespace

void gf_setParkedTrafficSource(ParkedTrafficSource source) { parkedSource = std::move(source); }

void lf_askParkedTraffic()
{
    if (!parkedSource)
        parkedFetch.start();
}

bool lf_parkedTrafficIn()
{
    if (parkedSource)
        return true;
    if (!parkedFetch.busy())
        parkedFetch.start();
    return parkedFetch.ended();
}

void lf_stopParkedTrafficFetch() { parkedFetch.cancel(); }

bool lf_fetchParkedForPlanning()
{
    parkedTraffic.clear();
    try {
        const bool ok = parkedSource ? parkedSource(parkedTraffic) : parkedFetch.take(parkedTraffic);
        if (!ok)
            parkedTraffic.clear();
        return ok;
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("parked traffic not received: {}", e.what()));
        parkedTraffic.clear();
        return false;
    }
}

bool lf_fetchParkedOrRetry()
{
    parkedRetryDue = false;
    if (lf_fetchParkedForPlanning()) {
        parkedRetriesLeft = PARKED_FETCH_RETRIES;
        return true;
    }
    if (parkedRetriesLeft > 0) {
        --parkedRetriesLeft;
        parkedRetryDue = true;
        // The adjustment comes at the next minute of the countdown and fetches again.
        parkingCountdownMinutes.store(1);
        gf_log(vald::format("parked traffic not received, next try within a minute ({} left)", parkedRetriesLeft));
    }
    return false;
}

bool gf_parkedRetryPending() { return parkedRetryDue; }

void lf_markPlanned(Stand& stand)
{
    stand.planned = 1;
    for (const std::uint32_t n : stand.adjacent)
        if (Stand* other = gf_standByNumber(n))
            other->blocked = 1;
}

void lf_unplanStands(const std::vector<ParkPosition>& dropped)
{
    if (dropped.empty())
        return;
    for (const ParkPosition& p : dropped)
        if (Stand* stand = gf_standByNumber(p.standNumber))
            stand->planned = 0;
    for (Stand& stand : parkStands)
        stand.blocked = 0;
    for (Stand& stand : parkStands)
        if (stand.planned != 0)
            lf_markPlanned(stand);
}

void lf_erasePlannedStand(std::uint32_t standNumber)
{
    std::vector<ParkPosition> dropped;
    const auto kept = std::stable_partition(parkPositions.begin(), parkPositions.end(),
                                            [standNumber](const ParkPosition& p) { return p.standNumber != standNumber; });
    dropped.assign(std::make_move_iterator(kept), std::make_move_iterator(parkPositions.end()));
    parkPositions.erase(kept, parkPositions.end());
    lf_unplanStands(dropped);
}

void lf_clearStandMarks()
{
    for (Stand& stand : parkStands) {
        stand.planned = 0;
        stand.reserved = 0;
        stand.blocked = 0;
    }
}

std::size_t lf_plannedStandCount()
{
    return static_cast<std::size_t>(
        std::count_if(parkStands.begin(), parkStands.end(), [](const Stand& s) { return s.planned != 0; }));
}

bool lf_inLiveCallsigns(const std::string& callsign)
{
    return parkingLiveCallsigns.count(callsign) != 0 || parkingLiveCallsigns.count(gf_ghostOf(callsign)) != 0;
}

std::uint64_t lf_weekNowText()
{
    const WeekdayAndSlot now = gf_weekdayAndSlot();
    const char* name = now.weekday >= 1 && now.weekday <= 7 ? WEEKDAY_NAMES[now.weekday - 1] : "???";
    gf_log(vald::format("\n{} (utc) It is day {} ({}), {:.1F} hours", gf_clockText(), now.weekday, name,
                        gf_halfHoursToHours(now.slot)));
    return gf_weekSlotValue(now);
}

void lf_endParkingBusy()
{
    // The reader stops collecting and hands its sets over in one step under its own lock.
    parkingBusy.store(false);
    SeenTargets seen = trafficReader.takeSeen();
    parkingLiveCallsigns = std::move(seen.callsigns);
    parkingLiveHexids = std::move(seen.hexIds);
}

void lf_markUserStands()
{
    const std::string reserved = gf_reservedStandName();
    const std::string user = gf_userStandName();
    for (Stand& stand : parkStands)
        if ((!reserved.empty() && stand.id == reserved) || (!user.empty() && stand.id == user))
            stand.reserved = 1;
}

void lf_matchParkedTraffic(std::size_t placed)
{
    const bool ptOnly = RT_PARKTRAFFIC_ONLY.value();
    const std::int64_t wanted = lf_wantedParkCount();
    if ((wanted == 0 && !ptOnly) || parkedTraffic.empty())
        return;
    for (const ParkedTrafficRecord& r : parkedTraffic) {
        if (!ptOnly && static_cast<std::int64_t>(placed + parkPositions.size()) >= wanted)
            break;
        lf_matchOneRecord(r);
    }
}

void lf_buildParkPositions()
{
    const std::uint64_t slot = lf_weekNowText();
    gf_parkLockControls();
    parkPositions.clear();
    keptStatics.clear();
    parkedLiveList.clear();
    lf_clearPlanMarks();
    lf_endParkingBusy();
    lf_clearStandMarks();
    lf_startWeekPlanning();
    lf_markUserStands();
    const bool ptOnly = RT_PARKTRAFFIC_ONLY.value();
    if (MAX_PARK_SEL.value() > 0) {
        parkedRetriesLeft = PARKED_FETCH_RETRIES;  // a new airport's first load
        if (lf_fetchParkedOrRetry())
            lf_matchParkedTraffic();
        if (!ptOnly)
            gf_log(vald::format("{} parking position{} from PT", parkPositions.size(), lf_plural(parkPositions.size())));
    }
    if (!ptOnly) {
        const std::int64_t wanted = lf_wantedParkCount();
        if (wanted > static_cast<std::int64_t>(parkPositions.size()))
            lf_fillFromWeekPasses(slot, wanted, 0);
        lf_sortByAge(false);
        if (static_cast<std::int64_t>(parkPositions.size()) > wanted) {
            const std::vector<ParkPosition> dropped(parkPositions.begin() + wanted, parkPositions.end());
            parkPositions.resize(static_cast<std::size_t>(wanted));
            lf_unplanStands(dropped);
        }
    }
    const std::size_t n = parkPositions.size();
    if (n == 0) {
        gf_log("no parking positions found");
        gf_parkUnlockControls();
        return;
    }
    const std::size_t stands = parkStands.size();
    const long pct = stands == 0 ? 0 : std::lround(static_cast<double>(n) * 100.0 / static_cast<double>(stands));
    if (ptOnly)
        gf_log(vald::format("{} positions from RT parktraffic only\n", n));
    else
        gf_log(vald::format("{} positions ({}% vs wanted {}%, with Max fit={:.1F} hours)\n", n, pct,
                            parking_percentage.value(), MAX_FIT_FL.value()));
    // The step takes from the back: the youngest park first.
    lf_sortByAge(true);
}

void lf_retryParkedTraffic()
{
    if (!lf_fetchParkedOrRetry())
        return;
    // The statics of the load stand where they were planned (their stands keep the planned mark)
    // and count towards the wanted number.
    const auto placed = static_cast<std::size_t>(std::count_if(
        staticAircraft.begin(), staticAircraft.end(),
        [](const StaticAircraft& s) { return s.state == SimState::adding2sim || s.state == SimState::active; }));
    // A flight the load shows already, as a static or a planned position, is not planned twice.
    std::erase_if(parkedTraffic, [](const ParkedTrafficRecord& r) {
        const auto same = [&r](const std::string& callsign, const std::string& registration) {
            // Statics carry the flight's callsign with a star, planned positions without.
            return callsign == r.flight.callsign || gf_equalsBeforeStar(r.flight.callsign, callsign) ||
                   (!r.flight.registration.empty() && gf_sameRegistration(registration, r.flight.registration));
        };
        return std::any_of(staticAircraft.begin(), staticAircraft.end(),
                           [&same](const StaticAircraft& s) {
                               return s.state != SimState::removingfromsim &&
                                      same(s.identity.callsign, s.identity.registration);
                           }) ||
               std::any_of(parkPositions.begin(), parkPositions.end(),
                           [&same](const ParkPosition& p) { return same(p.callsign, p.registration); });
    });
    const std::size_t before = parkPositions.size();
    lf_matchParkedTraffic(placed);
    gf_log(vald::format("{} parking position{} from PT", parkPositions.size() - before,
                        lf_plural(parkPositions.size() - before)));
    lf_sortByAge(true);
}

void gf_resetStaticPlanningForTest()
{
    parkRemovals.clear();
    keptStatics.clear();
    parkedLiveList.clear();
    parkingLiveCallsigns.clear();
    parkingLiveHexids.clear();
    parkedTraffic.clear();
    parkedSource = nullptr;
    parkedFetch.cancel();
    parkedRetriesLeft = PARKED_FETCH_RETRIES;
    parkedRetryDue = false;
}
