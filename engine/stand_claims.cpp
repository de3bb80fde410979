#include "engine/stand_claims.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "engine/engine_state.hpp"
#include "engine/motion_math.hpp"
#include "engine/removal.hpp"
#include "engine/static_parking_step.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"

namespace {

// A holder whose newest report is this much older than the arrival's no longer says where it
// stands: the service reports a standing aircraft every few seconds while its transponder sends,
// and an airborne one without reports is given up after about a minute of dead reckoning.
constexpr double DATA_ENDED_SECONDS = 60.0;

// A flight kept off of which no record has come for this long: its reports stopped, as a
// holder's data ends.
constexpr Tick KEPT_OFF_DATA_ENDED_TICKS = static_cast<Tick>(DATA_ENDED_SECONDS) * TICKS_PER_SECOND;

// The live aircraft removed for the parked count and not made again on a stand since, with the
// tick at which it was removed or the spawn step last looked at one of its records.
std::unordered_map<std::uint32_t, Tick> keptOffStand;

// Forgets the flights kept off whose data has ended.
void lf_forgetEndedKeptOff(Tick now)
{
    std::erase_if(keptOffStand, [now](const auto& kept) { return now - kept.second > KEPT_OFF_DATA_ENDED_TICKS; });
}

}  // namespace

LiveAircraft* gf_firstLiveOnStand(std::uint32_t standNumber)
{
    const auto found =
        std::find_if(liveAircraft.begin(), liveAircraft.end(),
                     [standNumber](const LiveAircraft& aircraft) { return aircraft.standNumber == standNumber; });
    return found == liveAircraft.end() ? nullptr : &*found;
}

bool gf_cameFromStand(const LiveAircraft& aircraft)
{
    return aircraft.previousPhase == FlightPhase::parked || aircraft.previousPhase == FlightPhase::pushing_back ||
           aircraft.previousPhase == FlightPhase::pushed_back;
}

LiveAircraft* gf_standHolder(const Stand& stand, const LiveAircraft& aircraft)
{
    LiveAircraft* holder = gf_firstLiveOnStand(stand.number);
    if (holder == nullptr || holder == &aircraft || holder->state != SimState::active || !gf_holdsStand(*holder))
        return nullptr;
    return holder;
}

Stand* gf_heldStandAt(const LatLon& position, const LiveAircraft& aircraft, bool onStand)
{
    Stand* held = nullptr;
    double heldDist = std::numeric_limits<double>::infinity();
    for (Stand& stand : parkStands) {
        if (stand.occupied == 0 || (stand.heli != 0) != (aircraft.category == AircraftCategory::Rotorcraft))
            continue;
        const double distance = gf_distanceNm(position, LatLon{stand.lat, stand.lon});
        if (distance > (onStand ? stand.radius : STAND_NARROW_RADIUS_NM) || distance >= heldDist ||
            gf_standHolder(stand, aircraft) == nullptr)
            continue;
        held = &stand;
        heldDist = distance;
    }
    return held;
}

bool gf_holderDataEnded(const LiveAircraft& holder, const LiveAircraft& arrival)
{
    return arrival.recordTime - holder.recordTime > DATA_ENDED_SECONDS;
}

bool gf_settleHeldStand(const Stand& stand, LiveAircraft& arrival)
{
    LiveAircraft* holder = gf_standHolder(stand, arrival);
    if (holder == nullptr)
        return true;
    if (gf_holderDataEnded(*holder, arrival)) {
        gf_log(vald::format("{:8}: {:8} removed, {} wants to park there", stand.id, holder->identity.callsign,
                            arrival.identity.callsign));
        removeAircraftFromSim(*holder);
        return true;
    }
    gf_log(vald::format("{:8}: {:8} removed, {} still reports standing there", stand.id, arrival.identity.callsign,
                        holder->identity.callsign));
    removeAircraftFromSim(arrival);
    return false;
}

bool gf_approachHeldStand(LiveAircraft& aircraft)
{
    const auto& track = aircraft.track;
    if (aircraft.phase != FlightPhase::taxi || (!aircraft.towed && gf_cameFromStand(aircraft)) || track.size() < 2 ||
        !(track.back().stationary || track.back().groundSpeed == 0.0))
        return true;
    const LatLon stop = gf_latLonOf(track.back());
    const Stand* claimed = gf_heldStandAt(stop, aircraft, false);
    const Stand* stand = claimed != nullptr ? claimed : gf_heldStandAt(stop, aircraft, true);
    if (stand == nullptr)
        return true;
    // A holder whose data has ended goes as soon as the arrival's data stops where it would park;
    // a stop farther out may be a pause of an aircraft that only passes, so there it goes only
    // before their wings could touch.
    const LiveAircraft& holder = *gf_standHolder(*stand, aircraft);
    const bool holderEnded = gf_holderDataEnded(holder, aircraft);
    // Only a stop where the arrival would park is its claim on a stand whose holder still reports.
    // One farther out, in front of the stand on the apron lane, may be a pause on its way (waiting
    // for a push-back), which the data known so far cannot tell from its end: the aircraft holds
    // there as any taxiing aircraft does, and the track end settles with the holder should its
    // data end there.
    if (claimed == nullptr && !holderEnded)
        return true;
    // The claim is met when the arrival comes close: until the next segment start the arrival gets
    // no farther from here than the point it drives to, or, on a curve, than the curve's start and
    // then its control point or its end (the curve keeps within those three).
    const LatLon at = gf_latLonOf(aircraft.simPosition);
    double reach = gf_distanceNm(at, gf_latLonOf(track[1]));
    if (const CurveSegment& curve = aircraft.curve; gf_curveRunning(aircraft))
        reach = std::max(reach, gf_distanceNm(at, LatLon{curve.originLat, curve.originLon}) +
                                    std::max(std::hypot(curve.controlNorthM, curve.controlEastM),
                                             std::hypot(curve.endNorthM, curve.endEastM)) /
                                        METRES_PER_NM);
    const double apart = gf_distanceNm(at, gf_latLonOf(holder.simPosition));
    if (!(holderEnded && claimed != nullptr) &&
        !gf_wingsTouch(aircraft.halfSpan, holder.halfSpan, apart - reach, STAND_TOUCHING_MARGIN))
        return true;
    return gf_settleHeldStand(*stand, aircraft);
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
    const Tick now = tickCounter.load();
    lf_forgetEndedKeptOff(now);
    keptOffStand.insert_or_assign(hexid, now);
}

bool gf_keptOffStand(std::uint32_t hexid)
{
    const Tick now = tickCounter.load();
    lf_forgetEndedKeptOff(now);
    const auto kept = keptOffStand.find(hexid);
    if (kept == keptOffStand.end())
        return false;
    if (gf_tooManyLiveParked(gf_liveParkedCount(), 1))
        return true;
    keptOffStand.erase(kept);
    return false;
}

void gf_keptOffRecordSeen(std::uint32_t hexid)
{
    const auto kept = keptOffStand.find(hexid);
    if (kept == keptOffStand.end())
        return;
    const Tick now = tickCounter.load();
    if (now - kept->second > KEPT_OFF_DATA_ENDED_TICKS)
        keptOffStand.erase(kept);
    else
        kept->second = now;
}

void gf_forgetKeptOffStand(std::uint32_t hexid) { keptOffStand.erase(hexid); }

void gf_resetKeptOffStand() { keptOffStand.clear(); }
