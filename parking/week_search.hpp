#pragma once
// The week-data stand search: when the parked traffic does not give the wanted number of static
// aircraft, stands are planned with the flights their learned options show in the current
// half-hour of the week, widening step by step to options seen up to MAX_FIT half-hours earlier,
// in up to four passes (real options of the same weekday, of any weekday, then soft options).
// Worker thread only.
#include <cstdint>
#include <vector>

#include "engine/stand_records.hpp"
#include "engine/static_parking_step.hpp"

// Whether the option was seen in this half-hour of its day; false for a half-hour outside 0..47.
bool gf_optionHasHalfHour(const StandOption& o, std::int32_t halfHour);

// The offset reached by the last real and soft search; the soft one is -1 after a real search.
extern std::int32_t weekFitReal;
extern std::int32_t weekFitSoft;

// A new planning begins: every option may be planned again.
void lf_startWeekPlanning();
// Whether an option was set aside by this planning (its flight is already present).
bool lf_optionExcluded(std::uint32_t standNumber, std::uint32_t optionNumber);

// The up to four passes, until parkPositions plus base reach wanted.
void lf_fillFromWeekPasses(std::uint64_t weekSlot, std::int64_t wanted, std::int64_t base);
// One pass: real or soft options, of the slot's weekday only or of any weekday.
void lf_fillFromWeek(std::uint64_t weekSlot, std::int64_t wanted, std::int64_t base, bool real, bool sameDay);
// Plans stands at offsets 0, 1, ... MAX_FIT; true when the planned stands reach target, the
// positions of the last offset then being left in batch.
[[nodiscard]] bool lf_searchWeekPositions(std::uint64_t weekSlot, bool real, bool sameDay, std::int64_t target,
                                          std::vector<ParkPosition>& batch);
// Plans every free stand whose option shows a flight offset half-hours before the slot.
void lf_searchStands(std::uint64_t weekSlot, bool real, bool sameDay, std::uint32_t offset,
                     std::vector<ParkPosition>& batch);
