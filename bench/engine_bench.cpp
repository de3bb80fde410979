// The engine's step of one tick with a busy sky: 500 live aircraft waiting in buffer and a full
// intake of reports of those flights.
#include <benchmark/benchmark.h>

#include <mutex>
#include <vector>

#include "engine/engine_state.hpp"
#include "engine/traffic_driver.hpp"
#include "refdata/dbase.hpp"

namespace {

constexpr std::uint32_t AIRCRAFT = 500;
constexpr std::uint32_t FIRST_HEXID = 0x400000;

LiveTrafficRecord lf_report(std::uint32_t index, double dataTime)
{
    LiveTrafficRecord record;
    record.hexId = FIRST_HEXID + index;
    record.flight.airline = "KLM";
    record.flight.type = "A320";
    record.flight.callsign = "KLM" + std::to_string(index);
    record.dataTime = dataTime;
    record.lat = 50.0 + index * 0.01 + dataTime * 1e-4;
    record.lon = 4.0;
    record.altitudeFt = 8000.0;
    record.airborne = true;
    record.groundSpeedKt = 250.0;
    record.trackDeg = static_cast<double>(static_cast<int>(dataTime) % 90);  // turning: never thinned
    record.playTick = 1'000'000;  // due long after the run: every aircraft waits in buffer
    return record;
}

// One report of every flight, a few seconds after the last one.
void lf_fillIntake(double dataTime)
{
    std::lock_guard<std::mutex> lock(intakeMutex);
    intake.clear();
    for (std::uint32_t i = 0; i < AIRCRAFT; ++i)
        intake.push_back(lf_report(i, dataTime));
}

void BM_HandleAddingStackBusySky(benchmark::State& state)
{
    gf_clearDbaseTables();
    aircraftTypes = {"A320"};
    largeTypes = {"A320"};
    lf_resetTraffic();
    lf_reserveTraffic();
    double dataTime = 1000.0;
    for (std::uint32_t i = 0; i < AIRCRAFT; ++i)
        lf_handleReceivedFlight(lf_report(i, dataTime));
    lf_setBufferedIntake(true);
    dataTime += 5.0;
    lf_fillIntake(dataTime);
    for (auto _ : state) {
        lf_handleAddingStack();
        bool refill = false;
        {
            std::lock_guard<std::mutex> lock(intakeMutex);
            refill = intake.size() < 2;
        }
        if (refill) {
            state.PauseTiming();
            for (LiveAircraft& aircraft : liveAircraft)
                aircraft.track.resize(1);  // keep the tracks short of their limit
            dataTime += 5.0;
            lf_fillIntake(dataTime);
            state.ResumeTiming();
        }
    }
    state.counters["live"] = static_cast<double>(liveAircraft.size());
    lf_setBufferedIntake(false);
    lf_resetTraffic();
    gf_clearDbaseTables();
}
BENCHMARK(BM_HandleAddingStackBusySky)->Unit(benchmark::kMicrosecond);

}  // namespace
