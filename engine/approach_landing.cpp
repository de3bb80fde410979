#include "engine/approach_landing.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/air_segments.hpp"
#include "engine/aircraft_config.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/motion_math.hpp"
#include "engine/track_end.hpp"
#include "engine/track_timing.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

namespace {

constexpr double FLARE_PITCH_RAD = -4.0 * DEG_TO_RAD;
constexpr double RUNWAY_LEFT_RAD = 15.0 * DEG_TO_RAD;
constexpr double ROLL_OUT_SPEED_KT = 90.0;
constexpr double CLIMB_OUT_HEIGHT_FT = 800.0;
constexpr std::int32_t LOWEST_COUNTER = -1000;
constexpr std::int32_t GEAR_UP_COUNTER = -300;

// One stage of the flare: above the type's CG height by at most marginFt, the descent slows to
// rate ft per tick and the front point reports vertical.
struct FlareStage {
    double marginFt;
    double altitudeRate;
    double verticalRateFpm;
};
constexpr FlareStage FLARE_STAGES[4] = {
    {30.0, -0.1, -601.0}, {20.0, -0.075, -450.0}, {10.0, -0.05, -300.0}, {3.0, -0.025, -150.0}};

// The lower of the reported height and the altitude over the known ground (the park airport's
// elevation when one is set).
double lf_flareHeight(LiveAircraft& aircraft)
{
    const std::optional<double> parkElevation = lf_parkAirportElevation();
    if (parkElevation)
        aircraft.groundElevation = parkElevation;
    double height = aircraft.heightAboveGround;
    if (aircraft.groundElevation) {
        aircraft.computedHeight = aircraft.simPosition.altitude - *aircraft.groundElevation;
        height = std::min(height, aircraft.computedHeight);
    }
    return height;
}

}  // namespace

void lf_flareStep(LiveAircraft& aircraft)
{
    if (aircraft.flareStage >= 4)
        return;
    const FlareStage& stage = FLARE_STAGES[aircraft.flareStage];
    if (lf_flareHeight(aircraft) > aircraft.staticCgHeight + stage.marginFt)
        return;
    if (aircraft.flareStage == 0) {
        aircraft.pitchRate = (FLARE_PITCH_RAD - aircraft.simPosition.pitch) /
                             static_cast<double>(std::max<std::uint32_t>(1, aircraft.flareTicks));
        fastInRangeRequests = true;
    } else {
        aircraft.groundElevation.reset();
    }
    if (aircraft.flareStage == 2)
        gf_setThrottle(aircraft, 0);
    aircraft.altitudeRate = stage.altitudeRate;
    if (!aircraft.track.empty())
        aircraft.track.front().verticalRate = stage.verticalRateFpm;
    ++aircraft.flareStage;
}

void lf_touchdown(LiveAircraft& aircraft)
{
    SimPosition& at = aircraft.simPosition;
    aircraft.noseDown = true;
    aircraft.landingRoll = true;
    fastInRangeRequests = false;
    aircraft.touchdownHeading = at.heading;
    aircraft.approachConfigured = false;
    aircraft.touchedDown = true;
    lf_setSpoilers(aircraft, EVENT_FULL);
    lf_writeTouchdownDeployed(aircraft);
    const double settle = static_cast<double>(aircraft.touchdownTicks);
    if (settle > 0.0) {
        aircraft.bankRate = -at.bank / settle;
        aircraft.pitchRate = (aircraft.staticPitch - at.pitch) / settle;
    } else {
        gf_log(vald::format("{} ! onGround slots {:.1f}", aircraft.identity.callsign, settle));
        aircraft.bankRate = 0.0;
        aircraft.pitchRate = aircraft.staticPitch - at.pitch;  // settles in one tick
    }
    coupledCallsignQueue.push_back(aircraft.hexid);
}

void gf_endLandingRoll(LiveAircraft& aircraft)
{
    gf_setFlaps(aircraft, 0);
    aircraft.landingRoll = false;
    aircraft.touchdownHeading = 0.0;
    lf_setThrottleOrRotor(aircraft, 0);
    lf_setSpoilers(aircraft, 0);
    lf_writeTouchdownCleared(aircraft);
    lf_setLightsOf(aircraft, LIGHTS_TAXI_IN);
}

void lf_landingRoll(LiveAircraft& aircraft)
{
    const double turned = std::fabs(gf_wrapPi(aircraft.simPosition.heading - aircraft.touchdownHeading));
    if (turned >= RUNWAY_LEFT_RAD) {
        gf_endLandingRoll(aircraft);
        return;
    }
    if (aircraft.track.empty() || aircraft.track.front().groundSpeed > ROLL_OUT_SPEED_KT)
        return;
    lf_setSpoilers(aircraft, 0);
    lf_writeTouchdownCleared(aircraft);
    gf_setFlaps(aircraft, 1);
}

void lf_configureTakeoffRun(LiveAircraft& aircraft, std::uint32_t throttleStep, std::uint32_t spoilers)
{
    aircraft.departing = true;
    gf_setThrottle(aircraft, throttleStep);
    lf_setSpoilers(aircraft, spoilers);
    gf_setFlaps(aircraft, 1);
    aircraft.approachConfigured = false;
    aircraft.touchedDown = false;
    aircraft.climbOutConfigured = false;
    lf_setLightsOf(aircraft, LIGHTS_RUNWAY);
    lf_widenLimits(aircraft);
}

void lf_startTakeoffRun(LiveAircraft& aircraft)
{
    if (aircraft.towed)
        gf_logWarn(vald::format("towed aircraft takes-off? {}", gf_flightKeyText(aircraft.identity)));
    lf_configureTakeoffRun(aircraft, 0, 0);
    if (!aircraft.identity.airline.empty())
        lf_learnStandAtTrackEnd(aircraft, true);
}

void lf_takeoffStart(LiveAircraft& aircraft)
{
    SimPosition& at = aircraft.simPosition;
    aircraft.stageCounter = std::max<std::int32_t>(1, static_cast<std::int32_t>(aircraft.rotationTicks));
    at.bank = 0.0;
    aircraft.bankRate = 0.0;
    aircraft.pitchRate = (aircraft.takeOffPitch - at.pitch) / static_cast<double>(aircraft.stageCounter);
    if (!aircraft.departing)
        lf_startTakeoffRun(aircraft);
    aircraft.setPhase(FlightPhase::take_off);
    aircraft.headingRate = 0.0;
    aircraft.curve = CurveSegment{};
    if (!aircraft.landingRoll)
        return;
    aircraft.landingRoll = false;
    aircraft.approachConfigured = false;
    aircraft.touchedDown = false;
    gf_setThrottle(aircraft, 4);
    lf_setSpoilers(aircraft, EVENT_FULL);
    gf_setFlaps(aircraft, 1);
}

void lf_rotationStep(LiveAircraft& aircraft)
{
    SimPosition& at = aircraft.simPosition;
    aircraft.stageCounter = std::max(LOWEST_COUNTER, aircraft.stageCounter - 1);
    const std::int32_t c = aircraft.stageCounter;
    if (c >= 1) {
        aircraft.onGround = false;
        if (at.pitch > aircraft.takeOffPitch)
            at.pitch += aircraft.pitchRate;
        return;
    }
    const double climbRate = (aircraft.climbPitch - aircraft.takeOffPitch) /
                             static_cast<double>(std::max<std::uint32_t>(1, aircraft.climbTicks));
    at.bank = std::clamp(at.bank + aircraft.bankRate, -std::numbers::pi, std::numbers::pi);
    if (at.pitch > aircraft.climbPitch)
        at.pitch += climbRate;
    if (c == 0)
        return;
    if (c > -100) {
        at.altitude += aircraft.altitudeRate / 10.0;
    } else if (c > -200) {
        at.altitude += aircraft.altitudeRate / 5.0;
    } else if (c > GEAR_UP_COUNTER) {
        at.altitude += aircraft.altitudeRate / 2.0;
    } else if (c == GEAR_UP_COUNTER) {
        lf_setGear(aircraft, false);
        at.altitude += aircraft.altitudeRate;
    } else {
        at.altitude += aircraft.altitudeRate;
        if (at.pitch > aircraft.climbPitch)
            return;
        aircraft.pitchRate = 0.0;
        if (aircraft.heightAboveGround >= CLIMB_OUT_HEIGHT_FT) {
            lf_setThrottleOrRotor(aircraft, 3);
            aircraft.setPhase(FlightPhase::flying);
            aircraft.stageCounter = 1;
        }
    }
}
