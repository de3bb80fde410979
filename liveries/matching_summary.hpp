#pragma once
// What the livery matching reports about itself: the aircraft keys it found no livery for, and
// the counters per matching step with the titles that failed to create.

// Logs the aircraft keys for which no livery matched (every 1200 seconds and at a run's end).
void gf_logUnmatched();
// Logs the matching summary; nothing while every counter is 0 (daily and at a run's end).
void gf_liveryMatchingSummary();
