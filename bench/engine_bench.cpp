// The engine's step of one tick with 500 live aircraft in flight, moved every tick along their
// tracks, beside 500 static aircraft at their stands; and the same with a poll of reports of every
// flight every 2 s, taken in and decoded into the tracks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "engine/engine_state.hpp"
#include "engine/motion_math.hpp"
#include "engine/traffic_driver.hpp"
#include "engine/traffic_intake.hpp"
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

// 500 live aircraft in flight along their tracks, each beside a static aircraft at a stand.
void lf_placeInFlight()
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
}

void BM_HandleAddingStackInFlight(benchmark::State& state)
{
    lf_placeInFlight();
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


// A busy sky: the 500 aircraft in flight, and a poll with a report of every one of them every
// 2 s (200 ticks), taken in a share a tick and each report decoded into its aircraft's track.
void BM_HandleAddingStackBusySky(benchmark::State& state)
{
    lf_placeInFlight();
    lf_setBufferedIntake(true);
    double dataTime = 1000.0;
    std::uint64_t ticks = 0;
    std::uint64_t taken = 0;
    for (auto _ : state) {
        if (ticks % 200 == 0) {
            state.PauseTiming();
            dataTime += 2.0;
            std::vector<LiveTrafficRecord> poll;
            for (std::uint32_t i = 0; i < AIRCRAFT; ++i)
                poll.push_back(lf_report(i, dataTime));
            lf_scheduleReceived(poll, TrafficBatchKind::live, 0);
            for (std::uint32_t i = 0; i < liveAircraft.size(); ++i) {
                liveAircraft[i].track.resize(std::min<std::size_t>(liveAircraft[i].track.size(), 2));
                lf_extendTrack(liveAircraft[i], i);
            }
            state.ResumeTiming();
        }
        ++ticks;
        lf_handleAddingStack();
    }
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        taken = ticks / 200 * AIRCRAFT - intake.size();
    }
    state.counters["reports_taken"] = static_cast<double>(taken);
    lf_setBufferedIntake(false);
    lf_resetTraffic();
    gf_clearDbaseTables();
}
BENCHMARK(BM_HandleAddingStackBusySky)->Unit(benchmark::kMicrosecond);

}  // namespace
