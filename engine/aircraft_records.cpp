#include "engine/aircraft_records.hpp"

#include <array>
#include <cctype>
#include <unordered_map>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/strings.hpp"
#include "simlink/sim_queues.hpp"

namespace {

constexpr std::array<std::uint32_t, 5> throttleValues{0, 4914, 8191, 11468, 16383};
// Index 4 retracts the flaps.
constexpr std::array<std::uint32_t, 5> flapsValues{0, 3072, 10240, 16383, 0};
constexpr double TAKE_OFF_PITCH_VARIATION_PERCENT = 2.5;
constexpr double CLIMB_PITCH_VARIATION_PERCENT = 5.0;
constexpr std::size_t MAX_CALLSIGN_LENGTH = 8;
constexpr std::string_view NO_CALLSIGN = "@@@@@@@@";

// The tables are built on first use and only read afterwards; at() of an unknown key throws
// std::out_of_range, which is what callers of these lookups rely on.
template <typename Key, typename Value>
using Table = std::unordered_map<Key, Value>;

const Table<std::uint32_t, std::string>& lf_simStateNames()
{
    static const Table<std::uint32_t, std::string> names{
        {0, "buffer"}, {1, "adding2sim"}, {2, "active"}, {3, "liveryrespawn"}, {4, "removingfromsim"},
    };
    return names;
}

const Table<std::uint32_t, std::string>& lf_phaseNames()
{
    static const Table<std::uint32_t, std::string> names{
        {0, "pushing_back"}, {1, "pushed_back"}, {2, "taxi"},   {3, "take_off"},
        {4, "flying"},       {5, "parking"},     {6, "parked"}, {7, "birth"},
    };
    return names;
}

const Table<std::int32_t, CategoryConstants>& lf_categoryTable()
{
    static const Table<std::int32_t, CategoryConstants> table{
        {0, {0.15, -9.0, -15.0, 250, 250, 100, 200, 0.5, 5.0}},     // Light
        {1, {0.10, -8.0, -18.0, 300, 300, 200, 250, 0.75, 4.5}},    // Buzjets
        {2, {0.07, -6.0, -16.5, 400, 350, 200, 300, 0.6, 4.0}},     // Large
        {3, {0.05, -5.0, -12.5, 450, 450, 250, 400, 0.5, 3.0}},     // Heavy
        {4, {0.10, -6.0, -20.0, 150, 150, 100, 200, 1.0, 4.5}},     // HighPerf
        {5, {0.20, -20.0, -30.0, 100, 100, 100, 100, 0.75, 5.0}},  // Rotorcraft
    };
    return table;
}

bool lf_isAsciiLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool lf_isAsciiDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

const std::string& gf_simStateName(SimState state)
{
    return lf_simStateNames().at(static_cast<std::uint32_t>(state));
}

const std::string& gf_phaseName(FlightPhase phase) { return lf_phaseNames().at(static_cast<std::uint32_t>(phase)); }

const CategoryConstants& gf_categoryConstants(AircraftCategory category)
{
    return lf_categoryTable().at(static_cast<std::int32_t>(category));
}

TrackPoint gf_trackPointOf(const LiveTrafficRecord& record)
{
    TrackPoint point;
    point.lat = record.lat;
    point.lon = record.lon;
    point.altitude = record.altitudeFt;
    point.groundSpeed = record.groundSpeedKt;
    point.track = record.trackDeg;
    point.verticalRate = record.verticalRate;
    point.speed = record.speedKt;
    point.playTick = record.playTick;
    point.airborne = record.airborne;
    point.stationary = record.stationary;
    point.headingUsable = record.headingSet;
    point.bank = record.bankRad;
    point.trueHeading = record.trueHeadingRad;
    return point;
}

NewestReport gf_newestReportOf(const LiveTrafficRecord& record, Tick clockTick)
{
    return NewestReport{record.lat,      record.lon,      record.groundSpeedKt, record.trackDeg,
                        record.dataTime, record.airborne, clockTick};
}

AircraftInstance gf_makeAircraftInstance(const FlightIdentity& flight)
{
    AircraftInstance instance;
    instance.identity = flight;
    instance.halfSpan = gf_typeWingspan(flight.type);
    instance.category = gf_typeCategory(flight.type);
    const CategoryConstants& constants = gf_categoryConstants(instance.category);
    instance.flareTicks = constants.flareTicks;
    instance.touchdownTicks = constants.touchdownTicks;
    instance.rotationTicks = constants.rotationTicks;
    instance.climbTicks = constants.climbTicks;
    instance.takeOffPitch =
        gf_randomisePercent(constants.takeOffPitchDeg, TAKE_OFF_PITCH_VARIATION_PERCENT) * DEG_TO_RAD;
    instance.climbPitch = gf_randomisePercent(constants.climbPitchDeg, CLIMB_PITCH_VARIATION_PERCENT) * DEG_TO_RAD;
    instance.turnRate = constants.turnRateDeg * DEG_TO_RAD;
    return instance;
}

StaticAircraft::StaticAircraft(const AircraftInstance& instance, std::uint32_t standNumber_,
                               const StandPlacement& placement, bool cargoStand_)
    : AircraftInstance(instance),
      standLat(placement.lat),
      standLon(placement.lon),
      standHeading(placement.heading),
      standNumber(standNumber_),
      cargoStand(cargoStand_)
{
}

LiveAircraft::LiveAircraft(const TrackPoint& firstPoint, const AircraftInstance& instance, double recordTime_)
    : StaticAircraft(instance, 0, StandPlacement{}, false), track{firstPoint}, recordTime(recordTime_)
{
}

void LiveAircraft::setPhase(FlightPhase next)
{
    // The phase before the last change: setting the same phase again keeps it.
    if (next == phase)
        return;
    previousPhase = phase;
    phase = next;
}

std::uint64_t gf_weekSlotValue(const WeekdayAndSlot& slot)
{
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(slot.weekday)) |
           (static_cast<std::uint64_t>(static_cast<std::uint32_t>(slot.slot)) << 32);
}

std::uint32_t gf_weekSlotDay(std::uint64_t weekSlot) { return static_cast<std::uint32_t>(weekSlot & 0xFFFFFFFFu); }

std::int32_t gf_weekSlotHalfHour(std::uint64_t weekSlot) { return static_cast<std::int32_t>(weekSlot >> 32); }

std::int64_t gf_weekSlotIndex(std::uint64_t weekSlot)
{
    return (static_cast<std::int64_t>(gf_weekSlotDay(weekSlot)) - 1) * HALF_HOUR_SLOTS_PER_DAY +
           gf_weekSlotHalfHour(weekSlot);
}

bool gf_categoryEnabled(AircraftCategory category)
{
    switch (category) {
    case AircraftCategory::Light:
        return LIGHT_AIRCRAFT.value();
    case AircraftCategory::HighPerf:
        return HIGH_PERF_AIRCRAFT.value();
    case AircraftCategory::Rotorcraft:
        return HELICOPTERS.value();
    case AircraftCategory::Buzjets:
    case AircraftCategory::Large:
    case AircraftCategory::Heavy:
        return true;
    }
    return false;
}

void gf_setThrottle(StaticAircraft& aircraft, std::uint32_t step)
{
    if (step != aircraft.throttleStep && step < throttleValues.size())
        gf_queueClientEvent(QueuedClientEvent{aircraft.objectId, THROTTLE_SET, throttleValues[step]});
    aircraft.throttleStep = step;
}

void gf_setFlaps(StaticAircraft& aircraft, std::uint32_t index)
{
    if (index == aircraft.flapsIndex || aircraft.category == AircraftCategory::Rotorcraft)
        return;
    if (index >= flapsValues.size()) {
        gf_logWarn("gf_setFlaps: invalid flaps index");
        return;
    }
    gf_queueClientEvent(QueuedClientEvent{aircraft.objectId, FLAPS_SET, flapsValues[index]});
    aircraft.flapsIndex = index;
}

std::string gf_typeKeyText(const FlightIdentity& flight)
{
    return vald::format("{:3} {:4}", flight.airline, flight.type);
}

bool gf_sameTypeKey(const FlightIdentity& a, const FlightIdentity& b)
{
    return a.airline == b.airline && a.type == b.type;
}

std::string gf_typeRegKeyText(const FlightIdentity& flight)
{
    return vald::format("{} {}", gf_typeKeyText(flight), flight.registration);
}

std::string gf_callsignText(const FlightIdentity& flight) { return vald::format("{:8}", flight.callsign); }

std::string gf_routeText(const FlightIdentity& flight)
{
    if (flight.origin.empty() && flight.destination.empty())
        return std::string(8, ' ');
    return vald::format("{:3}->{:3}", flight.origin, flight.destination);
}

std::string gf_flightIdText(const FlightIdentity& flight)
{
    return vald::format("{} {:8} {}", gf_routeText(flight), flight.callsign, flight.registration);
}

std::string gf_flightKeyText(const FlightIdentity& flight)
{
    return vald::format("{} {}", gf_flightIdText(flight), gf_typeKeyText(flight));
}

std::string gf_flightLongText(const FlightIdentity& flight)
{
    return vald::format("{} {} {}", gf_callsignText(flight), flight.registration, gf_typeKeyText(flight));
}

bool gf_isValidCallsign(const FlightIdentity& flight)
{
    return !flight.callsign.empty() && flight.callsign != NO_CALLSIGN && flight.callsign.size() <= MAX_CALLSIGN_LENGTH;
}

bool gf_endsWithGhostMark(const std::string& callsign) { return !callsign.empty() && callsign.back() == '_'; }

std::string gf_ghostOf(const std::string& callsign) { return callsign + '_'; }

std::optional<std::string> gf_airlineCodeOfCallsign(const std::string& callsign)
{
    if (callsign.size() < 4 || !lf_isAsciiLetter(callsign[0]) || !lf_isAsciiLetter(callsign[1]) ||
        !lf_isAsciiLetter(callsign[2]) || !lf_isAsciiDigit(callsign[3]))
        return std::nullopt;
    std::string code = callsign.substr(0, 3);
    for (char& c : code)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return code;
}

bool gf_airlineFromCallsign(FlightIdentity& flight)
{
    std::optional<std::string> code = gf_airlineCodeOfCallsign(flight.callsign);
    if (!code)
        return false;
    flight.airline = std::move(*code);
    return true;
}
