#include "engine/stand_learning.hpp"

#include <algorithm>
#include <stdexcept>

#include "engine/engine_state.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "refdata/registration.hpp"

std::vector<std::pair<std::uint32_t, std::uint32_t>> standUseList;

namespace {

// A stand use learned this many half-hours ago or earlier no longer holds off another.
constexpr std::uint32_t STAND_USE_REFUSING_HALF_HOURS = 3;

std::uint64_t lf_slotBit(std::int32_t slot)
{
    if (slot < 0 || slot >= HALF_HOUR_SLOTS_PER_DAY)
        throw std::out_of_range(vald::format("half-hour {} outside the day", slot));
    return 1ULL << slot;
}

std::string lf_optionName(const std::string& callsign)
{
    if (gf_endsWithGhostMark(callsign))
        return callsign.substr(0, callsign.size() - 1);
    return callsign;
}

StandOption* lf_optionNumbered(std::vector<StandOption>& options, std::uint32_t number)
{
    const auto found = std::find_if(options.begin(), options.end(),
                                    [number](const StandOption& option) { return option.number == number; });
    return found == options.end() ? nullptr : &*found;
}

// An option read from the file says when this registration uses the stand today: learning
// outside those half-hours would contradict it.
bool lf_fileOptionRefuses(const Stand& stand, std::uint32_t day, const std::string& key, std::uint64_t bit)
{
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& option) {
        return option.number != 0 && option.day == day && option.registration == key && option.real == 1 &&
               option.origin == 1 && (option.halfHours & bit) == 0;
    });
}

StandOption* lf_learnedOptionToday(Stand& stand, std::uint32_t day, const std::string& key, std::uint32_t real)
{
    const auto found = std::find_if(stand.options.begin(), stand.options.end(), [&](const StandOption& option) {
        return option.number != 0 && option.day == day && option.registration == key && option.real == real &&
               option.origin == 0;
    });
    return found == stand.options.end() ? nullptr : &*found;
}

bool lf_addStandOptionChecked(StandLearning kind, std::uint32_t standNumber, const LiveAircraft& aircraft,
                              std::uint64_t weekSlot, StandLearnFlags flags)
{
    if (aircraft.identity.registration.empty() && aircraft.identity.callsign.empty())
        return false;
    Stand* stand = gf_standByNumber(standNumber);
    if (stand == nullptr)
        return false;
    const std::string key = gf_learningKey(aircraft);
    const std::uint32_t day = gf_weekSlotDay(weekSlot);
    const std::uint64_t bit = lf_slotBit(gf_weekSlotHalfHour(weekSlot));
    if (lf_fileOptionRefuses(*stand, day, key, bit))
        return false;

    const bool soft = kind == StandLearning::soft;
    const std::uint32_t real = soft ? 0 : 1;
    StandFlightIndex& index = soft ? stand->softFlights : stand->realFlights;
    const bool keepIndex = !soft || !flags.further;
    const bool setDirectly = !flags.window && (!soft || !flags.further);
    const auto addOption = [&]() {
        const AddedOption made = gf_addStandOptionEntry(*stand, aircraft, real, weekSlot, key);
        if (made.added && keepIndex)
            index[aircraft.hexid] = StandFlightEntry{made.number, weekSlot};
        return made;
    };

    StandOption* today = lf_learnedOptionToday(*stand, day, key, real);
    const auto entry = index.find(aircraft.hexid);
    if (today == nullptr) {
        // A stay that began before midnight carries yesterday's option on into today's.
        const bool carried = flags.window && entry != index.end() && gf_weekSlotDay(entry->second.weekSlot) != day &&
                             lf_inWeekWindow(weekSlot, *stand, entry->second, aircraft, key, real);
        if (!carried)
            addOption();
    } else if ((today->halfHours & bit) != 0) {
        // Known already.
    } else if (setDirectly) {
        today->halfHours |= bit;
    } else if (entry == index.end()) {
        addOption();
    } else if (entry->second.weekSlot != weekSlot) {
        if (!lf_inWeekWindow(weekSlot, *stand, entry->second, aircraft, key, real) && (!soft || flags.further)) {
            const AddedOption made = gf_addStandOptionEntry(*stand, aircraft, real, weekSlot, key);
            if (made.added)
                entry->second.optionNumber = made.number;
        }
        entry->second.weekSlot = weekSlot;
    }
    gf_countLearnedUpdate();
    return true;
}

}  // namespace

std::string gf_learningKey(const LiveAircraft& aircraft)
{
    return aircraft.identity.registration.empty() ? aircraft.identity.callsign : aircraft.identity.registration;
}

bool lt_addStandOption(StandLearning kind, std::uint32_t standNumber, const LiveAircraft& aircraft,
                       std::uint64_t weekSlot, StandLearnFlags flags)
{
    try {
        return lf_addStandOptionChecked(kind, standNumber, aircraft, weekSlot, flags);
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{}: hh_now: {}, {}", "lt_addStandOption", gf_weekSlotHalfHour(weekSlot), e.what()));
        return false;
    }
}

AddedOption gf_addStandOptionEntry(Stand& stand, const LiveAircraft& aircraft, std::uint32_t real,
                                   std::uint64_t weekSlot, const std::string& key)
{
    if (key.empty())
        return {};
    StandOption option;
    option.callsign = lf_optionName(aircraft.identity.callsign);
    option.halfHours = lf_slotBit(gf_weekSlotHalfHour(weekSlot));
    option.number = stand.options.empty() ? 1 : stand.options.back().number + 1;
    option.day = gf_weekSlotDay(weekSlot);
    option.origin = 0;
    option.real = real;
    option.registration = key;
    if (const std::optional<DbaseRecord> record = gf_findRegcode(key)) {
        option.airline = gf_flyingAirline(*record);
        option.type = record->type;
    } else {
        option.airline = aircraft.identity.airline;
        option.type = aircraft.identity.type;
    }
    const bool known = std::any_of(stand.options.begin(), stand.options.end(), [&option](const StandOption& o) {
        return o.registration == option.registration && o.day == option.day && o.halfHours == option.halfHours &&
               o.callsign == option.callsign;
    });
    if (known)
        return {};
    stand.options.push_back(option);
    return AddedOption{option.number, true};
}

std::vector<std::int32_t> gf_slotsBackwards(std::int64_t count, std::uint64_t weekSlot)
{
    std::vector<std::int32_t> slots;
    std::int32_t slot = gf_weekSlotHalfHour(weekSlot);
    for (std::int64_t i = 0; i < count; ++i) {
        slots.push_back(slot);
        slot = slot == 0 ? HALF_HOUR_SLOTS_PER_DAY - 1 : slot - 1;
    }
    return slots;
}

bool updateOptions(std::vector<StandOption>& options, const std::vector<std::int32_t>& slots, std::uint32_t number)
{
    try {
        StandOption* option = lf_optionNumbered(options, number);
        if (option == nullptr)
            throw std::out_of_range(vald::format("no option {}", number));
        for (auto it = slots.rbegin(); it != slots.rend(); ++it)
            option->halfHours |= lf_slotBit(*it);
        return true;
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{} exception:{}", "updateOptions", e.what()));
        return false;
    }
}

bool updateOptionsWrapped(std::vector<StandOption>& options, const std::vector<std::int32_t>& slots,
                          std::uint32_t numberBefore, std::uint32_t numberToday)
{
    try {
        std::size_t remaining = slots.size();  // slots[0 .. remaining) not yet placed
        if (remaining != 0 && slots.back() != 0) {
            StandOption* before = lf_optionNumbered(options, numberBefore);
            if (before == nullptr)
                throw std::out_of_range(vald::format("no option {}", numberBefore));
            while (remaining != 0) {
                const std::int32_t slot = slots[--remaining];
                before->halfHours |= lf_slotBit(slot);
                if (slot == HALF_HOUR_SLOTS_PER_DAY - 1)
                    break;
            }
        }
        if (remaining > 1) {
            StandOption* today = lf_optionNumbered(options, numberToday);
            if (today == nullptr)
                throw std::out_of_range(vald::format("no option {}", numberToday));
            while (remaining > 1)
                today->halfHours |= lf_slotBit(slots[--remaining]);
        }
        return true;
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{} exception:{}", "updateOptionsWrapped", e.what()));
        return false;
    }
}

void gf_checkStandOptionNames(Stand& stand, std::uint32_t number, const std::string& callsign)
{
    const std::string name = lf_optionName(callsign);
    StandOption* option = lf_optionNumbered(stand.options, number);
    if (name.empty() || option == nullptr)
        return;
    if (option->callsign.empty())
        option->callsign = name;
    else if (name != option->callsign && name != option->callsignSuffix)
        option->callsignSuffix = name;
}

void gf_markStandOptionSlots(Stand& stand, std::uint64_t weekSlot, const std::string& callsign, std::int32_t count,
                             std::uint32_t oldNumber, std::uint32_t newNumber)
{
    // A half-hour that cannot be set is logged there; the names are checked all the same.
    static_cast<void>(updateOptionsWrapped(stand.options, gf_slotsBackwards(count, weekSlot), oldNumber, newNumber));
    gf_checkStandOptionNames(stand, oldNumber, callsign);
    gf_checkStandOptionNames(stand, newNumber, callsign);
}

bool lf_inWeekWindow(std::uint64_t weekSlotNow, Stand& stand, StandFlightEntry& entry, const LiveAircraft& aircraft,
                     const std::string& key, std::uint32_t real)
{
    if (entry.optionNumber == 0 || entry.weekSlot == weekSlotNow)
        return true;
    const std::int64_t window = aircraft.cargo ? 12 : aircraft.category == AircraftCategory::Heavy ? 8 : 6;
    const auto day = static_cast<std::int64_t>(gf_weekSlotDay(weekSlotNow));
    const auto entryDay = static_cast<std::int64_t>(gf_weekSlotDay(entry.weekSlot));
    std::int64_t diff = (day - entryDay) * HALF_HOUR_SLOTS_PER_DAY + (gf_weekSlotHalfHour(weekSlotNow) - gf_weekSlotHalfHour(entry.weekSlot));
    if (diff < 0)
        diff += HALF_HOUR_SLOTS_PER_WEEK;
    if (diff < 1 || diff >= window)
        return false;
    if (day != entryDay) {
        const AddedOption made = gf_addStandOptionEntry(stand, aircraft, real, weekSlotNow, key);
        if (!made.added)
            return false;
        gf_markStandOptionSlots(stand, weekSlotNow, aircraft.identity.callsign, static_cast<std::int32_t>(diff),
                                entry.optionNumber, made.number);
        entry.optionNumber = made.number;
    } else {
        // A half-hour that cannot be set is logged there; the entry moves on all the same.
        static_cast<void>(updateOptions(stand.options, gf_slotsBackwards(diff, weekSlotNow), entry.optionNumber));
        gf_checkStandOptionNames(stand, entry.optionNumber, aircraft.identity.callsign);
    }
    entry.weekSlot = weekSlotNow;
    return true;
}

bool gf_optionMatchesNow(std::uint32_t day, std::int32_t slot, const std::string& registration,
                         const StandOption& option)
{
    if (option.number == 0 || option.day != day || option.real != 1 || option.registration != registration)
        return false;
    if (slot < 0 || slot >= HALF_HOUR_SLOTS_PER_DAY)
        return false;
    const std::int32_t before = slot == 0 ? HALF_HOUR_SLOTS_PER_DAY - 1 : slot - 1;
    const std::int32_t after = slot == HALF_HOUR_SLOTS_PER_DAY - 1 ? 0 : slot + 1;
    const std::uint64_t bits = (1ULL << slot) | (1ULL << before) | (1ULL << after);
    return (option.halfHours & bits) != 0;
}

bool lf_noteStandUse(std::uint64_t weekSlot, std::uint32_t hexid, bool force)
{
    const auto slot = static_cast<std::uint32_t>(gf_weekSlotHalfHour(weekSlot));
    const auto recent = [slot](const std::pair<std::uint32_t, std::uint32_t>& use) {
        const std::uint32_t since =
            (slot + HALF_HOUR_SLOTS_PER_DAY - use.second % HALF_HOUR_SLOTS_PER_DAY) % HALF_HOUR_SLOTS_PER_DAY;
        return since < STAND_USE_REFUSING_HALF_HOURS;
    };
    const auto found = std::find_if(standUseList.begin(), standUseList.end(),
                                    [hexid](const auto& use) { return use.first == hexid; });
    if (found == standUseList.end()) {
        // Entries too old to refuse anything more go, so that the list does not grow all session.
        std::erase_if(standUseList, [&recent](const auto& use) { return !recent(use); });
        standUseList.emplace_back(hexid, slot);
        return true;
    }
    if (!force && recent(*found))
        return false;
    found->second = slot;
    return true;
}

bool lf_staticHasOption(const StandOption& option, const std::string& registration)
{
    return std::any_of(staticAircraft.begin(), staticAircraft.end(), [&](const StaticAircraft& aircraft) {
        const std::string& second = aircraft.identity.callsign2;
        return (!second.empty() && (second == option.callsign || second == option.callsignSuffix)) ||
               gf_sameRegistration(aircraft.identity.registration, registration);
    });
}
