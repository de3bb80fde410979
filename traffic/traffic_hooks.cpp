#include "traffic/traffic_hooks.hpp"

#include "foundation/hook_store.hpp"

namespace {

TrafficHooks lf_defaultHooks()
{
    TrafficHooks hooks;
    hooks.userPosition = [] { return UserPositionSnapshot{}; };
    hooks.userStandName = [] { return std::string(); };
    hooks.blockedCallsignSeen = [](std::uint32_t) {};
    hooks.scheduleReceived = [](std::vector<LiveTrafficRecord>& records, TrafficBatchKind, std::uint32_t) {
        records.clear();
    };
    hooks.categoryEnabled = [](AircraftCategory) { return true; };
    hooks.publishEngineQnh = [](std::int32_t) {};
    hooks.parkAirport = [] { return ParkAirportSnapshot{}; };
    hooks.reservedStandName = [] { return std::string(); };
    hooks.setAuthenticated = [](bool) {};
    return hooks;
}

HookStore<TrafficHooks>& lf_store()
{
    static HookStore<TrafficHooks> store(&lf_defaultHooks);
    return store;
}

}  // namespace

void gf_registerTrafficHooks(TrafficHooks hooks)
{
    lf_store().update([&hooks](TrafficHooks& current) {
        gf_takeHook(current.userPosition, hooks.userPosition);
        gf_takeHook(current.userStandName, hooks.userStandName);
        gf_takeHook(current.blockedCallsignSeen, hooks.blockedCallsignSeen);
        gf_takeHook(current.scheduleReceived, hooks.scheduleReceived);
        gf_takeHook(current.categoryEnabled, hooks.categoryEnabled);
        gf_takeHook(current.publishEngineQnh, hooks.publishEngineQnh);
        gf_takeHook(current.parkAirport, hooks.parkAirport);
        gf_takeHook(current.reservedStandName, hooks.reservedStandName);
        gf_takeHook(current.setAuthenticated, hooks.setAuthenticated);
    });
}

std::shared_ptr<const TrafficHooks> gf_trafficHooks() { return lf_store().get(); }

void gf_resetTrafficHooks() { lf_store().reset(); }

std::array<bool, 6> gf_enabledCategories(const TrafficHooks& hooks)
{
    std::array<bool, 6> enabled{};
    for (std::size_t i = 0; i < enabled.size(); ++i)
        enabled[i] = hooks.categoryEnabled(static_cast<AircraftCategory>(i));
    return enabled;
}
