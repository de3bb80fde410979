#pragma once
// What the stand search hands on once a live aircraft has taken a stand: the static aircraft there
// and beside it give way, and the aircraft drives its last leg onto the stand.
#include "engine/aircraft_records.hpp"
#include "engine/stand_records.hpp"

// The static aircraft on the stand, and those on adjacent stands close enough to touch the live
// aircraft, leave for it.
void lf_makeWay(LiveAircraft& aircraft, Stand& stand);
// Appends the last leg onto the stand (position and heading) to the aircraft's track.
void drive2Stand(LiveAircraft& aircraft, const Stand::Place& stand);
