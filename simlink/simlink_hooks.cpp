#include "simlink/simlink_hooks.hpp"

#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "foundation/hook_store.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/user_stand.hpp"
#include "traffic/traffic_hooks.hpp"

namespace {

constexpr std::int32_t OLDEST_SIM_VERSION = 5;

SimlinkHooks lf_defaultSimlinkHooks()
{
    SimlinkHooks hooks;
    hooks.simNoLongerConnected = [] { gf_requestStop(closing_reason::SIM_WAS_CLOSED, 0); };
    hooks.simVersionText = [] {
        const std::int32_t version = P3D_VERSION.value();
        return std::to_string(version >= OLDEST_SIM_VERSION ? version : OLDEST_SIM_VERSION);
    };
    hooks.standNameAt = [](const LatLon&) { return std::string(); };
    hooks.rememberUserStand = [](const std::string&) {};
    return hooks;
}

HookStore<SimlinkHooks>& lf_store()
{
    static HookStore<SimlinkHooks> store(&lf_defaultSimlinkHooks);
    return store;
}

}  // namespace

void gf_setSimlinkHooks(SimlinkHooks hooks)
{
    lf_store().update([&hooks](SimlinkHooks& current) {
        gf_takeHook(current.simNoLongerConnected, hooks.simNoLongerConnected);
        gf_takeHook(current.simVersionText, hooks.simVersionText);
        gf_takeHook(current.standNameAt, hooks.standNameAt);
        gf_takeHook(current.rememberUserStand, hooks.rememberUserStand);
    });
}

void gf_resetSimlinkHooks() { lf_store().reset(); }

std::shared_ptr<const SimlinkHooks> gf_simlinkHooks() { return lf_store().get(); }

void gf_registerSimlinkHooks()
{
    TrafficHooks hooks;
    hooks.userPosition = [] {
        const UserAircraftSnapshot user = gf_userSnapshot();
        return UserPositionSnapshot{user.latitude, user.longitude, user.altitude};
    };
    hooks.userStandName = [] { return gf_userStandName(); };
    gf_registerTrafficHooks(std::move(hooks));
}
