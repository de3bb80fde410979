#pragma once
// Pieces shared by the readers of live-traffic arrays and parked-traffic entries.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "foundation/geodesy.hpp"
#include "traffic/traffic_records.hpp"

// The element's text when it is a JSON string, else "".
std::string lf_jsonStringOrEmpty(const nlohmann::json& element);
// A JSON float as it is, a JSON integer converted, anything else 0.0.
double lf_jsonNumber(const nlohmann::json& element);
// "{:.6f},{:.6f}" of latitude and longitude.
std::string lf_formatLatLon(LatLon position);
// Hexadecimal digits up to the first other character (no prefix, sign or blank); none without a
// digit or when the value does not fit in 32 bits.
[[nodiscard]] std::optional<std::uint32_t> lf_parseHexId(std::string_view text);
// Outside -90..90 / -180..180, or both within 0.0001 degrees of 0 (no position at all).
bool lf_unusablePosition(LatLon position);

// A type code that is never an aircraft: longer than 4 characters, or BALL, EMER, GLID, GRND,
// GND, PARA, SERV, SHIP, VENT.
bool lf_isNonAircraftType(const std::string& type);
// Whether a target with this identity and emitter category is an aircraft.
bool gf_isAircraftTarget(const FlightIdentity& flight, const std::string& category);
// Whether a data or report time (seconds since 1970) can be true: finite, from the year 2000 on
// and at most a day ahead of the real clock. A record with any other time is dropped.
bool lf_isPlausibleDataTime(double seconds);
