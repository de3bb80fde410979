#pragma once
// Questions about aircraft types and airline codes, answered from the dbase.xml tables: the
// category of a type, known types and airlines, half wingspans, and the similar types that can
// stand in for a type of which no livery is installed.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

enum class AircraftCategory : std::int32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

// "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"; "?" outside the enumeration.
std::string_view gf_categoryName(AircraftCategory category);

struct DbaseTables;

// First hit of large, heavy, buzjet, rotorcraft, high-performance; otherwise Light.
AircraftCategory gf_typeCategory(const std::string& type);
// The same in the category sets of tables (the program's own or a reading not yet in use).
AircraftCategory gf_typeCategoryIn(const DbaseTables& tables, const std::string& type);
bool gf_isKnownType(const std::string& type);
bool gf_isIcaoAirline(const std::string& airline);
// Half the wingspan of the type in nautical miles: its own entry, else the mean of its category.
double gf_typeWingspan(const std::string& type);

// What the similar-type tables need of the livery indexes, which live in a higher layer. The
// livery database registers its answers before it calls gf_buildSimilarModels; until then no
// livery is installed.
struct LiveryIndexQueries {
    // The type is a key of the passenger or the cargo model index.
    std::function<bool(const std::string& type)> hasInstalledType;
    // Every airline code of the livery index, once each.
    std::function<std::vector<std::string>()> liveryAirlines;
    // The livery index holds at least one livery of the type for the airline.
    std::function<bool(const std::string& airline, const std::string& type)> hasAirlineModel;
};
void gf_setLiveryIndexQueries(LiveryIndexQueries queries);

using TypeList = std::vector<std::string>;
// Type -> other members of its similar group that have installed liveries.
extern std::unordered_map<std::string, TypeList> substituteTypes;
// Airline -> (type it has no livery of -> similar types it has liveries of).
extern std::unordered_map<std::string, std::unordered_map<std::string, TypeList>> airlineSimilarTypes;
extern TypeList emptyTypeList;
extern TypeList oneTypeList;

// Builds substituteTypes and airlineSimilarTypes from the livery index queries; once per process.
void gf_buildSimilarModels();
// The similar types of (airline, type), shuffled in place on every call; emptyTypeList when none.
// Changes shared state: one caller thread at a time.
TypeList& gf_findSimilarModels(const std::pair<std::string, std::string>& airlineAndType);
// oneTypeList holding the supplier's code, or emptyTypeList when it supplies an empty code.
// Valid until the next call; one caller thread at a time.
TypeList& gf_pickOneAsList(const std::function<std::string()>& supplier);

// Empties the similar-type tables and forgets the registered queries (tests).
void gf_resetSimilarModels();
