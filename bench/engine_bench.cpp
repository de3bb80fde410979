// The engine's step of one tick with a busy sky: 500 live aircraft waiting in buffer and a full
// intake of reports of those flights; and 500 live aircraft in flight, moved every tick along
// their tracks, beside 500 static aircraft at their stands.
#include <benchmark/benchmark.h>

#include <cmath>
#include <mutex>
#include <vector>

#include "engine/engine_state.hpp"
#include "engine/motion_math.hpp"
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

constexpr std::size_t TRACK_POINTS = 150;
constexpr Tick POINT_SPACING_TICKS = 400;

// Points every 4 s ahead of the aircraft, north-east and weaving, climbing slowly.
void lf_extendTrack(LiveAircraft& aircraft, std::uint32_t index)
{
    while (aircraft.track.size() < TRACK_POINTS) {
        TrackPoint next = aircraft.track.back();
        const double k = static_cast<double>(next.playTick / POINT_SPACING_TICKS + 1);
        next.lat += 0.0045;
        next.lon += 0.002 * std::sin(k * 0.3 + index);
        next.altitude += 20.0;
        next.verticalRate = 300.0;
        next.playTick += POINT_SPACING_TICKS;
        aircraft.track.push_back(next);
    }
}

void BM_HandleAddingStackInFlight(benchmark::State& state)
{
    gf_clearDbaseTables();
    aircraftTypes = {"A320"};
    largeTypes = {"A320"};
    lf_resetTraffic();
    lf_reserveTraffic();
    lf_handleAddingStack();  // the lists belong to this thread from here on
    for (std::uint32_t i = 0; i < AIRCRAFT; ++i) {
        const LiveTrafficRecord report = lf_report(i, 1000.0);
        AircraftInstance made = gf_makeAircraftInstance(report.flight);
        made.hexid = report.hexId;
        made.currentTurnRate = made.turnRate;
        made.maxClimbStep = gf_categoryConstants(made.category).maxClimbStepFt;
        TrackPoint first = gf_trackPointOf(report);
        first.playTick = tickCounter.load();
        LiveAircraft& aircraft = liveAircraft.emplace_back(first, made, report.dataTime);
        aircraft.state = SimState::active;
        aircraft.phase = FlightPhase::flying;
        aircraft.objectId = 100 + i;
        aircraft.simPosition.lat = first.lat;
        aircraft.simPosition.lon = first.lon;
        aircraft.simPosition.altitude = first.altitude;
        lf_extendTrack(aircraft, i);
        StaticAircraft& parked = staticAircraft.emplace_back(made, i + 1, StandPlacement{52.3, 4.76, 1.0}, false);
        parked.hexid = i;
        parked.state = SimState::active;
        parked.objectId = 1000 + i;
    }
    std::uint64_t ticks = 0;
    for (auto _ : state) {
        lf_handleAddingStack();
        if (++ticks % 10000 == 0) {
            state.PauseTiming();
            for (std::uint32_t i = 0; i < liveAircraft.size(); ++i)
                lf_extendTrack(liveAircraft[i], i);
            state.ResumeTiming();
        }
    }
    std::size_t active = 0;
    for (const LiveAircraft& aircraft : liveAircraft)
        active += aircraft.state == SimState::active ? 1 : 0;
    state.counters["active"] = static_cast<double>(active);
    lf_resetTraffic();
    gf_clearDbaseTables();
}
BENCHMARK(BM_HandleAddingStackInFlight)->Unit(benchmark::kMicrosecond);

}  // namespace
