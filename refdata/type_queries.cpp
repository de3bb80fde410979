#include "refdata/type_queries.hpp"

#include <set>

#include "foundation/format.hpp"
#include "foundation/hook_store.hpp"
#include "foundation/log.hpp"
#include "foundation/strings.hpp"
#include "refdata/dbase.hpp"

std::unordered_map<std::string, TypeList> substituteTypes;
std::unordered_map<std::string, std::unordered_map<std::string, TypeList>> airlineSimilarTypes;
TypeList emptyTypeList;
TypeList oneTypeList;

namespace {

LiveryIndexQueries lf_noLiveries()
{
    LiveryIndexQueries queries;
    queries.hasInstalledType = [](const std::string&) { return false; };
    queries.liveryAirlines = [] { return std::vector<std::string>{}; };
    queries.hasAirlineModel = [](const std::string&, const std::string&) { return false; };
    return queries;
}

HookStore<LiveryIndexQueries>& lf_liveryQueries()
{
    static HookStore<LiveryIndexQueries> store(&lf_noLiveries);
    return store;
}

bool lf_hasInstalledType(const std::string& type) { return lf_liveryQueries().get()->hasInstalledType(type); }

bool lf_hasAirlineModel(const std::string& airline, const std::string& type)
{
    return lf_liveryQueries().get()->hasAirlineModel(airline, type);
}

// "T,X,Y" for every member T of a group that has other members with installed liveries.
std::set<std::string> lf_substituteTexts()
{
    std::set<std::string> texts;
    for (const TypeGroup& group : similarGroups) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            std::string text = group[i];
            bool anyAdded = false;
            for (std::size_t j = 0; j < group.size(); ++j) {
                if (j != i && lf_hasInstalledType(group[j])) {
                    text += ',';
                    text += group[j];
                    anyAdded = true;
                }
            }
            if (anyAdded)
                texts.insert(std::move(text));
        }
    }
    return texts;
}

}  // namespace

std::string_view gf_categoryName(AircraftCategory category)
{
    switch (category) {
    case AircraftCategory::Light: return "Light";
    case AircraftCategory::Buzjets: return "Buzjets";
    case AircraftCategory::Large: return "Large";
    case AircraftCategory::Heavy: return "Heavy";
    case AircraftCategory::HighPerf: return "HighPerf";
    case AircraftCategory::Rotorcraft: return "Rotorcraft";
    }
    return "?";
}

AircraftCategory gf_typeCategory(const std::string& type) { return gf_typeCategoryIn(dbaseTables, type); }

AircraftCategory gf_typeCategoryIn(const DbaseTables& tables, const std::string& type)
{
    if (tables.largeTypes.contains(type))
        return AircraftCategory::Large;
    if (tables.heavyTypes.contains(type))
        return AircraftCategory::Heavy;
    if (tables.buzjetTypes.contains(type))
        return AircraftCategory::Buzjets;
    if (tables.rotorcraftTypes.contains(type))
        return AircraftCategory::Rotorcraft;
    if (tables.highPerfTypes.contains(type))
        return AircraftCategory::HighPerf;
    return AircraftCategory::Light;
}

bool gf_isKnownType(const std::string& type) { return !type.empty() && aircraftTypes.contains(type); }

bool gf_isIcaoAirline(const std::string& airline) { return !airline.empty() && icaoAirlines.contains(airline); }

double gf_typeWingspan(const std::string& type)
{
    const auto found = halfWingspans.find(type);
    if (found != halfWingspans.end())
        return found->second;
    return meanHalfWingspan[static_cast<std::size_t>(gf_typeCategory(type))];
}

void gf_setLiveryIndexQueries(LiveryIndexQueries queries)
{
    lf_liveryQueries().update([&queries](LiveryIndexQueries& current) {
        gf_takeHook(current.hasInstalledType, queries.hasInstalledType);
        gf_takeHook(current.liveryAirlines, queries.liveryAirlines);
        gf_takeHook(current.hasAirlineModel, queries.hasAirlineModel);
    });
}

void gf_buildSimilarModels()
{
    for (const std::string& text : lf_substituteTexts()) {
        TypeList pieces = gf_split(text, ',');
        std::string key = std::move(pieces.front());
        pieces.erase(pieces.begin());
        substituteTypes.try_emplace(std::move(key), std::move(pieces));
    }

    const std::vector<std::string> airlines = lf_liveryQueries().get()->liveryAirlines();
    for (const std::string& airline : airlines) {
        std::unordered_map<std::string, TypeList> similar;
        for (const auto& [type, list] : substituteTypes) {
            if (lf_hasAirlineModel(airline, type))
                continue;
            TypeList available;
            for (const std::string& member : list) {
                if (lf_hasAirlineModel(airline, member))
                    available.push_back(member);
            }
            if (!available.empty())
                similar.emplace(type, std::move(available));
        }
        if (!similar.empty())
            airlineSimilarTypes.emplace(airline, std::move(similar));
    }
    gf_log(vald::format("{} similar model definitions", substituteTypes.size()));
}

TypeList& gf_findSimilarModels(const std::pair<std::string, std::string>& airlineAndType)
{
    const auto airline = airlineSimilarTypes.find(airlineAndType.first);
    if (airline == airlineSimilarTypes.end())
        return emptyTypeList;
    const auto type = airline->second.find(airlineAndType.second);
    if (type == airline->second.end())
        return emptyTypeList;
    gf_shuffle(type->second);
    return type->second;
}

TypeList& gf_pickOneAsList(const std::function<std::string()>& supplier)
{
    std::string code = supplier();
    if (code.empty())
        return emptyTypeList;
    oneTypeList.assign(1, std::move(code));
    return oneTypeList;
}

void gf_resetSimilarModels()
{
    substituteTypes.clear();
    airlineSimilarTypes.clear();
    lf_liveryQueries().reset();
}
