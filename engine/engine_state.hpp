#pragma once
// The engine's containers: the live and static aircraft, the removal queue towards the simulator
// client (the creations that wait are in engine/creation_queue), the intake of received flights and the per-run values
// that other parts read. The aircraft lists and queues belong to the worker thread (checked at
// the engine's entry points with gf_assertEngineOwner); the intake is shared with the traffic
// reader under intakeMutex; the rest are atomics.
#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "engine/aircraft_records.hpp"
#include "foundation/geodesy.hpp"
#include "simlink/sim_records.hpp"
#include "traffic/traffic_records.hpp"

// Ticks of the main loop since the run began (100 per second); the time base of play-out ticks.
// Signed: a point due before the run began has a negative tick and is simply overdue. Read by the
// traffic reader when it schedules a batch.
extern std::atomic<Tick> tickCounter;
inline constexpr Tick TICKS_PER_SECOND = 100;

extern std::vector<LiveAircraft> liveAircraft;
// The live aircraft with that hexid; nullptr when there is none.
LiveAircraft* gf_liveByHexid(std::uint32_t hexid);
extern std::vector<StaticAircraft> staticAircraft;
// Object ids to remove; the front goes to the simulator client every 10 ticks.
extern std::deque<std::uint32_t> removalQueue;
// Created aircraft waiting to be released, their ticks counted in SimResult::counter.
extern std::vector<SimResult> deferredResults;
// A landing flare is under way: the aircraft around the user are asked for every 20 ticks.
extern bool fastInRangeRequests;
// The simulator refused a creation for want of room: no creation is sent before this tick, or
// before an object is removed (0: creations go).
extern Tick creationsHeldUntil;

// Received flights waiting for the worker, under intakeMutex. The live intake holds one live
// poll at a time and is taken a share a tick (see gf_intakeShareOf), from the back; historyIntake holds the replayed
// history batches, in the order received, and is taken whole at the start of a tick. intakeOpen:
// whether the run takes live polls.
extern std::mutex intakeMutex;
extern std::vector<LiveTrafficRecord> intake;
extern std::vector<LiveTrafficRecord> historyIntake;
extern bool intakeOpen;

// The QNH (hPa) the engine uses for altitudes; written by the weather reader.
extern std::atomic<std::int32_t> engineQnh;
inline constexpr std::int32_t STANDARD_QNH = STANDARD_QNH_HPA;

// Callsigns (ending in '_') of ghost targets that were removed and are not spawned again.
extern std::vector<std::string> ghostList;
// New live aircraft whose coupled callsigns are still to be searched, one per second.
extern std::list<std::uint32_t> coupledCallsignQueue;

// The engine's copy of the user aircraft, refreshed every 100 ticks.
extern UserAircraftSnapshot engineUserSnapshot;

// Fails at once in checked builds when a thread other than the lists' owner calls in. The first
// thread to call after a reset becomes the owner.
void gf_assertEngineOwner();
// The next thread that calls in becomes the owner (a new run's worker).
void gf_releaseEngineOwner();
