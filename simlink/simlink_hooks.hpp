#pragma once
// What the simulator link needs of the layers above it, registered by them at start, and the
// registration of the simulator link's own answers into the traffic client's hooks.
#include <functional>
#include <memory>
#include <string>

#include "foundation/geodesy.hpp"

struct SimlinkHooks {
    // The simulator's connection ended: the run stops with SIM WAS CLOSED. Default: a stop with
    // that reason is requested.
    std::function<void()> simNoLongerConnected;
    // The simulator's major version as text ("5" or "6"); may throw vald::UserErrorException
    // when it cannot be told. Default: P3D_VERSION when it is 5 or more, else "5".
    std::function<std::string()> simVersionText;
    // The id of the stand within 55 m of a position; empty when none. Called on the worker
    // thread only (gf_serveUserStand). Default: no stands.
    std::function<std::string(const LatLon& position)> standNameAt;
    // The user stands still at this stand: when the first park airport of the list is the
    // current park airport and its reserved stand is another one, the stand becomes its reserved
    // stand and the list is saved. Called on the worker thread only. Default: nothing.
    std::function<void(const std::string& stand)> rememberUserStand;
};

// Replaces the members of hooks that are not empty.
void gf_setSimlinkHooks(SimlinkHooks hooks);
void gf_resetSimlinkHooks();
std::shared_ptr<const SimlinkHooks> gf_simlinkHooks();

// Registers the simulator link's user position and user stand into the traffic client's hooks.
void gf_registerSimlinkHooks();
