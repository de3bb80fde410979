#include "foundation/time_slots.hpp"

#include <array>
#include <atomic>
#include <cmath>
#include <ctime>
#include <gsl/narrow>
#include <optional>

#include "foundation/format.hpp"
#include "foundation/hook_store.hpp"

namespace {

struct TimeShiftHooks {
    ShiftedTimeSource shiftedDataTime;
};

TimeShiftHooks lf_noShift() { return TimeShiftHooks{[] { return 0.0; }}; }

HookStore<TimeShiftHooks>& lf_timeShift()
{
    static HookStore<TimeShiftHooks> store(&lf_noShift);
    return store;
}

constexpr std::array<const char*, 13> MONTH_NAMES = {"???", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Okt", "Nov", "Dec"};
constexpr std::array<const char*, 8> WEEKDAY_NAMES = {"???", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

const char* lf_name(const auto& table, int index)
{
    if (index < 1 || index >= static_cast<int>(table.size()))
        return table[0];
    return table[static_cast<std::size_t>(index)];
}

std::optional<std::tm> lf_breakDownUtc(UtcSeconds t)
{
    const std::time_t value = static_cast<std::time_t>(t);
    std::tm parts{};
    if (gmtime_r(&value, &parts) == nullptr)
        return std::nullopt;
    return parts;
}

// tm counts Sunday as 0; the program's week runs Monday 1 .. Sunday 7.
int lf_weekday(const std::tm& parts) { return parts.tm_wday == 0 ? 7 : parts.tm_wday; }

int lf_slotOf(const std::tm& parts)
{
    const bool firstHalf = parts.tm_min < 29 || (parts.tm_min == 29 && parts.tm_sec < 30);
    const int slot = 2 * parts.tm_hour + (firstHalf ? 0 : 1);
    return slot % HALF_HOUR_SLOTS_PER_DAY;
}

// The rounded data time while the time shift is active and data has come, else nothing.
std::optional<UtcSeconds> lf_shiftedTime()
{
    const double rounded = std::round(lf_timeShift().get()->shiftedDataTime());
    // Checked before the conversion: converting NaN or an out-of-range double is undefined.
    constexpr double limit = 9223372036854775808.0;  // 2^63
    if (!std::isfinite(rounded) || rounded >= limit || rounded < -limit)
        throw gsl::narrowing_error{};
    const UtcSeconds seconds = static_cast<UtcSeconds>(rounded);
    if (seconds == 0)
        return std::nullopt;
    return seconds;
}

// The hh:mm:ss that stands 13 characters before the end of a time text. Throws
// std::out_of_range for "Invalid time".
std::string lf_timeOfDayPart(const std::string& timeText)
{
    constexpr std::size_t fromEnd = 13;
    if (timeText.size() < fromEnd)
        throw std::out_of_range("time text too short: " + timeText);
    return timeText.substr(timeText.size() - fromEnd, 8);
}

}  // namespace

void gf_setShiftedTimeSource(ShiftedTimeSource source)
{
    if (!source) {
        lf_timeShift().reset();
        return;
    }
    lf_timeShift().update([&source](TimeShiftHooks& current) { gf_takeHook(current.shiftedDataTime, source); });
}

UtcSeconds gf_utcNow()
{
    if (const std::optional<UtcSeconds> shifted = lf_shiftedTime())
        return *shifted;
    return gf_realUtcNow();
}

std::string gf_timeText(UtcSeconds t)
{
    const std::optional<std::tm> parts = lf_breakDownUtc(t);
    if (!parts)
        return "Invalid time";
    return vald::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", lf_name(WEEKDAY_NAMES, lf_weekday(*parts)),
                        lf_name(MONTH_NAMES, parts->tm_mon + 1), parts->tm_mday, parts->tm_hour, parts->tm_min,
                        parts->tm_sec, parts->tm_year + 1900);
}

std::string gf_nowText() { return gf_timeText(gf_realUtcNow()); }

std::string gf_timeOfDayText() { return lf_timeOfDayPart(gf_nowText()); }

std::string gf_dateText()
{
    const std::string text = gf_nowText();
    return vald::format("{}, {}", text.substr(4, 6), text.substr(20, 4));
}

std::string gf_clockText()
{
    if (const std::optional<UtcSeconds> shifted = lf_shiftedTime())
        return vald::format("<<< {}", lf_timeOfDayPart(gf_timeText(*shifted)));
    return lf_timeOfDayPart(gf_nowText());
}

int gf_halfHourSlotAt(UtcSeconds t)
{
    const std::optional<std::tm> parts = lf_breakDownUtc(t);
    return parts ? lf_slotOf(*parts) : -1;
}

int gf_halfHourSlot() { return gf_halfHourSlotAt(gf_utcNow()); }

WeekdayAndSlot gf_weekdayAndSlotAt(UtcSeconds t)
{
    const std::optional<std::tm> parts = lf_breakDownUtc(t);
    if (!parts)
        return {};
    return {lf_weekday(*parts), lf_slotOf(*parts)};
}

WeekdayAndSlot gf_weekdayAndSlot() { return gf_weekdayAndSlotAt(gf_utcNow()); }
