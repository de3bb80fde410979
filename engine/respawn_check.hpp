#pragma once
// New identity data of a known flight (route, callsign, registration): taken while the aircraft
// waits in buffer; for an aircraft in the simulator a change of livery or tail number removes it
// and creates it again from where it is (the livery respawn). A creation that still waits to go
// to the simulator takes the new name and livery instead; one already sent respawns once shown.
// With GUID_CHANGES off none of this: the aircraft flies on as shown, a waiting creation goes as
// it was placed.
#include <string>

#include "engine/aircraft_records.hpp"
#include "traffic/traffic_records.hpp"

// True to take the record's point as usual; false when the record led to a respawn or was
// rejected, and nothing more is taken from it.
[[nodiscard]] bool lf_respawnCheck(LiveAircraft& aircraft, const LiveTrafficRecord& record);
// Removes the aircraft from the simulator to be created again at its current position, heading
// and phase.
void liveryRespawn(LiveAircraft& aircraft);
// Each second: the respawns that waited for room start as far as there is room now, also for a
// flight whose next record is still to come.
void lf_startDueRespawns();

// Origin and destination, each when the record has one that differs.
void lf_takeRouteStrings(LiveAircraft& aircraft, const LiveTrafficRecord& record);
// The route, the callsign and the registration, each when the record has one that differs.
void lf_takeFlightStrings(LiveAircraft& aircraft, const LiveTrafficRecord& record);
// Fills an empty route; takes a new route (both ends changed). False when the route changed or
// was filled.
[[nodiscard]] bool lf_checkRouteChange(LiveAircraft& aircraft, const LiveTrafficRecord& record);
// True when the new registration brings another livery (its special title or another airline
// and type); the livery is forgotten only when the aircraft respawns.
[[nodiscard]] bool lf_checkRegLivery(LiveAircraft& aircraft, const LiveTrafficRecord& record);
// True when the new registration belongs to the airline the callsign names, with another type
// or operator; the livery is forgotten only when the aircraft respawns.
[[nodiscard]] bool lf_checkRegAirline(LiveAircraft& aircraft, const LiveTrafficRecord& record);
// 1 when the livery stays, 0 when the new registration changes it. The registration is taken.
[[nodiscard]] int lf_checkRegistrationChange(LiveAircraft& aircraft, const LiveTrafficRecord& record);
// The livery and a stand are chosen again at the next spawn; a stand it stands on is free.
void lf_forgetLivery(LiveAircraft& aircraft);
