#include "engine/ground_movement.hpp"

#include <algorithm>
#include <cmath>

#include "engine/approach_landing.hpp"
#include "engine/motion_math.hpp"
#include "engine/track_timing.hpp"

namespace {

constexpr double TAKEOFF_SPEED_KT = 43.0;
constexpr double LEVEL_RATE_FPM = 256.0;

bool lf_anyOnGroundFrom(const LiveAircraft& aircraft, std::size_t first)
{
    return std::any_of(aircraft.track.begin() + static_cast<std::ptrdiff_t>(first), aircraft.track.end(),
                       [](const TrackPoint& point) { return !point.airborne; });
}

// A departing aircraft fast on the runway whose track climbs away starts its take-off.
void lf_takeoffDetection(LiveAircraft& aircraft, double n)
{
    const auto& track = aircraft.track;
    if (!aircraft.departing || aircraft.phase == FlightPhase::take_off || track[0].groundSpeed < TAKEOFF_SPEED_KT)
        return;
    const bool levelPoint = std::any_of(track.begin() + 1, track.end(),
                                        [](const TrackPoint& point) { return point.verticalRate <= LEVEL_RATE_FPM; });
    const bool groundAhead = lf_anyOnGroundFrom(aircraft, 1);
    if (levelPoint && groundAhead)
        return;
    if (groundAhead || levelPoint)
        aircraft.altitudeRate = aircraft.maxClimbStep;
    else
        aircraft.altitudeRate = std::max(track[1].altitude - aircraft.simPosition.altitude, 0.1) / n;
    lf_takeoffStart(aircraft);
}

}  // namespace

void nextPosGround(LiveAircraft& aircraft)
{
    aircraft.turnToCourse = true;
    lf_retimeGroundPoint(aircraft);
}

void lf_planGroundSegment(LiveAircraft& aircraft)
{
    const double n = static_cast<double>(gf_ticksLeft(aircraft.track[1]));
    if (aircraft.phase == FlightPhase::parked || aircraft.phase == FlightPhase::flying)
        aircraft.setPhase(FlightPhase::taxi);
    if (aircraft.landingRoll)
        lf_landingRoll(aircraft);
    else if (!aircraft.departing)
        lf_relaxLimits(aircraft);
    if (aircraft.flareStage == 0 && aircraft.phase != FlightPhase::take_off) {
        aircraft.simPosition.pitch = aircraft.staticPitch;
        aircraft.pitchRate = 0.0;
        aircraft.simPosition.bank = 0.0;
        aircraft.bankRate = 0.0;
    }
    aircraft.segmentSpeed = aircraft.track[1].groundSpeed;
    lf_takeoffDetection(aircraft, n);
}

void lf_retimeGroundPoint(LiveAircraft& aircraft)
{
    if (aircraft.track.size() < 2 || aircraft.track[1].stationary)
        return;
    aircraft.currentTurnRate = aircraft.turnRate;
    const double nm = gf_distanceNm(gf_latLonOf(aircraft.track[0]), gf_latLonOf(aircraft.track[1]));
    const double ticks = std::round(nm * TICKS_PER_HOUR / lf_segmentSpeed(aircraft));
    lf_retimeNextPointBy(aircraft, std::max<Tick>(MIN_SEGMENT_TICKS, static_cast<Tick>(ticks)));
}
