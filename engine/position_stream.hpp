#pragma once
// The per-tick update of one live aircraft and the appending of received points to its track.
// Between two track points an aircraft moves by constant per-tick increments (or along a curve);
// its heading, pitch, bank and altitude change by per-tick rates that the segment planners set
// when a segment starts.
#include "engine/aircraft_records.hpp"

// Longest track a live aircraft may hold; a longer one is removed (created again from later data).
inline constexpr std::size_t MAX_TRACK_POINTS = 200;

// One tick of one aircraft: the spawn step in buffer; an active aircraft advances along its
// track, moves by one tick and its position is queued for the simulator. True when the record
// is to be erased (skip or dequeued).
[[nodiscard]] bool updateLiveAc(LiveAircraft& aircraft);

// Appends a received point to a known flight's track, never due before the last point, after
// the acceptance test of its phase; notices a touch and go and the start of a take-off run.
void decodeExisting(LiveAircraft& aircraft, TrackPoint& point);

// The front point's play-out tick has come: starts the next segment, or, at the end of the
// track, hands over to the track-end step (or removes the aircraft).
void nextPosMain(LiveAircraft& aircraft);
// One segment start, from the front point to the second; the front point is popped.
void lf_trackStep(LiveAircraft& aircraft);
// Whether a point may join the track of an aircraft outside the approach and the stand phases.
[[nodiscard]] bool lf_checkBirthPoint(LiveAircraft& aircraft, TrackPoint& point);
