#pragma once
// A live aircraft that has used up its received track: it arrives at its stand, holds at the end
// of its taxi track, or is carried on by dead reckoning for a few points; failing that it is
// removed, after its stand use has been learned. A track that runs out while the feed pauses is
// the pause's, not the flight's end (engine/pause_holds): a taxiing or parking aircraft holds, a
// landing roll or take-off run rolls to a stop and holds, until its data comes again (a roll whose
// data has ended since goes).
// While parked, every received point is checked against the stand to notice when the aircraft
// starts to leave it. Worker thread only.
#include <cstdint>

#include "engine/aircraft_records.hpp"

inline constexpr double ARRIVED_AT_STAND_NM = 0.0010799136069114472;  // 2 m
inline constexpr double AT_STAND_LIMIT_NM = 0.0458963282937365;       // 85 m
inline constexpr double STAND_LEFT_NM = 0.10799136069114472;          // 200 m
inline constexpr double STAND_DRIFT_NM = 0.0016198704103671706;       // 3 m
inline constexpr double SOFT_LEARNING_RADIUS_NM = 5.0;
inline constexpr Tick HOLD_STEP_TICKS = 300;

// True when something was done and the track is to be read again; false: the aircraft is to be
// removed (lf_endTrack).
[[nodiscard]] bool lf_trackEndStep(LiveAircraft& aircraft);
// Removes an aircraft whose track end step gave up, learning its stand use first unless parked.
void lf_endTrack(LiveAircraft& aircraft);
// The position lies at the edge of the range around the user (within half a mile of it) or beyond:
// a flight whose track ends there in the air has left it and is not carried on. False while the
// user's position is not known.
[[nodiscard]] bool gf_atTheRangesEdge(const LatLon& at);
// Appends one dead-reckoned point; count more are allowed after it.
void lf_extrapolateTrack(LiveAircraft& aircraft, std::int32_t count);
// The aircraft driving onto its stand arrives (within 2 m) or goes back to taxiing.
void lf_arriveAtStand(LiveAircraft& aircraft);
// The stand use of an aircraft standing on its stand in the week slot is learned (known airline,
// stand and flight both cargo or both not), and the slot noted for the aircraft.
void gf_learnStandUse(const LiveAircraft& aircraft, std::uint64_t weekSlot);
// A passenger stand that a freighter parked on loses its cargo attribute.
void lf_clearStandCargo(LiveAircraft& aircraft);
// Soft learning of the stand an aircraft ended its track at, away from any claimed stand.
void lf_learnStandAtTrackEnd(LiveAircraft& aircraft, bool notFlying);
[[nodiscard]] bool lf_learnKnownStand(LiveAircraft& aircraft, std::uint64_t weekSlot, bool notFlying);
// A received point of a parking or parked aircraft: true when it is to be accepted into the
// track (the aircraft moves off), false when the aircraft stays (or was removed).
[[nodiscard]] bool lf_atStandTest(LiveAircraft& aircraft, TrackPoint& point);
// The aircraft leaves its stand: towing, learning and the stand freed.
void lf_leaveStandBookkeeping(LiveAircraft& aircraft);
