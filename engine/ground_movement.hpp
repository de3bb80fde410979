#pragma once
// A live aircraft on the ground: at every segment start the ground step leaves a stand (pulling
// out forwards or pushing back), smooths the turns of the taxi track with midpoints and curves,
// times the next point and its turn rate, and hands an aircraft at the end of its taxi track to
// the stand search; the segment planner then sets the throttle, keeps the aircraft level and
// starts the take-off when the track shows one. Worker thread only.
#include <cstdint>

#include "engine/aircraft_records.hpp"
#include "engine/motion_math.hpp"

// Distances of the ground movement, nautical miles.
inline constexpr double MIDPOINT_MIN_LEG_NM = 0.02699784017278618;    // 50 m
inline constexpr double SPLIT_MIN_LEG_NM = 100.0 / METRES_PER_NM;      // 100 m
inline constexpr double PARK_APPROACH_NM = 0.018898488120950324;      // 35 m

// The ground step of a segment start.
void nextPosGround(LiveAircraft& aircraft);
// The ground segment planner, after the ground step.
void lf_planGroundSegment(LiveAircraft& aircraft);

// Every point after the front one is at least as fast as the category's take-off speed.
bool lf_canTakeOff(const LiveAircraft& aircraft);
// A point halfway between the front and the next point.
void lf_insertMidPoint(LiveAircraft& aircraft);
// The next point becomes the control point of a curve from the aircraft to the point after it.
void lf_startCurve(LiveAircraft& aircraft);
// A midpoint where the speed changes by more than 5 kt over a leg of 100 m or more.
void lf_splitIfSpeedChange(LiveAircraft& aircraft);
// Timing and turn rate for the next ground point.
void lf_retimeGroundPoint(LiveAircraft& aircraft);

void lf_pushBackStep(LiveAircraft& aircraft);
void lf_pullOut(LiveAircraft& aircraft);
void lf_pushBack(LiveAircraft& aircraft);

// The push speed of the aircraft, its category's when the intake left it 0.
double gf_pushSpeedOf(const LiveAircraft& aircraft);
// The turn-to-course angle (degrees) and flag between the heading and the course to the next
// point; a running curve steers by itself and clears the flag.
void gf_measureTurnToCourse(LiveAircraft& aircraft);
// Lights of an aircraft moving on the ground: nav, beacon, taxi and logo on, the rest off.
void gf_taxiLights(const LiveAircraft& aircraft);
