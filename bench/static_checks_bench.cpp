// The checks between live and static aircraft that run once a second and once a minute, with N
// live and N static aircraft at one airport: "live taxiing beside parked" (every taxiing live
// aircraft against the statics near it) and the static twin of a live aircraft on the ground (none
// found: the whole field is looked at). Beside each, the plain pass over every pair that the
// program made before, on the same field, as the yardstick.
#include <benchmark/benchmark.h>

#include <string>

#include "app/collision_rules.hpp"
#include "engine/engine_state.hpp"
#include "engine/traffic_driver.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/parameters.hpp"
#include "refdata/dbase.hpp"

namespace {

constexpr double CLEARANCE_FACTOR = 1.1;

// N statics on a grid of stands 80 m apart, N live aircraft taxiing between the rows, touching none.
void lf_fillField(std::uint32_t count)
{
    gf_clearDbaseTables();
    aircraftTypes = {"A320"};
    largeTypes = {"A320"};
    lf_resetTraffic();
    lf_reserveTraffic();
    lf_handleAddingStack();  // the lists belong to this thread from here on
    AircraftInstance made;
    made.identity.type = "A320";
    made.halfSpan = 0.009;
    for (std::uint32_t i = 0; i < count; ++i) {
        const double lat = 52.28 - static_cast<double>(i / 40) * 0.00072;
        const double lon = 4.78 + static_cast<double>(i % 40) * 0.00118;
        made.hexid = i + 1;
        made.identity.callsign = vald::format("S{}*", i);
        made.identity.registration = vald::format("PH-S{}", i);
        StaticAircraft& parked = staticAircraft.emplace_back(made, i + 1, StandPlacement{lat, lon, 90.0}, false);
        parked.state = SimState::active;
        parked.objectId = 1000 + i;
        made.hexid = 0x400000 + i;
        made.identity.callsign = vald::format("L{}", i);
        made.identity.registration = vald::format("PH-L{}", i);
        LiveAircraft& live = liveAircraft.emplace_back(TrackPoint{}, made, 0.0);
        live.state = SimState::active;
        live.phase = FlightPhase::taxi;
        live.onGround = true;
        live.objectId = 5000 + i;
        live.simPosition.lat = lat - 0.00036;  // half a row away
        live.simPosition.lon = lon;
    }
    COLLISION_LIVE_PARKED_GND.setValue(true);
}

void lf_clearField()
{
    COLLISION_LIVE_PARKED_GND.setValue(false);
    lf_resetTraffic();
    gf_clearDbaseTables();
}

void BM_LiveBesideStatics(benchmark::State& state)
{
    lf_fillField(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        for (LiveAircraft& aircraft : liveAircraft)
            aircraft.lastCheckPosition = LatLon{};  // every aircraft has moved since the last check
        lf_avoidStaticsOfMovingLive();
    }
    state.counters["removed"] = static_cast<double>(removalQueue.size());
    lf_clearField();
}

void BM_LiveBesideStaticsPlainPass(benchmark::State& state)
{
    lf_fillField(static_cast<std::uint32_t>(state.range(0)));
    std::size_t touched = 0;
    for (auto _ : state) {
        for (const LiveAircraft& aircraft : liveAircraft) {
            const LatLon at{aircraft.simPosition.lat, aircraft.simPosition.lon};
            for (const StaticAircraft& parked : staticAircraft) {
                if (parked.state != SimState::active || parked.identity.callsign == aircraft.identity.callsign)
                    continue;
                if (!(gf_distanceNm(LatLon{parked.standLat, parked.standLon}, at) >
                      CLEARANCE_FACTOR * (parked.halfSpan + aircraft.halfSpan))) {
                    ++touched;
                    break;
                }
            }
        }
        benchmark::DoNotOptimize(touched);
    }
    state.counters["removed"] = static_cast<double>(touched);
    lf_clearField();
}

void BM_StaticTwinCheck(benchmark::State& state)
{
    lf_fillField(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(lf_removeStaticTwinOfGroundLive());
    lf_clearField();
}

void BM_StaticTwinCheckPlainPass(benchmark::State& state)
{
    lf_fillField(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        bool found = false;
        for (const LiveAircraft& live : liveAircraft) {
            const std::string key = live.identity.callsign + "*";
            for (const StaticAircraft& twin : staticAircraft)
                found = found || ((twin.identity.callsign == key || twin.identity.registration ==
                                                                         live.identity.registration) &&
                                  twin.state == SimState::active);
        }
        benchmark::DoNotOptimize(found);
    }
    lf_clearField();
}

BENCHMARK(BM_LiveBesideStatics)->Arg(500)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveBesideStaticsPlainPass)->Arg(500)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StaticTwinCheck)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StaticTwinCheckPlainPass)->Arg(5000)->Unit(benchmark::kMicrosecond);

}  // namespace
