#pragma once
// The limits on parked aircraft at the park airport: the live aircraft parked longest make room
// first. The park time of a live aircraft is read on the program clock (gf_utcNow) by every step
// that sets or measures it.
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/aircraft_records.hpp"

// (hexid, seconds parked) of a live aircraft that is active and parked.
using ParkedLiveSeconds = std::pair<std::uint32_t, std::int64_t>;

// Now on the clock of park times: seconds of the steady clock, which the time shift leaves alone.
UtcSeconds gf_parkClockNow();
// Whole seconds since the aircraft came to stand; 0 when the clock stands before its park time.
std::int64_t gf_secondsParked(const LiveAircraft& aircraft);

// The live aircraft that are active and parked with their seconds parked, longest first.
void lf_parkedLiveSeconds(std::vector<ParkedLiveSeconds>& list);
// Before extra aircraft take stands: when the parked live aircraft (plus extra) exceed the wanted
// park count, the one parked longest is removed (not with INITIAL_LOAD_ONLY); when the static
// ones and the parked live ones (plus extra) exceed it, the static aircraft parked earliest in
// the week is removed. Nothing with RT_PARKTRAFFIC_ONLY or without a wanted count.
void lf_checkMaxPark(std::uint8_t extra);
// The live aircraft removed there is kept off the stands (gf_keptOffStand, stand_claims.hpp).
// Forgets those kept off (a new run).
void gf_resetParkLimits();
// Removes the count live aircraft parked longest (the parking update, when the user lowers the
// parked share); they are kept off the stands as at the parked count.
void lf_removeLiveParked(std::uint64_t count);
