#pragma once
// The client thread's side of the send queues: everything the worker queued is sent at the start
// of the next simulator frame, and creations stay pending until the simulator reports the new
// object or refuses it.
#include <cstdint>
#include <vector>

#include "simlink/sim_records.hpp"

// The frame flush, on every frame event. It never waits: when the worker holds simSendMutex the
// frame is skipped and everything stays queued for the next one. With the request-error flag set
// the queues are emptied without sending anything.
void lf_flushSendQueues();

// One creation and one removal (simSendMutex held, client thread).
void lf_createAcInSim(const CreationRequest& request);
void lf_removeAcFromSim(std::uint32_t objectId);

// A created aircraft was recognised: AI release control is sent at once and the three freeze
// events are queued, all under simSendMutex (client thread).
void lf_releaseAndFreeze(std::uint32_t objectId);

// Creations sent and not yet answered, in the order sent (client thread only; emptied by the
// reset before a run, when no client thread runs).
std::vector<PendingCreation>& gf_pendingCreations();
