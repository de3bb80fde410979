#include "engine/air_segments.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "engine/aircraft_config.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/motion_math.hpp"
#include "engine/track_timing.hpp"
#include "foundation/geodesy.hpp"

namespace {

constexpr double LOW_HEIGHT_FT = 1000.0;
constexpr double APPROACH_HEADING_HEIGHT_FT = 2000.0;
constexpr double LOW_HEIGHT_LEAST_CLIMB = 0.2;  // feet per tick
constexpr double FT_PER_MIN_TO_PER_TICK = 1.0 / 6000.0;
constexpr double GROUND_DESCENT_FPM = -601.0;
constexpr double FINAL_DESCENT_FPM = -600.0;
constexpr double DESCENT_HEIGHT_FT = 100.0;
constexpr double QNH_FT_PER_HPA = 6.0;
constexpr double CLIMB_IN_TRACK_FPM = 100.0;
constexpr double LEAST_LIFTOFF_FPM = 601.0;
constexpr std::size_t FIT_CLIMB_LAST_K = 10;
constexpr double LEVEL_PITCH_DEG = -3.0;
constexpr double PITCH_PER_600_FPM_DEG = 2.2;
constexpr double PITCH_CLIMB_CAP_FPM = 2400.0;
constexpr double PITCH_DESCENT_CAP_FPM = -3000.0;
constexpr double HIGH_ALTITUDE_FT = 10000.0;
constexpr double JET_LOW_THRESHOLD_FT = 2050.0;
constexpr double OTHER_LOW_THRESHOLD_FT = 625.0;
constexpr double GEAR_UP_HEIGHT_FT = 2400.0;
constexpr double FLAPS_TWO_HEIGHT_FT = 2000.0;
constexpr double DESCENDING_FPM = -250.0;
constexpr double CLIMBING_FPM = 400.0;
constexpr double LEVEL_FPM = 100.0;
constexpr double CLIMB_OUT_FPM = 600.0;
constexpr double APPROACH_RANGE_NM = 10.0;

const AirLimits& lf_limitsOf(AircraftCategory category)
{
    static const std::unordered_map<AircraftCategory, AirLimits> table{
        {AircraftCategory::Light, {0.01 * DEG_TO_RAD, 40.0 * DEG_TO_RAD, 0.035 * DEG_TO_RAD}},
        {AircraftCategory::Buzjets, {0.0085 * DEG_TO_RAD, 35.0 * DEG_TO_RAD, 0.0275 * DEG_TO_RAD}},
        {AircraftCategory::Large, {0.0075 * DEG_TO_RAD, 30.0 * DEG_TO_RAD, 0.02 * DEG_TO_RAD}},
        {AircraftCategory::Heavy, {0.005 * DEG_TO_RAD, 20.0 * DEG_TO_RAD, 0.015 * DEG_TO_RAD}},
        {AircraftCategory::HighPerf, {0.03 * DEG_TO_RAD, 90.0 * DEG_TO_RAD, 0.1 * DEG_TO_RAD}},
        {AircraftCategory::Rotorcraft, {0.03 * DEG_TO_RAD, 75.0 * DEG_TO_RAD, 0.06 * DEG_TO_RAD}},
    };
    return table.at(category);
}

// The altitude rate towards a higher point, limited by the type's climb step; 0 otherwise.
double lf_climbRateTo(const LiveAircraft& aircraft, const TrackPoint& point)
{
    if (point.altitude <= aircraft.simPosition.altitude)
        return 0.0;
    const double n = static_cast<double>(gf_ticksLeft(point));
    return std::min((point.altitude - aircraft.simPosition.altitude) / n, aircraft.maxClimbStep);
}

// A descent at v ft/min, written into the next point and the segment.
void lf_descendAt(LiveAircraft& aircraft, TrackPoint& next, double v)
{
    next.verticalRate = v;
    aircraft.segmentVerticalRate = v;
    aircraft.altitudeRate = v * FT_PER_MIN_TO_PER_TICK;
}

void lf_planAltitude(LiveAircraft& aircraft, TrackPoint& next, double n)
{
    const TrackPoint& front = aircraft.track[0];
    const double height = aircraft.heightAboveGround;
    const double altitude = aircraft.simPosition.altitude;
    if (!front.airborne && !next.airborne) {
        lf_planClimbOrDescent(aircraft);
    } else if (!front.airborne) {
        lf_climbToNextPoint(aircraft);
    } else if (!next.airborne) {
        const std::optional<double> elevation = lf_parkAirportElevation();
        const std::int32_t qnh = engineQnh.load();
        if (elevation && qnh <= STANDARD_QNH) {
            aircraft.altitudeRate = (*elevation - altitude) / n;
        } else {
            lf_descendAt(aircraft, next, qnh <= STANDARD_QNH ? GROUND_DESCENT_FPM : lf_descentRate(aircraft));
        }
        lf_setGear(aircraft, true);
    } else if (!aircraft.approachConfigured) {
        const double r = (next.altitude - altitude) / n;
        // Low down a slow climb is made at least a little faster; a descent keeps its own rate.
        const double wanted = height > LOW_HEIGHT_FT || r <= 0.0 ? r : std::max(r, LOW_HEIGHT_LEAST_CLIMB);
        aircraft.altitudeRate = std::min(wanted, aircraft.maxClimbStep);
    } else if (front.altitude != next.altitude || height > LOW_HEIGHT_FT ||
               front.verticalRate + next.verticalRate > LEVEL_FPM) {
        aircraft.altitudeRate = (next.altitude - altitude) / n;
    } else {
        lf_descendAt(aircraft, next, lf_descentRate(aircraft));
    }
}

void lf_planPitch(LiveAircraft& aircraft, const TrackPoint& next, double n)
{
    const double rate = next.verticalRate;
    const double c = rate > 0.0 ? std::min(rate, PITCH_CLIMB_CAP_FPM) : std::max(PITCH_DESCENT_CAP_FPM, rate) * 0.5;
    const double target = (LEVEL_PITCH_DEG - c / 600.0 * PITCH_PER_600_FPM_DEG) * DEG_TO_RAD;
    const double limit = lf_limitsOf(aircraft.category).pitchRatePerTick;
    aircraft.pitchRate = std::clamp((target - aircraft.simPosition.pitch) / n, -limit, limit);
}

void lf_configureByAltitude(LiveAircraft& aircraft)
{
    if (aircraft.track[0].altitude < HIGH_ALTITUDE_FT) {
        if (!aircraft.lowLightsSet) {
            aircraft.lowLightsSet = true;
            aircraft.highLightsSet = false;
            lf_setLightsOf(aircraft, LIGHTS_ALL_ON);
        }
        const bool jet = aircraft.category == AircraftCategory::Buzjets ||
                         aircraft.category == AircraftCategory::Large || aircraft.category == AircraftCategory::Heavy;
        if (aircraft.heightAboveGround > (jet ? JET_LOW_THRESHOLD_FT : OTHER_LOW_THRESHOLD_FT))
            lf_configureMidAltitude(aircraft);
        else
            lf_configureLowAltitude(aircraft);
        return;
    }
    if (aircraft.highLightsSet)
        return;
    aircraft.highLightsSet = true;
    aircraft.lowLightsSet = false;
    lf_setLightsOf(aircraft, LIGHTS_CRUISE);
    lf_setThrottleOrRotor(aircraft, 3);
    lf_setGear(aircraft, false);
    gf_setFlaps(aircraft, 0);
}

}  // namespace

const AirLimits& gf_airLimits(AircraftCategory category) { return lf_limitsOf(category); }

void lf_planAirSegment(LiveAircraft& aircraft, TrackPoint& next)
{
    if (aircraft.phase != FlightPhase::take_off && aircraft.phase != FlightPhase::flying)
        aircraft.setPhase(FlightPhase::flying);
    aircraft.segmentVerticalRate = next.verticalRate;
    aircraft.segmentSpeed = next.speed;
    double n = static_cast<double>(gf_ticksLeft(next));
    if (aircraft.flareStage == 0) {
        lf_planAltitude(aircraft, next, n);
        // A lift-off may have flown on to a later point.
        n = static_cast<double>(gf_ticksLeft(aircraft.track[1]));
        if (aircraft.phase != FlightPhase::take_off)
            lf_planPitch(aircraft, aircraft.track[1], n);
    }
    const TrackPoint& target = aircraft.track[1];
    const double headingHeight = aircraft.approachConfigured ? APPROACH_HEADING_HEIGHT_FT : LOW_HEIGHT_FT;
    double change = 0.0;
    if (target.headingUsable && target.bank && target.trueHeading && aircraft.heightAboveGround < headingHeight)
        change = gf_wrapPi(*target.trueHeading - aircraft.simPosition.heading);
    else
        change = lf_headingChangeToNext(aircraft);
    aircraft.headingRate = change / n;
    if (target.bank)
        aircraft.bankRate = (*target.bank - aircraft.simPosition.bank) / n;
    else
        lf_bankRateForTurn(aircraft, change, n);
    lf_configureByAltitude(aircraft);
}

double lf_descentRate(const LiveAircraft& aircraft)
{
    if (aircraft.heightAboveGround <= DESCENT_HEIGHT_FT)
        return FINAL_DESCENT_FPM;
    const double qnh = static_cast<double>(engineQnh.load());
    const double mean = (aircraft.track[0].verticalRate + aircraft.track[1].verticalRate) / 2.0;
    return std::min(GROUND_DESCENT_FPM, mean - (qnh - STANDARD_PRESSURE_HPA) * QNH_FT_PER_HPA);
}

void lf_planClimbOrDescent(LiveAircraft& aircraft)
{
    auto& track = aircraft.track;
    double climb = 0.0;
    for (const TrackPoint& point : track)
        climb += point.verticalRate;
    if (!aircraft.approachConfigured && climb > CLIMB_IN_TRACK_FPM) {
        const std::size_t lastK = std::min(track.size() - 1, FIT_CLIMB_LAST_K);
        for (std::size_t k = 3; k <= lastK; ++k) {
            if (lf_fitClimbPoint(aircraft, k)) {
                lf_setGear(aircraft, true);
                return;
            }
        }
        TrackPoint& next = track[1];
        next.verticalRate = std::max(next.verticalRate, LEAST_LIFTOFF_FPM);
        aircraft.segmentVerticalRate = next.verticalRate;
        aircraft.altitudeRate = next.verticalRate * FT_PER_MIN_TO_PER_TICK;
        lf_setGear(aircraft, true);
        return;
    }
    lf_descendAt(aircraft, track[1], lf_descentRate(aircraft));
    lf_setGear(aircraft, true);
}

bool lf_fitClimbPoint(LiveAircraft& aircraft, std::size_t k)
{
    auto& track = aircraft.track;
    if (k < 2 || track.size() < k || !track[k - 1].airborne)
        return false;
    track.erase(track.begin() + 1, track.begin() + static_cast<std::ptrdiff_t>(k - 1));
    lf_retimeNextPoint(aircraft);
    // The increments were set towards the erased point: the aircraft flies on to the new one.
    lf_setIncrements(aircraft);
    aircraft.altitudeRate = lf_climbRateTo(aircraft, track[1]);
    return true;
}

void lf_climbToNextPoint(LiveAircraft& aircraft) { aircraft.altitudeRate = lf_climbRateTo(aircraft, aircraft.track[1]); }

double lf_headingChangeToNext(const LiveAircraft& aircraft)
{
    const auto& track = aircraft.track;
    if (track.size() < 3)
        return 0.0;
    const double bearing = gf_bearingRad(gf_latLonOf(track[1]), gf_latLonOf(track[2]));
    return gf_wrapPi(bearing - aircraft.simPosition.heading);
}

void lf_bankRateForTurn(LiveAircraft& aircraft, double headingChange, double ticks)
{
    const AirLimits& limits = lf_limitsOf(aircraft.category);
    const double target = std::clamp(headingChange, -limits.bank, limits.bank);
    aircraft.bankRate =
        std::clamp((-target - aircraft.simPosition.bank) / ticks, -limits.bankRatePerTick, limits.bankRatePerTick);
}

void lf_configureMidAltitude(LiveAircraft& aircraft)
{
    lf_relaxLimits(aircraft);
    lf_setCabinLightsOf(aircraft, true);
    aircraft.departing = false;
    aircraft.approachConfigured = false;
    const double rate = aircraft.track[0].verticalRate;
    if (rate <= DESCENDING_FPM && aircraft.throttleStep == 3)
        lf_setThrottleOrRotor(aircraft, 2);
    else if (rate > CLIMBING_FPM && aircraft.throttleStep == 4)
        lf_setThrottleOrRotor(aircraft, 3);
    const double height = aircraft.heightAboveGround;
    if (height >= GEAR_UP_HEIGHT_FT) {
        lf_setGear(aircraft, false);
        gf_setFlaps(aircraft, 0);
    } else if (rate <= LEVEL_FPM) {
        if (aircraft.flapsIndex == 0)
            gf_setFlaps(aircraft, 1);
        else if (aircraft.flapsIndex == 1 && height < FLAPS_TWO_HEIGHT_FT)
            gf_setFlaps(aircraft, 2);
    }
}

void lf_configureLowAltitude(LiveAircraft& aircraft)
{
    const std::optional<LatLon> airport = lf_parkAirportPosition();
    const bool near =
        airport && gf_distanceNm(gf_latLonOf(aircraft.simPosition), *airport) <= APPROACH_RANGE_NM;
    lf_setCabinLightsOf(aircraft, false);
    const double rate = aircraft.track[0].verticalRate;
    if (rate > DESCENDING_FPM) {
        const bool climbingOut = rate > CLIMB_OUT_FPM || (aircraft.approachConfigured && !near);
        if (!climbingOut || aircraft.climbOutConfigured)
            return;
        lf_relaxLimits(aircraft);
        gf_setThrottle(aircraft, 4);
        lf_setGear(aircraft, false);
        gf_setFlaps(aircraft, 0);
        aircraft.climbOutConfigured = true;
        aircraft.flareStage = 0;
        aircraft.approachConfigured = false;
        return;
    }
    if (aircraft.approachConfigured || !near)
        return;
    lf_setThrottleOrRotor(aircraft, 1);
    gf_setFlaps(aircraft, 3);
    lf_setGear(aircraft, true);
    coupledCallsignQueue.push_back(aircraft.hexid);
    aircraft.approachConfigured = true;
    aircraft.climbOutConfigured = false;
    aircraft.standLat = 0.0;
    aircraft.standLon = 0.0;
    aircraft.standHeading = 0.0;
    aircraft.standNumber = 0;
    aircraft.cargoStand = false;
    lf_widenLimits(aircraft);
    aircraft.stageCounter = 1;
}
