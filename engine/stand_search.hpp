#pragma once
// The searches over the park airport's stands that the aircraft engine needs (a stand by name,
// the stand at a position, the nearest fitting free stand, a free stand for a half-hour of the
// week) and the claims with which a live aircraft that comes to a stand displaces the aircraft
// standing there or beside it. An arrival parks on the stand it claimed from a holder whose data
// had ended (stand_claims notes the claim) however far short of it, within 55 m, its track ends.
// Called by the spawn step, the track end, the ground movement, the ghosts and the engine hooks
// (for the parking). Worker thread only, like the stands themselves.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/aircraft_records.hpp"
#include "engine/stand_claims.hpp"
#include "engine/stand_records.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/time_slots.hpp"

// Distances of the stand search, nautical miles (the narrow park search, STAND_NARROW_RADIUS_NM,
// is the claims' too: stand_claims.hpp).
inline constexpr double STAND_NAME_RADIUS_NM = 55.0 / METRES_PER_NM;       // also the wide park search
inline constexpr double STAND_FALLBACK_RADIUS_NM = 85.0 / METRES_PER_NM;   // a stand the flight used
inline constexpr double STAND_SIZE_TOLERANCE_NM = 1.8 / METRES_PER_NM;     // an aircraft may overhang
inline constexpr double STAND_WIDENING_MARGIN_NM = 1.0 / METRES_PER_NM;
inline constexpr double SMALL_AIRCRAFT_HALF_SPAN_NM = 17.8 / METRES_PER_NM;
inline constexpr double SMALL_AIRCRAFT_SCORE_STEP_NM = 14.0 / METRES_PER_NM;
inline constexpr double LARGE_AIRCRAFT_SCORE_STEP_NM = 21.0 / METRES_PER_NM;

// One stand that gf_findFreeStandForSlot may propose.
struct StandCandidate {
    std::string id;
    std::int32_t score = 0;          // lower fits better
    std::int32_t matchesFlight = 0;  // 1: one of the stand's options records this flight
};

// The option records a real use of the stand by this flight: it has a number, is real, and its
// callsign or callsign suffix is the callsign, or else its airline and type are the flight's.
bool gf_optionMatchesFlight(const std::string& callsign, const FlightIdentity& flight, const StandOption& option);

// The first stand whose id is the name; nullptr when none.
Stand* gf_findStandByName(const std::string& name);

// The id of the nearest stand within 55 m; empty without stands, without one that near, or while
// the user aircraft is not on the ground. A repeated position is answered from a cache.
std::string gf_standNameAt(const LatLon& position);

// The nearest free stand within maxDistNm that the aircraft fits (a stand up to 1.8 m too small
// only within 20 m, and then widened to the aircraft); with fallback, failing that, a fitting
// stand within 85 m that this flight used before. Heli stands are for rotorcraft only and
// rotorcraft get nothing else. nullptr when none.
Stand* gf_findNearestStand(const LatLon& position, const AircraftInstance& aircraft, double maxDistNm, bool fallback);

// A stand that no option uses in the given half-hour of the week and that suits the aircraft
// (heli, cargo, ramp or gate stands by its kind), the best fitting first and those this flight
// used before preferred; at a small airport (10 stands or fewer) with nextAllowed also the next
// half-hour. nullptr when none. A half-hour outside 0..47 throws std::out_of_range.
Stand* gf_findFreeStandForSlot(const WeekdayAndSlot& slot, const AircraftInstance& aircraft, bool nextAllowed);

// The first adjacent stand of the stand whose active live aircraft (parked or pushing back,
// another callsign) stands close enough to touch an aircraft of this type on the stand.
std::optional<std::uint32_t> gf_findCollidingAdjacentLive(const Stand& stand, const AircraftInstance& aircraft);

// Whether a live aircraft with this callsign may take the stand; the live aircraft standing there
// is removed when it gives way (same callsign, its ghost, or not leaving yet).
[[nodiscard]] bool lf_claimStand(std::uint32_t standNumber, const std::string& callsign);

// Sends the aircraft to the stand whose holder went for it when that stand is free and within
// 55 m of the end of its track, unless a free one lies within 20 m of it; else to the nearest free
// stand at the end of its track (55 m when wide, else 20 m), or failing that to a stand held
// within 20 m (gf_heldStandAt), where the holder and the aircraft settle which goes
// (gf_settleHeldStand); it clears the colliding adjacent stands of live aircraft and makes the
// static aircraft give way. The user's stand and the reserved stand are never taken. A second
// attempt from the same last track point does nothing, unless a stand it claimed waits.
void try2Park(LiveAircraft& aircraft, bool wide);

// Forgets the cached stand name and the last park attempt (new stands, a new run, tests).
void gf_resetStandSearch();
