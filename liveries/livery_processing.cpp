// The once-per-process build of the livery indexes from LiveriesScanned.xml, with the category
// summary that switches off categories of which nothing is installed, the model pools and the
// log of generic liveries.
#include <algorithm>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameters.hpp"
#include "foundation/strings.hpp"
#include "liveries/liveries_hooks.hpp"
#include "liveries/liveries_scanned_xml.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/regcode_index.hpp"
#include "platform/control_model.hpp"
#include "foundation/status_display.hpp"
#include "refdata/type_queries.hpp"

namespace {

constexpr std::size_t MODELS_PER_LOG_LINE = 20;

struct CategorySwitch {
    CheckBoxParameter* parameter;
    const char* what;
};

// The categories that have a check box of their own: Light, HighPerf and Rotorcraft.
const CategorySwitch* lf_categorySwitch(AircraftCategory category)
{
    static const CategorySwitch light{&LIGHT_AIRCRAFT, "light aircraft"};
    static const CategorySwitch highPerf{&HIGH_PERF_AIRCRAFT, "High Perf aircraft"};
    static const CategorySwitch helicopters{&HELICOPTERS, "Helicopters"};
    switch (category) {
    case AircraftCategory::Light: return &light;
    case AircraftCategory::HighPerf: return &highPerf;
    case AircraftCategory::Rotorcraft: return &helicopters;
    default: return nullptr;
    }
}

void lf_enableCheckBox(const CheckBoxParameter& box, bool enabled)
{
    vald::gf_controls().setEnabled(box.controlId(), enabled);
}

void lf_showLiveryCount()
{
    const std::uint64_t count = liveryCount.load();
    vald::gf_updateDisplay([count](vald::StatusDisplayValues& values) { values.liveryCount = count; },
                           vald::COUNTS_BAND);
}

}  // namespace

void lf_fillModelPools(bool pool0, bool pool1, bool pool2, const std::vector<std::string>& models)
{
    std::string line = "  ";
    std::size_t onLine = 0;
    const auto logLine = [&line, &onLine] {
        line.pop_back();  // the trailing ","
        gf_log(line);
        line = "  ";
        onLine = 0;
    };
    for (const std::string& model : models) {
        if (pool0)
            modelPools[0].push_back(model);
        else if (pool1)
            modelPools[1].push_back(model);
        else if (pool2)
            modelPools[2].push_back(model);
        line += model + ",";
        if (++onLine == MODELS_PER_LOG_LINE)
            logLine();
    }
    if (onLine > 0)
        logLine();
}

void lf_categorySummary(unsigned int category)
{
    const auto wanted = static_cast<AircraftCategory>(category);
    std::vector<std::string> models[2];
    std::size_t titles[2] = {0, 0};
    for (int kind = 0; kind < 2; ++kind) {
        for (const auto& [model, views] : modelIndexes[kind]) {
            if (gf_typeCategory(model) != wanted)
                continue;
            models[kind].push_back(model);
            titles[kind] += views.size();
        }
    }
    const CategorySwitch* categorySwitch = lf_categorySwitch(wanted);
    const std::string name{gf_categoryName(wanted)};
    if (titles[0] == 0 && titles[1] == 0) {
        gf_log(vald::format("Category {}: No livery found", name));
        if (categorySwitch != nullptr) {
            CheckBoxParameter& box = *categorySwitch->parameter;
            if (box.value()) {
                box.setValue(false);
                vald::gf_controls().setChecked(box.controlId(), false);
                gf_saveBoolParameter(box);
                gf_log(vald::format("{} temporarily switched off because you do not have {} installed", box.name(),
                                    categorySwitch->what));
            }
            lf_enableCheckBox(box, false);
        }
        return;
    }
    const std::string cargoPart =
        titles[1] == 0 ? std::string()
                       : vald::format(" and {} cargo liverie{}", titles[1], gf_pluralSize(titles[1]));
    gf_log(vald::format("Category {}: {} pax liverie{}{}", name, titles[0], gf_pluralSize(titles[0]), cargoPart));
    std::vector<std::string> all = std::move(models[0]);
    all.insert(all.end(), models[1].begin(), models[1].end());
    if (!all.empty()) {
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        lf_fillModelPools(category == 0, category == 1, category == 5, all);
    }
    if (categorySwitch != nullptr)
        lf_enableCheckBox(*categorySwitch->parameter, true);
}

std::optional<std::vector<std::string>> lf_genericLiveryModels()
{
    const auto generic = liveryIndex.find(std::string(UNKNOWN_AIRLINE));
    if (generic == liveryIndex.end())
        return std::nullopt;
    std::vector<std::string> models;
    models.reserve(generic->second.size());
    for (const auto& [model, entries] : generic->second)
        models.push_back(model);
    return models;
}

void lf_logGenericLiveries()
{
    std::optional<std::vector<std::string>> models = lf_genericLiveryModels();
    if (!models) {
        gf_log("No generic liveries");
        return;
    }
    std::sort(models->begin(), models->end());
    models->erase(std::unique(models->begin(), models->end()), models->end());
    gf_log(vald::format("{} model{} have a generic livery", models->size(), gf_pluralSize(models->size())));
    lf_fillModelPools(false, false, false, *models);
}

void gf_processScannedLiveries()
{
    if (liveriesProcessed.load()) {
        gf_log("Processing scanned liveries skipped; already done in previous start-up");
        scannedLiveries.clear();
        return;
    }
    lf_readLiveriesScanned();
    liveryCount.store(scannedLiveries.size());
    lf_showLiveryCount();

    lf_buildLiveryIndex();
    lf_buildAirlineModelIndexes();
    lf_processInlineRegcodes();
    lf_processRegcodeFiles();
    gf_log(vald::format("{} registration codes", regcodeIndex.size()));

    lf_buildModelIndexes();
    gf_log(vald::format("{} airlines, {} pax aircraft models and {} cargo aircraft models", liveryIndex.size(),
                        modelIndexes[0].size(), modelIndexes[1].size()));

    // A rebuild after a new scan must not keep the similar types of the liveries it replaced.
    gf_resetSimilarModels();
    gf_registerLiveriesHooks();
    gf_buildSimilarModels();

    for (unsigned int category = 0; category <= 5; ++category)
        lf_categorySummary(category);
    lf_logGenericLiveries();

    liveriesProcessed.store(true);
    lf_showLiveryCount();
    scannedLiveries.clear();
}
