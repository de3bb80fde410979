#pragma once
// What the stand search hands on once a live aircraft has taken a stand: the aircraft drives its
// last leg onto the stand.
#include "engine/aircraft_records.hpp"
#include "engine/stand_records.hpp"

// Appends the last leg onto the stand (position and heading) to the aircraft's track.
void drive2Stand(LiveAircraft& aircraft, const Stand::Place& stand);
