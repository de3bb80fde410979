#pragma once
// The engine's spine: the intake of received flights with their play-out ticks, the step of one
// 10 ms tick, the drain of the simulator's results, and the containers' reservation and reset.
#include <cstdint>
#include <vector>

#include "traffic/traffic_records.hpp"

// Traffic reader thread, after each reply: gives every record its play-out tick, spread round
// delay × 100 + the current tick by its data time's distance from the batch's median, in whole
// tenths of a second. History batches (delay other than 30) go into the engine at once; a live
// batch (30) becomes the intake when the run takes flights and the intake is empty. records is
// left empty either way: what was not taken is dropped.
void lf_scheduleReceived(std::vector<LiveTrafficRecord>& records, std::uint32_t delaySeconds);

// One received flight: a new point of a known aircraft or a new aircraft. Until the aircraft
// logic is in place every flight is passed over.
void lf_handleReceivedFlight(const LiveTrafficRecord& record);

// The engine's step of one tick (main loop, while the simulator is connected and not paused):
// results, live aircraft, one removal every 10 ticks and one creation every 50 ticks towards the
// simulator, at most two received flights, one creation request from the adding stack, the
// user snapshot every 100 ticks; then the tick counter advances.
void lf_handleAddingStack();

// Drains the simulator's results (also while paused): removed objects are erased, blocked
// flights removed; the other kinds are handled by the aircraft logic once it is in place.
void lf_processSimResults();

// Sets whether the run takes received flights (under the intake mutex).
void lf_setBufferedIntake(bool open);

// Once per process: the containers' capacities.
void lf_reserveTraffic();
// Before a new run: park airport forgotten, queues, adding stack, intake, results and aircraft
// emptied, QNH 1013, tick counter 0.
void lf_resetTraffic();
