#pragma once
// One real aircraft may show up more than once: as the service's ghost target (its callsign with
// '_' appended), as a static aircraft planned for the same flight, or under the coupled callsigns
// of one turnaround. The checks here remove the copies, fill in the coupled callsigns of a new
// live aircraft, clear the user's reserved stand and list the parked live aircraft, removing
// those parked too long. Worker thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/aircraft_records.hpp"

// One parked live aircraft for the parking adjustment.
struct ParkedLiveEntry {
    std::string callsign;
    std::uint64_t reserved = 0;  // always 0
    std::uint32_t standNumber = 0;
    std::uint32_t parkedMinutes = 0;
};
// Filled by lf_collectParkedLive, ascending by parked minutes.
extern std::vector<ParkedLiveEntry> parkedLiveList;

// Minutes a live aircraft may stand parked before it leaves (unless INITIAL_LOAD_ONLY).
inline constexpr std::int64_t MAX_PARKED_MINUTES = 90;
inline constexpr std::int64_t MAX_PARKED_MINUTES_HEAVY = 180;

// The flight with this callsign is live: its ghost (callsign + '_') is removed and remembered in
// ghostList, so that it is not spawned again.
void lf_removeGhost(const std::string& callsign);
// A live aircraft (not being removed) has the callsign without its last character.
bool lf_hasLiveCallsign(const std::string& callsign);
// A live aircraft of the program, in the simulator or being created (respawning included), is
// this flight: the same hexid (0: none given), the same callsign or its ghost (an empty one names
// no flight), or the same registration. A parked copy of such a flight is never planned.
bool gf_flightIsLive(std::uint32_t hexid, const std::string& callsign, const std::string& registration);

// Removes the first active static aircraft that stands for the same flight as the new live
// aircraft: planned from its hexid, the same registration, or the same or coupled callsign.
void lf_removeStaticDuplicates(LiveAircraft& aircraft, bool onGround);
// Takes the second and third callsign of a new live aircraft from a stand option of its airline
// that holds its callsign on this weekday within 5 hours (7 for a Heavy) of the slot.
void lf_searchForCoupledCsAroundThisTime(std::uint64_t weekSlot, LiveAircraft& aircraft);
// Removes the static aircraft, or failing that the parked live aircraft, on the reserved stand.
void lf_clearReservedStand();
// Fills parkedLiveList; live aircraft parked longer than their limit are removed instead.
void lf_collectParkedLive();

// The per-second check of the newly placed live aircraft, one a second: its coupled callsigns
// are searched once and its static copies removed. A hexid whose aircraft is gone is dropped.
void lf_checkNewLiveAircraft(std::uint64_t weekSlot);
