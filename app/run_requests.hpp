#pragma once
// Requests that the window's commands hand to the worker thread. The commands run on the UI
// thread and never touch the lists the worker owns (live and static aircraft, the park-airport
// list, the callsign list); they set a flag here (or queue the data) and the worker serves it
// in its per-second step. Each comment names who serves the request.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/geodesy.hpp"

// --- Served by the run's per-second and 15-second steps (run_session / main_loop) ---

// Flush static button: sweep every static aircraft, then INITIAL_LOAD_ONLY on. Served by the
// per-second step, which clears it.
extern std::atomic<bool> flushStaticRequested;
// cs->oid: button: refill the CALLSIGN_2_OBJECTID list (lf_fillCallsignList). Served by the
// per-second step, which clears it.
extern std::atomic<bool> callsignToObjectIdRequested;
// BLOCK_CALLSIGN changed: remove the live aircraft with that callsign. Served by the
// per-second step, which clears it in any case; cleared by the reset of a run.
extern std::atomic<bool> blockRequested;
// Re-read button: re-read my_park_airports.txt and check the reserved stand. Served by
// lf_serveReRead (per-second / 15-second / paused steps), which clears it.
extern std::atomic<bool> reReadRequested;
// A static-parking update was announced (Now button, countdown, time shift). Served by the
// 15-second schedule in two phases, which clears it; cleared by the reset of a run.
extern std::atomic<bool> parkingUpdateRequested;
// Argument of the next lf_adjustParking; set by RT_PARKTRAFFIC_ONLY, taken and cleared by the
// second parking phase of the 15-second schedule.
extern std::atomic<bool> parkingForce;
// The announced update only tries the failed parked-traffic fetch again (INITIAL_LOAD_ONLY on):
// set by the countdown, cleared by any other announcement and by the second parking phase.
extern std::atomic<bool> parkedRetryOnly;

// --- Served by lf_serveCommandRequests (below), called by the worker's per-second step ---

// MAX_LIVE_SEL changed: remove the farthest active live aircraft above the limit.
extern std::atomic<bool> limitLiveCountRequested;
// The time shift changed: live aircraft of the old time leave (active ones removed, waiting
// ones withdrawn or marked), every static aircraft is swept and a static-parking update is
// announced.
extern std::atomic<bool> timeShiftRemovalRequested;
// Block button / a blocked callsign equal to the chosen one: the CALLSIGN_2_OBJECTID list is
// reset to one empty entry (lf_clearCallsignList).
extern std::atomic<bool> clearCallsignListRequested;
// NAV_LIGHTS_WHILE_PARKED clicked: queue NAV_LIGHTS_SET with navLightsData for every active
// static and every active parked live aircraft.
extern std::atomic<bool> navLightsRequested;
// Data value of the pending nav-lights request: 1 on, 0 off (the last click wins).
extern std::atomic<std::uint32_t> navLightsData;
// AUTO_RANGE ticked: the automatic range rule (gf_autoRange) runs once, while AUTO_RANGE is
// still on; it reads the user aircraft and the park-airport list of the worker.
extern std::atomic<bool> autoRangeRequested;

// --- Served by lf_resetRunRequests (below), called by the reset of a run ---

// SCAN_LIVERIES ticked before the simulator connected: the livery indexes are emptied before
// the next run builds them again (the worker may be building them while the box is ticked).
extern std::atomic<bool> liveryResetRequested;

// A new destination: the airport is put first in the park-airport list (lf_addMyParkAirport).
// Queued with its data; served in the order of entry.
void gf_requestAddParkAirport(const std::string& icao, const LatLon& position);
// Number of queued park airports (for tests and the display of pending work).
std::size_t gf_pendingParkAirportCount();

// Serves every request of this second section on the calling thread, which must be the worker
// (the thread that owns the aircraft lists). The run calls it once per second from
// lf_updateStep; a worker step that has just queued a request itself (lf_setDestination at the
// data start-up, lf_setTimeShift from the simulator-time follow-up) may call it at once to have
// the effect immediately. Each request is cleared before it is served, so a click during the
// serving is kept for the next call. An exception of one request is logged and the others are
// still served.
void lf_serveCommandRequests();

// For the reset of a run (lf_resetSessionState, worker): drops the pending requests that concern
// the aircraft of the ending run (limit, time-shift removals, clear callsign list, nav lights,
// auto range) and serves liveryResetRequested (gf_resetLiveryIndexes). The queued park
// airports are kept for the next run because they carry the user's entry.
void lf_resetRunRequests();

// --- Run values shared by the commands and the run (one object each, defined here) ---

// Seconds of the run, +1 per user-position report; 0 at run start and every 86400. Written by
// the main loop (worker); read by the static-parking announcement (Now button, time shift).
extern std::atomic<std::int32_t> secondCounter;
// RANGE as it stood before AUTO_RANGE took over: written by the data start-up and when
// AUTO_RANGE is ticked; put back into RANGE when AUTO_RANGE is cleared.
extern std::atomic<std::int32_t> runStartRange;
// The simulator UTC (seconds) seen by the previous per-second step; the per-second step writes
// it, lf_enableTimeControls (SIM_TIME box, data start-up) sets it so that the next step follows
// the simulator clock (0) or not (the current simulator UTC).
extern std::atomic<std::int64_t> lastSimUtcSeconds;

// --- Provided by the run (main loop), called by the commands ---

// The automatic range rule; the AUTO_RANGE box calls it when ticked.
void gf_autoRange();

// Test only: every flag cleared and the queue emptied.
void gf_resetRunRequestsForTest();
