#include "engine/stand_search.hpp"

// The smallest answers that keep a newborn aircraft correct: the nearest free stand in reach,
// no stand under the user, no neighbour in the way, every claim granted.
std::string gf_standNameAt(const LatLon&) { return {}; }

std::optional<Stand> gf_findNearestStand(const LatLon& position, const LiveAircraft&, double maxDistNm, bool)
{
    const Stand* best = nullptr;
    double bestDistance = maxDistNm;
    for (const Stand& stand : parkStands) {
        if (stand.occupied != 0)
            continue;
        const double distance = gf_distanceNm(position, LatLon{stand.lat, stand.lon});
        if (distance <= bestDistance) {
            best = &stand;
            bestDistance = distance;
        }
    }
    return best == nullptr ? std::nullopt : std::optional<Stand>(*best);
}

std::optional<std::uint32_t> gf_findCollidingAdjacentLive(const Stand&, const LiveAircraft&) { return std::nullopt; }

bool lf_claimStand(std::uint32_t, const std::string&) { return true; }
