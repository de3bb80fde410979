#pragma once
// The approach of a stand: an arrival heading for a stand that another aircraft holds meets the
// holder before their wings touch, and once a live aircraft has taken a stand it drives its last
// leg onto the stand.
#include "engine/aircraft_records.hpp"
#include "engine/stand_records.hpp"

// A taxiing arrival (not from a stand, unless towed) whose track stops on a stand that another
// aircraft holds, at a segment start or a new point: a holder whose data has ended goes now; with
// one that still reports, the two settle which goes (gf_settleHeldStand) when the coming leg could
// bring their wings together, before they touch. False when the arrival went.
[[nodiscard]] bool gf_approachHeldStand(LiveAircraft& aircraft);

// Appends the last leg onto the stand (position and heading) to the aircraft's track.
void drive2Stand(LiveAircraft& aircraft, const Stand::Place& stand);
