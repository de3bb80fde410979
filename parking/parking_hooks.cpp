#include "parking/parking_hooks.hpp"

#include "engine/engine_hooks.hpp"
#include "parking/park_airport.hpp"
#include "parking/park_file.hpp"
#include "parking/static_planning.hpp"
#include "refdata/airports.hpp"
#include "simlink/simlink_hooks.hpp"
#include "traffic/traffic_hooks.hpp"

void gf_registerParkingHooks()
{
    TrafficHooks traffic;
    traffic.parkAirport = &gf_parkAirport;
    traffic.reservedStandName = &gf_reservedStandName;
    gf_registerTrafficHooks(std::move(traffic));

    gf_setClosestStandQuery([](const AirportRecord& airport, const LatLon& position, std::string& standId) {
        return gf_readDestApfForClosestStand(airport.code, position, standId);
    });

    EngineHooks engine;
    engine.forgetParkAirport = &lf_forgetParkAirport;
    engine.parkAirport = &gf_parkAirport;
    engine.reservedStandName = &gf_reservedStandName;
    engine.erasePlannedStand = &lf_erasePlannedStand;
    // Read by the worker, which also owns the flag.
    engine.softLearningAllowed = [] { return softLearningAllowed; };
    gf_setEngineHooks(std::move(engine));

    SimlinkHooks simlink;
    simlink.rememberUserStand = &lf_rememberUserStand;
    gf_setSimlinkHooks(std::move(simlink));
}
