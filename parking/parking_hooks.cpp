#include "parking/parking_hooks.hpp"

#include "engine/engine_hooks.hpp"
#include "parking/park_airport.hpp"
#include "refdata/airports.hpp"
#include "traffic/traffic_hooks.hpp"

void gf_registerParkingHooks()
{
    TrafficHooks traffic;
    traffic.parkAirport = &gf_parkAirport;
    traffic.reservedStandName = &gf_reservedStandName;
    gf_registerTrafficHooks(std::move(traffic));

    gf_setClosestStandQuery(&gf_readDestApfForClosestStand);

    EngineHooks engine;
    engine.forgetParkAirport = &lf_forgetParkAirport;
    gf_setEngineHooks(std::move(engine));
}
