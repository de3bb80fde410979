#pragma once
// The engine's containers: the live and static aircraft, the creation and removal queues towards
// the simulator client, the adding stack, the intake of received flights and the per-run values
// that other parts read. Touched by the worker thread only, except the intake (under its mutex,
// also from the traffic reader) and the atomics.
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

using CreationQueue = std::deque<CreationRequest>;

// Ticks of the main loop since the run began (100 per second); the time base of play-out ticks.
// Read by the traffic reader when it schedules a batch.
extern std::atomic<std::int32_t> tickCounter;

extern std::vector<LiveAircraft> liveAircraft;
extern std::vector<StaticAircraft> staticAircraft;
// Hexids of aircraft in adding2sim whose creation request is not made yet; the last is served first.
extern std::vector<std::uint32_t> addingStack;
extern CreationQueue liveCreationQueue;
extern CreationQueue staticCreationQueue;
// Object ids to remove; the front goes to the simulator client every 10 ticks.
extern std::deque<std::uint32_t> removalQueue;

// Received flights waiting for the main loop, and whether the run takes any. Both under
// intakeMutex.
extern std::mutex intakeMutex;
extern std::vector<LiveTrafficRecord> intake;
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
