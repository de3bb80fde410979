#include "liveries/livery_records.hpp"

#include <tuple>

LiveryList scannedLiveries;

bool operator==(const LiveryData& a, const LiveryData& b)
{
    return a.title == b.title && a.airl == b.airl && a.type == b.type && a.atcid == b.atcid && a.cargo == b.cargo;
}

bool operator<(const LiveryData& a, const LiveryData& b)
{
    return std::tie(a.airl, a.type, a.title) < std::tie(b.airl, b.type, b.title);
}

bool gf_sameAirlineModel(const LiveryData& a, const LiveryData& b)
{
    return a.airl == b.airl && a.type == b.type;
}

void gf_sortLiveries(LiveryList& liveries)
{
    liveries.sort([](const LiveryData& a, const LiveryData& b) { return a < b; });
}
