#pragma once
// The program clock (UTC seconds), the text forms of times and the 48 half-hour slots of a day.
// While the traffic is shown shifted in time the program clock is the time stamp of the last
// traffic data, so everything tied to the hour and weekday follows the shifted traffic.
#include <cstdint>
#include <functional>
#include <string>

#include "foundation/clock.hpp"

// Monday 1 .. Sunday 7 (-1 when the time cannot be broken down), slot 0..47 (-1 likewise).
struct WeekdayAndSlot {
    int weekday = -1;
    int slot = -1;
};

inline constexpr int HALF_HOUR_SLOTS_PER_DAY = 48;
inline constexpr int HALF_HOUR_SLOTS_PER_WEEK = 7 * HALF_HOUR_SLOTS_PER_DAY;

// The time-shift owner registers a source that answers the data time in seconds while the time
// shift is active, and 0 otherwise (0 also while no data has come yet). nullptr: no shift.
using ShiftedTimeSource = std::function<double()>;
void gf_setShiftedTimeSource(ShiftedTimeSource source);

// The program clock. Throws gsl::narrowing_error when the data time is not a representable
// whole number of seconds (NaN, infinite, out of range).
UtcSeconds gf_utcNow();

// "Sun Jan 05 07:03:09 2025"; "Invalid time" when t cannot be broken down.
std::string gf_timeText(UtcSeconds t);
// gf_timeText of the real UTC time now.
std::string gf_nowText();
// hh:mm:ss of the real UTC time.
std::string gf_timeOfDayText();
// "Jan 05, 2025" of the real UTC date.
std::string gf_dateText();
// hh:mm:ss of the program clock, "<<< hh:mm:ss" while it is the shifted data time.
std::string gf_clockText();

// The odd slot starts at mm:ss 29:30, half a minute before the half hour.
int gf_halfHourSlotAt(UtcSeconds t);
int gf_halfHourSlot();
// Weekday and slot of one reading of the clock, so both always belong to the same instant.
WeekdayAndSlot gf_weekdayAndSlotAt(UtcSeconds t);
WeekdayAndSlot gf_weekdayAndSlot();
