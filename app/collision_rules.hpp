#pragma once
// The once-a-second rules that keep the program's aircraft clear of the user's aircraft and of
// each other (worker thread). Each rule removes at most one aircraft per call.
#include <optional>

#include "engine/aircraft_records.hpp"
#include "simlink/sim_records.hpp"

// The user aircraft as the rules see it.
struct UserForCollision {
    UserAircraftSnapshot snapshot;
    bool onGround = false;
    double halfSpanNm = 0.0;
};
UserForCollision gf_userForCollision();

// On the ground (COLLISION_USER_GND): an active live aircraft on the ground within 1.15 times the
// summed half spans, else, once the user has moved, an active static one within 1.1 times. In
// the air (COLLISION_USER_AIR): an active live aircraft on the ground ahead on the user's
// heading line below 500 ft above ground, or one in the air within 4 nm and 1000 ft whose own
// heading line passes within 700 ft of the user. Answers whether one was removed.
bool lf_checkUserCollisions(const UserForCollision& user);

// COLLISION_LIVE_PARKED_GND: every active live aircraft taxiing or parking that moved since the
// last check clears the static aircraft in its way.
void lf_avoidStaticsOfMovingLive();

// A live aircraft on the ground and its static copy (the static parked for the same flight:
// callsign + "*", or the same registration): the first active copy is removed.
bool lf_removeStaticTwinOfGroundLive();

// The lateral offsets (ft) of the air rules, angles in radians, distance in nm.
double gf_offsetFromUserHeadingFt(double bearingToOtherRad, double userHeadingRad, double distanceNm);
double gf_offsetFromOtherHeadingFt(double otherHeadingRad, double bearingToOtherRad, double distanceNm);

// Test only: the position of the last static check forgotten.
void gf_resetCollisionRulesForTest();
