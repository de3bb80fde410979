#pragma once
// The static parking step: one planned park position at a time becomes a static aircraft with a
// creation request, in a 50-tick slot that no live creation needs. Also the plan itself (written
// by the parking planner above), the week-slot arithmetic both sides share and the wanted number
// of aircraft at the park airport. Worker thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/aircraft_records.hpp"

// One planned static aircraft.
struct ParkPosition {
    std::uint32_t sourceKey = 0;    // hex address of the parked-traffic record; 0 for week data
    std::uint32_t sourceFlag = 0;   // 1 = planned from the week data, 0 = from the parked traffic
    std::uint32_t standNumber = 0;
    std::uint32_t age = 0;          // half-hours since the aircraft parked
    std::string airline;
    std::string type;
    std::string callsign;
    std::string secondCallsign;     // the coupled callsign of a week-data option
    std::string registration;
    std::uint8_t preferCallsign = 1;  // the static shows the callsign rather than the second one
};

// The plan; the step takes positions from the back.
extern std::vector<ParkPosition> parkPositions;

// The number of the last static aircraft made (1..9999; 0 before the first).
extern std::uint32_t staticCounter;
inline constexpr std::uint32_t STATIC_NUMBER_LIMIT = 9999;

// Week slots (weekday low, half-hour high) stepped back by halfHours, modulo one week.
std::uint64_t gf_weekSlotMinus(std::uint64_t weekSlot, std::uint32_t halfHours);
// Half-hours from one week slot forward to a later one (0..335), across the week's end.
std::uint32_t gf_halfHoursSince(std::uint64_t earlier, std::uint64_t later);
// The week slot of the program clock now.
std::uint64_t gf_weekSlotNow();

// Whether planned park positions, or statics whose creation was given up, wait for the step.
bool lf_plannedParkPositionsRemain();
// Makes a static whose creation was given up again, as it was; otherwise places the next
// planned park position.
void lf_parkStaticNext();
// Whether the static's stand is still free for it: a live or static aircraft on it or on a stand
// that overlaps it refuses it, as it refuses a planned position (with the same log lines).
[[nodiscard]] bool gf_staticStandFree(const StaticAircraft& aircraft);

// The callsign a static aircraft of the position shows; empty (with a warning) when it has none.
std::string lf_detcs(const ParkPosition& position);
// Trailing '_' removed and '*' appended unless it ends with one.
std::string lf_staticCallsign(std::string callsign);

// How many aircraft (live and static) the park airport is to hold, from MAX_PARK_SEL, the
// parking percentage and its stands; kept in wantedParkCount and shown in the window.
std::int64_t lf_wantedParkCount();
// The last result of lf_wantedParkCount; 0 while none is planned.
extern std::int64_t wantedParkCount;

// Test only: no plan, counter at 0.
void gf_resetStaticParking();
