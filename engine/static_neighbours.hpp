#pragma once
// The per-second checks between live and static aircraft, and the parked counts of the window.
#include <cstdint>

#include "engine/aircraft_records.hpp"

// Removes the static aircraft that stands for the same flight as a newly placed live aircraft
// (same hexid, registration or coupled callsign).
void lf_removeStaticDuplicates(LiveAircraft& aircraft, bool onGround);
// Removes a static aircraft that a live aircraft on the ground would touch.
void lf_avoidStatics(LiveAircraft& aircraft);
// Fills the second and third callsign of a new live aircraft from the learned stand options of
// its airline around this time of the week.
void lf_searchForCoupledCsAroundThisTime(std::uint64_t weekSlot, LiveAircraft& aircraft);
// Removes the aircraft standing on the user's reserved stand.
void lf_clearReservedStand();

// The number of live aircraft that are parked and active. With withAverage their mean parked
// time in hours is also shown in the window.
std::uint64_t lf_parkedStats(bool withAverage);
// The number of static aircraft in the simulator (active or being removed); with withAverage
// their mean parked time in hours is also shown in the window.
std::uint64_t gf_staticParkedStats(bool withAverage);
