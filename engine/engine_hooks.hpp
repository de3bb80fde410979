#pragma once
// What the engine needs of the stand logic above it, registered by that layer at start, and the
// registration of the engine's own services into the traffic client's hooks.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "foundation/geodesy.hpp"

struct EngineHooks {
    // The park airport is forgotten before a new run (its code, position and elevation).
    // Default: nothing to forget.
    std::function<void()> forgetParkAirport;
    // The park airport's elevation in feet; none while no park airport is set. Default: none.
    std::function<std::optional<double>()> parkAirportElevationFt;
    // The park airport's position; none while no park airport is set. Default: none.
    std::function<std::optional<LatLon>()> parkAirportPosition;
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

// Registers into the traffic client: the blocked-callsign result, the scheduling of received
// batches (lf_scheduleReceived), the category switches and the engine's QNH.
// Registers into the simulator link: the stand at a position (gf_standNameAt).
void gf_registerEngineHooks();
