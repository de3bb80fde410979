// The engine's step of one tick with 500 live aircraft in flight, moved every tick along their
// tracks, beside 500 static aircraft at their stands; the same with a poll of reports of every
// flight every 2 s, taken in and decoded into the tracks; and the same with 1,500 more flights
// waiting in buffer. Then the main loop's own tick (the
// engine's step with its positions handed over to the send queue, and the per-second step) with
// 100 of the 500 taxiing through a field of the 500 statics, which the per-second step checks them
// against: a whole second of ticks, and the per-second step alone. Last, the held-stand check of
// one arrival taxiing along a lane through a field of 540 or 2,000 stands, every third held by a
// parked aircraft that still reports: its data moving on, or paused in front of a held stand.
// And the admission at the live limit of 500 with 2,000 records (500 shown, the rest waiting in
// buffer) and 1,000 answers to creations remembered, 0, 60 or 400 of the waiting flights keeping
// the place of a creation given up: the count of the live places, the choice of a place for a near
// newcomer, and the limit lowered so that every kept place must go.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_loop.hpp"
#include "app/run_requests.hpp"
#include "app/run_state.hpp"
#include "engine/aircraft_records.hpp"
#include "engine/creation_queue.hpp"
#include "engine/engine_state.hpp"
#include "engine/motion_math.hpp"
#include "engine/removal.hpp"
#include "engine/sim_results.hpp"
#include "engine/stand_claims.hpp"
#include "engine/stand_records.hpp"
#include "engine/traffic_driver.hpp"
#include "engine/traffic_intake.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/parameters.hpp"
#include "refdata/dbase.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_records.hpp"
#include "simlink/sim_state.hpp"

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

// The engine's lists empty, the A320 known, the lists this thread's from here on.
void lf_freshLists()
{
    gf_clearDbaseTables();
    aircraftTypes = {"A320"};
    largeTypes = {"A320"};
    lf_resetTraffic();
    lf_reserveTraffic();
    lf_handleAddingStack();
}

// 500 live aircraft in flight along their tracks, each beside a static aircraft at a stand.
void lf_placeInFlight()
{
    lf_freshLists();
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

// The 500 aircraft in flight and as many more flights in range as waiting, in buffer with their
// first points long ahead (as flights beyond the live limit wait): InFlight with none, CrowdedSky
// with 1,500, the tick then going over 2,000 records.
void BM_HandleAddingStack(benchmark::State& state, std::uint32_t waiting)
{
    lf_placeInFlight();
    liveAircraft.reserve(AIRCRAFT + waiting);
    for (std::uint32_t i = AIRCRAFT; i < AIRCRAFT + waiting; ++i)
        lf_handleReceivedFlight(lf_report(i, 1000.0));
    std::uint64_t ticks = 0;
    for (auto _ : state) {
        lf_handleAddingStack();
        if (++ticks % 10000 == 0) {
            state.PauseTiming();
            for (std::uint32_t i = 0; i < AIRCRAFT; ++i)
                lf_extendTrack(liveAircraft[i], i);
            state.ResumeTiming();
        }
    }
    std::size_t active = 0;
    std::size_t buffered = 0;
    for (const LiveAircraft& aircraft : liveAircraft) {
        active += aircraft.state == SimState::active ? 1 : 0;
        buffered += aircraft.state == SimState::buffer ? 1 : 0;
    }
    state.counters["active"] = static_cast<double>(active);
    state.counters["waiting"] = static_cast<double>(buffered);
    lf_resetTraffic();
    gf_clearDbaseTables();
}
BENCHMARK_CAPTURE(BM_HandleAddingStack, InFlight, 0u)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_HandleAddingStack, CrowdedSky, 1500u)->Unit(benchmark::kMicrosecond);


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


constexpr std::uint32_t TAXIING = 100;
// The field: rows of 25 stands from its north-west corner, a row and a stand apart in degrees.
constexpr std::uint32_t STATIC_ROW = 25;
constexpr LatLon FIELD_CORNER{52.28, 4.78};
constexpr double ROW_DEG = 0.00072;
constexpr double COLUMN_DEG = 0.00118;
constexpr double TAXI_STEP_DEG = 0.00004;  // per 4 s point: about 2 kt, along a lane between two rows
// A tick that is no multiple of the 15, 16 and 61 s schedules: only the per-second step runs.
constexpr int PLAIN_SECOND = 1;
constexpr int TICKS_PER_SECOND = 100;

// The aircraft taxis east along the lane between two rows of statics, on the ground.
void lf_extendTaxi(LiveAircraft& aircraft)
{
    while (aircraft.track.size() < TRACK_POINTS) {
        TrackPoint next = aircraft.track.back();
        next.lon += TAXI_STEP_DEG;
        next.altitude = 0.0;
        next.verticalRate = 0.0;
        next.airborne = false;
        next.playTick += POINT_SPACING_TICKS;
        aircraft.track.push_back(next);
    }
}

// The 500 in flight of lf_placeInFlight, the first 100 of them taxiing instead through a field of
// the 500 statics (20 rows of 25 stands); the simulator connected and running, the live-parked
// check on, the send queues empty.
void lf_placeAroundTheField()
{
    lf_placeInFlight();
    for (std::uint32_t i = 0; i < AIRCRAFT; ++i) {
        StaticAircraft& parked = staticAircraft[i];
        parked.standLat = FIELD_CORNER.lat - static_cast<double>(i / STATIC_ROW) * ROW_DEG;
        parked.standLon = FIELD_CORNER.lon + static_cast<double>(i % STATIC_ROW) * COLUMN_DEG;
    }
    for (std::uint32_t i = 0; i < TAXIING; ++i) {
        LiveAircraft& aircraft = liveAircraft[i];
        const double lane = FIELD_CORNER.lat - (static_cast<double>(i % 20) + 0.5) * ROW_DEG;
        const double start = FIELD_CORNER.lon + static_cast<double>(i / 20) * 5.0 * COLUMN_DEG;
        aircraft.track.resize(1);
        TrackPoint& first = aircraft.track.front();
        first.lat = lane;
        first.lon = start;
        first.altitude = 0.0;
        first.verticalRate = 0.0;
        first.airborne = false;
        aircraft.phase = FlightPhase::taxi;
        aircraft.onGround = true;
        aircraft.simPosition.lat = lane;
        aircraft.simPosition.lon = start;
        aircraft.simPosition.altitude = 0.0;
        lf_extendTaxi(aircraft);
    }
    COLLISION_LIVE_PARKED_GND.setValue(true);
    gf_resetSimSendQueues();
    simConnected.store(true);
    simPaused.store(false);
    flightPaused.store(false);
}

void lf_clearTheField()
{
    simConnected.store(false);
    COLLISION_LIVE_PARKED_GND.setValue(false);
    gf_resetSimSendQueues();
    gf_resetMainLoopForTest();
    lf_resetTraffic();
    gf_clearDbaseTables();
}

// Tracks topped up, out of the timing, so that no aircraft reaches the end of its track.
void lf_topUpTracks()
{
    for (std::uint32_t i = 0; i < liveAircraft.size(); ++i) {
        if (liveAircraft[i].phase == FlightPhase::taxi)
            lf_extendTaxi(liveAircraft[i]);
        else
            lf_extendTrack(liveAircraft[i], i);
    }
}

void lf_countField(benchmark::State& state)
{
    std::size_t taxiing = 0;
    std::size_t checked = 0;  // seen by the live-parked check at its last position
    for (const LiveAircraft& aircraft : liveAircraft) {
        taxiing += aircraft.state == SimState::active && aircraft.phase == FlightPhase::taxi ? 1 : 0;
        checked += aircraft.lastCheckPosition.lat == aircraft.simPosition.lat &&
                           aircraft.lastCheckPosition.lon == aircraft.simPosition.lon
                       ? 1
                       : 0;
    }
    std::size_t statics = 0;
    for (const StaticAircraft& parked : staticAircraft)
        statics += parked.state == SimState::active ? 1 : 0;
    state.counters["live"] = static_cast<double>(liveAircraft.size());
    state.counters["taxiing"] = static_cast<double>(taxiing);
    state.counters["checked"] = static_cast<double>(checked);
    state.counters["statics"] = static_cast<double>(statics);
}

// One second of the main loop: 100 ticks, the last with the user aircraft's report that runs the
// per-second step; each tick's positions handed over to the send queue, which a frame of the
// simulator client takes (emptied here between ticks, as a frame would). Time is per tick.
void BM_MainLoopSecondOfTicks(benchmark::State& state)
{
    lf_placeAroundTheField();
    std::uint64_t seconds = 0;
    std::size_t handedOver = 0;
    for (auto _ : state) {
        for (int t = 1; t <= TICKS_PER_SECOND; ++t) {
            if (t == TICKS_PER_SECOND) {
                secondCounter.store(PLAIN_SECOND - 1);
                newUserDatum.store(true);
            }
            static_cast<void>(lf_cycleStep());  // no stop is asked for: the loop is this one
            std::lock_guard<std::mutex> lock(simSendMutex);
            handedOver = gf_simSendQueues().flushBuffer().size();
            gf_simSendQueues().flushBuffer().clear();
        }
        if (++seconds % 100 == 0) {
            state.PauseTiming();
            lf_topUpTracks();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * TICKS_PER_SECOND);
    state.counters["tick_us"] = benchmark::Counter(static_cast<double>(state.iterations() * TICKS_PER_SECOND),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["positions_per_tick"] = static_cast<double>(handedOver);
    lf_countField(state);
    lf_clearTheField();
}
BENCHMARK(BM_MainLoopSecondOfTicks)->Unit(benchmark::kMicrosecond);

// The per-second step alone, after a tick has moved the aircraft.
void BM_MainLoopPerSecondStep(benchmark::State& state)
{
    lf_placeAroundTheField();
    std::uint64_t steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        lf_handleAddingStack();
        if (++steps % 10000 == 0)
            lf_topUpTracks();
        gf_clearPositionBuffers();
        secondCounter.store(PLAIN_SECOND - 1);
        state.ResumeTiming();
        lf_updateStep();
    }
    lf_countField(state);
    lf_clearTheField();
}
BENCHMARK(BM_MainLoopPerSecondStep)->Unit(benchmark::kMicrosecond);


// The stand field: rows of 30 stands (40 m radius) 60 m apart, the rows 70 m apart, a lane
// between each two rows, 35 m from the stand points on either side.
constexpr std::uint32_t STANDS_PER_ROW = 30;
constexpr double STAND_SPACING_M = 60.0;
constexpr double STAND_ROW_SPACING_M = 70.0;
constexpr double LANE_POINT_M = 4.0;  // 2 s apart at about 4 kt
constexpr std::size_t LANE_TRACK_POINTS = 15;

LatLon lf_fieldPoint(double northM, double eastM)
{
    return LatLon{FIELD_CORNER.lat + northM / METRES_PER_NM / 60.0,
                  FIELD_CORNER.lon + eastM / METRES_PER_NM / 60.0 / std::cos(FIELD_CORNER.lat * DEG_TO_RAD)};
}

// The stands, every third held by a live A320 parked there that still reports; an arrival taxiing
// east along the lane in the middle of the field, its track ending 35 m in front of a held stand,
// standing when paused.
LiveAircraft& lf_placeStandField(std::uint32_t stands, bool paused)
{
    lf_freshLists();
    gf_resetStandRecords();
    liveAircraft.reserve(stands / 3 + 2);
    const std::uint32_t rows = (stands + STANDS_PER_ROW - 1) / STANDS_PER_ROW;
    for (std::uint32_t i = 0; i < stands; ++i) {
        const LatLon at = lf_fieldPoint(-static_cast<double>(i / STANDS_PER_ROW) * STAND_ROW_SPACING_M,
                                        static_cast<double>(i % STANDS_PER_ROW) * STAND_SPACING_M);
        Stand& stand = parkStands.emplace_back(std::vector<StandOption>{}, vald::format("S{}", i + 1),
                                               Stand::Place{at.lat, at.lon, 0.0}, 40.0, false, false, false);
        stand.number = i + 1;
        if (i % 3 != 0)
            continue;
        FlightIdentity identity;
        identity.airline = "KLM";
        identity.type = "A320";
        identity.callsign = vald::format("KLM{}", i);
        AircraftInstance made = gf_makeAircraftInstance(identity);
        made.hexid = FIRST_HEXID + i;
        TrackPoint first;
        first.lat = at.lat;
        first.lon = at.lon;
        LiveAircraft& holder = liveAircraft.emplace_back(first, made, 1000.0);
        holder.state = SimState::active;
        holder.phase = FlightPhase::parked;
        holder.standNumber = stand.number;
        holder.simPosition.lat = at.lat;
        holder.simPosition.lon = at.lon;
        stand.occupied = 1;
    }
    // Along the lane south of the middle row, the last point 35 m in front of its 16th stand.
    const double laneNorthM = -(static_cast<double>(rows / 2) + 0.5) * STAND_ROW_SPACING_M;
    const double endEastM = 15.0 * STAND_SPACING_M;
    FlightIdentity identity;
    identity.airline = "KLM";
    identity.type = "A320";
    identity.callsign = "KLM1";
    AircraftInstance made = gf_makeAircraftInstance(identity);
    made.hexid = FIRST_HEXID + stands;
    TrackPoint point;
    point.groundSpeed = 4.0;
    point.playTick = tickCounter.load();
    LiveAircraft& arrival = liveAircraft.emplace_back(point, made, 1000.0);
    arrival.track.clear();
    for (std::size_t k = 0; k < LANE_TRACK_POINTS; ++k) {
        const LatLon at =
            lf_fieldPoint(laneNorthM, endEastM - static_cast<double>(LANE_TRACK_POINTS - 1 - k) * LANE_POINT_M);
        point.lat = at.lat;
        point.lon = at.lon;
        arrival.track.push_back(point);
        point.playTick += 200;
    }
    if (paused) {
        arrival.track.back().groundSpeed = 0.0;
        arrival.track.back().stationary = true;
    }
    const TrackPoint& newest = arrival.track.back();
    arrival.newest = NewestReport{newest.lat, newest.lon, newest.groundSpeed, 90.0, 1000.0, false, 0};
    arrival.state = SimState::active;
    arrival.phase = FlightPhase::taxi;
    arrival.onGround = true;
    arrival.simPosition.lat = arrival.track.front().lat;
    arrival.simPosition.lon = arrival.track.front().lon;
    arrival.curve.controlEastM = NAN;
    return arrival;
}

// The check as a new point or a segment start makes it. Nobody goes: the field stays as it is.
void BM_ApproachHeldStand(benchmark::State& state, bool paused)
{
    LiveAircraft& arrival = lf_placeStandField(static_cast<std::uint32_t>(state.range(0)), paused);
    std::size_t kept = 0;
    for (auto _ : state)
        kept += gf_approachHeldStand(arrival) ? 1 : 0;
    state.counters["kept"] = static_cast<double>(kept) / static_cast<double>(state.iterations());
    state.counters["active"] = static_cast<double>(gf_activeLiveCount());
    lf_resetTraffic();
    gf_resetStandRecords();
    gf_clearDbaseTables();
}
BENCHMARK_CAPTURE(BM_ApproachHeldStand, Moving, false)->Arg(540)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ApproachHeldStand, Paused, true)->Arg(540)->Arg(2000)->Unit(benchmark::kMicrosecond);

constexpr std::int32_t ADMISSION_LIMIT = 500;
constexpr std::uint32_t ADMISSION_RECORDS = 2000;
constexpr std::uint32_t REMEMBERED_ANSWERS = 1000;
constexpr Tick ANSWER_TICKS = 3000;  // every creation answered 30 s after it went
constexpr Tick GIVE_UP_TICKS = 500;   // the kept ones given up 5 s after they went
constexpr LatLon ADMISSION_USER{52.0, 4.0};

// A record north of the user by northNm, a little east by index, with points every 4 s ahead.
LiveAircraft& lf_addAdmissionRecord(std::uint32_t hexid, double northNm, SimState state, Tick from)
{
    FlightIdentity identity;
    identity.airline = "KLM";
    identity.type = "A320";
    identity.callsign = vald::format("KLM{}", hexid & 0xFFFF);
    AircraftInstance made = gf_makeAircraftInstance(identity);
    made.hexid = hexid;
    TrackPoint first;
    first.lat = ADMISSION_USER.lat + northNm / 60.0;
    first.lon = ADMISSION_USER.lon + 0.001 * static_cast<double>(hexid & 0xFF);
    first.altitude = 5000.0;
    first.airborne = true;
    first.groundSpeed = 250.0;
    first.playTick = from;
    LiveAircraft& aircraft = liveAircraft.emplace_back(first, made, 1000.0);
    for (int i = 1; i < 10; ++i) {
        TrackPoint next = aircraft.track.back();
        next.lat += 0.004;
        next.playTick += POINT_SPACING_TICKS;
        aircraft.track.push_back(next);
    }
    aircraft.newest = NewestReport{first.lat, first.lon, 250.0, 0.0, 1000.0, true, 0};
    aircraft.state = state;
    aircraft.simPosition.lat = first.lat;
    aircraft.simPosition.lon = first.lon;
    aircraft.simPosition.altitude = first.altitude;
    return aircraft;
}

// The creation of the aircraft goes to the simulator client now.
void lf_handOn(std::uint32_t hexid, Tick now)
{
    tickCounter.store(now);
    CreationRequest request;
    request.hexid = hexid;
    request.tailNumber = vald::format("KLM{}", hexid & 0xFFFF);
    request.liveryTitle = "KLM A320 livery";
    gf_waitingCreationsForTest().live.push_back(request);
    static_cast<void>(gf_handOnCreation());
}

void lf_answer(SimResult result, Tick now)
{
    tickCounter.store(now);
    gf_pushSimResult(result);
    lf_processSimResults();
}

// The scene at the live limit: 1,000 creations handed on a tenth of a second apart, each answered
// 30 s after it went; then `kept` flights whose creations the client gave up, each back in buffer
// with its next record (the newest records, last), 5 to 60 nm out among the 500 shown (1 to 50 nm
// out), and flights in buffer waiting farther out up to 2,000 records. The limit is 500 and as
// many as keep a place more, so that the count is at the limit.
void lf_buildAdmissionScene(std::uint32_t kept)
{
    lf_freshLists();
    gf_resetSimSendQueues();
    engineUserSnapshot.latitude = ADMISSION_USER.lat;
    engineUserSnapshot.longitude = ADMISSION_USER.lon;
    MAX_LIVE_SEL.setValue(ADMISSION_LIMIT + static_cast<std::int32_t>(kept));
    liveAircraft.reserve(ADMISSION_RECORDS + kept);
    constexpr std::uint32_t ANSWERED = 0x600000;
    for (std::uint32_t i = 0; i < REMEMBERED_ANSWERS; ++i)
        lf_handOn(ANSWERED + i, 10 * static_cast<Tick>(i));
    for (std::uint32_t i = 0; i < REMEMBERED_ANSWERS; ++i)
        lf_answer(SimResult{100 + i, ANSWERED + i, 0, SIM_RESULT_LIVE_CREATED, 0.0, 3000.0},
                  10 * static_cast<Tick>(i) + ANSWER_TICKS);
    gf_resetSimSendQueues();
    std::vector<SimResult> givenUp;
    const Tick sent = 10 * static_cast<Tick>(REMEMBERED_ANSWERS) + ANSWER_TICKS;
    constexpr std::uint32_t KEPT = 0x700000;
    const auto keptNm = [kept](std::uint32_t k) { return 5.0 + 55.0 * static_cast<double>(k) / kept; };
    for (std::uint32_t k = 0; k < kept; ++k) {
        lf_addAdmissionRecord(KEPT + k, keptNm(k), SimState::adding2sim, sent);
        lf_handOn(KEPT + k, sent);
        givenUp.push_back(SimResult{0, KEPT + k, 0, SIM_RESULT_CREATION_FAILED, CREATION_NOT_ANSWERED, 1.0 + k});
    }
    tickCounter.store(sent + GIVE_UP_TICKS);
    for (const SimResult& result : givenUp)
        gf_pushSimResult(result);
    lf_processSimResults();
    gf_resetSimSendQueues();
    const Tick now = sent + 2 * GIVE_UP_TICKS;
    tickCounter.store(now);
    constexpr std::uint32_t SHOWN = 0x400000;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(ADMISSION_LIMIT); ++i)
        lf_addAdmissionRecord(SHOWN + i, 1.0 + 0.1 * i, SimState::active, now).objectId = 5000 + i;
    constexpr std::uint32_t WAITING = 0x500000;
    for (std::uint32_t i = 0; liveAircraft.size() + kept < ADMISSION_RECORDS; ++i)
        lf_addAdmissionRecord(WAITING + i, 70.0 + 0.01 * i, SimState::buffer, now + 100);
    // The newest records last, as the intake adds them.
    for (std::uint32_t k = 0; k < kept; ++k)
        lf_addAdmissionRecord(KEPT + k, keptNm(k), SimState::buffer, now + 100);
}

void lf_clearAdmissionScene(std::int32_t limit)
{
    MAX_LIVE_SEL.setValue(limit);
    gf_resetSimSendQueues();
    lf_resetTraffic();
    gf_clearDbaseTables();
}

// What the spawn step asks of a newcomer at the limit: the count of the live places, and the place a
// newcomer 0.5 nm out may take.
void BM_LiveLimitCount(benchmark::State& state)
{
    const std::int32_t limit = MAX_LIVE_SEL.value();
    const auto kept = static_cast<std::uint32_t>(state.range(0));
    lf_buildAdmissionScene(kept);
    std::size_t counted = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(counted = gf_liveCount());
    state.counters["live_count"] = static_cast<double>(counted);
    state.counters["records"] = static_cast<double>(liveAircraft.size());
    lf_clearAdmissionScene(limit);
}
BENCHMARK(BM_LiveLimitCount)->Arg(0)->Arg(60)->Arg(400)->Unit(benchmark::kMicrosecond);

void BM_LiveLimitPlaceToTake(benchmark::State& state)
{
    const std::int32_t limit = MAX_LIVE_SEL.value();
    const auto kept = static_cast<std::uint32_t>(state.range(0));
    lf_buildAdmissionScene(kept);
    PlaceToTake place;
    for (auto _ : state)
        benchmark::DoNotOptimize(place = gf_placeToTake(0.5));
    state.counters["kept_place_taken"] = place.keptHexid != 0 ? 1.0 : 0.0;
    lf_clearAdmissionScene(limit);
}
BENCHMARK(BM_LiveLimitPlaceToTake)->Arg(0)->Arg(60)->Arg(400)->Unit(benchmark::kMicrosecond);

// The limit lowered by as many places as are kept: every kept place goes, and nothing else.
void BM_LiveLimitLowered(benchmark::State& state)
{
    const std::int32_t limit = MAX_LIVE_SEL.value();
    const auto kept = static_cast<std::uint32_t>(state.range(0));
    std::size_t after = 0;
    for (auto _ : state) {
        state.PauseTiming();
        lf_buildAdmissionScene(kept);
        MAX_LIVE_SEL.setValue(ADMISSION_LIMIT);
        state.ResumeTiming();
        lf_limitLiveCount();
        state.PauseTiming();
        after = gf_liveCount();
        state.ResumeTiming();
    }
    state.counters["live_count_after"] = static_cast<double>(after);
    state.counters["removals"] = static_cast<double>(removalQueue.size());
    lf_clearAdmissionScene(limit);
}
BENCHMARK(BM_LiveLimitLowered)->Arg(60)->Arg(400)->Iterations(20)->Unit(benchmark::kMicrosecond);


}  // namespace
