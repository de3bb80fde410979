#pragma once
// The limit on concurrently running scan tasks, shared by the liveries scan and the airport scan:
// at most one task per hardware thread. The worker thread sets the limit and zeroes the count at
// every start of a run, before any scan; the scan's folder walk waits for a free slot before it
// starts a task and counts the task in; each task counts itself out when it ends.
#include <atomic>
#include <cstdint>

extern std::atomic<std::int32_t> scanWorkerLimit;
extern std::atomic<std::int32_t> scanWorkerCount;

// Returns once fewer tasks run than the limit allows, checking in rounds of 10 microseconds.
void gf_waitForWorkerSlot();
// A task has ended.
void gf_workerDone();
