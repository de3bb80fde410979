#pragma once
// What the simulator reports about the program's aircraft, drained once per tick: created
// aircraft get their object id and wait 200 ticks before they are released; removed objects are
// erased; the aircraft around the user give their ground altitude and touchdown; the centre of
// gravity fixes how high and at which pitch an aircraft stands; blocked flights and refused
// creations are taken out.
#include "engine/aircraft_records.hpp"

// Ticks a created aircraft waits before it is released, and the two light toggles on the way.
inline constexpr std::int32_t CREATION_DELAY_TICKS = 200;

// Drains the result queue (every tick, and while the flight is not running), then finishes the
// creations that have waited long enough.
void lf_processSimResults();
// One tick of the creations waiting on the deferred list.
void lf_finishCreation();
