#pragma once
// The last leg onto a stand: once a live aircraft has taken a stand it drives onto it. (Who may
// take a stand that another aircraft holds is stand_claims.hpp's.)
#include "engine/aircraft_records.hpp"
#include "engine/stand_records.hpp"

// Appends the last leg onto the stand (position and heading) to the aircraft's track.
void drive2Stand(LiveAircraft& aircraft, const Stand::Place& stand);
