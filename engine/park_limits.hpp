#pragma once
// The limits on parked aircraft at the park airport: the live aircraft parked longest make room
// first. The park time of a live aircraft is read on the program clock (gf_utcNow) by every step
// that sets or measures it.
//
// A live aircraft removed to bring the live aircraft parked on stands down to the count the park
// airport wants (the one parked longest goes, at the parked count as at the parking update) is kept
// off: its reports still have it standing there, and made again it would push the next one parked
// longest out, round and round. While the count has no room for one more, it is not made again on
// a stand; it is forgotten once there is room (it then stands where its data has it), once it is
// seen moving or flying, and once no record of it has come for a minute of the data clock (a record
// dropped before it could ask for a stand, at the live limit for one, still says its reports go
// on). The flight has no record to ask the data clock of, so the records the spawn step looks at
// note the clock's reading; a pause of the feed, which stops the clock, forgets nobody. Asking
// whether one is kept off changes nothing: the spawn step's look at a record, the aircraft seen
// moving or flying or standing on a stand again, and a new one kept off are the steps that forget.
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
// The live aircraft removed there is kept off the stands (gf_keptOffStand).
// Forgets those kept off (a new run).
void gf_resetParkLimits();
// Removes the count live aircraft parked longest (the parking update, when the user lowers the
// parked share); they are kept off the stands as at the parked count.
void lf_removeLiveParked(std::uint64_t count);

// The live aircraft that are active and parked: those that count against the wanted park count.
bool gf_isParkedLive(const LiveAircraft& aircraft);
std::int64_t gf_liveParkedCount();
// Whether the live aircraft parked (plus extra) exceed the wanted count, so that one must go (never
// with RT_PARKTRAFFIC_ONLY or INITIAL_LOAD_ONLY, nor without a wanted count).
bool gf_tooManyLiveParked(std::int64_t liveParked, std::uint8_t extra);

// The live aircraft was removed for the parked count (or by the parking update): it is kept off
// the stands.
void gf_keepOffStand(std::uint32_t hexid);
// A live aircraft removed for the parked count: while the count still has no room for it, it is
// not made again on a stand. True while that holds; false once there is room, or once no record of
// it has come for a minute of the data clock.
[[nodiscard]] bool gf_keptOffStand(std::uint32_t hexid);
// The spawn step looks at a record of the flight, before any rule may drop it: a flight kept off
// stays kept off while its records come, and one whose last record is a minute old is forgotten.
// One lookup.
void gf_keptOffRecordSeen(std::uint32_t hexid);
// The aircraft is seen moving or flying, or stands on a stand again: it is made again as any other.
void gf_forgetKeptOffStand(std::uint32_t hexid);
// Forgets every aircraft kept off (a new run, tests).
void gf_resetKeptOffStand();
