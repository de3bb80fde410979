// One parked-traffic entry of the service into a ParkedTrafficRecord: keeps aircraft with a
// usable address, position and stand, of a known type of an enabled category, not on the user's
// own or reserved stand, and completes airline, type, registration and callsign from the
// registration records of the reference data.
#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/time_slots.hpp"
#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"
#include "traffic/record_parsing.hpp"
#include "traffic/service_client.hpp"
#include "traffic/traffic_hooks.hpp"

using nlohmann::json;

namespace {

enum ParkedElement : std::size_t {
    LATITUDE = 0,
    LONGITUDE = 1,
    STAND = 2,
    TYPE = 3,
    REGISTRATION = 4,
    REPORT_TIME = 5,
    CALLSIGN = 6,
};

constexpr std::size_t MAX_REGISTRATION_LENGTH = 12;
constexpr std::size_t MAX_CALLSIGN_LENGTH = 8;

struct TypeAlias {
    std::string_view reported;
    std::string_view recorded;
};
constexpr std::array<TypeAlias, 4> TYPE_ALIASES{{{"A380", "A388"}, {"B767", "B763"}, {"B747", "B744"}, {"B757", "B752"}}};

// The report time in whole seconds (a float rounded, halves away from zero); nothing for a time
// that cannot be true. A JSON type error for anything that is no number.
std::optional<std::int64_t> lf_reportTime(const json& element)
{
    const double seconds = std::round(element.get<double>());
    if (!lf_isPlausibleDataTime(seconds))
        return std::nullopt;
    return static_cast<std::int64_t>(seconds);
}

void lf_readParkedRegistration(const json& line, ParkedTrafficRecord& record)
{
    std::string text = lf_jsonStringOrEmpty(line.at(REGISTRATION));
    if (text.size() > MAX_REGISTRATION_LENGTH || text == "null")
        return;
    record.flight.registration = std::move(text);
}

std::string lf_parkedType(const json& line)
{
    std::string type = lf_jsonStringOrEmpty(line.at(TYPE));
    if (type == "0" || type == "ZZZZ")
        return {};
    for (const TypeAlias& alias : TYPE_ALIASES)
        if (type == alias.reported)
            return std::string(alias.recorded);
    return type;
}

std::string lf_parkedCallsign(const json& line)
{
    std::string callsign = lf_jsonStringOrEmpty(line.at(CALLSIGN));
    if (callsign == "null" || callsign.find('@') != std::string::npos ||
        callsign.find("00000") != std::string::npos || callsign.size() > MAX_CALLSIGN_LENGTH)
        return {};
    if (!callsign.empty() && callsign.front() == '.')
        callsign.erase(0, 1);
    return callsign;
}

void lf_takeRegistrationRecord(FlightIdentity& flight, const DbaseRecord& found)
{
    flight.airline = gf_flyingAirline(found);
    flight.type = found.type;
}

// Airline and type from the registration record; the registration also serves as the callsign,
// and a callsign that is a known registration becomes the registration.
void lf_completeFromRegistration(FlightIdentity& flight)
{
    if (!flight.registration.empty()) {
        if (const std::optional<DbaseRecord> found = gf_findRegcode(flight.registration)) {
            lf_takeRegistrationRecord(flight, *found);
            if (flight.callsign.empty())
                flight.callsign = flight.registration;
        }
    } else if (!flight.callsign.empty()) {
        if (const std::optional<DbaseRecord> found = gf_findRegcode(flight.callsign)) {
            lf_takeRegistrationRecord(flight, *found);
            flight.registration = flight.callsign;
        }
    }
}

std::string lf_parkedLineErrorText(const std::string& text)
{
    return vald::format("{}: {}", "processParkedTrafficLine", text);
}

}  // namespace

ParkedFilterSettings gf_parkedFilterSettings()
{
    const std::shared_ptr<const TrafficHooks> hooks = gf_trafficHooks();
    ParkedFilterSettings settings;
    settings.reservedStandName = hooks->reservedStandName();
    settings.userStandName = hooks->userStandName();
    settings.categoryEnabled = gf_enabledCategories(*hooks);
    return settings;
}

void TrafficReader::processParkedTrafficLine(const std::string& key, const ParkedFilterSettings& settings)
{
    try {
        const json& line = parkedLine;
        ParkedTrafficRecord record;
        record.hexId = lf_parseHexId(key).value_or(0);
        if (record.hexId <= MAX_STATIC_HEX_ID)
            return;
        const std::optional<std::int64_t> reportTime = lf_reportTime(line.at(REPORT_TIME));
        if (!reportTime)
            return;
        record.slot = gf_halfHourSlotAt(*reportTime);
        lf_readParkedRegistration(line, record);
        record.flight.type = lf_parkedType(line);

        // Only floats are positions: an integer reads as 0.
        const json& lat = line.at(LATITUDE);
        const json& lon = line.at(LONGITUDE);
        record.lat = lat.is_number_float() ? lat.get<double>() : 0.0;
        record.lon = lon.is_number_float() ? lon.get<double>() : 0.0;
        if (lf_unusablePosition(record.position()))
            throw std::runtime_error(vald::format("lalo:{}", lf_formatLatLon(record.position())));

        record.flight.callsign = lf_parkedCallsign(line);
        lf_completeFromRegistration(record.flight);
        if (!gf_isKnownType(record.flight.type))
            return;
        const auto category = static_cast<std::size_t>(gf_typeCategory(record.flight.type));
        if (category >= settings.categoryEnabled.size() || !settings.categoryEnabled[category])
            return;

        record.flight.coupledSearched = false;
        const json& stand = line.at(STAND);
        if (!stand.is_string())
            return;
        record.stand = stand.get<std::string>();
        if (record.stand == settings.reservedStandName || record.stand == settings.userStandName)
            return;
        parkedRecords.push_back(std::move(record));
    } catch (const std::runtime_error&) {
        // A position out of range: the entry is skipped without a message.
    } catch (const std::exception& e) {
        gf_logWarn(lf_parkedLineErrorText(e.what()));
    }
}

std::int64_t lf_dropOldParked(std::vector<ParkedTrafficRecord>& records, std::int32_t maxFitHalfHours)
{
    const auto old = std::remove_if(records.begin(), records.end(),
                                    [&](const ParkedTrafficRecord& record) { return record.slot > maxFitHalfHours; });
    const auto removed = static_cast<std::int64_t>(records.end() - old);
    records.erase(old, records.end());
    return removed;
}
