#pragma once
// Hand-over points to the end of a live aircraft's track and its life at a stand. Until they are
// built: at its track end an aircraft on the ground holds its place and an airborne one is
// removed, no stand use is learned, and a parked aircraft keeps its place (received points are
// refused).
#include "engine/aircraft_records.hpp"

// True when something was done and the track is to be read again.
bool lf_trackEndStep(LiveAircraft& aircraft);
// Stand learning for an aircraft that ends its track away from a stand.
void lf_learnStandAtTrackEnd(LiveAircraft& aircraft, bool notFlying);
// Whether a point received while parked or parking is taken.
bool lf_atStandTest(LiveAircraft& aircraft, TrackPoint& point);
