#pragma once
// The spawn of live aircraft: the step that decides when an aircraft in buffer is placed in the
// simulator, where it appears (in the air, on the ground, on a stand of the park airport) and
// with which livery. The check of new identity data of a known flight is in respawn_check.hpp.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/aircraft_records.hpp"
#include "engine/respawn_check.hpp"
#include "engine/stand_records.hpp"
#include "liveries/matching_summary.hpp"

// "{airline:3} {type:4}|{registration}": the key of unmatchedLiveryKeys (no livery could be found
// for the flight; it is not spawned until the set is emptied).
std::string gf_unmatchedLiveryKey(const FlightIdentity& flight);

// Once per tick for an aircraft in buffer: waits for the lead time before its first point, drops
// it (skip flag) when it cannot or must not appear, or places it.
void lf_spawnStep(LiveAircraft& aircraft);
// True when the aircraft must wait because it would appear too close to the user aircraft; its
// front point is then dropped.
[[nodiscard]] bool lf_proximityHold(LiveAircraft& aircraft);
// Places the aircraft: first phase, position, heading, livery; its hexid goes onto the adding
// stack. Without a livery the aircraft is dropped.
void spawnLiveAc(LiveAircraft& aircraft);
// An object answered late is taken as the aircraft's: it is placed where its flight is now, as the
// spawn step would place it now (its start moved on past the points that came due, its phase and
// stand chosen again, standing where its data ended on the ground). False when it is to go: no
// point left, its data ended in the air at the edge of the range (it has left it), or its stand
// refused.
[[nodiscard]] bool gf_placeAgainNow(LiveAircraft& aircraft);
// The reference data may know the airframe better than the service: its airline or operator,
// its type and whether it is a freighter (and its registration stands in for a callsign that is
// not valid).
void lf_takeRegistrationData(LiveAircraft& aircraft);
// The livery remembered for the hexid, or one chosen now and remembered. False when none could be
// found: the flight key then goes into unmatchedLiveryKeys and the aircraft is to be dropped.
[[nodiscard]] bool lf_takeLivery(LiveAircraft& aircraft);
// The stand of the park airport on which an aircraft at rest on the ground is born; none when it
// is born elsewhere. A refused claim drops the aircraft.
[[nodiscard]] std::optional<Stand> lf_chooseSpawnStand(LiveAircraft& aircraft);
