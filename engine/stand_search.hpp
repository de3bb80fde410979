#pragma once
// The searches over the park airport's stands that a live aircraft needs when it is born on the
// ground: the stand near it, the stand under the user, the claim and the stands beside it.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/aircraft_records.hpp"
#include "engine/stand_records.hpp"
#include "foundation/geodesy.hpp"

// The id of the stand within 55 m of the position; empty when none.
std::string gf_standNameAt(const LatLon& position);
// The nearest free stand within maxDistNm of the position that suits the aircraft; none when
// there is none.
std::optional<Stand> gf_findNearestStand(const LatLon& position, const LiveAircraft& aircraft, double maxDistNm,
                                         bool fallback);
// The first adjacent stand whose parked live aircraft would touch the aircraft on this stand.
std::optional<std::uint32_t> gf_findCollidingAdjacentLive(const Stand& stand, const LiveAircraft& aircraft);
// True when the aircraft with this callsign may take the stand.
bool lf_claimStand(std::uint32_t standNumber, const std::string& callsign);
