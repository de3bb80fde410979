#pragma once
// A live aircraft the simulator has created: on the ground or at its stand, its flight plan, its
// activation with lights, engines, flaps and throttle by phase, and the static aircraft that make
// way for it on a stand.
#include <cstdint>

#include "engine/aircraft_records.hpp"
#include "engine/stand_records.hpp"

// The aircraft was created on the ground; parked at a stand it takes the stand over from the
// static aircraft and plans there.
void lf_onCreatedOnGround(LiveAircraft& aircraft);
// Writes "{objectId}.pln" and hands it to the simulator, for an aircraft with both route ends.
void lf_assignFlightPlan(LiveAircraft& aircraft);
// The creation delay has passed: lights, engines, spoilers, flaps and throttle by phase; active.
void lf_activateLiveAc(LiveAircraft& aircraft);
// An aircraft is shut down for parking (a new static one, or a live one arrived at its stand):
// throttle, flaps, engines and parked lights.
void lf_shutdownStatic(StaticAircraft& aircraft);
// The static aircraft on the stand give way (removed, or withdrawn while still queued), and those
// on adjacent stands that would touch the aircraft.
void lf_makeWay(LiveAircraft& aircraft, const Stand& stand);
void lf_makeWayAdjacent(LiveAircraft& aircraft, std::uint32_t adjacentNumber, const Stand& stand);
