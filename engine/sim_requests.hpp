#pragma once
// The few requests the engine makes to the simulator directly rather than through the send
// queues (the aircraft around the user, the centre of gravity of a new aircraft). Each is made
// under simSendMutex and only while connected and no request has failed. A test replaces the
// port to play the simulator's side; the real one calls the SimConnect library.
#include <cstdint>
#include <functional>
#include <string>

struct EngineSimRequests {
    // Request 101: the aircraft within radiusMetres of the user. False when the call failed.
    std::function<bool(std::uint32_t radiusMetres)> aircraftInRange;
    // Request 102: static CG and pitch of one object, once. False when the call failed.
    std::function<bool(std::uint32_t objectId)> staticCg;
    // ALL_LIGHTS_TOGGLE transmitted at once to the object. False when the call failed.
    std::function<bool(std::uint32_t objectId)> allLightsToggle;
    // Request 110: the flight plan file for the object. True when the simulator took the call.
    std::function<bool(std::uint32_t objectId, const std::string& path)> flightPlan;
};

// Replaces the members that are not empty; gf_resetEngineSimRequests goes back to the library.
void gf_setEngineSimRequests(EngineSimRequests requests);
void gf_resetEngineSimRequests();
const EngineSimRequests& gf_engineSimRequests();
