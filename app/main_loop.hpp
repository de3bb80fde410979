#pragma once
// The main loop of a run (worker thread): a 10 ms cycle, the time base of the aircraft logic
// (100 ticks a second). Each tick runs the engine's per-tick work while the simulator runs;
// each new report of the user aircraft (about once a second) runs the per-second step, and a
// schedule of slower steps every 15, 16, 30, 60, 61, 1200 and 86400 seconds of the run.
#include <chrono>
#include <functional>

#include "foundation/clock.hpp"

inline constexpr std::chrono::milliseconds TICK_PERIOD{10};
// Ticks of a paused run between its once-a-second actions.
inline constexpr int PAUSE_TICKS = 100;

// Runs lf_cycleStep every 10 ms from firstTick on until it answers false. The deadline advances
// 10 ms a cycle and is re-based on the arrival of each user-aircraft report; with less than 1 ms
// left nothing is slept.
void lf_mainLoop(SteadyTime firstTick);
// One tick; false ends the main loop.
[[nodiscard]] bool lf_cycleStep();
// The per-second step.
void lf_updateStep();
// The 15-second schedule (secondCounter a multiple of 15).
void lf_scheduleStep(int second);
// The tick while the simulator is not connected or paused.
void lf_flightNotRunning();
// Serves the Re-read button (unless the parking controls are locked).
void lf_serveReRead();
// The traffic reader's queries follow the user aircraft's last position.
void lf_copyUserPositionToReader();
// The painted aircraft counts follow the engine's lists.
void lf_repaintOnCountChange();

// The slower steps of the neighbours that the schedule calls (the park airport check, the
// static-parking adjustment or the parked-traffic retry, the livery matching's reports). Tests
// replace them to see when they run; an empty member keeps the real one.
struct ScheduledCalls {
    std::function<void(bool immediate)> checkParkAirport;
    std::function<void(bool force)> adjustParking;
    std::function<void()> logUnmatched;
    // The park airport waits for its rebuild or its choice (a park file on the way): it is then
    // checked every second, not every 16 seconds, so that statics come within seconds of a new run.
    std::function<bool()> parkRebuildPending;
    std::function<void()> matchingSummary;
    std::function<void()> retryParkedTraffic;
    // The parked traffic for the parking update is asked for in its first phase and taken in its
    // second, fifteen seconds later: no tick waits for the answer.
    std::function<void()> askParkedTraffic;
};
void gf_setScheduledCallsForTest(ScheduledCalls calls);

// Test only: the paused-tick counter and the scheduled calls back to their start values.
void gf_resetMainLoopForTest();
