#include "engine/engine_hooks.hpp"

#include "engine/aircraft_records.hpp"
#include "engine/engine_state.hpp"
#include "engine/stand_search.hpp"
#include "engine/traffic_intake.hpp"
#include "foundation/hook_store.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/simlink_hooks.hpp"
#include "traffic/traffic_hooks.hpp"

namespace {

EngineHooks lf_defaultEngineHooks()
{
    EngineHooks hooks;
    hooks.forgetParkAirport = [] {};
    hooks.parkAirport = [] { return ParkAirportSnapshot{}; };
    hooks.reservedStandName = [] { return std::string(); };
    hooks.erasePlannedStand = [](std::uint32_t) {};
    hooks.softLearningAllowed = [] { return false; };
    return hooks;
}

HookStore<EngineHooks>& lf_store()
{
    static HookStore<EngineHooks> store(&lf_defaultEngineHooks);
    return store;
}

}  // namespace

void gf_setEngineHooks(EngineHooks hooks)
{
    lf_store().update([&hooks](EngineHooks& current) {
        gf_takeHook(current.forgetParkAirport, hooks.forgetParkAirport);
        gf_takeHook(current.parkAirport, hooks.parkAirport);
        gf_takeHook(current.reservedStandName, hooks.reservedStandName);
        gf_takeHook(current.erasePlannedStand, hooks.erasePlannedStand);
        gf_takeHook(current.softLearningAllowed, hooks.softLearningAllowed);
    });
}

void gf_resetEngineHooks() { lf_store().reset(); }

std::shared_ptr<const EngineHooks> gf_engineHooks() { return lf_store().get(); }

std::optional<LatLon> lf_parkAirportPosition()
{
    const ParkAirportSnapshot airport = gf_engineHooks()->parkAirport();
    return airport.icao.empty() ? std::nullopt : std::optional<LatLon>(airport.position);
}

std::optional<double> lf_parkAirportElevation()
{
    const ParkAirportSnapshot airport = gf_engineHooks()->parkAirport();
    return airport.icao.empty() ? std::nullopt : std::optional<double>(airport.elevationFt);
}

void gf_registerEngineHooks()
{
    TrafficHooks hooks;
    hooks.blockedCallsignSeen = [](std::uint32_t hexId) {
        SimResult blocked;
        blocked.hexid = hexId;
        blocked.kind = SIM_RESULT_BLOCKED;
        gf_pushSimResult(blocked);
    };
    hooks.scheduleReceived = &lf_scheduleReceived;
    hooks.categoryEnabled = &gf_categoryEnabled;
    hooks.publishEngineQnh = [](std::int32_t qnhHpa) { engineQnh.exchange(qnhHpa); };
    gf_registerTrafficHooks(std::move(hooks));

    // The simulator link asks for the stand under the user aircraft on the worker thread.
    SimlinkHooks simlink;
    simlink.standNameAt = &gf_standNameAt;
    gf_setSimlinkHooks(std::move(simlink));
}
