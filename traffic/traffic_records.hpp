#pragma once
// The records into which the traffic service's replies are turned. Plain value types: built on
// the traffic reader's thread and handed over by value, the live records to the engine's intake,
// the parked records to the parked-traffic selection. The engine keeps the FlightIdentity at the
// head of its own aircraft records and copies the position part of a live record (lat to
// trueHeadingRad) into its track points, so field order, widths and units are fixed.
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/geodesy.hpp"

// Received aircraft are numbered by their transponder address, always above this; the numbers up
// to it belong to the engine's static aircraft.
inline constexpr std::uint32_t MAX_STATIC_HEX_ID = 10000;

struct FlightIdentity {
    std::string airline;      // airline or operator code; empty in live records
    std::string type;         // ICAO aircraft type code
    std::string origin;       // live records only
    std::string destination;  // live records only
    std::string callsign;
    std::string callsign2;  // coupled callsigns, filled later by the engine
    std::string callsign3;
    std::string registration;  // at most 12 characters
    bool coupledSearched = false;
};

struct LiveTrafficRecord {
    FlightIdentity flight;
    // Position part.
    double lat = 0.0;            // degrees
    double lon = 0.0;            // degrees
    double altitudeFt = 0.0;     // QNH-corrected; 0 on the ground
    double groundSpeedKt = 0.0;
    double trackDeg = 0.0;
    double verticalRate = 0.0;   // feet per minute
    double speedKt = 0.0;        // true airspeed
    std::int64_t playTick = 0;   // set by the engine's scheduling (ticks, may be negative)
    bool airborne = false;       // altitudeFt > 0
    bool stationary = false;     // set by the engine's track handling
    bool headingSet = false;     // trueHeadingRad holds a value
    std::optional<double> bankRad;         // airborne targets only
    std::optional<double> trueHeadingRad;  // (0, 2 pi]
    // End of the position part.
    double dataTime = 0.0;  // seconds since 1970 UTC
    std::uint32_t hexId = 0;

    LatLon position() const { return {lat, lon}; }
};

// Where a batch of live records comes from: one of the history buffers replayed at the start of
// a run, or a live poll.
enum class TrafficBatchKind : std::uint8_t { history, live };

struct ParkedTrafficRecord {
    FlightIdentity flight;
    double lat = 0.0;
    double lon = 0.0;
    std::uint32_t hexId = 0;
    // UTC half-hour slot of the report (0..47, -1 when unknown); the selection replaces it by the
    // age in half hours.
    std::int32_t slot = 0;
    std::string stand;

    LatLon position() const { return {lat, lon}; }
};

// The area of a traffic query, degrees.
struct QueryBox {
    double top = 52.44;
    double bottom = 52.17;
    double left = 4.54;
    double right = 4.98;
};
