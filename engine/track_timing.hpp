#pragma once
// When a live aircraft reaches its next track point: the speed of a segment, the re-timing of an
// airborne point within the early and late limits, and the per-tick position increments.
#include "engine/aircraft_records.hpp"

// Speed (kt) for timing the segment from the front point to the second: the mean of their
// ground speeds, or, when both stand still, the speed that covers the distance by the second
// point's play-out tick (at least 1 kt).
double lf_segmentSpeed(const LiveAircraft& aircraft);

// Airborne: the second point's play-out tick from the distance and speed, at least 25 ticks
// ahead, kept within its own tick minus the early limit and plus the late limit (unless the
// aircraft waits at its track end), never before now. A stationary second point keeps its tick.
void lf_retimeNextPoint(LiveAircraft& aircraft);
// The second point due ticks from now, kept within the early and late limits the same way.
void lf_retimeNextPointBy(LiveAircraft& aircraft, Tick ticks);

// Per-tick latitude and longitude increments from the current position to the second point,
// reached at its play-out tick (at least 25 ticks); the longitude the short way round.
void lf_setIncrements(LiveAircraft& aircraft);

// The early and the late limit each down by 100 ticks, not below 1000.
void lf_relaxLimits(LiveAircraft& aircraft);
// The limits of a departing or landing aircraft: late 5000 (departing) or 3000, early 3000.
void lf_widenLimits(LiveAircraft& aircraft);
