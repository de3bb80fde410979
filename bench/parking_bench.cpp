// The closest-airport search that the park-airport choice runs every second inside a 10 ms tick:
// the grid index against the scan over the whole table, over 40,000 generated airports.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "foundation/format.hpp"
#include "refdata/airports.hpp"

namespace {

constexpr int AIRPORT_COUNT = 40000;

std::vector<LatLon> lf_fillAirports()
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lat(-60.0, 70.0);
    std::uniform_real_distribution<double> lon(-180.0, 180.0);
    std::uniform_real_distribution<double> near(-0.05, 0.05);
    gf_resetAirports();
    for (int i = 0; i < AIRPORT_COUNT; ++i)
        airportRecords.push_back({vald::format("X{:05}", i), "", lat(random), lon(random), 0.0, 0});
    gf_buildAirportIndex();
    // Half the questions near an airport, half anywhere.
    std::vector<LatLon> positions;
    for (int i = 0; i < 256; ++i) {
        const AirportRecord& airport = airportRecords[random() % airportRecords.size()];
        positions.push_back(i % 2 == 0 ? LatLon{airport.lat + near(random), airport.lon + near(random)}
                                       : LatLon{lat(random), lon(random)});
    }
    return positions;
}

template <const AirportRecord* (*Search)(const LatLon&)>
void BM_Closest(benchmark::State& state)
{
    const std::vector<LatLon> positions = lf_fillAirports();
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Search(positions[next]));
        next = (next + 1) % positions.size();
    }
    state.counters["airports"] = static_cast<double>(airportRecords.size());
    gf_resetAirports();
}

void BM_ClosestAirportIndexed40k(benchmark::State& state) { BM_Closest<&gf_closestAirport>(state); }
void BM_ClosestAirportScan40k(benchmark::State& state) { BM_Closest<&gf_closestAirportByScan>(state); }

}  // namespace

BENCHMARK(BM_ClosestAirportIndexed40k)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClosestAirportScan40k)->Unit(benchmark::kMicrosecond);
