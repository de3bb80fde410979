#pragma once
// Approach, flare, touchdown, landing roll and take-off of a live aircraft.
#include "engine/aircraft_records.hpp"

// Each tick while on approach, airborne and at most 400 ft above the ground: the four flare
// stages, each once, by the height over the ground less the type's CG height (30, 20, 10, 3 ft).
void lf_flareStep(LiveAircraft& aircraft);
// The simulator first reports the aircraft on the ground while it flares or is on approach:
// nose down, spoilers and reversers, landing roll. The caller then sets the on-ground flag.
void lf_touchdown(LiveAircraft& aircraft);
// On each ground segment of the landing roll: spoilers in below 90 kt, the roll ends when the
// aircraft has turned off the runway (15 degrees from the touchdown heading).
void lf_landingRoll(LiveAircraft& aircraft);
// The landing roll is over: flaps, throttle and spoilers in, taxi-in lights.
void gf_endLandingRoll(LiveAircraft& aircraft);
// The ground planner starts the take-off: rotation counter and pitch rate, phase take_off; a
// touch and go (still in the landing roll) goes to full throttle with flaps 1.
void lf_takeoffStart(LiveAircraft& aircraft);
// The take-off run begins: departing, lights for the runway, throttle, spoilers and flaps.
void lf_startTakeoffRun(LiveAircraft& aircraft);
// Departing with that throttle step and spoiler setting, flaps 1, the landing configuration
// cleared, runway lights and wide timing limits.
void lf_configureTakeoffRun(LiveAircraft& aircraft, std::uint32_t throttleStep, std::uint32_t spoilers);
// Each tick in take_off instead of the normal attitude step: rotation, climb pitch, gear up and,
// at 800 ft over the ground, phase flying.
void lf_rotationStep(LiveAircraft& aircraft);
