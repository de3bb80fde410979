#pragma once
// How a live aircraft's configuration reaches the simulator: client events for gear, spoilers
// and lights, the throttle step with the rotorcraft rule, and the touchdown settings written
// directly to the aircraft (spoiler handle and both throttle levers, percent). A test replaces
// the touchdown writer to see what is written.
#include <array>
#include <cstdint>
#include <functional>

#include "engine/aircraft_records.hpp"

inline constexpr std::uint32_t EVENT_FULL = 16383;

// Lights in the order nav, beacon, landing, taxi, strobes, logo, cabin (1 on, 0 off).
using LightSet = std::array<std::uint32_t, 7>;
inline constexpr LightSet LIGHTS_ALL_ON{1, 1, 1, 1, 1, 1, 1};
inline constexpr LightSet LIGHTS_CRUISE{1, 1, 0, 0, 0, 0, 1};        // nav, beacon, cabin
inline constexpr LightSet LIGHTS_RUNWAY{1, 1, 1, 1, 1, 1, 0};        // all but cabin
inline constexpr LightSet LIGHTS_TAXI_IN{1, 1, 0, 1, 0, 1, 1};       // landing and strobes off

void lf_setGear(const LiveAircraft& aircraft, bool down);          // nothing for a Rotorcraft
void lf_setSpoilers(const LiveAircraft& aircraft, std::uint32_t value);  // nothing for a Rotorcraft
void lf_setLightsOf(const LiveAircraft& aircraft, const LightSet& lights);
void lf_setCabinLightsOf(const LiveAircraft& aircraft, bool on);
// The throttle step, or full throttle (step 4) for a Rotorcraft.
void lf_setThrottleOrRotor(LiveAircraft& aircraft, std::uint32_t step);

struct TouchdownSettings {
    double spoilersPercent = 0.0;
    double throttle1Percent = 0.0;
    double throttle2Percent = 0.0;
};
// False when the simulator link failed the request (the run then stops as for every request).
using TouchdownWriter = std::function<bool(std::uint32_t objectId, const TouchdownSettings& settings)>;
void gf_setTouchdownWriter(TouchdownWriter writer);
void gf_resetTouchdownWriter();

// The aircraft record holds no reverse-thrust attribute; it is read from the category: the jet
// and turboprop categories (Buzjets, Large, Heavy, HighPerf) have reversers, Light and
// Rotorcraft have none.
bool lf_hasReverseThrust(const LiveAircraft& aircraft);
// Spoilers deployed and thrust reversed (forward for a type without reversers; the opposite sign
// for an FSLTL livery). Nothing for a Light aircraft.
void lf_writeTouchdownDeployed(const LiveAircraft& aircraft);
// Spoilers and throttle levers back to zero. Nothing for a Light aircraft.
void lf_writeTouchdownCleared(const LiveAircraft& aircraft);
