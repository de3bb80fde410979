#include <gtest/gtest.h>

#include <cmath>
#include <gsl/narrow>
#include <limits>

#include "foundation/clock.hpp"
#include "foundation/time_slots.hpp"

namespace {

constexpr UtcSeconds SUNDAY_2025_10_05 = 1759622400;
constexpr UtcSeconds MONDAY_2025_10_06 = SUNDAY_2025_10_05 + 86400;
constexpr UtcSeconds INVALID = std::numeric_limits<UtcSeconds>::max();

UtcSeconds at(UtcSeconds day, int h, int m, int s) { return day + h * 3600 + m * 60 + s; }

// Test clocks are plain functions: the clock hooks take function pointers.
UtcSeconds fixedNow = 0;
int clockReads = 0;
double shiftedData = 0;

class TimeSlotsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        gf_resetClockForTest();
        gf_setShiftedTimeSource(nullptr);
    }
};

TEST_F(TimeSlotsTest, SlotBoundariesAndTimeText)
{
    const std::pair<UtcSeconds, int> cases[] = {
        {at(SUNDAY_2025_10_05, 0, 0, 0), 0},    {at(SUNDAY_2025_10_05, 14, 29, 29), 28},
        {at(SUNDAY_2025_10_05, 14, 29, 30), 29}, {at(SUNDAY_2025_10_05, 14, 59, 59), 29},
        {at(SUNDAY_2025_10_05, 15, 0, 0), 30},   {at(SUNDAY_2025_10_05, 23, 45, 0), 47},
        {INVALID, -1},
    };
    for (const auto& [time, slot] : cases)
        EXPECT_EQ(gf_halfHourSlotAt(time), slot) << time;
    EXPECT_EQ(gf_weekdayAndSlotAt(MONDAY_2025_10_06).weekday, 1);
    EXPECT_EQ(gf_weekdayAndSlotAt(INVALID).weekday, -1);

    EXPECT_EQ(gf_timeText(0), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(gf_timeText(at(SUNDAY_2025_10_05, 14, 29, 30)), "Sun Okt 05 14:29:30 2025");
    EXPECT_EQ(gf_timeText(INVALID), "Invalid time");
}

TEST_F(TimeSlotsTest, WeekdayAndSlotComeFromOneReadingAtMidnight)
{
    clockReads = 0;
    gf_setUtcNowForTest([] { return clockReads++ == 0 ? MONDAY_2025_10_06 - 1 : MONDAY_2025_10_06; });
    const WeekdayAndSlot result = gf_weekdayAndSlot();
    // Sunday's last slot, never Sunday with Monday's first slot.
    EXPECT_EQ(result.weekday, 7);
    EXPECT_EQ(result.slot, 47);
}

TEST_F(TimeSlotsTest, ShiftedClockFollowsTheDataTime)
{
    fixedNow = at(SUNDAY_2025_10_05, 12, 0, 0);
    gf_setUtcNowForTest([] { return fixedNow; });
    gf_setShiftedTimeSource([] { return shiftedData; });

    shiftedData = 0;  // shift active but no data yet: the real clock, no marker
    EXPECT_EQ(gf_utcNow(), fixedNow);
    EXPECT_EQ(gf_clockText(), "12:00:00");

    shiftedData = static_cast<double>(MONDAY_2025_10_06) + 0.4;
    EXPECT_EQ(gf_utcNow(), MONDAY_2025_10_06);
    EXPECT_EQ(gf_clockText(), "<<< 00:00:00");
    EXPECT_EQ(gf_timeOfDayText(), "12:00:00");  // the log's time of day stays real
    EXPECT_EQ(gf_dateText(), "Okt 05, 2025");
    shiftedData = static_cast<double>(MONDAY_2025_10_06) + 0.5;
    EXPECT_EQ(gf_utcNow(), MONDAY_2025_10_06 + 1);

    shiftedData = std::nan("");
    EXPECT_THROW(gf_utcNow(), gsl::narrowing_error);
}

}  // namespace
