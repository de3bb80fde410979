#include "engine/pause_holds.hpp"

#include <unordered_map>

#include "engine/approach_landing.hpp"
#include "engine/data_clock.hpp"
#include "engine/engine_state.hpp"
#include "engine/motion_math.hpp"
#include "engine/point_acceptance.hpp"
#include "engine/removal.hpp"
#include "engine/track_timing.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/parameters.hpp"

namespace {

constexpr Tick TICKS_PER_MINUTE = 60 * TICKS_PER_SECOND;

// The flights whose aircraft went on the ground at a track end held for a pause, with the data
// clock's reading then.
std::unordered_map<std::uint32_t, Tick> wentInPause;

Tick lf_holdingTicks() { return static_cast<Tick>(MAX_HOLDING_MINUTES.value()) * TICKS_PER_MINUTE; }

// Put at once where its data is, standing there until that point plays.
void lf_standWhereTheDataIs(LiveAircraft& aircraft, const TrackPoint& point)
{
    if (aircraft.phase == FlightPhase::pushed_back)
        gf_endPushBack(aircraft);
    TrackPoint here = point;
    here.playTick = tickCounter.load() + 1;
    here.groundSpeed = 0.0;
    here.speed = 0.0;
    here.stationary = true;
    aircraft.track.assign(1, here);
    SimPosition& at = aircraft.simPosition;
    at.lat = point.lat;
    at.lon = point.lon;
    at.speed = 0.0;
    at.heading = gf_normalise2Pi(point.headingUsable && point.trueHeading ? *point.trueHeading
                                                                          : point.track * DEG_TO_RAD);
    aircraft.curve = CurveSegment{};
    aircraft.latStep = 0.0;
    aircraft.lonStep = 0.0;
    aircraft.turnToCourse = false;
    aircraft.holding = 0;
    aircraft.trackEndWait = 0;
    lf_widenLimits(aircraft);
}

}  // namespace

void gf_noteTrackEnd(LiveAircraft& aircraft)
{
    if (aircraft.trackEndWait == 0)
        aircraft.pausedAtTrackEnd = gf_feedPaused() && !gf_dataRanOut(aircraft);
}

bool gf_heldForPause(const LiveAircraft& aircraft) { return aircraft.trackEndWait >= 1 && aircraft.pausedAtTrackEnd; }

bool gf_holdDataGone(const LiveAircraft& aircraft)
{
    return aircraft.pausedAtTrackEnd ? gf_dataEnded(aircraft) : gf_dataRanOut(aircraft);
}

bool gf_rollsToAStop(const LiveAircraft& aircraft)
{
    return gf_heldForPause(aircraft) && !aircraft.track.empty() && !aircraft.track.front().airborne &&
           aircraft.phase != FlightPhase::parked && aircraft.phase != FlightPhase::take_off;
}

bool gf_rollEnded(const LiveAircraft& aircraft)
{
    return (aircraft.landingRoll || aircraft.departing) && gf_dataEnded(aircraft);
}

bool gf_resumeFromPause(LiveAircraft& aircraft, TrackPoint& point)
{
    if (point.airborne) {
        removeAircraftFromSim(aircraft);
        return false;
    }
    if (aircraft.landingRoll)
        gf_endLandingRoll(aircraft);
    const double metres = gf_distanceNm(gf_latLonOf(aircraft.track.front()), gf_latLonOf(point)) * METRES_PER_NM;
    if (metres > static_cast<double>(HOLDING_THRESHOLD_METERS.value()))
        lf_standWhereTheDataIs(aircraft, point);
    return true;
}

void gf_noteGone(const LiveAircraft& aircraft)
{
    if (!gf_heldForPause(aircraft) || aircraft.track.empty() || aircraft.track.front().airborne ||
        aircraft.phase == FlightPhase::parked)
        return;
    const Tick now = gf_dataClockNow();
    const Tick holding = lf_holdingTicks();
    std::erase_if(wentInPause, [now, holding](const auto& went) { return now - went.second > holding; });
    wentInPause.insert_or_assign(aircraft.hexid, now);
}

bool gf_wentInPause(std::uint32_t hexid)
{
    const auto went = wentInPause.find(hexid);
    return went != wentInPause.end() && gf_dataClockNow() - went->second <= lf_holdingTicks();
}

void gf_resetPauseHolds() { wentInPause.clear(); }
