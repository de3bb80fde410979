#include "engine/track_timing.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "engine/motion_math.hpp"
#include "foundation/format.hpp"

namespace {

constexpr std::int32_t BASE_LIMIT_TICKS = 1000;
constexpr std::int32_t LIMIT_STEP_TICKS = 100;
constexpr std::int32_t DEPARTING_LATE_LIMIT_TICKS = 5000;
constexpr std::int32_t LANDING_LIMIT_TICKS = 3000;
constexpr double APPROACH_DEFAULT_SPEED_KT = 100.0;

double lf_legNm(const LiveAircraft& aircraft)
{
    return gf_distanceNm(gf_latLonOf(aircraft.track[0]), gf_latLonOf(aircraft.track[1]));
}

// The tick t kept within the second point's limits, never before now.
void lf_setLimitedTick(LiveAircraft& aircraft, Tick t)
{
    const Tick now = tickCounter.load();
    TrackPoint& next = aircraft.track[1];
    if (aircraft.trackEndWait < 1) {
        if (t > next.playTick + aircraft.lateLimit)
            t = next.playTick + aircraft.lateLimit;
        else
            t = std::max(t, next.playTick - aircraft.earlyLimit);
    }
    next.playTick = std::max(t, now);
}

}  // namespace

double lf_segmentSpeed(const LiveAircraft& aircraft)
{
    const TrackPoint& front = aircraft.track[0];
    const TrackPoint& next = aircraft.track[1];
    if (front.groundSpeed == 0.0 && next.groundSpeed == 0.0) {
        const double ticks = static_cast<double>(std::max(MIN_SEGMENT_TICKS, next.playTick - front.playTick));
        return std::max(1.0, lf_legNm(aircraft) * TICKS_PER_HOUR / ticks);
    }
    return (front.groundSpeed + next.groundSpeed) / 2.0;
}

void lf_retimeNextPoint(LiveAircraft& aircraft)
{
    if (aircraft.track.size() < 2 || aircraft.track[1].stationary)
        return;
    const TrackPoint& front = aircraft.track[0];
    double speed = 0.0;
    if (aircraft.approachConfigured && !aircraft.track[1].airborne)
        speed = front.groundSpeed > 0.0 ? front.groundSpeed : APPROACH_DEFAULT_SPEED_KT;
    else
        speed = lf_segmentSpeed(aircraft);
    // Checked before the conversion: a double out of an int's range does not convert.
    const double legTicks = std::round(lf_legNm(aircraft) * TICKS_PER_HOUR / speed);
    if (!(std::fabs(legTicks) <= static_cast<double>(std::numeric_limits<int>::max())))
        throw std::out_of_range(vald::format("a leg of {} ticks", legTicks));
    const int ticks = static_cast<int>(legTicks);
    lf_setLimitedTick(aircraft, tickCounter.load() + std::max<Tick>(ticks, MIN_SEGMENT_TICKS));
}

void lf_retimeNextPointBy(LiveAircraft& aircraft, Tick ticks)
{
    if (aircraft.track.size() >= 2)
        lf_setLimitedTick(aircraft, tickCounter.load() + ticks);
}

void lf_setIncrements(LiveAircraft& aircraft)
{
    const TrackPoint& next = aircraft.track[1];
    const double n = static_cast<double>(gf_ticksLeft(next));
    aircraft.latStep = (next.lat - aircraft.simPosition.lat) / n;
    aircraft.lonStep = gf_lonDelta(next.lon, aircraft.simPosition.lon) / n;
}

void lf_relaxLimits(LiveAircraft& aircraft)
{
    if (aircraft.earlyLimit > BASE_LIMIT_TICKS)
        aircraft.earlyLimit = std::max(BASE_LIMIT_TICKS, aircraft.earlyLimit - LIMIT_STEP_TICKS);
    if (aircraft.lateLimit > BASE_LIMIT_TICKS)
        aircraft.lateLimit = std::max(BASE_LIMIT_TICKS, aircraft.lateLimit - LIMIT_STEP_TICKS);
}

void lf_widenLimits(LiveAircraft& aircraft)
{
    aircraft.lateLimit = aircraft.departing ? DEPARTING_LATE_LIMIT_TICKS : LANDING_LIMIT_TICKS;
    aircraft.earlyLimit = LANDING_LIMIT_TICKS;
}
