#include "engine/stand_claims.hpp"

#include <algorithm>
#include <cmath>
#include <deque>
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

// North and east of a point, nautical miles.
struct FlatNm {
    double north = 0.0;
    double east = 0.0;
};

// A flat frame about the arrival, for ruling out cheaply the stands beyond reach of its data: within
// the few nautical miles that a taxi track spans, its distances differ from the great circle's by
// far less than FLAT_SLACK, so that a stand it rules out is out of reach; the rest are measured on
// the great circle.
constexpr double FLAT_SLACK = 1.01;
struct FlatFrame {
    explicit FlatFrame(LatLon at) : origin(at), eastNmPerDeg(60.0 * std::cos(at.lat * DEG_TO_RAD)) {}
    FlatNm of(double lat, double lon) const
    {
        double eastDeg = lon - origin.lon;
        if (eastDeg > 180.0)
            eastDeg -= 360.0;
        else if (eastDeg < -180.0)
            eastDeg += 360.0;
        return FlatNm{(lat - origin.lat) * 60.0, eastDeg * eastNmPerDeg};
    }
    LatLon origin;
    double eastNmPerDeg;
};

// A point of the track, from the segment the aircraft drives on, lies within 20 m of the stand's
// point.
bool lf_trackComesNear(const std::deque<TrackPoint>& track, const FlatFrame& frame, const Stand& stand,
                       FlatNm standAt)
{
    const double limit = STAND_NARROW_RADIUS_NM * FLAT_SLACK;
    return std::any_of(track.begin(), track.end(), [&](const TrackPoint& point) {
        const FlatNm at = frame.of(point.lat, point.lon);
        const double north = at.north - standAt.north;
        const double east = at.east - standAt.east;
        return north * north + east * east <= limit * limit &&
               gf_distanceNm(gf_latLonOf(point), LatLon{stand.lat, stand.lon}) <= STAND_NARROW_RADIUS_NM;
    });
}

// The box around the points of a track in the flat frame.
struct FlatBox {
    void add(FlatNm point)
    {
        south = std::min(south, point.north);
        north = std::max(north, point.north);
        west = std::min(west, point.east);
        east = std::max(east, point.east);
    }
    // A point this near could lie within distanceNm of one in the box.
    bool within(FlatNm point, double distanceNm) const
    {
        const double margin = distanceNm * FLAT_SLACK;
        return point.north >= south - margin && point.north <= north + margin && point.east >= west - margin &&
               point.east <= east + margin;
    }
    double south = std::numeric_limits<double>::infinity();
    double north = -std::numeric_limits<double>::infinity();
    double west = std::numeric_limits<double>::infinity();
    double east = -std::numeric_limits<double>::infinity();
};

// Until the next segment start the arrival gets no farther from where it is than the point it
// drives to, or, on a curve, than the curve's start and then its control point or its end (the
// curve keeps within those three).
double lf_reachBeforeNextStartNm(const LiveAircraft& aircraft, LatLon at)
{
    double reach = gf_distanceNm(at, gf_latLonOf(aircraft.track[1]));
    if (const CurveSegment& curve = aircraft.curve; gf_curveRunning(aircraft))
        reach = std::max(reach, gf_distanceNm(at, LatLon{curve.originLat, curve.originLon}) +
                                    std::max(std::hypot(curve.controlNorthM, curve.controlEastM),
                                             std::hypot(curve.endNorthM, curve.endEastM)) /
                                        METRES_PER_NM);
    return reach;
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
    if (aircraft.phase != FlightPhase::taxi || (!aircraft.towed && gf_cameFromStand(aircraft)) || track.size() < 2)
        return true;
    const bool stopped = track.back().stationary || track.back().groundSpeed == 0.0;
    const LatLon stop = gf_latLonOf(track.back());
    const LatLon at = gf_latLonOf(aircraft.simPosition);
    const bool rotorcraft = aircraft.category == AircraftCategory::Rotorcraft;
    // One walk of the occupied stands, ruling out cheaply in the flat frame those beyond reach of
    // the arrival's data, then measuring the rest on the great circle.
    const FlatFrame frame{at};
    FlatBox data;
    for (const TrackPoint& point : track)
        data.add(frame.of(point.lat, point.lon));
    double reach = -1.0;
    const auto wingsCouldTouch = [&](const LiveAircraft& holder) {
        if (reach < 0.0)
            reach = lf_reachBeforeNextStartNm(aircraft, at);
        return gf_wingsTouch(aircraft.halfSpan, holder.halfSpan,
                             gf_distanceNm(at, gf_latLonOf(holder.simPosition)) - reach, STAND_TOUCHING_MARGIN);
    };
    const Stand* claimed = nullptr;  // the nearest held stand within 20 m of a stop
    const Stand* onStand = nullptr;  // the nearest held stand within its own radius of a stop
    double claimedNm = std::numeric_limits<double>::infinity();
    double onStandNm = std::numeric_limits<double>::infinity();
    for (const Stand& stand : parkStands) {
        if (stand.occupied == 0 || (stand.heli != 0) != rotorcraft)
            continue;
        const FlatNm standAt = frame.of(stand.lat, stand.lon);
        if (!data.within(standAt, std::max(STAND_NARROW_RADIUS_NM, stopped ? stand.radius : 0.0)))
            continue;
        const LiveAircraft* holder = gf_standHolder(stand, aircraft);
        if (holder == nullptr)
            continue;
        // A holder whose data has ended goes before the arrival's wings could touch it once the
        // arrival's data comes within 20 m of its stand, stopped there or still moving on.
        if (gf_holderDataEnded(*holder, aircraft) && lf_trackComesNear(track, frame, stand, standAt) &&
            wingsCouldTouch(*holder)) {
            static_cast<void>(gf_settleHeldStand(stand, aircraft));  // the holder goes: true
            continue;
        }
        if (!stopped)
            continue;
        const double distance = gf_distanceNm(stop, LatLon{stand.lat, stand.lon});
        if (distance <= STAND_NARROW_RADIUS_NM && distance < claimedNm) {
            claimed = &stand;
            claimedNm = distance;
        }
        if (distance <= stand.radius && distance < onStandNm) {
            onStand = &stand;
            onStandNm = distance;
        }
    }
    const Stand* stand = claimed != nullptr ? claimed : onStand;
    const LiveAircraft* holder = stand != nullptr ? gf_standHolder(*stand, aircraft) : nullptr;
    if (holder == nullptr)
        return true;
    // A stop within 20 m is a claim: a holder whose data has ended goes now, and one that still
    // reports settles with the arrival before their wings could touch. A stop farther out, in
    // front of the stand on the apron lane, may be a pause on the arrival's way (waiting for a
    // push-back), which the data known so far cannot tell from its end: it claims nothing from a
    // holder that still reports, and the arrival holds there as any taxiing aircraft does (the
    // track end settles with the holder should its data end there); a holder whose data has ended
    // goes before their wings could touch.
    const bool holderEnded = gf_holderDataEnded(*holder, aircraft);
    if (claimed == nullptr && !holderEnded)
        return true;
    if (!(holderEnded && claimed != nullptr) && !wingsCouldTouch(*holder))
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
