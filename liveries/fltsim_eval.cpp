#include "liveries/fltsim_eval.hpp"

#include <algorithm>
#include <mutex>
#include <optional>
#include <system_error>
#include <unordered_set>

#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "liveries/cfg_keys.hpp"
#include "liveries/regcode_index.hpp"
#include "liveries/scan_reports.hpp"
#include "refdata/decrypt.hpp"
#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t MAX_ATC_ID_ITEM = 12;

std::mutex titleSetMutex;
std::unordered_set<std::string> titleSet;
// The don't-use titles for quick look-up; filled before the tasks start and emptied after they
// ended, only read while they run.
std::unordered_set<std::string> dontUseSet;

// What the lines of one section gave.
struct SectionKeys {
    std::string title;
    std::string airline;
    std::string types;
    std::string registration;
    std::string model;
    std::string sim;
    std::string texture;
    bool rejected = false;
    bool dropped = false;  // "RFO" airline: no record and no report line
};

bool lf_isCommentOrEmpty(const std::string& line) { return line.empty() || line.rfind("//", 0) == 0; }

void lf_dropTrailingComments(CfgLines& section)
{
    while (!section.empty() && lf_isCommentOrEmpty(section.back()))
        section.pop_back();
}

std::vector<std::string> lf_splitUntrimmed(const std::string& text, char delimiter)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(delimiter, start);
        items.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return items;
        start = end + 1;
    }
}

// The registration rule shared by both kinds of trees, over an already cut value.
bool lf_validRegistrationItems(const std::string& value, std::string& registration)
{
    registration.clear();
    if (value.empty())
        return false;
    const std::vector<std::string> items = lf_splitUntrimmed(value, ',');
    for (const std::string& item : items)
        if (item.empty() || item == " " || item.size() > MAX_ATC_ID_ITEM || item.find('*') != std::string::npos)
            return false;
    if (items.size() == 1)
        registration = items.front();
    return true;
}

std::string lf_upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

std::string lf_upperNoBlanks(const std::string& value)
{
    std::string types = value;
    gf_normaliseCommaList(types);
    return lf_upper(std::move(types));
}

// The first airline code of an atc_parking_codes value, a trailing 'X' or 'C' of a four-letter
// code cut off.
std::string lf_firstParkingCode(const std::string& value)
{
    const std::vector<std::string> items = gf_split(value, ',');
    std::string code = items.empty() ? std::string() : items.front();
    if (code.size() == 4 && (code[3] == 'X' || code[3] == 'C'))
        code.resize(3);
    return code;
}

void lf_reject(SectionKeys& keys, const std::string& line)
{
    lf_addIncompleteSection(line);
    keys.rejected = true;
}

// The title, parking types, registration and file steps of one line, common to both kinds of
// trees (the airline step of ordinary trees comes between title and parking types). True when a
// step took the line.
bool lf_titleStep(SectionKeys& keys, const std::string& line, const std::string& folder, const std::string& header)
{
    if (keys.title.empty()) {
        if (!lf_readCfgKey(line, "title", keys.title))
            return false;
        // A NUL byte (a damaged file) would cut the title in LiveriesScanned.xml and at the
        // simulator: no livery can be made of it.
        if (const std::size_t nul = keys.title.find('\0'); nul != std::string::npos)
            lf_reject(keys, vald::format("{} {} title holds a NUL byte after '{}'", folder, header,
                                         keys.title.substr(0, nul)));
        return true;
    }
    if (lf_cfgKeyValue(line, "title").empty())
        return false;
    lf_reject(keys, vald::format("{} {} has more than one title key", folder, header));
    return true;
}

bool lf_typesStep(SectionKeys& keys, const std::string& line, const std::string& folder, const std::string& header)
{
    if (keys.types.empty()) {
        std::string types;
        if (!lf_readCfgKey(line, "atc_parking_types", types))
            return false;
        keys.types = lf_upperNoBlanks(types);
        return true;
    }
    if (line.find("atc_parking_types") == std::string::npos)
        return false;
    lf_reject(keys, vald::format("{} {} has more than one atc_parking_types key", folder, header));
    return true;
}

bool lf_registrationStep(SectionKeys& keys, const std::string& line, const std::string& folder,
                         const std::string& header, bool ivao)
{
    if (keys.registration.empty()) {
        std::string value;
        if (!lf_readCfgKey(line, "atc_id", value))
            return false;
        if (ivao) {
            if (!lf_checkAtcId(value, keys.registration))
                lf_addIncompleteSection(vald::format("invalid atc_id={} in {}", value, keys.title));
        } else {
            const std::string cut = value.substr(0, value.find(';'));
            if (!lf_validRegistrationItems(cut, keys.registration))
                lf_addIncompleteSection(vald::format("invalid atc_id={} in: {}", cut, keys.title));
        }
        return true;
    }
    if (line.find("atc_id=") == std::string::npos)
        return false;
    lf_reject(keys, vald::format("{}, {}, has more than one atc_id key", folder, header));
    return true;
}

void lf_filesStep(SectionKeys& keys, const std::string& line)
{
    if (keys.model.empty() && lf_readCfgKey(line, "model", keys.model))
        return;
    if (keys.sim.empty() && lf_readCfgKey(line, "sim", keys.sim))
        return;
    if (keys.texture.empty())
        lf_readCfgKey(line, "texture", keys.texture);
}

bool lf_airlineStep(SectionKeys& keys, const std::string& line, const std::string& file, const std::string& folder,
                    const std::string& header)
{
    if (keys.airline.empty()) {
        std::string value;
        if (!lf_readCfgKey(line, "atc_parking_codes", value))
            return false;
        std::string code = lf_firstParkingCode(value);
        if (gf_isIcaoAirline(code)) {
            keys.airline = std::move(code);
        } else if (code == "RFO") {
            keys.dropped = true;
        } else {
            lf_addInvalidAirline(code, file, header);
        }
        return true;
    }
    if (line.find("atc_parking_codes") == std::string::npos)
        return false;
    lf_reject(keys, vald::format("{} {} has more than one atc_parking_codes key", folder, header));
    return true;
}

SectionKeys lf_readSectionKeys(const CfgLines& section, const std::string& file, const std::string& folder, bool ivao)
{
    SectionKeys keys;
    const std::string& header = section.front();
    for (const std::string& line : section) {
        if (lf_titleStep(keys, line, folder, header) || (!ivao && lf_airlineStep(keys, line, file, folder, header)) ||
            lf_typesStep(keys, line, folder, header) || lf_registrationStep(keys, line, folder, header, ivao)) {
            if (keys.rejected || keys.dropped)
                break;
            continue;
        }
        lf_filesStep(keys, line);
    }
    return keys;
}

// The folder named by a model= or texture= value: "model" for an empty value, else "model.x".
std::string lf_dottedFolder(const char* base, const std::string& suffix)
{
    return suffix.empty() ? std::string(base) : std::string(base) + "." + suffix;
}

// The status of a file named by a cfg value: a name too long for the file system names nothing;
// other failures than absence end the file's task.
fs::file_status lf_statusOf(const fs::path& path, bool followLinks)
{
    std::error_code error;
    const fs::file_status status = followLinks ? fs::status(path, error) : fs::symlink_status(path, error);
    if (error && error != std::errc::filename_too_long && status.type() != fs::file_type::not_found)
        throw fs::filesystem_error("status", path, error);
    return status;
}

bool lf_isDirectory(const fs::path& path) { return fs::is_directory(lf_statusOf(path, true)); }
bool lf_isRegularFile(const fs::path& path) { return fs::is_regular_file(lf_statusOf(path, true)); }

std::string lf_pathText(const std::string& folder, const std::string& name)
{
    return gf_pathToUtf8(gf_pathFromUtf8(folder) / gf_pathFromUtf8(name));
}

bool lf_isWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The first three word characters of a title that begins with them (after white space).
std::string lf_airlineOfTitle(const std::string& title)
{
    std::size_t at = 0;
    while (at < title.size() && (title[at] == ' ' || (title[at] >= '\t' && title[at] <= '\r')))
        ++at;
    if (title.size() - at < 3 || !lf_isWordChar(title[at]) || !lf_isWordChar(title[at + 1]) ||
        !lf_isWordChar(title[at + 2]))
        return {};
    return title.substr(at, 3);
}

}  // namespace

fs::path lf_resolveNoCase(const fs::path& base, const std::string& relative)
{
    fs::path resolved = base;
    for (const std::string& part : lf_splitUntrimmed(relative, '\\')) {
        for (const std::string& name : lf_splitUntrimmed(part, '/')) {
            if (name.empty() || name == ".")
                continue;
            fs::path next = resolved / gf_pathFromUtf8(name);
            if (name != ".." && !fs::exists(lf_statusOf(next, false))) {
                const std::string upperName = lf_upper(name);
                std::error_code error;
                for (fs::directory_iterator it(resolved, error), end; !error && it != end; it.increment(error)) {
                    if (gf_upperEquals(upperName, gf_pathToUtf8(it->path().filename()))) {
                        next = it->path();
                        break;
                    }
                }
            }
            resolved = std::move(next);
        }
    }
    return resolved;
}

FoundLiveries lf_procesFltSimSection(std::int32_t priority, CfgLines section, const std::string& model,
                                     const std::string& file, const std::string& folder)
{
    lf_dropTrailingComments(section);
    if (section.empty())
        return {};
    const std::string header = section.front();
    SectionKeys keys = lf_readSectionKeys(section, file, folder, false);
    if (keys.airline.empty() && !keys.dropped)
        lf_addIncompleteSection(vald::format("{} {} icao_airline is missing, or it has invalid info ", file, header));
    if (keys.rejected || keys.dropped)
        return {};

    const fs::path base = gf_pathFromUtf8(folder);
    const std::string modelFolder = lf_dottedFolder("model", keys.model);
    if (!lf_isDirectory(lf_resolveNoCase(base, modelFolder)) ||
        !lf_isDirectory(lf_resolveNoCase(base, lf_dottedFolder("texture", keys.texture))) ||
        !lf_isRegularFile(lf_resolveNoCase(base, keys.sim + ".air"))) {
        lf_addIncompleteSection(lf_pathText(folder, modelFolder) + " or related path does not exist: " + header);
        return {};
    }
    if (keys.title.empty()) {
        lf_addIncompleteSection(vald::format("{} {} misses title", folder, header));
        return {};
    }
    if (lf_isDontUseTitle(keys.title))
        return {};
    if (keys.airline == UNKNOWN_AIRLINE)
        keys.registration.clear();
    const bool heavy = gf_typeCategory(model) == AircraftCategory::Heavy;
    if (keys.airline.empty()) {
        if (keys.registration.empty()) {
            if (heavy) {
                lf_addIncompleteSection(vald::format("'{}' '{}' has no airline and no regcode info", folder, header));
                return {};
            }
            keys.airline = "PVT";
            keys.registration = gf_findShortRegcodeIn(keys.title).value_or(std::string());
        } else if (const std::optional<DbaseRecord> record = gf_findRegcode(keys.registration)) {
            keys.airline = record->airl;
        } else if (heavy) {
            lf_addIncompleteSection(vald::format("'{}' '{}' has no airline and regcode not in dbase", folder, header));
            return {};
        } else {
            keys.airline = "PVT";
        }
    }
    FoundLiveries result;
    FoundLivery& found = result.emplace_back();
    found.livery = lf_makeLivery(priority, keys.airline, model, keys.types.find("CARGO") != std::string::npos,
                                 keys.title, keys.registration);
    found.duplicateLine = vald::format("{} {} title '{}' already exists", folder, header, keys.title);
    return result;
}

FoundLivery lf_procesIvaoFltSimSection(std::int32_t priority, CfgLines section, const std::string& model,
                                       const std::string& file, const std::string& folder)
{
    lf_dropTrailingComments(section);
    if (section.empty())
        return {};
    const std::string header = section.front();
    SectionKeys keys = lf_readSectionKeys(section, file, folder, true);
    if (keys.rejected)
        return {};
    const fs::path base = gf_pathFromUtf8(folder);
    const std::string modelFolder = lf_dottedFolder("model", keys.model);
    const std::string airFile = keys.sim + ".air";
    const std::string textureFolder = lf_dottedFolder("texture", keys.texture);
    const std::pair<const std::string*, bool (*)(const fs::path&)> checks[] = {
        {&modelFolder, &lf_isDirectory}, {&airFile, &lf_isRegularFile}, {&textureFolder, &lf_isDirectory}};
    for (const auto& [name, test] : checks) {
        if (!test(lf_resolveNoCase(base, *name))) {
            lf_addIncompleteSection(lf_pathText(folder, *name) + " " + header + " does not exist");
            return {};
        }
    }
    if (keys.title.empty()) {
        lf_addIncompleteSection(folder + " " + header + " misses title");
        return {};
    }
    if (lf_isDontUseTitle(keys.title))
        return {};
    std::string airline = lf_airlineOfTitle(keys.title);
    if (!airline.empty()) {
        if (!gf_isIcaoAirline(airline)) {
            lf_addInvalidAirline(airline, file, header);
            return {};
        }
        if (airline == UNKNOWN_AIRLINE)
            keys.registration.clear();
    } else if (keys.registration.empty()) {
        lf_addIncompleteSection(folder + " " + header + " misses airlinecode in title: " + keys.title +
                                ", and no regcode");
        return {};
    } else if (const std::optional<DbaseRecord> record = gf_findRegcode(keys.registration)) {
        airline = record->airl;
    } else {
        lf_addIncompleteSection(folder + " " + header + " misses airlinecode in title: " + keys.title +
                                ", and regcode unknown " + keys.registration);
        return {};
    }
    FoundLivery found;
    found.livery = lf_makeLivery(priority, airline, model, false, keys.title, keys.registration);
    found.duplicateLine = folder + " " + header + " title already exists: " + keys.title;
    return found;
}

LiveryList lf_claimTitles(FoundLiveries found)
{
    LiveryList claimed;
    for (FoundLivery& one : found) {
        LiveryData livery = lf_addLivery(one.livery.priority, one.livery.airl, one.livery.type, one.livery.cargo,
                                         one.livery.title, one.livery.atcid);
        if (livery.title.empty())
            lf_addIncompleteSection(std::move(one.duplicateLine));
        else
            claimed.push_back(std::move(livery));
    }
    return claimed;
}

LiveryData lf_addLivery(std::int32_t priority, const std::string& airline, const std::string& model, bool cargo,
                        const std::string& title, const std::string& registration)
{
    {
        std::lock_guard<std::mutex> lock(titleSetMutex);
        if (!titleSet.insert(title).second)
            return {};
    }
    return lf_makeLivery(priority, airline, model, cargo, title, registration);
}

LiveryData lf_makeLivery(std::int32_t priority, const std::string& airline, const std::string& model, bool cargo,
                         const std::string& title, const std::string& registration)
{
    LiveryData livery;
    livery.airl = airline;
    livery.type = model;
    livery.title = title;
    livery.atcid = registration;
    livery.priority = priority;
    livery.cargo = cargo;
    return livery;
}

bool lf_checkAtcId(const std::string& value, std::string& registration)
{
    return lf_validRegistrationItems(value, registration);
}

void lf_readDontUseTitles()
{
    dontUseTitles.clear();
    if (fs::exists(AIG_REGCODES_ENC_PATH)) {
        if (std::optional<DecryptedData> data = gf_streamDecrypt(AIG_REGCODES_ENC_PATH, AIG_REGCODES_XML_PATH)) {
            lf_readDontUseFile(*data);
            data->removeCopy();
        }
    }
    if (gf_countFilesIn(MY_REGCODES_FOLDER) > 0)
        lf_readDontUseFolder();
    dontUseSet = std::unordered_set<std::string>(dontUseTitles.begin(), dontUseTitles.end());
}

bool lf_isDontUseTitle(const std::string& title) { return dontUseSet.contains(title); }

void lf_setDontUseTitles(const std::vector<std::string>& titles)
{
    dontUseTitles = titles;
    dontUseSet = std::unordered_set<std::string>(titles.begin(), titles.end());
}

void lf_clearScanTitles()
{
    {
        std::lock_guard<std::mutex> lock(titleSetMutex);
        titleSet.clear();
    }
    dontUseTitles.clear();
    dontUseSet.clear();
}
