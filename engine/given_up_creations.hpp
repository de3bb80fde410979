#pragma once
// Aircraft whose creation the simulator client gave up unanswered. The client gives a creation up
// when it may have been an object that the simulator removed before it could be described; a
// slow simulator still answers it later. The flight comes back as after any creation that failed
// (a live one with its next traffic record, a static one at the next static parking step), and
// the record given up waits here, so that a late answer can still become the flight's aircraft
// (lf_processSimResults decides). Worker thread only.
#include <cstdint>
#include <optional>

#include "engine/aircraft_records.hpp"

// A live aircraft's creation was given up; the caller erases its record. Kept for ten minutes,
// as long as the client remembers the creation.
void gf_keepGivenUp(const LiveAircraft& aircraft);
// The live record given up with that hexid, taken out; nothing when none is kept.
[[nodiscard]] std::optional<LiveAircraft> gf_takeGivenUpLive(std::uint32_t hexid);
// The user blocked the flight: a late answer is nobody's aircraft.
void gf_forgetGivenUpLive(std::uint32_t hexid);

// A static aircraft's creation was given up; the caller erases its record. It waits to be made
// again by the next static parking step.
void gf_keepGivenUp(const StaticAircraft& aircraft);
bool gf_givenUpStaticWaits();
// The static given up with that hexid, taken out; nothing when none waits.
[[nodiscard]] std::optional<StaticAircraft> gf_takeGivenUpStatic(std::uint32_t hexid);
// The one given up first, taken out; nothing when none waits.
[[nodiscard]] std::optional<StaticAircraft> gf_takeFirstGivenUpStatic();
// The statics leave the park airport: none is made again.
void gf_forgetGivenUpStatics();

// Nothing kept: a new run.
void gf_resetGivenUpCreations();
