// One live-traffic array of the service (48 elements) into a LiveTrafficRecord: keeps only real
// aircraft with a usable address, position, altitude and identity, inside the user's range and,
// on the ground, near the park airport; corrects the altitude with the QNH, decides on-ground,
// applies AIRBORNE_ONLY and the blocked callsign, fills in a missing track and airspeed.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "foundation/status_sink.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/time_slots.hpp"
#include "traffic/record_parsing.hpp"
#include "traffic/service_client.hpp"
#include "traffic/traffic_hooks.hpp"

using nlohmann::json;

namespace {

// Indexes of the live-traffic array that are read.
enum LiveElement : std::size_t {
    HEX_ID = 0,
    LATITUDE = 1,
    LONGITUDE = 2,
    TRACK = 3,
    ALTITUDE = 4,
    GROUND_SPEED = 5,
    TYPE = 8,
    REGISTRATION = 9,
    TIME_STAMP = 10,
    ORIGIN = 11,
    DESTINATION = 12,
    CALLSIGN = 13,
    VERTICAL_RATE = 15,
    DATA_SOURCE = 17,
    TRUE_AIRSPEED = 20,
    BANK = 23,
    TRUE_HEADING = 25,
    EMITTER_CATEGORY = 28,
};

constexpr std::size_t MAX_REGISTRATION_LENGTH = 12;
constexpr double MAX_GROUND_DISTANCE_FROM_PARK_NM = 5.0;
constexpr double FEET_PER_HPA = 27.0;
constexpr double HEIGHT_CHECK_CEILING_FT = 14000.0;
constexpr double ELEVATION_WITHOUT_PARK_FT = -1000.0;
constexpr double ROLLING_SPEED_KT = 35.0;
constexpr double AIRBORNE_ONLY_MARGIN_FT = 300.0;

// (height above the park airport, ground speed): at or below both, a target is on the ground.
struct GroundPair {
    double heightFt;
    double speedKt;
};
constexpr std::array<GroundPair, 3> GROUND_PAIRS{{{42.0, 120.0}, {84.0, 80.0}, {108.0, 43.0}}};

// Default true airspeed by altitude band: the first band whose ceiling is at or above.
struct SpeedBand {
    double upToFt;
    double speedKt;
};
constexpr std::array<SpeedBand, 5> SPEED_BANDS{
    {{2000.0, 180.0}, {5000.0, 220.0}, {10000.0, 250.0}, {20000.0, 350.0}, {std::numeric_limits<double>::max(), 430.0}}};

constexpr std::array<std::string_view, 9> NON_AIRCRAFT_TYPES{"BALL", "EMER", "GLID", "GRND", "GND",
                                                             "PARA", "SERV", "SHIP", "VENT"};
constexpr std::array<std::string_view, 5> NON_AIRCRAFT_CATEGORIES{"B1", "B2", "B4", "C1", "C2"};
constexpr std::array<std::string_view, 3> PLACEHOLDER_CALLSIGNS{"ERARMTR0", "AIRPORT1", "00000000"};

template <std::size_t N>
bool lf_isOneOf(const std::array<std::string_view, N>& list, const std::string& text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

bool lf_readRegistration(const json& line, LiveTrafficRecord& record)
{
    record.flight.registration.clear();
    std::string text = lf_jsonStringOrEmpty(line.at(REGISTRATION));
    if (text.size() > MAX_REGISTRATION_LENGTH)
        return false;
    if (text != "null")
        record.flight.registration = std::move(text);
    return true;
}

bool lf_checkTargetKind(const json& line, const LiveTrafficRecord& record)
{
    return gf_isAircraftTarget(record.flight, lf_jsonStringOrEmpty(line.at(EMITTER_CATEGORY)));
}

bool lf_readHexId(const json& line, LiveTrafficRecord& record)
{
    if (const std::optional<std::uint32_t> hexId = lf_parseHexId(lf_jsonStringOrEmpty(line.at(HEX_ID))))
        record.hexId = *hexId;
    return record.hexId > MAX_STATIC_HEX_ID;
}

void lf_readTrueHeading(const json& line, LiveTrafficRecord& record)
{
    record.headingSet = false;
    record.trueHeadingRad.reset();
    if (lf_jsonStringOrEmpty(line.at(DATA_SOURCE)) != "adsb_icao")
        return;
    const double heading = lf_jsonNumber(line.at(TRUE_HEADING));
    if (heading == 0.0)
        record.trueHeadingRad = TWO_PI;
    else if (heading > 0.0 && heading <= 360.0)
        record.trueHeadingRad = heading * DEG_TO_RAD;
    else if (heading > 360.0)
        throw std::runtime_error(vald::format("true heading: {:.2F}", heading));
    record.headingSet = record.trueHeadingRad.has_value();
}

// Needs groundSpeedKt. The reported altitude refers to standard pressure; corrected with the QNH
// it is snapped to 0 (on the ground) when the target is low and slow over the park airport, or
// rolls at 35 kt or less anywhere.
bool lf_readAltitude(const json& line, LiveTrafficRecord& record, const LiveFilterSettings& settings)
{
    const double groundSpeed = record.groundSpeedKt;
    double altitude = lf_jsonNumber(line.at(ALTITUDE));
    if (altitude > 0.0) {
        altitude = std::max(0.0, (settings.qnh - STANDARD_PRESSURE_HPA) * FEET_PER_HPA + altitude);
        if (altitude > 0.0 && altitude < HEIGHT_CHECK_CEILING_FT) {
            const double height = altitude - settings.parkElevationFt.value_or(ELEVATION_WITHOUT_PARK_FT);
            if (height <= 0.0)
                altitude = 0.0;
            else if (std::any_of(GROUND_PAIRS.begin(), GROUND_PAIRS.end(), [&](const GroundPair& pair) {
                         return height <= pair.heightFt && groundSpeed <= pair.speedKt;
                     }))
                altitude = 0.0;
        }
        if (groundSpeed <= ROLLING_SPEED_KT && altitude > 0.0)
            altitude = 0.0;
    } else {
        altitude = 0.0;
    }
    record.altitudeFt = altitude;
    if (!settings.airborneOnly)
        return true;
    const double parkElevation = settings.parkAirportIcao.empty() ? 0.0 : settings.parkAirportElevationFt;
    return std::abs(altitude - parkElevation) > AIRBORNE_ONLY_MARGIN_FT;
}

double lf_defaultAirspeed(double altitudeFt)
{
    for (const SpeedBand& band : SPEED_BANDS)
        if (altitudeFt <= band.upToFt)
            return band.speedKt;
    return SPEED_BANDS.back().speedKt;
}

}  // namespace

std::string lf_jsonStringOrEmpty(const json& element)
{
    return element.is_string() ? element.get<std::string>() : std::string();
}

double lf_jsonNumber(const json& element)
{
    if (element.is_number_float())
        return element.get<double>();
    if (element.is_number_unsigned())
        return static_cast<double>(element.get<std::uint64_t>());
    if (element.is_number_integer())
        return static_cast<double>(element.get<std::int64_t>());
    return 0.0;
}

bool lf_isPlausibleDataTime(double seconds)
{
    constexpr double YEAR_2000 = 946684800.0;
    constexpr double ONE_DAY = 86400.0;
    // Written so that NaN is rejected too.
    return seconds >= YEAR_2000 && seconds <= static_cast<double>(gf_realUtcNow()) + ONE_DAY;
}

std::string lf_formatLatLon(LatLon position) { return vald::format("{:.6f},{:.6f}", position.lat, position.lon); }

std::optional<std::uint32_t> lf_parseHexId(std::string_view text)
{
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

bool lf_unusablePosition(LatLon position)
{
    // Written so that NaN is unusable too.
    if (!(position.lat >= -90.0 && position.lat <= 90.0 && position.lon >= -180.0 && position.lon <= 180.0))
        return true;
    return std::abs(position.lat) <= 0.0001 && std::abs(position.lon) <= 0.0001;
}

bool lf_isNonAircraftType(const std::string& type)
{
    return type.size() > 4 || lf_isOneOf(NON_AIRCRAFT_TYPES, type);
}

bool gf_isAircraftTarget(const FlightIdentity& flight, const std::string& category)
{
    if (flight.type.empty())
        return false;
    if (category.empty() || category == "null")
        return true;
    if (lf_isOneOf(NON_AIRCRAFT_CATEGORIES, category))
        return false;
    return !lf_isNonAircraftType(flight.type);
}

bool TrafficReader::lf_readCallsign(LiveTrafficRecord& record, const std::string& blockCallsign)
{
    std::string& callsign = record.flight.callsign;
    callsign = lf_jsonStringOrEmpty(workLine.at(CALLSIGN));
    if (callsign == "null" || callsign.find('@') != std::string::npos) {
        callsign.clear();
        return true;
    }
    if (lf_isOneOf(PLACEHOLDER_CALLSIGNS, callsign))
        return false;
    if (blockCallsign.empty() || blockCallsign != callsign)
        return true;

    // The blocked callsign: announced once, and once more after the user blocks another one.
    if (announceBlocked.load()) {
        announceBlocked.store(false);
        lastBlockedCallsign = blockCallsign;
        const std::shared_ptr<const TrafficHooks> hooks = gf_trafficHooks();
        hooks->blockedCallsignSeen(record.hexId);
        gf_showStatus(vald::format("Live aircraft '{}' blocked", lastBlockedCallsign), true);
    } else if (blockCallsign != lastBlockedCallsign) {
        announceBlocked.store(true);
        lastBlockedCallsign.clear();
    }
    return false;
}

void TrafficReader::processLine(const LiveFilterSettings& settings)
{
    try {
        const json& line = workLine;
        LiveTrafficRecord record;

        // The reader's data time follows every array, also the ones dropped below, but never a
        // time that cannot be true: the run's clock follows it while the time is shifted.
        record.dataTime = lf_jsonNumber(line.at(TIME_STAMP));
        if (!lf_isPlausibleDataTime(record.dataTime))
            return;
        dataTime.store(record.dataTime);

        if (!lf_readRegistration(line, record))
            return;
        const std::string type = lf_jsonStringOrEmpty(line.at(TYPE));
        record.flight.airline.clear();
        record.flight.type = type == "0" || type == "ZZZZ" ? std::string() : type;
        if (!lf_checkTargetKind(line, record))
            return;

        record.lat = lf_jsonNumber(line.at(LATITUDE));
        record.lon = lf_jsonNumber(line.at(LONGITUDE));
        if (lf_unusablePosition(record.position()))
            throw std::runtime_error(vald::format("lalo: {}", lf_formatLatLon(record.position())));
        if (gf_distanceNm(settings.userPosition, record.position()) > settings.rangeNm)
            return;

        lf_readTrueHeading(line, record);
        if (!lf_readHexId(line, record))
            return;
        record.groundSpeedKt = lf_jsonNumber(line.at(GROUND_SPEED));
        if (!lf_readAltitude(line, record, settings))
            return;
        record.airborne = record.altitudeFt > 0.0;
        if (!lf_readCallsign(record, settings.blockCallsign))
            return;
        if (record.flight.registration.empty() && record.flight.callsign.empty())
            return;
        lf_recordSeen(record.flight.callsign, record.hexId);

        if (!record.airborne && (settings.parkAirportIcao.empty() ||
                                 gf_distanceNm(settings.parkAirportPosition, record.position()) >
                                     MAX_GROUND_DISTANCE_FROM_PARK_NM))
            return;

        record.trackDeg = lf_jsonNumber(line.at(TRACK));
        if (record.trackDeg == 0.0 && record.trueHeadingRad)
            record.trackDeg = *record.trueHeadingRad * RAD_TO_DEG;
        record.verticalRate = lf_jsonNumber(line.at(VERTICAL_RATE));
        record.flight.origin = lf_jsonStringOrEmpty(line.at(ORIGIN));
        if (record.flight.origin == "null")
            record.flight.origin.clear();
        record.flight.destination = lf_jsonStringOrEmpty(line.at(DESTINATION));
        if (record.flight.destination == "null")
            record.flight.destination.clear();

        const json& bank = line.at(BANK);
        if (record.airborne && bank.is_number()) {
            const double bankDeg = lf_jsonNumber(bank);
            if (bankDeg != 0.0 && bankDeg != -1.0)
                record.bankRad = -bankDeg * DEG_TO_RAD;
        }
        const json& airspeed = line.at(TRUE_AIRSPEED);
        if (airspeed.is_number() && lf_jsonNumber(airspeed) != -1.0)
            record.speedKt = lf_jsonNumber(airspeed);
        else
            record.speedKt = lf_defaultAirspeed(record.altitudeFt);

        record.stationary = false;
        liveRecords.push_back(std::move(record));
    } catch (const std::runtime_error&) {
        // A rejected position or heading: the array is dropped without a message.
    } catch (const std::exception& e) {
        gf_log(vald::format("{}: {}", "processLine", e.what()));
    }
}
