#pragma once
// dbase.xml: the aircraft and airline reference database. gf_readDbase decrypts input/dbase.enc,
// reads every section of the decrypted text, from memory, into the process-wide tables below and
// removes the plain copy again if one was written (on a full disk there is none, and what stood at
// its path stays). A NUL character is refused in whatever encoding the parser reads the text. The
// tables are filled once during start-up (app/data_startup) on the worker thread and only read
// afterwards, which is why they carry no lock.
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "refdata/decrypt.hpp"

using StringSet = std::set<std::string, std::less<>>;
using TypeGroup = std::vector<std::string>;

struct ThirdpartyRecord {
    std::string publisher;
    std::vector<std::string> airports;  // airport codes
};

// What the database knows of one registration.
struct DbaseRecord {
    std::string airl;  // airline ICAO code
    std::string type;  // ICAO aircraft type code
    std::string opr;   // operator
    bool cargo = false;
};

// Every table of the database, as one reading of dbase.xml fills them.
struct DbaseTables {
    // Type and airline codes compare exactly (case matters).
    StringSet aircraftTypes;
    StringSet highPerfTypes;
    StringSet heavyTypes;
    StringSet largeTypes;
    StringSet buzjetTypes;
    StringSet rotorcraftTypes;
    StringSet cargoTypes;
    StringSet icaoAirlines;
    StringSet cargoOperators;
    StringSet simaddonAirports;
    // Groups of interchangeable types, each sorted, in file order.
    std::vector<TypeGroup> similarGroups;
    // Names of one publisher, as written, one group per distinct "names" text.
    std::vector<std::vector<std::string>> publisherGroups;
    // Half the wingspan of a type, nautical miles.
    std::map<std::string, double, std::less<>> halfWingspans;
    // Largest half wingspan of all valid entries (nm); 0 without any.
    double maxHalfWingspan = 0.0;
    // Mean half wingspan per AircraftCategory (nm); all 0 when the file has no valid wingspan.
    std::array<double, 6> meanHalfWingspan{};
    // Wrong type code of installed aircraft -> correct type code.
    std::unordered_map<std::string, std::string> modelFixes;
    std::vector<ThirdpartyRecord> thirdpartyRecords;
    // Registration, exactly as written in the file -> its record.
    std::unordered_map<std::string, DbaseRecord> dbaseRecords;
};

// The tables the program reads, filled by gf_readDbase; each name below is one of its members.
extern DbaseTables dbaseTables;
extern StringSet& aircraftTypes;
extern StringSet& highPerfTypes;
extern StringSet& heavyTypes;
extern StringSet& largeTypes;
extern StringSet& buzjetTypes;
extern StringSet& rotorcraftTypes;
extern StringSet& cargoTypes;
extern StringSet& icaoAirlines;
extern StringSet& cargoOperators;
extern StringSet& simaddonAirports;
extern std::vector<TypeGroup>& similarGroups;
extern std::vector<std::vector<std::string>>& publisherGroups;
extern std::map<std::string, double, std::less<>>& halfWingspans;
extern double& maxHalfWingspan;
extern std::array<double, 6>& meanHalfWingspan;
extern std::unordered_map<std::string, std::string>& modelFixes;
extern std::vector<ThirdpartyRecord>& thirdpartyRecords;
extern std::unordered_map<std::string, DbaseRecord>& dbaseRecords;

// Reads input/dbase.enc into dbaseTables. True when read; false when the plain file cannot be
// parsed (no table is changed then). Throws std::runtime_error when dbase.enc is missing ("{} not
// available") or cannot be decrypted ("{} stream decrypt failed"), and vald::UserErrorException 61
// when a required section is missing or empty (every table is empty then). The plain file never
// outlives the call.
[[nodiscard]] bool gf_readDbase();

// The one reading of dbase.xml, of its plain text: every section into tables (emptied first),
// saying through log what it skipped. Nothing when the text was read; the parser's description
// of the fault when it is no XML, or gf_nulByteFault's when it holds a NUL byte. Throws
// vald::UserErrorException 61 when a required section is missing or empty. gf_readDbase loads
// the file with it; a downloaded copy is checked with it.
[[nodiscard]] std::optional<std::string> gf_readDbaseText(std::string text, DbaseTables& tables, const ReaderLog& log);

// Why the plain text is no dbase.xml the program could load (it does not parse, holds a NUL byte,
// or a required section is missing or empty); nothing when it is one. Logs nothing and changes no
// table.
[[nodiscard]] std::optional<std::string> gf_dbaseFault(std::string text);

// Empties every table (start of each read; tests).
void gf_clearDbaseTables();

// True when part is empty or occurs in text, ignoring ASCII case byte by byte.
bool gf_containsNoCase(const std::string& text, const std::string& part);
