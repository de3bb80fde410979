#pragma once
// The choice of an installed livery for every aircraft the program creates: for a live aircraft
// at its first placement and for a static aircraft put on a stand. Both walk the same ladder
// from the aircraft's own registration to any livery of a substitute type, as deep as
// MATCHING_DEPTH allows. Worker thread only.
//
// Titles handed out here are owned copies: an aircraft record, a creation request or a
// remembered title stays valid across a reset of the livery indexes.
#include <array>
#include <cstdint>
#include <string>

#include "refdata/type_queries.hpp"
#include "traffic/traffic_records.hpp"

// What the choice reads of an aircraft and what it writes back.
struct LiveryPick {
    FlightIdentity identity;  // airline ("PVT": private aircraft), type, registration
    AircraftCategory category = AircraftCategory::Large;
    bool cargo = false;    // static choice: set from the stand
    std::string keyText;   // how the log names the aircraft (its flight key text)
    std::string title;     // in: a title it already has (static); out: the chosen title or empty
    bool fsltlLivery = false;  // out, live choice: the title contains "FSLTL_"
};

// The number of the ladder step that produced a title (0..6).
enum class MatchStep : std::int32_t {
    uniqueRegistration = 0,
    registration = 1,
    airlineModel = 2,
    similarModel = 3,
    generic = 4,
    anyOfModel = 5,
    substituteModel = 6,
};
inline constexpr std::size_t MATCH_STEP_COUNT = 7;
// Matches per step of the live choice since the process started.
extern std::array<std::int32_t, MATCH_STEP_COUNT> matchStepCounters;

// Live choice; pick.title stays empty when nothing matched.
void gf_chooseLiveryForSpawn(LiveryPick& pick);
// Static choice: an aircraft that already has a title keeps it. The stand's cargo flag becomes
// the aircraft's; standText and longText name stand and aircraft in the "no livery match" line.
// True when the aircraft has a title.
[[nodiscard]] bool gf_chooseLiveryForStatic(LiveryPick& pick, bool standCargo, const std::string& standText,
                                            const std::string& longText);

// The title remembered for a transponder address; empty when none or when it was refused since.
std::string gf_rememberedLivery(std::uint32_t hexid);
// Remembers the title unless the address has one already.
void gf_rememberLivery(std::uint32_t hexid, const std::string& title);
// Forgets the title of one address (its airframe or airline changed).
void gf_forgetRememberedLivery(std::uint32_t hexid);
// Forgets every remembered title (once a day of a run).
void gf_forgetRememberedLiveries();
std::size_t gf_rememberedLiveryCount();

// Test only: counters zero and remembered titles forgotten.
void gf_resetLiveryChoiceForTest();
