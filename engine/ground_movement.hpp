#pragma once
// Hand-over points from the air segments to the motion of an aircraft on the ground (taxi, stand
// exits, push-back, curves). Until ground movement is built these hold the smallest sound
// behaviour: the aircraft follows its ground points straight, turning onto each leg's course.
#include "engine/aircraft_records.hpp"

// The ground step at the start of a segment on the ground.
void nextPosGround(LiveAircraft& aircraft);
// The ground segment planner: throttle, level attitude, the landing roll and the take-off start.
void lf_planGroundSegment(LiveAircraft& aircraft);
// Timing of the next ground point from the distance and the segment speed.
void lf_retimeGroundPoint(LiveAircraft& aircraft);
