#pragma once
// The in-memory livery indexes that the livery choice searches for every aircraft it creates,
// built once per process from the scanned liveries (output/LiveriesScanned.xml). Written by the
// worker thread during start-up (and reset by the window before a new scan), read afterwards.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One installed livery of an airline and type.
struct LiveryEntry {
    std::string title;
    bool cargo = false;
};
// Airline code -> ICAO type code -> liveries, in scan order. Owns the titles that every other
// index points to, so it is built first and left unchanged while the others exist.
using LiveryIndex = std::unordered_map<std::string, std::unordered_map<std::string, std::vector<LiveryEntry>>>;
extern LiveryIndex liveryIndex;

// ICAO type code -> titles of installed liveries of that type, over all airlines; index 0 holds
// the passenger liveries, index 1 the cargo liveries. The titles are owned by the livery index.
using ModelIndex = std::unordered_map<std::string, std::vector<std::string_view>>;
extern ModelIndex modelIndexes[2];

// True once the scanned liveries have been processed in this process; the window clears it when
// the user asks for a new scan.
extern std::atomic<bool> liveriesProcessed;
// Number of liveries, shown as "# liveries: {}".
extern std::atomic<std::uint64_t> liveryCount;

// Room for the special titles and the substitute-model pools, once per process.
void gf_reserveLiveryIndexes();
// On its first call in the process builds the indexes (and then the similar models of the
// reference data, exactly once); later calls only log that it was done.
void gf_processScannedLiveries();
// Every index emptied, before a new scan.
void gf_resetLiveryIndexes();

// The livery index holds at least one livery of the type for the airline.
bool gf_hasAirlineModel(const std::string& airline, const std::string& type);
// Every airline code of the livery index, once each.
std::vector<std::string> gf_liveryAirlines();
// The type is a key of the passenger or the cargo model index.
bool gf_hasInstalledType(const std::string& type);
