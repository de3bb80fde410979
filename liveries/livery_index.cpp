#include "liveries/livery_index.hpp"

#include <set>

#include "foundation/log.hpp"
#include "platform/window_display.hpp"
#include "refdata/type_queries.hpp"

LiveryIndex liveryIndex;
ModelIndex modelIndexes[2];
std::atomic<bool> liveriesProcessed{false};
std::atomic<std::uint64_t> liveryCount{0};

namespace {

constexpr std::size_t AIRLINE_KEY_LENGTH = 3;
constexpr std::size_t SPECIAL_TITLES_CAPACITY = 4096;

std::vector<std::string_view> specialTitles;
bool reserved = false;

void lf_showLiveryCount()
{
    const std::uint64_t count = liveryCount.load();
    vald::gf_updateDisplay([count](vald::StatusDisplayValues& values) { values.liveryCount = count; },
                           vald::COUNTS_BAND);
}

}  // namespace

void gf_reserveLiveryIndexes()
{
    if (reserved)
        return;
    reserved = true;
    specialTitles.reserve(SPECIAL_TITLES_CAPACITY);
}

// Reading output/LiveriesScanned.xml into the indexes comes with the liveries database; until
// then the indexes stay empty, every aircraft gets the simulator's default look, and the
// similar-model tables of the reference data are built over no installed liveries.
void gf_processScannedLiveries()
{
    if (liveriesProcessed.load()) {
        gf_log("Processing scanned liveries skipped; already done in previous start-up");
        return;
    }
    lf_showLiveryCount();
    gf_buildSimilarModels();
    liveriesProcessed.store(true);
}

void gf_resetLiveryIndexes()
{
    liveryIndex.clear();
    modelIndexes[0].clear();
    modelIndexes[1].clear();
    specialTitles.clear();
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
