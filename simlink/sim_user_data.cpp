// The replies about the user aircraft: its position (with the teleport check and the simulator's
// clock), its title and its ATC model, from which its half wing span is taken.
#include <optional>
#include <string>

#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/user_error.hpp"
#include "foundation/status_display.hpp"
#include "refdata/dbase.hpp"
#include "refdata/type_queries.hpp"
#include "simlink/sim_dispatch.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/user_stand.hpp"
#include "foundation/status_sink.hpp"

namespace {

constexpr double TELEPORT_DISTANCE_NM = 10.0;
constexpr std::size_t MAX_TITLE_LENGTH = 48;
constexpr std::size_t SHORT_MODEL_LENGTH = 5;
constexpr std::int64_t SECONDS_PER_DAY = 86400;
constexpr std::int64_t MIN_SIM_YEAR = 1;
constexpr std::int64_t MAX_SIM_YEAR = 9999;
constexpr std::int64_t MAX_DAY_OF_YEAR = 366;

// Client thread only.
LatLon previousUserPosition;
std::string lastUserTitle;

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t lf_daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// At most max bytes, never cutting a UTF-8 sequence in two.
std::string lf_cutText(const std::string& text, std::size_t max)
{
    if (text.size() <= max)
        return text;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u)
        --end;
    return text.substr(0, end);
}

void lf_setWingSpanLamp(bool known)
{
    userWingSpanKnown.store(known);
    vald::gf_invalidateWindow(vald::COUNTS_BAND);
}

std::optional<std::string> lf_textOf(const SimMessage& data) { return data.text(0, data.size()); }

// The model text of an Aerosoft Airbus whose aircraft.cfg gives a long ATC model; none otherwise.
std::optional<std::string> lf_modelFromTitle(const std::string& title)
{
    constexpr std::size_t prefixLength = 13;
    if (title.size() < prefixLength)
        return std::nullopt;
    const std::string prefix = title.substr(0, prefixLength);
    for (const char* known : {"Aerosoft A319", "Aerosoft A320", "Aerosoft A321"})
        if (prefix == known)
            return prefix.substr(prefixLength - 4);
    return std::nullopt;
}

void lf_takeUserModel(const SimMessage& data)
{
    std::string model = lf_textOf(data).value_or(std::string());
    if (model.empty())
        throw vald::UserErrorException(71, "atc_model= in [General] section of your aircraft.cfg is empty or missing");
    gf_logIndented(vald::format("model raw: {}", model));
    std::string line = "SimConnect: User aircraft model: " + model;
    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
        gf_setUserHalfSpanNm(gf_typeWingspan("E190"));
        lf_setWingSpanLamp(true);
        gf_logIndented(line);
        return;
    }
    double halfSpan = maxHalfWingspan;
    bool found = false;
    if (model.size() < SHORT_MODEL_LENGTH) {
        halfSpan = gf_typeWingspan(model);
        found = halfSpan != 0.0;
    }
    if (!found) {
        halfSpan = maxHalfWingspan;
        if (const auto deduced = lf_modelFromTitle(lastUserTitle)) {
            model = *deduced;
            line = "SimConnect: User aircraft model deduced from title: " + model;
            const double span = gf_typeWingspan(model);
            found = span != 0.0;
            if (found)
                halfSpan = span;
        }
    }
    gf_setUserHalfSpanNm(halfSpan);
    lf_setWingSpanLamp(found);
    if (found)
        line += vald::format(", half wing span: {:.1F} meter", halfSpan * METRES_PER_NM);
    else
        gf_showStatus("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
    line += vald::format(", category: {}", gf_categoryName(gf_typeCategory(model)));
    gf_logIndented(line);
}

}  // namespace

std::optional<std::int64_t> gf_simUtcSeconds(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondsOfDay)
{
    if (year < MIN_SIM_YEAR || year > MAX_SIM_YEAR || dayOfYear < 1 || dayOfYear > MAX_DAY_OF_YEAR ||
        secondsOfDay < 0 || secondsOfDay > SECONDS_PER_DAY)
        return std::nullopt;
    return (lf_daysFromCivil(year, 1, 1) + dayOfYear - 1) * SECONDS_PER_DAY + secondsOfDay;
}

void lf_onUserPosition(const SimMessage& data, std::uint32_t objectId)
{
    UserAircraftSnapshot user;
    double* const doubles[] = {&user.latitude, &user.longitude,      &user.pitch,         &user.bank,
                               &user.heading,  &user.altitude,       &user.altAboveGround, &user.groundSpeed};
    std::int64_t* const integers[] = {&user.zuluTime, &user.zuluDayOfYear, &user.zuluYear, &user.lightStates};
    std::uint32_t offset = 0;
    for (double* field : doubles) {
        const auto value = data.f64(offset);
        if (!value) {
            gf_logWarn(vald::format("SimConnect: user position of {} bytes is too short, dropped", data.size()));
            return;
        }
        *field = *value;
        offset += 8;
    }
    for (std::int64_t* field : integers) {
        const auto value = data.i64(offset);
        if (!value) {
            gf_logWarn(vald::format("SimConnect: user position of {} bytes is too short, dropped", data.size()));
            return;
        }
        *field = *value;
        offset += 8;
    }
    gf_setUserSnapshot(user);
    const LatLon position{user.latitude, user.longitude};
    const bool previousKnown = gf_userPositionKnown(UserAircraftSnapshot{previousUserPosition.lat, previousUserPosition.lon});
    if (previousKnown && gf_userPositionKnown(user) &&
        gf_distanceNm(previousUserPosition, position) > TELEPORT_DISTANCE_NM) {
        gf_log("Teleport");
        lf_newFlightStop();
    }
    previousUserPosition = position;
    lf_postUserStandLookup();
    // A date out of range keeps the last good one.
    if (const auto utc = gf_simUtcSeconds(user.zuluYear, user.zuluDayOfYear, user.zuluTime))
        simUtcSeconds.store(*utc);
    else
        gf_logWarn(vald::format("SimConnect: zulu date out of range ({}, day {}, {} s), ignored", user.zuluYear,
                                user.zuluDayOfYear, user.zuluTime));
    userObjectId.store(objectId);
}

void lf_onUserTitle(const SimMessage& data)
{
    const std::string title = lf_cutText(lf_textOf(data).value_or(std::string()), MAX_TITLE_LENGTH);
    if (title.empty()) {
        gf_log("! Title of your aircraft is empty?");
        return;
    }
    if (title == lastUserTitle)
        return;
    lastUserTitle = title;
    vald::gf_updateDisplay([&title](vald::StatusDisplayValues& values) { values.userTitle = title; },
                           vald::COUNTS_BAND);
    gf_logIndented("SimConnect: User aircraft title: " + title);
}

void lf_onUserModel(const SimMessage& data)
{
    try {
        lf_takeUserModel(data);
    } catch (const vald::UserErrorException&) {
        throw;
    } catch (...) {
        throw vald::UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

std::string gf_lastUserTitle() { return lastUserTitle; }

void gf_resetUserDataState()
{
    previousUserPosition = LatLon{};
    lastUserTitle.clear();
}
