#pragma once
// dbase.xml: the aircraft and airline reference database. gf_readDbase decrypts input/dbase.enc,
// reads every section into the process-wide tables below and removes the plain file again. The
// tables are filled once during start-up on the worker thread and only read afterwards, which
// is why they carry no lock.
#include <array>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

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

// Type and airline codes compare exactly (case matters).
extern StringSet aircraftTypes;
extern StringSet highPerfTypes;
extern StringSet heavyTypes;
extern StringSet largeTypes;
extern StringSet buzjetTypes;
extern StringSet rotorcraftTypes;
extern StringSet cargoTypes;
extern StringSet icaoAirlines;
extern StringSet cargoOperators;
extern StringSet simaddonAirports;

// Groups of interchangeable types, each sorted, in file order.
extern std::vector<TypeGroup> similarGroups;
// Names of one publisher, as written, one group per distinct "names" text.
extern std::vector<std::vector<std::string>> publisherGroups;
// Half the wingspan of a type, nautical miles.
extern std::map<std::string, double, std::less<>> halfWingspans;
// Largest half wingspan of all valid entries (nm); 0 without any.
extern double maxHalfWingspan;
// Mean half wingspan per AircraftCategory (nm); all 0 when the file has no valid wingspan.
extern std::array<double, 6> meanHalfWingspan;
// Wrong type code of installed aircraft -> correct type code.
extern std::unordered_map<std::string, std::string> modelFixes;
extern std::vector<ThirdpartyRecord> thirdpartyRecords;
// Registration, exactly as written in the file -> its record.
extern std::unordered_map<std::string, DbaseRecord> dbaseRecords;

// Reads input/dbase.enc. True when read; false when the plain file cannot be parsed (no table is
// changed then). Throws std::runtime_error when dbase.enc is missing ("{} not available") or
// cannot be decrypted ("{} stream decrypt failed"), and vald::UserErrorException 61 when a
// required section is missing or empty. The plain file never outlives the call.
[[nodiscard]] bool gf_readDbase();

// Empties every table (start of each read; tests).
void gf_clearDbaseTables();

// True when part is empty or occurs in text, ignoring ASCII case byte by byte.
bool gf_containsNoCase(const std::string& text, const std::string& part);
