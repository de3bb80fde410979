#include "engine/stand_records.hpp"

std::vector<Stand> parkStands;
ApfInfo parkApfInfo;
bool handmadeAirport = false;
std::int32_t learnedUpdateCount = 0;
std::pair<std::int32_t, std::int32_t> parkQuality{-1, -1};

Stand::Stand(std::vector<StandOption>&& standOptions, std::string standId, const Place& place, double radiusMetres,
             bool isCargo, bool isRamp, bool isHeli)
    : options(std::move(standOptions)), id(std::move(standId)), lat(place.lat), lon(place.lon),
      heading(place.heading), radius(radiusMetres * STAND_METRES_TO_NM), cargo(isCargo ? 1 : 0),
      ramp(isRamp ? 1 : 0), heli(isHeli ? 1 : 0)
{
    adjacent.reserve(8);
}

void gf_resetStandRecords()
{
    parkStands.clear();
    parkApfInfo = ApfInfo{};
    handmadeAirport = false;
    learnedUpdateCount = 0;
    parkQuality = {-1, -1};
}
