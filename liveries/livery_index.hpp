#pragma once
// The in-memory livery indexes that the livery choice searches for every aircraft it creates,
// built once per process from the scanned liveries (output/LiveriesScanned.xml).
//
// Threads: built, read and reset on the worker thread only. The window never touches them: a new
// scan asked for from the window is served by the worker between two runs, when no aircraft and
// no creation request of the old run is left. Views: LiveryIndex owns every title; the other
// indexes hold views into those strings, valid until gf_resetLiveryIndexes. Whatever may outlive
// a reset (remembered titles, refused titles, aircraft records, creation requests) keeps its own
// copy of a title.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// One installed livery of an airline and type.
struct LiveryEntry {
    std::string title;
    bool cargo = false;
};
// Airline code -> ICAO type code -> liveries, in scan order. Owns the titles.
using LiveryIndex = std::unordered_map<std::string, std::unordered_map<std::string, std::vector<LiveryEntry>>>;
extern LiveryIndex liveryIndex;

using TitleViews = std::vector<std::string_view>;
// Airline -> type -> titles; index 0 passenger, index 1 cargo. Keys only with titles of the kind.
using AirlineModelIndex = std::unordered_map<std::string, std::unordered_map<std::string, TitleViews>>;
extern AirlineModelIndex airlineModelIndexes[2];
// Type -> titles over all airlines; index 0 passenger, index 1 cargo.
using ModelIndex = std::unordered_map<std::string, TitleViews>;
extern ModelIndex modelIndexes[2];

// Types of category Light (pool 0), Buzjets (pool 1) and Rotorcraft (pool 2), each once, sorted.
extern std::array<std::vector<std::string>, 3> modelPools;

// Titles marked special by the regcode files, in merge order (a title may stand twice), and the
// same titles as a set for the random pick.
extern TitleViews specialTitles;
extern std::unordered_set<std::string_view> specialTitleSet;

// True once the indexes are built in this process; cleared with a reset before a new scan.
extern std::atomic<bool> liveriesProcessed;
// Number of liveries, shown as "# liveries: {}".
extern std::atomic<std::uint64_t> liveryCount;

// Room for the special titles and the pools, once per process.
void gf_reserveLiveryIndexes();
// On its first call in the process (after a reset: the next one) reads LiveriesScanned.xml and
// builds every index, the registration index and the similar-model tables; later calls only log
// that it was done. Throws the reading errors of LiveriesScanned.xml.
void gf_processScannedLiveries();
// Every index emptied (not the refused titles, the remembered titles or the step counters).
// Worker thread, between runs.
void gf_resetLiveryIndexes();

// The builders, in the order gf_processScannedLiveries calls them.
void lf_buildLiveryIndex();
void lf_buildAirlineModelIndexes();
void lf_buildModelIndexes();

// The stored title equal to title, or an empty view.
std::string_view lf_findIndexedTitle(const std::string& title);

// The livery index holds at least one livery of the type for the airline.
bool gf_hasAirlineModel(const std::string& airline, const std::string& type);
// Every airline key of the livery index cut to its first 3 characters, once each.
std::vector<std::string> gf_liveryAirlines();
// The type is a key of the passenger or the cargo model index.
bool gf_hasInstalledType(const std::string& type);

// A random type of pool 0, 1 or 2; empty when the pool is empty.
std::string lt_randomFromPool0();
std::string lt_randomFromPool1();
std::string lt_randomFromPool2();

// Per category: its counts in the log, its pool, and switching off LIGHT_AIRCRAFT,
// HIGH_PERF_AIRCRAFT or HELICOPTERS when nothing of the category is installed.
void lf_categorySummary(unsigned int category);
// Appends each model to the first pool whose flag is set and logs the models, 20 per line.
void lf_fillModelPools(bool pool0, bool pool1, bool pool2, const std::vector<std::string>& models);
// The types that have a livery under the airline "ZZZ"; none without that airline.
[[nodiscard]] std::optional<std::vector<std::string>> lf_genericLiveryModels();
void lf_logGenericLiveries();
