#pragma once
// The spawn of live aircraft: the step that decides when an aircraft in buffer is placed in the
// simulator, and the check of new identity data of a known flight.
#include "engine/aircraft_records.hpp"
#include "traffic/traffic_records.hpp"

// Once per tick for an aircraft in buffer. Until spawning is built the aircraft waits in buffer.
void lf_spawnStep(LiveAircraft& aircraft);

// A known flight reports new data: true to take its point as usual, false when the data led to a
// respawn or a rejection. Until the identity checks are built every record is taken.
bool lf_respawnCheck(LiveAircraft& aircraft, const LiveTrafficRecord& record);
