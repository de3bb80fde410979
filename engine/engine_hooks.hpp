#pragma once
// What the engine needs of the stand logic above it, registered by that layer at start, and the
// registration of the engine's own services into the traffic client's hooks.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/geodesy.hpp"
#include "traffic/traffic_hooks.hpp"

struct EngineHooks {
    // The park airport is forgotten before a new run (its code, position and elevation).
    // Default: nothing to forget.
    std::function<void()> forgetParkAirport;
    // The park airport: its code (empty while none is set), position and elevation in feet.
    // Default: none.
    std::function<ParkAirportSnapshot()> parkAirport;
    // The stand kept free for the user's aircraft at the park airport; empty when there is none.
    // Default: none.
    std::function<std::string()> reservedStandName;
    // A live aircraft took the stand with this number: the static parking planned for it is
    // dropped. Default: nothing is planned.
    std::function<void(std::uint32_t standNumber)> erasePlannedStand;
    // Soft stand learning is offered at the park airport (poor stand data or few stands).
    // Default: not offered.
    std::function<bool()> softLearningAllowed;
};

// Replaces the members of hooks that are not empty.
void gf_setEngineHooks(EngineHooks hooks);
void gf_resetEngineHooks();
std::shared_ptr<const EngineHooks> gf_engineHooks();

// The park airport's position and its elevation (feet) from the hooks; none while no park
// airport is set.
std::optional<LatLon> lf_parkAirportPosition();
std::optional<double> lf_parkAirportElevation();

// Registers into the traffic client: the blocked-callsign result, the scheduling of received
// batches (lf_scheduleReceived), the category switches and the engine's QNH.
// Registers into the simulator link: the stand at a position (gf_standNameAt).
void gf_registerEngineHooks();
