#pragma once
// Learning which stands the live flights use: whenever a live aircraft is born at a stand, parks
// at one or leaves one, the flight's use of the stand in the current half-hour of the week is
// recorded as a StandOption of the stand (real learning), and an aircraft that ends its track
// near a stand without one is given a plausible stand (soft learning). Also the slot operations
// the learning uses, the stand-use list that spaces soft learnings apart, and the option
// predicates of the stand search. Worker thread only, like the stands.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/aircraft_records.hpp"
#include "engine/stand_records.hpp"

// (hexid, half-hour) in which a stand option was last learned for an aircraft.
extern std::vector<std::pair<std::uint32_t, std::uint32_t>> standUseList;

enum class StandLearning : std::uint32_t { soft = 0, real = 1 };

// window: the half-hours between the flight's last learning at this stand and now are filled in
// (within a window of 6, 8 for a Heavy, 12 for a freighter) instead of only setting the current
// one. further (soft learning only): the caller has its own reason to learn; without it a soft
// learning only extends the option it can reach through the window.
struct StandLearnFlags {
    bool window = true;
    bool further = false;
};

// Records that the aircraft used the stand in this week slot (weekday low, half-hour high).
// False when nothing was learned: no key to learn by, an unknown stand, or a real option read
// from the file for this registration today that does not hold the half-hour.
[[nodiscard]] bool lt_addStandOption(StandLearning kind, std::uint32_t standNumber, const LiveAircraft& aircraft,
                       std::uint64_t weekSlot, StandLearnFlags flags = {});

// Registration, or the callsign when there is none.
std::string gf_learningKey(const LiveAircraft& aircraft);

struct AddedOption {
    std::uint32_t number = 0;
    bool added = false;
};
// Appends a learned option for the key holding only this half-hour (airline and type from the
// registration database when it knows the key); nothing when the key is empty or the same option
// exists already.
AddedOption gf_addStandOptionEntry(Stand& stand, const LiveAircraft& aircraft, std::uint32_t real,
                                   std::uint64_t weekSlot, const std::string& key);

// The count half-hours going back from the week slot's, that one first (after 0 comes 47).
std::vector<std::int32_t> gf_slotsBackwards(std::int64_t count, std::uint64_t weekSlot);
// Sets the listed half-hours (taken from the back) on the option with that number. False, and
// logged, on a half-hour outside the day or without such an option.
[[nodiscard]] bool updateOptions(std::vector<StandOption>& options, const std::vector<std::int32_t>& slots, std::uint32_t number);
// The same across midnight: the oldest half-hours up to 47 go onto the day before's option, the
// rest but the current one onto today's.
[[nodiscard]] bool updateOptionsWrapped(std::vector<StandOption>& options, const std::vector<std::int32_t>& slots,
                          std::uint32_t numberBefore, std::uint32_t numberToday);
// The callsign (one trailing "_" removed) becomes the option's callsign, or its suffix when the
// option has another callsign already.
void gf_checkStandOptionNames(Stand& stand, std::uint32_t number, const std::string& callsign);
// Marks count half-hours back from the week slot across midnight on the old and the new option.
void gf_markStandOptionSlots(Stand& stand, std::uint64_t weekSlot, const std::string& callsign, std::int32_t count,
                             std::uint32_t oldNumber, std::uint32_t newNumber);
// Fills the half-hours since the entry's week slot when they lie within the aircraft's window;
// false when they do not (the caller then starts a new option).
[[nodiscard]] bool lf_inWeekWindow(std::uint64_t weekSlotNow, Stand& stand, StandFlightEntry& entry, const LiveAircraft& aircraft,
                     const std::string& key, std::uint32_t real);

// The option is real, numbered, of this day and registration, and holds the half-hour or a
// neighbour of it (47 and 0 being neighbours).
bool gf_optionMatchesNow(std::uint32_t day, std::int32_t slot, const std::string& registration,
                         const StandOption& option);

// The aircraft may learn again in this week slot: it has no entry, or force, or its entry is at
// least 3 half-hours old; the entry then takes the slot.
[[nodiscard]] bool lf_noteStandUse(std::uint64_t weekSlot, std::uint32_t hexid, bool force);

// Some static aircraft stands for the option's flight: its second callsign is the option's
// callsign or suffix, or its registration is the given one.
bool lf_staticHasOption(const StandOption& option, const std::string& registration);
