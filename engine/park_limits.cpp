#include "engine/park_limits.hpp"

#include <chrono>

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/data_clock.hpp"
#include "engine/engine_state.hpp"
#include "engine/removal.hpp"
#include "engine/stand_marks.hpp"
#include "engine/static_parking_step.hpp"
#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/time_slots.hpp"

namespace {

// The live aircraft removed for the parked count and not made again on a stand since, with the data
// clock's reading when it was removed or the spawn step last looked at one of its records: a pause
// of the feed, which stops that clock, brings no record of anyone and forgets nobody.
std::unordered_map<std::uint32_t, Tick> keptOffStand;

// Forgets the flights kept off whose data has ended.
void lf_forgetEndedKeptOff()
{
    std::erase_if(keptOffStand, [](const auto& kept) { return gf_endedSince(kept.second); });
}

void lf_removeLongestParkedLive()
{
    std::vector<ParkedLiveSeconds> parked;
    lf_parkedLiveSeconds(parked);
    if (parked.empty())
        return;
    LiveAircraft* longest = gf_liveByHexid(parked.front().first);
    if (longest == nullptr || longest->state != SimState::active)
        return;
    gf_log(vald::format("{:8}: {} live max park exceeded, removed", lf_standIdText(longest->standNumber),
                        longest->identity.callsign));
    gf_keepOffStand(longest->hexid);
    removeAircraftFromSim(*longest);
}

void lf_removeEarliestStatic()
{
    const auto earliest = std::min_element(staticAircraft.begin(), staticAircraft.end(),
                                           [](const StaticAircraft& a, const StaticAircraft& b) {
                                               return gf_weekSlotIndex(a.parkedSlot) < gf_weekSlotIndex(b.parkedSlot);
                                           });
    if (earliest == staticAircraft.end() || earliest->state != SimState::active)
        return;
    gf_log(vald::format("{:8}: {} static max park exceeded, removed", lf_standIdText(earliest->standNumber),
                        earliest->identity.callsign));
    removeAircraftFromSim(*earliest);
}

}  // namespace

// Park times are durations on the steady clock: the time shift moves the program clock by its size,
// and back to real time after an empty poll, which would make parked minutes jump.
UtcSeconds gf_parkClockNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(gf_steadyNow().time_since_epoch()).count();
}

std::int64_t gf_secondsParked(const LiveAircraft& aircraft)
{
    return std::max<std::int64_t>(0, gf_parkClockNow() - aircraft.parkTime);
}

void lf_parkedLiveSeconds(std::vector<ParkedLiveSeconds>& list)
{
    list.clear();
    for (const LiveAircraft& aircraft : liveAircraft)
        if (gf_isParkedLive(aircraft))
            list.emplace_back(aircraft.hexid, gf_secondsParked(aircraft));
    std::stable_sort(list.begin(), list.end(),
                     [](const ParkedLiveSeconds& a, const ParkedLiveSeconds& b) { return a.second > b.second; });
}

void lf_checkMaxPark(std::uint8_t extra)
{
    gf_assertEngineOwner();
    if (RT_PARKTRAFFIC_ONLY.value())
        return;
    const std::int64_t liveParked = gf_liveParkedCount();
    const std::int64_t wanted = wantedParkCount;
    if (wanted < 1)
        return;
    if (gf_tooManyLiveParked(liveParked, extra))
        lf_removeLongestParkedLive();
    const auto staticCount =
        std::count_if(staticAircraft.begin(), staticAircraft.end(), [](const StaticAircraft& aircraft) {
            return aircraft.state == SimState::active || aircraft.state == SimState::removingfromsim;
        });
    if (staticCount + liveParked + extra > wanted)
        lf_removeEarliestStatic();
}

void gf_resetParkLimits() { gf_resetKeptOffStand(); }

void lf_removeLiveParked(std::uint64_t count)
{
    gf_assertEngineOwner();
    std::vector<ParkedLiveSeconds> parked;
    lf_parkedLiveSeconds(parked);
    std::unordered_set<std::uint32_t> chosen;
    for (std::size_t i = 0; i < parked.size() && i < count; ++i)
        chosen.insert(parked[i].first);
    for (LiveAircraft& aircraft : liveAircraft) {
        if (!chosen.contains(aircraft.hexid))
            continue;
        gf_log(vald::format("live parked {} at {} removed", gf_flightKeyText(aircraft.identity),
                            lf_standIdText(aircraft.standNumber)));
        // Its reports still have it standing: made again it would push the next one out.
        gf_keepOffStand(aircraft.hexid);
        removeAircraftFromSim(aircraft);
    }
}

bool gf_isParkedLive(const LiveAircraft& aircraft)
{
    return aircraft.state == SimState::active && aircraft.phase == FlightPhase::parked;
}

std::int64_t gf_liveParkedCount()
{
    return std::count_if(liveAircraft.begin(), liveAircraft.end(), &gf_isParkedLive);
}

bool gf_tooManyLiveParked(std::int64_t liveParked, std::uint8_t extra)
{
    const std::int64_t wanted = wantedParkCount;
    return !RT_PARKTRAFFIC_ONLY.value() && wanted >= 1 && !INITIAL_LOAD_ONLY.value() && liveParked + extra > wanted;
}

void gf_keepOffStand(std::uint32_t hexid)
{
    lf_forgetEndedKeptOff();
    keptOffStand.insert_or_assign(hexid, gf_dataClockNow());
}

bool gf_keptOffStand(std::uint32_t hexid)
{
    const auto kept = keptOffStand.find(hexid);
    return kept != keptOffStand.end() && !gf_endedSince(kept->second) &&
           gf_tooManyLiveParked(gf_liveParkedCount(), 1);
}

void gf_keptOffRecordSeen(std::uint32_t hexid)
{
    const auto kept = keptOffStand.find(hexid);
    if (kept == keptOffStand.end())
        return;
    if (gf_endedSince(kept->second))
        keptOffStand.erase(kept);
    else
        kept->second = gf_dataClockNow();
}

void gf_forgetKeptOffStand(std::uint32_t hexid) { keptOffStand.erase(hexid); }

void gf_resetKeptOffStand() { keptOffStand.clear(); }
