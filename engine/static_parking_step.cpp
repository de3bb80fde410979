#include "engine/static_parking_step.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include <gsl/narrow>

#include "engine/creation_queue.hpp"
#include "engine/engine_state.hpp"
#include "engine/stand_marks.hpp"
#include "engine/stand_records.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/time_slots.hpp"
#include "liveries/livery_choice.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/matching_summary.hpp"
#include "foundation/status_display.hpp"

std::vector<ParkPosition> parkPositions;
std::uint32_t staticCounter = 0;
std::int64_t wantedParkCount = 0;

namespace {

bool lf_isAdjacent(const Stand* stand, std::uint32_t number)
{
    return stand != nullptr && std::find(stand->adjacent.begin(), stand->adjacent.end(), number) != stand->adjacent.end();
}

bool lf_onOrNextTo(const Stand* stand, std::uint32_t positionStand, std::uint32_t otherStand)
{
    return otherStand == positionStand || lf_isAdjacent(stand, otherStand);
}

// A live or static aircraft on the stand or on one that overlaps it refuses a static there; the
// callsign is that of the planned position.
bool lf_standTaken(std::uint32_t standNumber, const std::string& callsign, const Stand* stand)
{
    const std::string here = lf_standIdText(standNumber);
    for (const LiveAircraft& live : liveAircraft) {
        if (live.phase != FlightPhase::parked && live.phase != FlightPhase::parking)
            continue;
        if (live.standNumber == standNumber) {
            gf_log(vald::format("{:8}: no static parking for {}, live aircraft {} standing here", here, callsign,
                                live.identity.callsign));
            return true;
        }
        if (lf_isAdjacent(stand, live.standNumber)) {
            gf_log(vald::format("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                                here, callsign, live.identity.callsign, lf_standIdText(live.standNumber)));
            return true;
        }
    }
    for (const StaticAircraft& other : staticAircraft) {
        if (lf_onOrNextTo(stand, standNumber, other.standNumber)) {
            gf_log(vald::format(
                "{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding", here,
                callsign, other.identity.callsign, lf_standIdText(other.standNumber)));
            return true;
        }
    }
    return false;
}

void lf_queueCreation(const StaticAircraft& made)
{
    CreationRequest request;
    request.position =
        SimInitPosition{made.standLat, made.standLon, 0.0, 0.0, 0.0, made.standHeading * RAD_TO_DEG, 1, 0};
    request.tailNumber = made.identity.callsign;
    request.liveryTitle = made.liveryTitle;
    request.hexid = made.hexid;
    gf_placeStaticCreation(request);
}

void lf_showWanted(std::int32_t count, std::int32_t percent)
{
    vald::gf_updateDisplay(
        [count, percent](vald::StatusDisplayValues& values) {
            values.wantedParkCount = count;
            values.wantedParkPercent = percent;
        },
        vald::LIVE_STATUS_BAND);
}

}  // namespace

std::uint64_t gf_weekSlotMinus(std::uint64_t weekSlot, std::uint32_t halfHours)
{
    // Ages of parked aircraft reach most of a week: step back modulo the week, not one day.
    const std::int64_t index = gf_weekSlotIndex(weekSlot) - static_cast<std::int64_t>(halfHours % HALF_HOUR_SLOTS_PER_WEEK);
    const std::int64_t wrapped = (index + HALF_HOUR_SLOTS_PER_WEEK) % HALF_HOUR_SLOTS_PER_WEEK;
    return gf_weekSlotValue(WeekdayAndSlot{static_cast<int>(wrapped / HALF_HOUR_SLOTS_PER_DAY) + 1,
                                           static_cast<int>(wrapped % HALF_HOUR_SLOTS_PER_DAY)});
}

std::uint32_t gf_halfHoursSince(std::uint64_t earlier, std::uint64_t later)
{
    const std::int64_t d = gf_weekSlotIndex(later) - gf_weekSlotIndex(earlier);
    return static_cast<std::uint32_t>((d % HALF_HOUR_SLOTS_PER_WEEK + HALF_HOUR_SLOTS_PER_WEEK) %
                                      HALF_HOUR_SLOTS_PER_WEEK);
}

std::uint64_t gf_weekSlotNow() { return gf_weekSlotValue(gf_weekdayAndSlot()); }

bool lf_plannedParkPositionsRemain() { return !parkPositions.empty() || gf_givenUpStaticWaits(); }

bool gf_staticStandFree(const StaticAircraft& aircraft)
{
    const Stand* stand = gf_standByNumber(aircraft.standNumber);
    return stand != nullptr && !lf_standTaken(aircraft.standNumber, aircraft.identity.callsign2, stand);
}

std::string lf_staticCallsign(std::string callsign)
{
    while (gf_endsWithGhostMark(callsign))
        callsign.pop_back();
    if (!callsign.empty() && callsign.back() == '*')
        return callsign;
    return vald::format("{}{}", callsign, "*");
}

std::string lf_detcs(const ParkPosition& position)
{
    const std::string& preferred = position.preferCallsign != 0 ? position.callsign : position.secondCallsign;
    const std::string& other = position.preferCallsign != 0 ? position.secondCallsign : position.callsign;
    if (!preferred.empty())
        return lf_staticCallsign(preferred);
    if (!other.empty())
        return lf_staticCallsign(other);
    gf_logWarn(vald::format("{} callsign is empty..", "lf_detcs"));
    return {};
}

void lf_parkStaticNext()
{
    gf_assertEngineOwner();
    if (parkStands.empty())
        return;
    // A static whose creation the simulator client gave up comes back at once, under its number
    // (a late answer to its first creation is still taken as it), not at the next parking update;
    // one whose livery the simulator has refused meanwhile comes back with the next update.
    if (std::optional<StaticAircraft> givenUp = gf_takeFirstGivenUpStatic()) {
        if (!gf_isRefusedLivery(givenUp->liveryTitle) && gf_staticStandFree(*givenUp))
            lf_queueCreation(staticAircraft.emplace_back(std::move(*givenUp)));
        return;
    }
    if (parkPositions.empty())
        return;
    const ParkPosition position = std::move(parkPositions.back());
    parkPositions.pop_back();
    const Stand* stand = gf_standByNumber(position.standNumber);
    if (lf_standTaken(position.standNumber, position.callsign, stand))
        return;
    if (stand == nullptr) {
        gf_logWarn(vald::format("stand with id {} not found", lf_standIdText(position.standNumber)));
        return;
    }
    // Numbered from 1: a hexid of 0 stands for "no aircraft" in the simulator's results.
    staticCounter = staticCounter % STATIC_NUMBER_LIMIT + 1;
    const std::uint32_t n = staticCounter;

    FlightIdentity flight;
    flight.airline = position.airline;
    flight.type = position.type;
    flight.callsign = position.callsign.empty() ? vald::format("{}{}{}", position.airline, n, "*") : lf_detcs(position);
    flight.callsign2 = position.callsign;
    flight.callsign3 = position.secondCallsign;
    flight.registration = position.registration;
    AircraftInstance instance = gf_makeAircraftInstance(flight);
    instance.hexid = n;

    StaticAircraft& made = staticAircraft.emplace_back(
        instance, stand->number, StandPlacement{stand->lat, stand->lon, stand->heading}, stand->cargo != 0);
    LiveryPick pick;
    pick.identity = made.identity;
    pick.category = made.category;
    pick.keyText = gf_flightKeyText(made.identity);
    if (!gf_chooseLiveryForStatic(pick, made.cargoStand, lf_standIdText(stand->number),
                                  gf_flightLongText(made.identity))) {
        staticAircraft.pop_back();
        return;
    }
    made.liveryTitle = pick.title;
    made.cargo = pick.cargo;
    made.sourceFlag = position.sourceFlag;
    made.sourceKey = position.sourceKey;
    made.parkedSlot = gf_weekSlotMinus(gf_weekSlotNow(), position.age);
    made.state = SimState::adding2sim;
    lf_queueCreation(made);
}

std::int64_t lf_wantedParkCount()
{
    if (MAX_PARK_SEL.value() <= 0) {
        wantedParkCount = 0;
        lf_showWanted(0, parking_percentage.value());
        return 0;
    }
    const std::int32_t custom = CUSTOM_PARKING_PERCENTAGE.value();
    const double pct = custom >= 0 ? custom : parking_percentage.value();
    const std::size_t stands = parkStands.size();
    std::int64_t wanted = 1;
    if (stands > 1 && (stands > 3 || pct >= 50.0))
        wanted = gsl::narrow<std::int32_t>(std::lround(pct * static_cast<double>(stands) / 100.0));
    const std::int64_t result = std::min<std::int64_t>(MAX_PARK_SEL.value(), wanted);
    const std::int32_t shownPct =
        stands == 0 ? 0
                    : gsl::narrow<std::int32_t>(std::lround(100.0 * static_cast<double>(result) / static_cast<double>(stands)));
    wantedParkCount = result;
    lf_showWanted(static_cast<std::int32_t>(result), shownPct);
    return result;
}

void gf_resetStaticParking()
{
    parkPositions.clear();
    staticCounter = 0;
    wantedParkCount = 0;
}
