#include "engine/tick_motion.hpp"

#include <cmath>
#include <numbers>

#include "engine/approach_landing.hpp"
#include "engine/ground_movement.hpp"
#include "engine/motion_math.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

namespace {

constexpr double TURN_DEAD_BAND_RAD = 0.5 * DEG_TO_RAD;
constexpr double FLARE_LOWEST_PITCH_RAD = -0.06981317007977318;  // 4 degrees nose up
constexpr double FLARE_HEIGHT_FT = 400.0;
constexpr double CURVE_INDEX_END = 0.999999;

// Along the curve; false when the curve gives no point (logged).
bool lf_moveOnCurve(LiveAircraft& aircraft)
{
    aircraft.curveIndex = std::clamp(aircraft.curveIndex + aircraft.curveStep, 0.0, CURVE_INDEX_END);
    LatLon at;
    double direction = 0.0;
    if (!gf_pointOnPathSegment(aircraft.curve, at, direction, aircraft.curveIndex)) {
        gf_log(vald::format("{} error in curve at index: {:.2F}", aircraft.identity.callsign, aircraft.curveIndex));
        return false;
    }
    aircraft.simPosition.lat = at.lat;
    aircraft.simPosition.lon = at.lon;
    if (aircraft.phase == FlightPhase::pushing_back)
        direction = gf_normalise2Pi(direction + std::numbers::pi);
    lf_turnTowards(aircraft, direction);
    return true;
}

bool lf_headingByRate(FlightPhase phase)
{
    return phase == FlightPhase::take_off || phase == FlightPhase::flying || phase == FlightPhase::parked ||
           phase == FlightPhase::birth;
}

// Pitch, bank and altitude by their rates, by what the aircraft is doing.
void lf_attitudeStep(LiveAircraft& aircraft)
{
    SimPosition& at = aircraft.simPosition;
    if (aircraft.phase == FlightPhase::take_off) {
        lf_rotationStep(aircraft);
        return;
    }
    if (aircraft.heightAboveGround <= FLARE_HEIGHT_FT && aircraft.approachConfigured && !aircraft.onGround)
        lf_flareStep(aircraft);
    if (aircraft.noseDown) {
        at.pitch += aircraft.pitchRate;
        const bool passed = aircraft.pitchRate >= 0.0 ? at.pitch >= aircraft.staticPitch
                                                      : at.pitch <= aircraft.staticPitch;
        if (passed) {
            at.pitch = aircraft.staticPitch;
            aircraft.pitchRate = 0.0;
            at.bank = 0.0;
            aircraft.bankRate = 0.0;
            aircraft.noseDown = false;
            aircraft.flareStage = 0;
        }
        at.bank += aircraft.bankRate;
    } else if (aircraft.flareStage != 0) {
        at.bank = std::clamp(at.bank + aircraft.bankRate, -std::numbers::pi, std::numbers::pi);
        at.pitch = std::max(at.pitch + aircraft.pitchRate, FLARE_LOWEST_PITCH_RAD);
        at.altitude += aircraft.altitudeRate;
    } else if (aircraft.onGround) {
        at.pitch = aircraft.staticPitch;
        at.bank = 0.0;
    } else {
        at.bank += aircraft.bankRate;
        at.pitch += aircraft.pitchRate;
        at.altitude += aircraft.altitudeRate;
    }
}

}  // namespace

void lf_turnTowards(LiveAircraft& aircraft, double targetHeading)
{
    double& heading = aircraft.simPosition.heading;
    const double difference = gf_wrapPi(targetHeading - heading);
    if (std::fabs(difference) <= TURN_DEAD_BAND_RAD)
        return;
    bool decrease = difference < 0.0;
    if (difference == std::numbers::pi)  // straight behind: the side depends on the heading
        decrease = heading <= std::numbers::pi;
    heading = gf_normalise2Pi(heading + (decrease ? -aircraft.currentTurnRate : aircraft.currentTurnRate));
}

void lf_normalisePosition(SimPosition& position)
{
    // Reflect first: the reflection moves the longitude by 180 degrees, which the normalisation
    // below must still see.
    if (position.lat > 90.0) {
        position.lat = 180.0 - position.lat;
        position.lon += 180.0;
    } else if (position.lat < -90.0) {
        position.lat = -180.0 - position.lat;
        position.lon += 180.0;
    }
    position.lon = gf_lonDelta(position.lon, 0.0);
}

void lf_moveOneTick(LiveAircraft& aircraft)
{
    SimPosition& at = aircraft.simPosition;
    bool moveByIncrements = true;
    if (gf_curveRunning(aircraft)) {
        lf_moveOnCurve(aircraft);
        moveByIncrements = false;
    } else if (lf_headingByRate(aircraft.phase)) {
        at.heading = gf_normalise2Pi(at.heading + aircraft.headingRate);
    } else {
        if (aircraft.phase == FlightPhase::parking || aircraft.turnToCourse)
            lf_turnTowards(aircraft, aircraft.courseToNext);
        moveByIncrements = aircraft.phase != FlightPhase::pushed_back;
    }
    if (moveByIncrements) {
        at.lat += aircraft.latStep;
        at.lon += aircraft.lonStep;
    }
    lf_attitudeStep(aircraft);
    lf_normalisePosition(at);
}
