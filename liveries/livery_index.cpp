#include "liveries/livery_index.hpp"

#include <algorithm>
#include <iterator>
#include <set>
#include <tuple>

#include "foundation/strings.hpp"
#include "liveries/livery_records.hpp"
#include "liveries/regcode_index.hpp"

LiveryIndex liveryIndex;
AirlineModelIndex airlineModelIndexes[2];
ModelIndex modelIndexes[2];
std::array<std::vector<std::string>, 3> modelPools;
TitleViews specialTitles;
std::unordered_set<std::string_view> specialTitleSet;
std::atomic<bool> liveriesProcessed{false};
std::atomic<std::uint64_t> liveryCount{0};

namespace {

constexpr std::size_t AIRLINE_KEY_LENGTH = 3;
constexpr std::size_t SPECIAL_TITLES_CAPACITY = 4096;
constexpr std::array<std::size_t, 3> POOL_CAPACITIES{64, 128, 32};
// Working room while building; what is stored is copied to its exact size.
constexpr std::size_t GROUP_CAPACITY = 4048;
constexpr std::size_t MODEL_GROUP_CAPACITY = 15000;

bool reserved = false;
// Every stored title once, for binding registrations to titles without walking every group.
std::unordered_set<std::string_view> indexedTitles;

using ModelMap = std::unordered_map<std::string, std::vector<LiveryEntry>>;

// Stores the group under model with its exact size and empties the working vector.
void lf_storeGroup(ModelMap& models, const std::string& model, std::vector<LiveryEntry>& group)
{
    if (group.empty())
        return;
    models.try_emplace(model, std::make_move_iterator(group.begin()), std::make_move_iterator(group.end()));
    group.clear();
}

void lf_storeAirline(const std::string& airline, ModelMap& models)
{
    if (models.empty())
        return;
    liveryIndex.try_emplace(airline, std::move(models));
    models.clear();
}

std::string lf_randomFromPool(const std::vector<std::string>& pool)
{
    if (pool.empty())
        return {};
    if (pool.size() == 1)
        return pool.front();
    return pool[gf_threadRandomEngine()() % pool.size()];
}

void lf_insertViews(ModelIndex& index, const std::string& model, TitleViews& views)
{
    if (views.empty())
        return;
    index.try_emplace(model, views.begin(), views.end());
    views.clear();
}

}  // namespace

void gf_reserveLiveryIndexes()
{
    if (reserved)
        return;
    reserved = true;
    specialTitles.reserve(SPECIAL_TITLES_CAPACITY);
    for (std::size_t pool = 0; pool < modelPools.size(); ++pool)
        modelPools[pool].reserve(POOL_CAPACITIES[pool]);
}

void lf_buildLiveryIndex()
{
    std::string currentModel;
    std::string currentAirline;
    ModelMap models;
    std::vector<LiveryEntry> group;
    group.reserve(GROUP_CAPACITY);
    for (const LiveryData& livery : scannedLiveries) {
        if (livery.type != currentModel) {
            lf_storeGroup(models, currentModel, group);
            currentModel = livery.type;
        }
        if (livery.airl != currentAirline) {
            lf_storeGroup(models, currentModel, group);
            lf_storeAirline(currentAirline, models);
            currentAirline = livery.airl;
        }
        std::string title = livery.title;
        title.shrink_to_fit();
        group.push_back(LiveryEntry{std::move(title), livery.cargo});
    }
    lf_storeGroup(models, currentModel, group);
    lf_storeAirline(currentAirline, models);

    indexedTitles.clear();
    for (const auto& [airline, byModel] : liveryIndex)
        for (const auto& [model, entries] : byModel)
            for (const LiveryEntry& entry : entries)
                indexedTitles.insert(entry.title);
}

void lf_buildAirlineModelIndexes()
{
    for (const auto& [airline, byModel] : liveryIndex) {
        std::unordered_map<std::string, TitleViews> kinds[2];
        for (const auto& [model, entries] : byModel) {
            TitleViews views[2];
            for (const LiveryEntry& entry : entries)
                views[entry.cargo ? 1 : 0].push_back(entry.title);
            for (int kind = 0; kind < 2; ++kind) {
                if (views[kind].empty())
                    continue;
                views[kind].shrink_to_fit();
                kinds[kind].try_emplace(model, std::move(views[kind]));
            }
        }
        for (int kind = 0; kind < 2; ++kind)
            if (!kinds[kind].empty())
                airlineModelIndexes[kind].try_emplace(airline, std::move(kinds[kind]));
    }
}

void lf_buildModelIndexes()
{
    struct ModelTitle {
        std::string_view model;
        std::string_view title;
        bool cargo;
    };
    std::vector<ModelTitle> records;
    for (const auto& [airline, byModel] : liveryIndex)
        for (const auto& [model, entries] : byModel)
            for (const LiveryEntry& entry : entries)
                records.push_back(ModelTitle{model, entry.title, entry.cargo});
    std::sort(records.begin(), records.end(),
              [](const ModelTitle& a, const ModelTitle& b) { return a.model < b.model; });

    TitleViews views[2];
    views[0].reserve(MODEL_GROUP_CAPACITY);
    views[1].reserve(MODEL_GROUP_CAPACITY);
    std::string currentModel;
    for (const ModelTitle& record : records) {
        if (record.model != currentModel) {
            lf_insertViews(modelIndexes[0], currentModel, views[0]);
            lf_insertViews(modelIndexes[1], currentModel, views[1]);
            currentModel = record.model;
        }
        views[record.cargo ? 1 : 0].push_back(record.title);
    }
    lf_insertViews(modelIndexes[0], currentModel, views[0]);
    lf_insertViews(modelIndexes[1], currentModel, views[1]);
}

std::string_view lf_findIndexedTitle(const std::string& title)
{
    const auto found = indexedTitles.find(title);
    return found == indexedTitles.end() ? std::string_view() : *found;
}

void gf_resetLiveryIndexes()
{
    for (std::vector<std::string>& pool : modelPools)
        pool.clear();
    lf_resetRegcodeIndex();
    specialTitles.clear();
    specialTitleSet.clear();
    for (int kind = 0; kind < 2; ++kind) {
        modelIndexes[kind].clear();
        airlineModelIndexes[kind].clear();
    }
    indexedTitles.clear();
    liveryIndex.clear();
    liveryCount.store(0);
}

bool gf_hasAirlineModel(const std::string& airline, const std::string& type)
{
    const auto models = liveryIndex.find(airline);
    if (models == liveryIndex.end())
        return false;
    const auto liveries = models->second.find(type);
    return liveries != models->second.end() && !liveries->second.empty();
}

std::vector<std::string> gf_liveryAirlines()
{
    std::vector<std::string> airlines;
    airlines.reserve(liveryIndex.size());
    std::set<std::string> seen;
    for (const auto& [airline, models] : liveryIndex) {
        std::string code = airline.substr(0, AIRLINE_KEY_LENGTH);
        if (seen.insert(code).second)
            airlines.push_back(std::move(code));
    }
    return airlines;
}

bool gf_hasInstalledType(const std::string& type)
{
    return modelIndexes[0].contains(type) || modelIndexes[1].contains(type);
}

std::string lt_randomFromPool0() { return lf_randomFromPool(modelPools[0]); }
std::string lt_randomFromPool1() { return lf_randomFromPool(modelPools[1]); }
std::string lt_randomFromPool2() { return lf_randomFromPool(modelPools[2]); }
