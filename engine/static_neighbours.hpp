#pragma once
// The per-second checks between live and static aircraft, and the parked counts of the window.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/aircraft_records.hpp"

// The static aircraft by their stand positions on a grid, so that the few near one place are
// found without a pass over all of them. It holds indices into staticAircraft: it is valid while
// that vector keeps its elements (a state changed since the build is seen at each lookup).
class StaticGrid {
public:
    // Builds the grid over the present staticAircraft.
    StaticGrid();

    // The first static aircraft (lowest index) that is active, carries another callsign and whose
    // stand lies within the clearance of a live aircraft of halfSpanNm at at.
    std::optional<std::size_t> firstTouched(LatLon at, double halfSpanNm, const std::string& callsign) const;

private:
    bool touches(std::size_t index, LatLon at, double halfSpanNm, const std::string& callsign) const;

    std::vector<std::pair<std::uint64_t, std::uint32_t>> cells_;  // (cell key, index), sorted
    std::vector<std::uint32_t> everywhere_;  // stands with no usable position: checked at each lookup
    double maxHalfSpanNm_ = 0.0;
};

// Removes the static aircraft that stands for the same flight as a newly placed live aircraft
// (same hexid, registration or coupled callsign).
void lf_removeStaticDuplicates(LiveAircraft& aircraft, bool onGround);
// Removes a static aircraft that a live aircraft on the ground would touch. A caller that checks
// many aircraft at once passes a grid built for the pass; without one a grid is built here.
void lf_avoidStatics(LiveAircraft& aircraft, const StaticGrid* grid = nullptr);
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
