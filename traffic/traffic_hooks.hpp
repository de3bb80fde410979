#pragma once
// What the traffic client needs of the layers above it (the simulator link, the engine, the
// stand logic and the window), as callbacks that those layers register at start. Each layer
// registers only its own members; a member left empty keeps its current value, which is a safe
// default until someone registers it. Registration may happen on any thread at any time: the
// hooks are published as an immutable snapshot, and every caller works on the snapshot it took.
//
// Each hook is called from the traffic reader or weather reader thread (or the worker, for the
// login) and must therefore be safe to call from there: answer copies taken under the owner's
// lock, or atomics.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/geodesy.hpp"
#include "refdata/type_queries.hpp"
#include "traffic/traffic_records.hpp"

// The last reported position of the user aircraft.
struct UserPositionSnapshot {
    double lat = 0.0;         // degrees
    double lon = 0.0;         // degrees
    double altitudeFt = 0.0;  // feet
};

// The park airport of the stand logic; icao empty when none is chosen.
struct ParkAirportSnapshot {
    std::string icao;
    LatLon position;
    double elevationFt = 0.0;
};

struct TrafficHooks {
    // Simulator link. Default: no position yet (0, 0, 0); no stand under the user.
    std::function<UserPositionSnapshot()> userPosition;
    std::function<std::string()> userStandName;

    // Engine. blockedCallsignSeen pushes the engine's "blocked callsign" result for that hexid
    // (default: nothing). scheduleReceived takes a batch of live records with its kind and its
    // play-out delay in seconds and leaves the vector empty (default: the batch is dropped). categoryEnabled
    // answers whether a category is switched on (the engine's gf_categoryEnabled; default: every
    // category). publishEngineQnh hands the engine a new QNH in hPa (default: nothing).
    std::function<void(std::uint32_t hexId)> blockedCallsignSeen;
    std::function<void(std::vector<LiveTrafficRecord>& records, TrafficBatchKind kind, std::uint32_t delaySeconds)>
        scheduleReceived;
    std::function<bool(AircraftCategory category)> categoryEnabled;
    std::function<void(std::int32_t qnhHpa)> publishEngineQnh;

    // Stand logic. Default: no park airport, no reserved stand.
    std::function<ParkAirportSnapshot()> parkAirport;
    std::function<std::string()> reservedStandName;

    // Window (the status line is foundation/status_sink.hpp, a stop of the run gf_requestStop of
    // foundation/run_state.hpp). setAuthenticated sets the window's logged-in flag and repaints
    // (default: nothing).
    std::function<void(bool authenticated)> setAuthenticated;
};

// Replaces the members of hooks that are not empty.
void gf_registerTrafficHooks(TrafficHooks hooks);
// The current hooks; every member is callable.
std::shared_ptr<const TrafficHooks> gf_trafficHooks();
// Back to the defaults (tests, and a layer that unloads).
void gf_resetTrafficHooks();

// Whether each AircraftCategory (indexed by its value) is switched on, asked once.
std::array<bool, 6> gf_enabledCategories(const TrafficHooks& hooks);
