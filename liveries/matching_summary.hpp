#pragma once
// What the livery matching reports about itself, and the titles the simulator refused to create.
// A refused title is never chosen again in this process; 20 refusals end the run with a user
// error. Worker thread only.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "traffic/traffic_records.hpp"

// Every refusal in order (owned titles: they outlive a reset of the livery indexes).
extern std::vector<std::string> failedLiveryTitles;
// "type airline" of every refused aircraft, once each.
extern std::unordered_set<std::string> failedLiveryKeys;
// Keys of live flights with a registration that got no livery; the spawn fills it and skips the
// flights in it, the schedule empties it.
extern std::unordered_set<std::string> unmatchedLiveryKeys;

inline constexpr std::size_t MAX_REFUSED_LIVERIES = 20;

// The simulator could not create the aircraft with this title. Nothing while the program stops.
// Throws vald::UserErrorException 81 at the 20th refusal.
void gf_liveryNotCreated(const FlightIdentity& flight, const std::string& title);
// The title was refused by the simulator in this process.
bool gf_isRefusedLivery(std::string_view title);

// "  " and a refused key, one line each.
std::vector<std::string> lf_failedLiveryLines();
// Logs the aircraft keys for which no livery matched (every 1200 seconds and at a run's end).
void gf_logUnmatched();
// Logs the matching summary; nothing while every step counter is 0 (daily and at a run's end).
void gf_liveryMatchingSummary();

// Test only: refusals and unmatched keys forgotten.
void gf_resetMatchingSummaryForTest();
