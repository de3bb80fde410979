#include "liveries/livery_choice.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/strings.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/matching_summary.hpp"
#include "liveries/regcode_index.hpp"
#include "refdata/registration.hpp"

std::array<std::int32_t, MATCH_STEP_COUNT> matchStepCounters{};

namespace {

constexpr std::string_view PRIVATE_AIRLINE = "PVT";
constexpr std::string_view FSLTL_MARK = "FSLTL_";
constexpr int SPECIAL_DRAWS = 5;

// Remembered titles by transponder address; owned, so they outlive a reset of the indexes.
std::unordered_map<std::uint32_t, std::string> rememberedTitles;

// One walk of the ladder. The title is a view into the livery index while the walk runs and is
// copied into the pick at its end.
struct Choice {
    LiveryPick& pick;
    bool live;  // live choice: acceptance counts and sets the FSLTL flag
    std::string_view title{};
    int step = 0;
};

const std::string& lf_genericAirline()
{
    static const std::string generic{UNKNOWN_AIRLINE};
    return generic;
}

std::uint32_t lf_draw() { return gf_threadRandomEngine()(); }

bool lf_isSpecial(std::string_view title) { return !specialTitleSet.empty() && specialTitleSet.contains(title); }

// The candidates without the titles the simulator refused: a refused title leaves the others of
// its step to stand in for it, instead of ending the step with no title at all.
const TitleViews& lf_creatableTitles(const TitleViews& candidates, TitleViews& kept)
{
    if (std::none_of(candidates.begin(), candidates.end(), gf_isRefusedLivery))
        return candidates;
    for (const std::string_view candidate : candidates)
        if (!gf_isRefusedLivery(candidate))
            kept.push_back(candidate);
    return kept;
}

// A random candidate, avoiding refused titles and special ones: five draws, then one among the
// others. None left: no title.
void lf_pickRandomTitle(Choice& c, const TitleViews& all)
{
    TitleViews kept;
    const TitleViews& candidates = lf_creatableTitles(all, kept);
    const std::size_t n = candidates.size();
    if (n == 0) {
        c.title = {};
        return;
    }
    if (n == 1) {
        c.title = candidates.front();
        return;
    }
    for (int draw = 0; draw < SPECIAL_DRAWS; ++draw) {
        c.title = candidates[lf_draw() % n];
        if (!lf_isSpecial(c.title))
            return;
    }
    TitleViews normal;
    for (const std::string_view candidate : candidates)
        if (!lf_isSpecial(candidate))
            normal.push_back(candidate);
    if (!normal.empty())
        c.title = normal.size() == 1 ? normal.front() : normal[lf_draw() % normal.size()];
}

bool lf_findAirlineModel(Choice& c, const std::string& airline, const std::string& model, int kind)
{
    const AirlineModelIndex& index = airlineModelIndexes[kind];
    const auto byAirline = index.find(airline);
    if (byAirline == index.end())
        return false;
    const auto titles = byAirline->second.find(model);
    if (titles == byAirline->second.end() || titles->second.empty())
        return false;
    lf_pickRandomTitle(c, titles->second);
    return !c.title.empty();
}

bool lf_findAirlineModelCargoFirst(Choice& c, const std::string& airline, const std::string& model)
{
    if (c.pick.cargo && lf_findAirlineModel(c, airline, model, 1))
        return true;
    return lf_findAirlineModel(c, airline, model, 0);
}

// Only liveries of the aircraft's own kind: a freighter never gets a passenger livery here.
bool lf_findModelLivery(Choice& c, const std::string& model)
{
    const ModelIndex& index = modelIndexes[c.pick.cargo ? 1 : 0];
    const auto titles = index.find(model);
    if (titles == index.end() || titles->second.empty())
        return false;
    lf_pickRandomTitle(c, titles->second);
    return !c.title.empty();
}

bool lf_isRefused(Choice& c)
{
    if (!gf_isRefusedLivery(c.title))
        return false;
    c.title = {};
    return true;
}

void lf_logMatch(const Choice& c, int step)
{
    gf_log(vald::format("          {} ={}= {}", c.pick.keyText, step, c.title));
}

// Acceptance of the live choice: a refused title is dropped and the ladder goes on.
bool lf_recordLiveryMatch(Choice& c, int step)
{
    if (lf_isRefused(c))
        return false;
    ++matchStepCounters[static_cast<std::size_t>(step)];
    lf_logMatch(c, step);
    c.pick.fsltlLivery = c.title.find(FSLTL_MARK) != std::string_view::npos;
    return true;
}

// Acceptance of the static choice: in place, nothing counted.
bool lf_acceptStatic(Choice& c, int step)
{
    if (lf_isRefused(c))
        return false;
    lf_logMatch(c, step);
    return true;
}

// A hit of a step: the live choice accepts it afterwards, the static choice at once.
bool lf_hit(Choice& c, int step)
{
    c.step = step;
    return c.live || lf_acceptStatic(c, step);
}

// Similar types of (airline, model): for the live choice of the aircraft's category only, and the
// first hit; the static choice goes on with the next similar type after a refused title.
bool lf_findSimilarModelLivery(Choice& c, const std::string& airline, const std::string& model)
{
    const TypeList& similar = gf_findSimilarModels({airline, model});
    for (const std::string& other : similar) {
        if (c.live && gf_typeCategory(other) != c.pick.category)
            continue;
        if (lf_findAirlineModelCargoFirst(c, airline, other) && lf_hit(c, 3))
            return true;
    }
    return false;
}

std::string lf_poolPickFor(const std::string& model)
{
    switch (gf_typeCategory(model)) {
    case AircraftCategory::Light: return lt_randomFromPool0();
    case AircraftCategory::Buzjets: return lt_randomFromPool1();
    case AircraftCategory::Rotorcraft: return lt_randomFromPool2();
    default: return {};
    }
}

// Steps 4 to 6, at depth 3 or 4; the step of the hit is left in c.step.
bool lf_fallbackLivery(Choice& c, std::int32_t depth)
{
    const FlightIdentity& flight = c.pick.identity;
    const std::string& model = flight.type;
    if (depth == 4 && lf_findAirlineModelCargoFirst(c, lf_genericAirline(), model) && lf_hit(c, 4))
        return true;
    const AircraftCategory category = c.pick.category;
    if (category != AircraftCategory::Light && category != AircraftCategory::Buzjets &&
        category != AircraftCategory::Rotorcraft)
        return false;
    if (depth >= 3 && flight.airline != PRIVATE_AIRLINE &&
        lf_findAirlineModelCargoFirst(c, lf_genericAirline(), model) && lf_hit(c, 4))
        return true;
    if (lf_findModelLivery(c, model) && lf_hit(c, 5))
        return true;
    const auto substitutes = substituteTypes.find(model);
    if (substitutes != substituteTypes.end()) {
        gf_shuffle(substitutes->second);
        for (const std::string& other : substitutes->second)
            if (lf_findModelLivery(c, other))
                return lf_hit(c, 6);
        return false;
    }
    const TypeList& one = gf_pickOneAsList([&model] { return lf_poolPickFor(model); });
    if (!one.empty() && lf_findModelLivery(c, one.front()))
        return lf_hit(c, 6);
    return false;
}

// Registration step: the title bound to the registration, if any.
bool lf_specialLiveryByRegcode(Choice& c)
{
    const std::string& registration = c.pick.identity.registration;
    if (registration.empty())
        return false;
    const auto bound = regcodeIndex.find(registration);
    c.title = bound == regcodeIndex.end() ? std::string_view() : bound->second;
    return !c.title.empty();
}

int lf_registrationStep(const Choice& c)
{
    return uniqueRegistrations.contains(c.pick.identity.registration) ? 0 : 1;
}

bool lf_liveLadder(Choice& c, std::int32_t depth)
{
    const FlightIdentity& flight = c.pick.identity;
    if (lf_specialLiveryByRegcode(c) && lf_recordLiveryMatch(c, lf_registrationStep(c)))
        return true;
    if (depth < 2)
        return false;
    if (flight.airline == PRIVATE_AIRLINE && lf_findAirlineModelCargoFirst(c, lf_genericAirline(), flight.type) &&
        lf_recordLiveryMatch(c, 4))
        return true;
    const std::string operatorCode = gf_regcodeOperator(flight.registration);
    const std::string registrationAirline = operatorCode.empty() ? std::string() : gf_regcodeAirline(flight.registration);
    if (!flight.airline.empty()) {
        if (lf_findAirlineModelCargoFirst(c, flight.airline, flight.type) && lf_recordLiveryMatch(c, 2))
            return true;
        if (!operatorCode.empty() && lf_findAirlineModelCargoFirst(c, registrationAirline, flight.type) &&
            lf_recordLiveryMatch(c, 2))
            return true;
    }
    if (depth < 3)
        return false;
    if (!flight.airline.empty()) {
        if (lf_findSimilarModelLivery(c, flight.airline, flight.type) && lf_recordLiveryMatch(c, 3))
            return true;
        if (!operatorCode.empty() && lf_findSimilarModelLivery(c, registrationAirline, flight.type) &&
            lf_recordLiveryMatch(c, 3))
            return true;
    }
    return lf_fallbackLivery(c, depth) && lf_recordLiveryMatch(c, c.step);
}

bool lf_staticLadder(Choice& c, std::int32_t depth)
{
    const FlightIdentity& flight = c.pick.identity;
    if (lf_specialLiveryByRegcode(c) && lf_acceptStatic(c, lf_registrationStep(c)))
        return true;
    if (depth < 2)
        return false;
    if (flight.airline == PRIVATE_AIRLINE && lf_findAirlineModelCargoFirst(c, lf_genericAirline(), flight.type) &&
        lf_acceptStatic(c, 4))
        return true;
    const std::string operatorCode = gf_regcodeOperator(flight.registration);
    const std::string registrationAirline = operatorCode.empty() ? std::string() : gf_regcodeAirline(flight.registration);
    if (lf_findAirlineModelCargoFirst(c, flight.airline, flight.type) && lf_acceptStatic(c, 2))
        return true;
    if (!operatorCode.empty() && lf_findAirlineModelCargoFirst(c, registrationAirline, flight.type) &&
        lf_acceptStatic(c, 2))
        return true;
    if (depth < 3)
        return false;
    if (lf_findSimilarModelLivery(c, flight.airline, flight.type))
        return true;
    if (!operatorCode.empty() && lf_findSimilarModelLivery(c, registrationAirline, flight.type))
        return true;
    return lf_fallbackLivery(c, depth);
}

}  // namespace

void gf_chooseLiveryForSpawn(LiveryPick& pick)
{
    Choice c{pick, true};
    const std::int32_t depth = MATCHING_DEPTH.value();
    pick.title = lf_liveLadder(c, depth) ? std::string(c.title) : std::string();
}

bool gf_chooseLiveryForStatic(LiveryPick& pick, bool standCargo, const std::string& standText,
                              const std::string& longText)
{
    if (!pick.title.empty()) {
        gf_log(vald::format("          {} =s= {}", pick.keyText, pick.title));
        return true;
    }
    pick.cargo = standCargo;
    Choice c{pick, false};
    const std::int32_t depth = MATCHING_DEPTH.value();
    if (lf_staticLadder(c, depth)) {
        pick.title = std::string(c.title);
        return true;
    }
    pick.title.clear();
    gf_log(vald::format("{:8}: {} no livery match ...", standText, longText));
    return false;
}

std::string gf_rememberedLivery(std::uint32_t hexid)
{
    const auto found = rememberedTitles.find(hexid);
    if (found == rememberedTitles.end())
        return {};
    if (gf_isRefusedLivery(found->second)) {
        rememberedTitles.erase(found);
        return {};
    }
    return found->second;
}

void gf_rememberLivery(std::uint32_t hexid, const std::string& title) { rememberedTitles.try_emplace(hexid, title); }

void gf_forgetRememberedLivery(std::uint32_t hexid) { rememberedTitles.erase(hexid); }

void gf_forgetRememberedLiveries() { rememberedTitles.clear(); }

std::size_t gf_rememberedLiveryCount() { return rememberedTitles.size(); }

void gf_resetLiveryChoiceForTest()
{
    matchStepCounters.fill(0);
    rememberedTitles.clear();
}
