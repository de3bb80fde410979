#pragma once
// The engine's step of every 10 ms tick on the worker, the drain of the simulator's results, and
// the containers' reservation and reset. The creations on their way are creation_queue's: this
// step only asks it to serve the adding stack and to hand a creation on at each creation slot.
//
// Road of one received flight to a position in the simulator:
//   traffic reader -> lf_scheduleReceived (traffic_intake: play-out ticks, history or intake)
//   -> lf_takeHistory / lf_takeFromIntake (this step) -> lf_handleReceivedFlight
//   -> lf_newLiveFlight -> lf_addNewLiveAc: a LiveAircraft in buffer
//   -> updateLiveAc (position_stream) -> lf_spawnStep (spawn_step): placed, its hexid on the
//      adding stack (creation_queue)
//   -> gf_serveAddingStack (this step, once a tick): a CreationRequest on the live creation queue
//   -> lf_handleSimQueues: gf_handOnCreation, one creation per 50 ticks -> simulator client;
//   -> lf_processSimResults (sim_results): its object; released 200 ticks later, active;
//   once active, updateLiveAc queues its position every tick and lf_updateAllLiveAc hands the
//   tick's positions over (gf_swapPositionBuffers).
#include <cstdint>

#include "engine/aircraft_records.hpp"

// The intake of received flights, the first stretch of the road into the engine.
#include "engine/traffic_intake.hpp"

// The step of one tick (main loop, while the simulator is connected and not paused), in order:
// history batches still queued; results; every live aircraft (lf_updateAllLiveAc); the queues
// towards the simulator (lf_handleSimQueues); at most two received flights; once a second the
// respawns that are due and the aircraft standing in each other's wings (stand_claims); one
// creation request from the adding stack; the aircraft-in-range request every 100 ticks (20 during a
// flare); the user snapshot every 100 ticks; then the tick counter advances.
void lf_handleAddingStack();

// updateLiveAc for every live aircraft; records flagged skip or dequeued are erased (keeping
// the order of the others); the tick's positions go to the simulator thread.
void lf_updateAllLiveAc();
// On every 10th tick one removal; on every 50th one live creation, or else one static creation
// and one static parking step; no creation while the simulator has no room (creationsHeldUntil).
void lf_handleSimQueues();

// The drain of the simulator's results, called first in each tick.
#include "engine/sim_results.hpp"

// Once per process: the containers' capacities.
void lf_reserveTraffic();
// Before a new run, when the previous run's worker has ended, and before every engine test: the
// park airport forgotten and every list of the engine emptied (queues, adding stack, intakes,
// results, aircraft, the plan and the stands, the ghosts, the parked live list, the stand uses),
// QNH 1013, tick counter 0; the lists are released for the next run's worker. A list added to
// the engine is emptied here too.
void lf_resetTraffic();
