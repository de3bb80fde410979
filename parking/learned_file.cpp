#include "parking/learned_file.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <exception>
#include <set>
#include <unordered_map>
#include <vector>

#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "foundation/time_slots.hpp"
#include "foundation/xml_meta.hpp"
#include "parking/apf_file.hpp"
#include "parking/park_airport.hpp"
#include "parking/parking_window.hpp"

namespace fs = std::filesystem;

namespace {

constexpr double MANUAL_POSITION_EPSILON = 0.0001;
constexpr std::int32_t OPTION_WEIGHT = 20;
constexpr std::int32_t OPTION_WEIGHT_CAP = 4000;
constexpr std::int32_t STAND_BASE = 10000;
constexpr std::int32_t DAY_WEIGHT = 100;
constexpr std::int32_t HALF_HOUR_WEIGHT = 2;
constexpr std::int32_t HALF_HOUR_CAP = 600;
constexpr double QUALITY_SCALE = 0.00625;
constexpr std::int32_t PERCENT_ABSENT = 30;
constexpr std::int32_t PERCENT_STEP = 5;
constexpr std::size_t TIME_OF_DAY_AT = 11;
constexpr std::size_t TIME_OF_DAY_LENGTH = 8;

void lf_replaceFirst(std::string& text, const std::string& what, const std::string& with)
{
    const std::size_t at = text.find(what);
    if (at != std::string::npos)
        text.replace(at, what.size(), with);
}

void lf_replaceAll(std::string& text, const std::string& what, const std::string& with)
{
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// A publisher names a folder: it may not climb out of the learned folder.
std::string lf_publisherFolder(std::string publisher)
{
    for (char& c : publisher)
        if (c == '/' || c == '\\' || c == ':')
            c = '_';
    if (publisher == "." || publisher == "..")
        publisher = "_";
    return publisher;
}

const std::string& lf_learnedText()
{
    static const std::string text = gf_pathToUtf8(LEARNED_FOLDER);
    return text;
}

void lf_applyAutoRange(bool on)
{
    gf_parkSetCheckBox(AUTO_RANGE, on);
    gf_parkEnableControl(RANGE, !on);
    gf_parkingWindowHooks()->applyAutoRange(on);
    if (!on)
        gf_clearStatus();
    gf_setIntParamText(RANGE);
}

void lf_readLearnedSettings(const pugi::xml_document& document)
{
    auto logValue = [](const std::string& name, const auto& value) {
        gf_logIndented(vald::format("{:24}: {}", name, value));
    };
    if (const auto v = gf_paramAsBool(document, LEARN_SOFT_NAME)) {
        gf_parkSetCheckBox(LEARN_SOFT, *v);
        logValue(LEARN_SOFT_NAME, *v);
    }
    // Without MAX_LIVE the user's own choice stays: a learned file of an older kind must not
    // switch every live aircraft off.
    if (const auto v = gf_paramAsInt(document, MAX_LIVE_NAME)) {
        MAX_LIVE_SEL.setValue(lf_snapMaxLive(*v));
        gf_setIntParamText(MAX_LIVE_SEL);
        logValue(MAX_LIVE_NAME, MAX_LIVE_SEL.value());
    }
    if (const auto v = gf_paramAsInt(document, LATERAL_RANGE_NAME)) {
        const std::int32_t range = gf_snapRange(*v);
        gf_setRangeNm(range);
        logValue(LATERAL_RANGE_NAME, range);
        gf_setIntParamText(RANGE);
        gf_parkEnableControl(RANGE, true);
    }
    if (const auto v = gf_paramAsBool(document, AUTO_RANGE_NAME)) {
        logValue(AUTO_RANGE_NAME, *v);
        lf_applyAutoRange(*v);
    }
    const auto percent = gf_paramAsInt(document, PARKING_PERCENTAGE_NAME);
    parking_percentage.setValue(percent ? lf_snapParkingPercentage(*percent) : PERCENT_ABSENT);
    if (percent)
        logValue(PARKING_PERCENTAGE_NAME, *percent);
    gf_setIntParamText(parking_percentage);
    for (CheckBoxParameter* box : {&WEEK, &PARK_SOFT})
        if (const auto v = gf_paramAsBool(document, box->name())) {
            gf_parkSetCheckBox(*box, *v);
            logValue(box->name(), *v);
        }
    if (const auto v = gf_paramAsInt(document, MAX_FIT_NAME))
        gf_setMaxFitHalfHours(*v, false);
    if (const auto v = gf_paramAsBool(document, RT_PARKTRAFFIC_ONLY_NAME)) {
        gf_parkSetCheckBox(RT_PARKTRAFFIC_ONLY, *v);
        logValue(RT_PARKTRAFFIC_ONLY_NAME, *v);
        gf_parkingWindowHooks()->enableParkOptionControls();
    }
    if (const auto v = gf_paramAsBool(document, INITIAL_LOAD_ONLY_NAME)) {
        gf_parkSetCheckBox(INITIAL_LOAD_ONLY, *v);
        logValue(INITIAL_LOAD_ONLY_NAME, *v);
        gf_parkingWindowHooks()->followInitialLoadOnly(*v);
    }
}

// The read of the park airport's learned file, for its save.
struct LearnedFileState {
    fs::path path;                // read at opening, written at closing
    bool readWhole = true;        // false: the file is only partly merged and must not be saved over
    std::vector<Stand> unmatched; // learned stands the park file no longer has, written back as read
};
LearnedFileState learnedFile;

// Whether a learned option is already known, in time linear in the options: options alike in all
// but their half-hours are the same when their half-hour sets meet, so the union of the sets of
// each kind answers for all of them.
class KnownOptions {
public:
    explicit KnownOptions(const std::vector<StandOption>& options)
    {
        for (const StandOption& option : options)
            add(option);
    }
    bool known(const StandOption& option) const
    {
        const auto found = halfHoursByKind_.find(lf_kind(option));
        return found != halfHoursByKind_.end() && (found->second & option.halfHours) != 0;
    }
    void add(const StandOption& option) { halfHoursByKind_[lf_kind(option)] |= option.halfHours; }

private:
    // Attribute texts hold no NUL, so NUL separates the fields unambiguously.
    static std::string lf_kind(const StandOption& o)
    {
        std::string kind = std::to_string(o.day) + ' ' + std::to_string(o.real);
        for (const std::string* field : {&o.registration, &o.airline, &o.type}) {
            kind += '\0';
            kind += *field;
        }
        return kind;
    }
    std::unordered_map<std::string, std::uint64_t> halfHoursByKind_;
};

void lf_applyLearnedStand(const pugi::xml_node& parkpos, Stand& stand, KnownOptions& known, BadHours& badHours)
{
    if (parkpos.attribute("radius_change").as_bool(false)) {
        stand.radius = parkpos.attribute("radius").as_double(0.0) * STAND_METRES_TO_NM;
        stand.radiusChanged = 1;
    }
    if (parkpos.attribute("cargo_change").as_bool(false)) {
        stand.cargo = parkpos.attribute("cargo").as_bool(false) ? 1 : 0;
        stand.cargoChanged = 1;
    }
    std::uint32_t next = stand.options.empty() ? 1 : stand.options.back().number + 1;
    for (const pugi::xml_node opt : parkpos.children("opt")) {
        StandOption option = gf_readStandOption(opt, next, 0, badHours);
        if (known.known(option))
            continue;
        known.add(option);
        stand.options.push_back(std::move(option));
        ++next;
    }
}

// The learned stands of a file merged over the park file's stands. Stands and options are found
// through indexes: a large airport or a stand with many learned uses must not take quadratic
// time on the worker.
class LearnedMerge {
public:
    explicit LearnedMerge(const fs::path& path) : path_(path), where_(gf_pathToUtf8(path))
    {
        for (std::size_t i = 0; i < parkStands.size(); ++i)
            byId_.emplace(parkStands[i].id, i);
    }
    // One warning for the file's bad half-hours, once every stand is merged.
    void finish() const { gf_warnBadHours(badHours_, path_); }

    void merge(const pugi::xml_node& parkpos)
    {
        const std::string id = parkpos.attribute("id").as_string();
        if (parkpos.attribute("manual").as_bool(false)) {
            lf_readManualStand(id, parkpos);
            return;
        }
        const auto found = byId_.find(id);
        if (found != byId_.end()) {
            Stand& stand = parkStands[found->second];
            lf_applyLearnedStand(parkpos, stand, known_.try_emplace(found->second, stand.options).first->second,
                                 badHours_);
            return;
        }
        gf_log(vald::format("learned stand {} in {} not found?", id, where_));
        // What was learned at a stand the park file no longer has stays: the park file may get the
        // stand back, and months of learning are not thrown away by one update.
        const auto [at, fresh] = unmatchedById_.try_emplace(id, learnedFile.unmatched.size());
        if (fresh)
            learnedFile.unmatched.emplace_back(std::vector<StandOption>{}, id, Stand::Place{}, 0.0, false, false, false);
        Stand& stand = learnedFile.unmatched[at->second];
        lf_applyLearnedStand(parkpos, stand, unmatchedKnown_.try_emplace(at->second, stand.options).first->second,
                             badHours_);
    }

private:
    void lf_readManualStand(const std::string& id, const pugi::xml_node& parkpos)
    {
        if (byId_.count(id) != 0) {
            gf_logWarn(vald::format("manually created standid {} already exists in {}", id, where_));
            return;
        }
        const double lat = parkpos.attribute("latitude").as_double(0.0);
        const double lon = parkpos.attribute("longitude").as_double(0.0);
        if ((std::fabs(lat) <= MANUAL_POSITION_EPSILON && std::fabs(lon) <= MANUAL_POSITION_EPSILON) ||
            parkpos.attribute("radius").as_double(0.0) == 0.0) {
            gf_logWarn(vald::format("manually created standid {} misses correct attributes in {}", id, where_));
            return;
        }
        const std::size_t before = parkStands.size();
        lf_readParkpos(parkpos, id, 0, badHours_);
        if (parkStands.size() > before) {
            parkStands.back().manual = 1;
            byId_.emplace(id, before);
        }
    }

    fs::path path_;
    std::string where_;
    std::unordered_map<std::string, std::size_t> byId_;  // index in parkStands
    std::unordered_map<std::size_t, KnownOptions> known_;
    std::unordered_map<std::string, std::size_t> unmatchedById_;  // index in learnedFile.unmatched
    std::unordered_map<std::size_t, KnownOptions> unmatchedKnown_;
    BadHours badHours_;
};

void lf_mergeLearned(const pugi::xml_document& document, const fs::path& path, const ApfInfo& info)
{
    const std::string name = gf_paramAsString(document, std::string(ATTR_AIRPORT_NAME)).value_or("");
    if (name != info.airportName)
        gf_showStatus(vald::format("Warning: learned file airport name: '{}' differs from archived file airport name: '{}'",
                                   name, info.airportName),
                      true);
    lf_readLearnedSettings(document);
    if (const auto handmade = gf_paramAsString(document, std::string(ATTR_HANDMADE))) {
        handmadeAirport = true;
        parkStands.clear();
        gf_logIndented(vald::format("{:24}: {}", ATTR_HANDMADE, *handmade));
        lf_readParkpositions(document, path);
        return;
    }
    handmadeAirport = false;
    LearnedMerge merge(path);
    for (const pugi::xml_node parkpos : document.child("parkpositions").children("parkpos"))
        merge.merge(parkpos);
    merge.finish();
}

std::int32_t lf_classQuality(std::uint32_t real)
{
    double sum = 0.0;
    for (const Stand& stand : parkStands) {
        std::int32_t n = 0;
        std::set<std::uint32_t> days;
        std::int32_t halfHours = 0;
        for (const StandOption& option : stand.options) {
            if (option.number == 0 || option.real != real)
                continue;
            ++n;
            if (option.day >= 1 && option.day <= 7)
                days.insert(option.day);
            halfHours += std::popcount(option.halfHours);
        }
        if (n == 0)
            continue;
        sum += std::min(OPTION_WEIGHT * n, OPTION_WEIGHT_CAP) + STAND_BASE +
               DAY_WEIGHT * static_cast<std::int32_t>(days.size()) + HALF_HOUR_WEIGHT * std::min(halfHours, HALF_HOUR_CAP);
    }
    const double q = std::round(QUALITY_SCALE * sum / static_cast<double>(parkStands.size()));
    return static_cast<std::int32_t>(std::clamp(q, 0.0, 100.0));
}

}  // namespace

fs::path lf_learnedPathOf(const std::string& parkFileName, const std::string& icao, const std::string& publisher)
{
    if (parkFileName.empty())
        return {};
    std::string text = parkFileName;
    lf_replaceAll(text, "\\", "/");
    if (text.find("archive") != std::string::npos) {
        lf_replaceFirst(text, "archive", lf_learnedText());
        lf_replaceAll(text, "%20", " ");
        return gf_pathFromUtf8(text);
    }
    if (text.rfind("airports", 0) == 0) {
        lf_replaceFirst(text, "airports", lf_learnedText());
        const std::string folder = "thirdparty/" + lf_publisherFolder(publisher);
        if (text.find("my_thirdparty2024") != std::string::npos)
            lf_replaceFirst(text, "my_thirdparty2024", folder);
        else if (text.find("my_thirdparty") != std::string::npos)
            lf_replaceFirst(text, "my_thirdparty", folder);
        // The scanner's add-on airports learn under simaddon.
        else if (text.find("my_ORBX") != std::string::npos)
            lf_replaceFirst(text, "my_ORBX", "simaddon");
        return gf_pathFromUtf8(text);
    }
    // Any other name is a file of the download site: its learned file goes by publisher, never
    // to the name itself, which could be a park file of the user's.
    fs::path folder;
    if (publisher == "stock")
        folder = LEARNED_STOCK_FOLDER;
    else if (publisher == "simaddon")
        folder = LEARNED_SIMADDON_FOLDER;
    else
        folder = LEARNED_THIRDPARTY_FOLDER / gf_pathFromUtf8(lf_publisherFolder(publisher));
    return folder / gf_pathFromUtf8(icao + ".xml");
}

void lf_useLearnedFile(const fs::path& path) { learnedFile = LearnedFileState{path, true, {}}; }

std::int32_t lf_snapMaxLive(std::int32_t value)
{
    std::int32_t snapped = 500;
    if (value < 0 || value > 299)
        snapped = 500;
    else if (value >= 88)
        snapped = 100;
    else if (value >= 63)
        snapped = 75;
    else if (value >= 38)
        snapped = 50;
    else if (value >= 18)
        snapped = 25;
    else if (value >= 1)
        snapped = 10;
    else
        snapped = 0;
    return MAX_LIVE_SEL.clamp(snapped);
}

std::int32_t lf_snapParkingPercentage(std::int32_t value)
{
    // Every value is clamped, a multiple of 5 too: 150 is no percentage. Clamped before the
    // rounding, which would overflow near the ends of int.
    value = std::clamp(value, 0, 100);
    if (value % PERCENT_STEP != 0)
        value = (value + 2) / PERCENT_STEP * PERCENT_STEP;
    return std::clamp(value, 0, 100);
}

namespace {

// Keeps a copy of a learned file the save at closing would replace. When the copy fails, the file
// is all there is of what it holds: it is then not saved over.
bool lf_keepAside(const fs::path& path)
{
    if (gf_save1GenerationOf(path))
        return true;
    learnedFile.readWhole = false;
    gf_log(vald::format("{} could not be copied aside; it is not saved over", gf_pathToUtf8(path)));
    return false;
}

}  // namespace

void lf_readLearned(const fs::path& path, const ApfInfo& info)
{
    pugi::xml_document document;
    std::string fault;
    if (gf_loadXmlLimited(document, path, MAX_LEARNED_FILE_BYTES, fault) != FileRead::ok) {
        if (!lf_keepAside(path))
            return;
        gf_log(vald::format("{} found, but could not be loaded, saved as *.0.xml: {}", gf_pathToUtf8(path), fault));
        return;
    }
    gf_log(vald::format("Read from learned airport file: '{}'", gf_pathToUtf8(path)));
    if (!gf_readMetaInfo(document, META_AUTHOR) || !gf_readMetaInfo(document, META_DATE) ||
        !gf_readMetaInfo(document, META_VERSION)) {
        // Not ours to merge, but the save at closing would replace it: keep a copy aside.
        if (lf_keepAside(path))
            gf_log(vald::format("{} has no meta block, saved as *.0.xml", gf_pathToUtf8(path)));
        return;
    }
    try {
        lf_mergeLearned(document, path, info);
    } catch (const std::exception& e) {
        // Only part of the file is merged: a save would write that part over the whole file.
        learnedFile.readWhole = false;
        static_cast<void>(gf_save1GenerationOf(path));  // not saved over, whether the copy worked or not
        gf_log(vald::format("{}: {}", "lf_readLearned", e.what()));
        gf_log(vald::format("{} read only in part, saved as *.0.xml; it is not saved over", gf_pathToUtf8(path)));
    }
}

bool lf_applyLearnedParkpos(const std::string& id, const pugi::xml_node& parkpos, Stand& stand)
{
    if (stand.id != id)
        return false;
    KnownOptions known(stand.options);
    BadHours badHours;
    lf_applyLearnedStand(parkpos, stand, known, badHours);
    return true;
}

bool lf_sameLearnedOption(const StandOption& candidate, const StandOption& existing)
{
    return candidate.day == existing.day && candidate.real == existing.real &&
           candidate.registration == existing.registration && candidate.airline == existing.airline &&
           candidate.type == existing.type && (candidate.halfHours & existing.halfHours) != 0;
}

std::pair<std::int32_t, std::int32_t> gf_qualityFactors()
{
    const bool anyOption = std::any_of(parkStands.begin(), parkStands.end(),
                                       [](const Stand& s) { return !s.options.empty(); });
    if (!anyOption)
        return {-1, -1};
    return {lf_classQuality(1), lf_classQuality(0)};
}

bool lf_saveLearnedApf()
{
    ApfAirport airport{parkIcao, parkApfInfo.airportName, "", parkApfInfo.publisher, 0, 0, parkApfInfo.altitude, {}};
    for (Stand& stand : parkStands) {
        if (!handmadeAirport) {
            std::erase_if(stand.options, [](const StandOption& o) { return o.origin == 1; });
            if (stand.manual == 0 && stand.options.empty() && stand.radiusChanged == 0 && stand.cargoChanged == 0)
                continue;
        }
        airport.stands.push_back(stand);
    }
    if (!handmadeAirport)
        for (const Stand& stand : learnedFile.unmatched)
            if (!stand.options.empty() || stand.radiusChanged != 0 || stand.cargoChanged != 0)
                airport.stands.push_back(stand);
    if (handmadeAirport) {
        const auto quality = gf_qualityFactors();
        airport.qfReal = quality.first;
        airport.qfSoft = quality.second;
    }
    const fs::path file = learnedFile.path;
    if (file.empty() || !learnedFile.readWhole) {
        gf_showStatus(vald::format("Learned stands of {} not saved: '{}' could be read only in part and stays as it is",
                                   parkIcao, gf_pathToUtf8(file)),
                      true);
        learnedUpdateCount = 0;
        return false;
    }
    std::error_code error;
    const bool present = fs::exists(file.parent_path(), error);
    if (error && error != std::errc::no_such_file_or_directory)
        throw fs::filesystem_error("exists", file.parent_path(), error);
    if (!present)
        fs::create_directories(file.parent_path());  // throws "create_directories"
    gf_setMetaSimulatorName("P3D");
    const bool written = gf_writeApf(airport, file, ApfWriteMode::learned);
    const std::string now = gf_timeText(gf_utcNow());
    const std::string time = now.size() >= TIME_OF_DAY_AT + TIME_OF_DAY_LENGTH
                                 ? now.substr(TIME_OF_DAY_AT, TIME_OF_DAY_LENGTH)
                                 : now;
    if (written)
        gf_showStatus(vald::format("{}{} '{}' saved with {} update{}", time, handmadeAirport ? " handmade" : "",
                                   gf_pathToUtf8(file), learnedUpdateCount, gf_plural(learnedUpdateCount)),
                      true);
    else
        gf_showStatus(vald::format("{} saving '{}' did not succeed", time, gf_pathToUtf8(file)), true);
    learnedUpdateCount = 0;
    return written;
}
