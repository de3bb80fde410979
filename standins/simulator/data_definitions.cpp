#include "standins/simulator/data_definitions.hpp"

#include "standins/simulator/messages.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <fmt/format.h>
#include <numbers>

namespace standin_sim {

namespace {

// Base units: radians, feet, knots, seconds; the rest count without a dimension.
enum class Quantity { Angle, Length, Speed, Time, Bool, Mask, Number, Percent, Text };

constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;
constexpr double kFeetPerSecondPerKnot = 1852.0 / 0.3048 / 3600.0;

struct UnitName {
    const char* name;
    Quantity quantity;
    double perBase;
};

constexpr UnitName kUnits[] = {
    {"radians", Quantity::Angle, 1.0},
    {"radian", Quantity::Angle, 1.0},
    {"degrees", Quantity::Angle, kDegreesPerRadian},
    {"degree", Quantity::Angle, kDegreesPerRadian},
    {"feet", Quantity::Length, 1.0},
    {"foot", Quantity::Length, 1.0},
    {"meters", Quantity::Length, 0.3048},
    {"meter", Quantity::Length, 0.3048},
    {"knots", Quantity::Speed, 1.0},
    {"knot", Quantity::Speed, 1.0},
    {"feet per second", Quantity::Speed, kFeetPerSecondPerKnot},
    {"feet per minute", Quantity::Speed, kFeetPerSecondPerKnot * 60.0},
    {"meters per second", Quantity::Speed, 1852.0 / 3600.0},
    {"seconds", Quantity::Time, 1.0},
    {"second", Quantity::Time, 1.0},
    {"bool", Quantity::Bool, 1.0},
    {"mask", Quantity::Mask, 1.0},
    {"number", Quantity::Number, 1.0},
    {"percent", Quantity::Percent, 1.0},
};

double radians(double degrees) {
    return degrees / kDegreesPerRadian;
}

}  // namespace

struct DatumSpec {
    const char* name;  // upper case
    Quantity quantity;
    double (*get)(const SimObject&, const DatumContext&);
    void (*set)(SimObject&, double);  // null: read only
    std::string (*getText)(const SimObject&);
};

namespace {

using Ctx = DatumContext;
using Obj = SimObject;

const DatumSpec kDatums[] = {
    {"PLANE LATITUDE", Quantity::Angle, [](const Obj& o, const Ctx&) { return radians(o.latitudeDeg); },
     [](Obj& o, double v) { o.latitudeDeg = v * kDegreesPerRadian; }, nullptr},
    {"PLANE LONGITUDE", Quantity::Angle, [](const Obj& o, const Ctx&) { return radians(o.longitudeDeg); },
     [](Obj& o, double v) { o.longitudeDeg = v * kDegreesPerRadian; }, nullptr},
    {"PLANE PITCH DEGREES", Quantity::Angle, [](const Obj& o, const Ctx&) { return o.pitchRad; },
     [](Obj& o, double v) { o.pitchRad = v; }, nullptr},
    {"PLANE BANK DEGREES", Quantity::Angle, [](const Obj& o, const Ctx&) { return o.bankRad; },
     [](Obj& o, double v) { o.bankRad = v; }, nullptr},
    {"PLANE HEADING DEGREES TRUE", Quantity::Angle, [](const Obj& o, const Ctx&) { return o.headingRad; },
     [](Obj& o, double v) { o.headingRad = v; }, nullptr},
    {"PLANE ALTITUDE", Quantity::Length, [](const Obj& o, const Ctx&) { return o.altitudeFt; },
     [](Obj& o, double v) { o.altitudeFt = v; }, nullptr},
    {"VERTICAL SPEED", Quantity::Speed,
     [](const Obj& o, const Ctx&) { return o.verticalSpeedFps / kFeetPerSecondPerKnot; },
     [](Obj& o, double v) { o.verticalSpeedFps = v * kFeetPerSecondPerKnot; }, nullptr},
    {"AIRSPEED TRUE", Quantity::Speed, [](const Obj& o, const Ctx&) { return o.trueAirspeedKt; },
     [](Obj& o, double v) { o.trueAirspeedKt = v; }, nullptr},
    {"PLANE ALT ABOVE GROUND", Quantity::Length,
     [](const Obj& o, const Ctx& c) { return o.onGround ? 0.0 : o.altitudeFt - c.groundElevationFt; }, nullptr,
     nullptr},
    {"GROUND VELOCITY", Quantity::Speed, [](const Obj& o, const Ctx&) { return o.groundSpeedKt; }, nullptr,
     nullptr},
    {"GROUND ALTITUDE", Quantity::Length, [](const Obj&, const Ctx& c) { return c.groundElevationFt; }, nullptr,
     nullptr},
    {"SIM ON GROUND", Quantity::Bool, [](const Obj& o, const Ctx&) { return o.onGround ? 1.0 : 0.0; }, nullptr,
     nullptr},
    {"STATIC CG TO GROUND", Quantity::Length, [](const Obj& o, const Ctx&) { return o.staticCgToGroundFt; },
     nullptr, nullptr},
    {"STATIC PITCH", Quantity::Angle, [](const Obj& o, const Ctx&) { return o.staticPitchRad; }, nullptr, nullptr},
    {"LIGHT STATES", Quantity::Mask, [](const Obj& o, const Ctx&) { return static_cast<double>(o.lightMask); },
     nullptr, nullptr},
    {"LIGHT ON STATES", Quantity::Mask, [](const Obj& o, const Ctx&) { return static_cast<double>(o.lightMask); },
     nullptr, nullptr},
    {"ZULU TIME", Quantity::Time, [](const Obj&, const Ctx& c) { return c.zulu.secondsOfDay; }, nullptr, nullptr},
    {"ZULU DAY OF YEAR", Quantity::Number,
     [](const Obj&, const Ctx& c) { return static_cast<double>(c.zulu.dayOfYear); }, nullptr, nullptr},
    {"ZULU YEAR", Quantity::Number, [](const Obj&, const Ctx& c) { return static_cast<double>(c.zulu.year); },
     nullptr, nullptr},
    {"SPOILERS HANDLE POSITION", Quantity::Percent, [](const Obj& o, const Ctx&) { return o.spoilerHandlePct; },
     [](Obj& o, double v) { o.spoilerHandlePct = v; }, nullptr},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", Quantity::Percent,
     [](const Obj& o, const Ctx&) { return o.throttleLeverPct[0]; }, [](Obj& o, double v) { o.throttleLeverPct[0] = v; },
     nullptr},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", Quantity::Percent,
     [](const Obj& o, const Ctx&) { return o.throttleLeverPct[1]; }, [](Obj& o, double v) { o.throttleLeverPct[1] = v; },
     nullptr},
    {"ATC ID", Quantity::Text, nullptr, nullptr, [](const Obj& o) { return o.atcId; }},
    {"ATC MODEL", Quantity::Text, nullptr, nullptr, [](const Obj& o) { return o.atcModel; }},
    {"TITLE", Quantity::Text, nullptr, nullptr, [](const Obj& o) { return o.title; }},
};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const DatumSpec* findDatum(const std::string& name) {
    const std::string key = upper(name);
    for (const auto& spec : kDatums) {
        if (key == spec.name) return &spec;
    }
    return nullptr;
}

const UnitName* findUnits(const std::string& name) {
    const std::string key = lower(name);
    for (const auto& unit : kUnits) {
        if (key == unit.name) return &unit;
    }
    return nullptr;
}

bool isText(std::uint32_t type) {
    return type == datatype::String32 || type == datatype::StringV;
}

bool isNumber(std::uint32_t type) {
    return type == datatype::Int64 || type == datatype::Float64;
}

std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    const std::chrono::sys_days days = std::chrono::year_month_day{
        std::chrono::year{static_cast<int>(year)}, std::chrono::month{month}, std::chrono::day{day}};
    return days.time_since_epoch().count();
}

}  // namespace

ZuluTime zuluFromUnixSeconds(double unixSeconds) {
    const double days = std::floor(unixSeconds / 86400.0);
    const std::chrono::sys_days date{std::chrono::days{static_cast<std::int64_t>(days)}};
    const std::chrono::year_month_day ymd{date};
    ZuluTime zulu;
    zulu.year = static_cast<int>(ymd.year());
    zulu.dayOfYear = static_cast<std::int64_t>(days) - daysFromCivil(zulu.year, 1, 1) + 1;
    zulu.secondsOfDay = unixSeconds - days * 86400.0;
    return zulu;
}

std::optional<Refusal> DefinitionTable::add(const AddToDataDefinitionRequest& request) {
    const DatumSpec* spec = findDatum(request.datumName);
    if (spec == nullptr) {
        return Refusal{exception::NameUnrecognized, 2, "unknown simulation variable " + request.datumName};
    }
    DefinedDatum datum{request.datumName, request.unitsName, request.dataType, spec, 1.0};
    if (spec->quantity == Quantity::Text) {
        if (!isText(request.dataType)) return Refusal{exception::Error, 4, "a text variable needs a string type"};
        if (!request.unitsName.empty()) return Refusal{exception::NameUnrecognized, 3, "a text variable has no units"};
    } else {
        if (!isNumber(request.dataType)) return Refusal{exception::Error, 4, "a number variable needs a number type"};
        const UnitName* units = findUnits(request.unitsName);
        if (units == nullptr || units->quantity != spec->quantity) {
            return Refusal{exception::NameUnrecognized, 3,
                           fmt::format("units '{}' do not fit {}", request.unitsName, request.datumName)};
        }
        datum.unitFactor = units->perBase;
    }
    defines_[request.defineId].push_back(std::move(datum));
    return std::nullopt;
}

const std::vector<DefinedDatum>* DefinitionTable::find(std::uint32_t defineId) const {
    auto it = defines_.find(defineId);
    return it == defines_.end() ? nullptr : &it->second;
}

Bytes encodeDatums(const std::vector<DefinedDatum>& datums, const SimObject& object, const DatumContext& context) {
    ByteWriter out;
    for (const auto& datum : datums) {
        switch (datum.dataType) {
        case datatype::Int64:
            out.i64(static_cast<std::int64_t>(std::floor(datum.spec->get(object, context) * datum.unitFactor)));
            break;
        case datatype::Float64:
            out.f64(datum.spec->get(object, context) * datum.unitFactor);
            break;
        case datatype::String32:
            out.text(datum.spec->getText(object), 32);
            break;
        case datatype::StringV: {
            const std::string text = datum.spec->getText(object);
            out.text(text, (text.size() + 1 + 3) / 4 * 4);
            break;
        }
        default:
            break;  // refused when the datum was added
        }
    }
    return out.take();
}

std::optional<std::size_t> fixedUnitSize(const std::vector<DefinedDatum>& datums) {
    std::size_t size = 0;
    for (const auto& datum : datums) {
        if (datum.dataType == datatype::StringV) return std::nullopt;
        size += datum.dataType == datatype::String32 ? 32 : 8;
    }
    return size;
}

nlohmann::json applyDatums(const std::vector<DefinedDatum>& datums, std::span<const std::uint8_t> unit,
                           SimObject& object) {
    nlohmann::json values = nlohmann::json::object();
    const ByteReader in(unit);
    std::size_t offset = 0;
    for (const auto& datum : datums) {
        if (datum.dataType == datatype::String32) {
            values[datum.name] = in.text(offset, 32).value_or(std::string());
            offset += 32;
            continue;
        }
        const double value = datum.dataType == datatype::Int64 ? static_cast<double>(in.i64(offset)) : in.f64(offset);
        offset += 8;
        values[datum.name] = value;
        if (datum.spec->set != nullptr) datum.spec->set(object, value / datum.unitFactor);
    }
    return values;
}

}  // namespace standin_sim
