#pragma once
// The per-tick update of one live aircraft and the appending of received points to its track.
#include "engine/aircraft_records.hpp"

// Longest track a live aircraft may hold; a longer one is removed (created again from later data).
inline constexpr std::size_t MAX_TRACK_POINTS = 200;

// One tick of one aircraft: the spawn step in buffer; for an active aircraft its position is
// queued for the simulator. True when the record is to be erased (skip or dequeued). Until the
// motion is built an active aircraft holds the position it was created at.
bool updateLiveAc(LiveAircraft& aircraft);

// Appends a received point to a known flight's track, never due before the last point.
void decodeExisting(LiveAircraft& aircraft, TrackPoint& point);
