#pragma once
// The time shift: the traffic of the past replayed with an offset of up to two weeks, in
// minutes, set through the three combo boxes TIME_SHIFT_DAYS, TIME_SHIFT_HOURS and
// TIME_SHIFT_MINS, or taken from the simulator's clock (SIM_TIME). The offset goes into every
// request to the traffic service; while it is active the program clock is the time of the
// traffic data.
#include <atomic>
#include <cstdint>

inline constexpr std::int32_t MAX_TIME_SHIFT_MINUTES = 14 * 1440;

// The program clock follows the traffic data time (minutes > 0). Cleared by the closing of a run.
extern std::atomic<bool> timeShiftActive;

// Sets the time shift (cut to two weeks), shows it in the combos (saved) and hands it to the
// traffic requests. Unless quiet, the status line tells and the traffic of the old time is
// removed: on the worker at its next step (a request), so that it may be called from the UI
// thread. A worker caller that wants the removal at once calls lf_serveCommandRequests().
void lf_setTimeShift(std::int32_t minutes, bool quiet);
// Splits minutes into the three time-shift parameters, saves them and selects them.
void lf_selectComboParam(std::int32_t minutes);
// SIM_TIME off: the shift goes back to 0 and the per-second step keeps to the simulator clock
// as it is; on: the next per-second step takes the simulator time over. The three combos are
// usable exactly while SIM_TIME is off.
void lf_enableTimeControls();

// Worker: the traffic of the old time leaves. Active live aircraft are removed from the
// simulator; one waiting for its creation is withdrawn from the creation queue and erased, or
// marked to be removed once created; every static aircraft is swept and a static-parking update
// is announced.
void lf_removeTimeShiftedTraffic();

// The program clock while the shift is active: the traffic data time in seconds; 0 otherwise.
double gf_shiftedDataTime();
