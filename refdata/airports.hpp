#pragma once
// airports.xml: the world airport table (code, IATA code, position, elevation, stands), read once
// per process at start-up (app/data_startup) from input/airports.enc and kept sorted by code, then
// only read; and the queries on it. The reader takes the decrypted text from memory and refuses a
// NUL character in whatever encoding the parser reads it; it removes the plain copy only when one
// was written (on a full disk there is none, and what stood at its path stays).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/geodesy.hpp"
#include "refdata/decrypt.hpp"

struct AirportRecord {
    std::string code;
    std::string iata;  // may be empty
    double lat = 0.0;  // degrees
    double lon = 0.0;  // degrees
    double alt = 0.0;  // elevation, feet
    std::int32_t stands = 0;

    LatLon position() const { return LatLon{lat, lon}; }
};

// Sorted ascending by code; filled by the first successful gf_readAirports, read-only afterwards.
extern std::vector<AirportRecord> airportRecords;

// Fills airportRecords on its first successful call; every later call answers at once whether
// airports are present. Throws vald::UserErrorException 88 when the file cannot be read.
[[nodiscard]] bool gf_readAirports();

// The one reading of airports.xml, of its plain text: its usable airports into records (emptied
// first), sorted by code, saying through log what it skipped. Throws std::runtime_error
// "{source} not loaded: {why}" for a text that is no XML or holds a NUL byte (gf_nulByteFault)
// and "Missing <airports> root in: {source}" for one without its root. gf_readAirports loads the
// file with it; a downloaded copy is checked with it.
void gf_readAirportsText(std::string text, const std::string& source, std::vector<AirportRecord>& records,
                         const ReaderLog& log);

// Why the plain text is no airports.xml the program could use (it does not parse, holds a NUL
// byte, has no root or no usable airport); nothing when it is one. Logs nothing and changes no
// table.
[[nodiscard]] std::optional<std::string> gf_airportsFault(std::string text);

// The first record with exactly this code; nullptr when there is none.
const AirportRecord* gf_findAirport(const std::string& code);
bool gf_isKnownAirport(const std::string& code);
// The airport that position belongs to: the nearest within 5 nm, unless the airport that was
// nearest before it in the scan has a stand closer to the position. nullptr when none is in range.
const AirportRecord* gf_closestAirport(const LatLon& position);
// The closest-airport search answers from a grid index over the table, built once when the table
// is read; a table filled or changed by hand afterwards is searched by a scan until
// gf_buildAirportIndex runs again (same answers either way).
void gf_buildAirportIndex();
// The scan over the whole table, for comparison with the index.
const AirportRecord* gf_closestAirportByScan(const LatLon& position);

// "EHAM (AMS)"; "?" for an empty code; no brackets without IATA code.
std::string gf_airportLabel(const AirportRecord& airport);

// Distance in nm from position to the nearest stand of the airport's park file, with that stand's
// id written to standId; 100.0 when the airport has no usable park file. The park-file code
// registers it at start; until then every airport answers 100.0.
using ClosestStandQuery = std::function<double(const AirportRecord& airport, const LatLon& position, std::string& standId)>;
void gf_setClosestStandQuery(ClosestStandQuery query);
// Test only: back to the answer before registration.
void gf_resetClosestStandQueryForTest();

// Forgets the airports and the read-done mark (tests, benchmarks).
void gf_resetAirports();
