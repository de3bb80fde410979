#include "liveries/aircraft_cfg.hpp"

#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/text.hpp"
#include "liveries/cfg_keys.hpp"
#include "liveries/scan_reports.hpp"
#include "refdata/dbase.hpp"
#include "refdata/type_queries.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t LINES_RESERVE = 4048;
constexpr std::size_t SECTION_RESERVE = 48;
constexpr std::int64_t MAX_FLTSIM_NUMBER = 10000;
// A '[' this far into a line begins another section.
constexpr std::size_t MAX_HEADER_INDENT = 5;

// Another section's header: a '[' among the first characters of the line.
bool lf_isOtherHeader(const std::string& line)
{
    const std::size_t bracket = line.find('[');
    return !line.empty() && bracket != std::string::npos && bracket <= MAX_HEADER_INDENT;
}

// The model code after the dbase check: itself when known, its correction when it is a known
// wrong code, else empty with a report line.
std::string lf_checkedModel(const std::string& model, const std::string& file)
{
    if (gf_isKnownType(model))
        return model;
    const auto fix = modelFixes.find(model);
    if (fix != modelFixes.end()) {
        lf_addFix(vald::format("Model fix: {} found in {} changed into {}", model, file, fix->second));
        return fix->second;
    }
    lf_addInvalidModel(model, file);
    return {};
}

template <typename Evaluate>
void lf_splitSections(const CfgLines& lines, Evaluate evaluate)
{
    bool inSection = false;
    CfgLines section;
    section.reserve(SECTION_RESERVE);
    for (const std::string& line : lines) {
        if (!lf_fltsimNumberText(line).empty()) {
            if (!section.empty()) {
                evaluate(std::move(section));
                section.clear();
            }
            inSection = true;
            section.push_back(line);
        } else if (lf_isOtherHeader(line)) {
            if (inSection && !section.empty()) {
                evaluate(std::move(section));
                section.clear();
                inSection = false;
            }
        } else if (inSection) {
            section.push_back(line);
        }
    }
    if (inSection && !section.empty())
        evaluate(std::move(section));
}

}  // namespace

bool lf_readCfgLines(const fs::path& file, CfgLines& lines, bool warnWithoutCharset)
{
    lines.reserve(LINES_RESERVE);
    std::string error;
    // Text in a Windows code page keeps its bytes: the simulator knows a livery by the title's
    // bytes as its file holds them, and refuses any other spelling.
    switch (gf_readTextFileLimited(file, CFG_MAX_FILE_BYTES, lines, error)) {
    case FileRead::ok:
        return true;
    case FileRead::tooLarge:
        // No aircraft.cfg comes near the limit: it is no cfg file, or a damaged one.
        lf_addInvalidCfgFile(error);
        return false;
    case FileRead::missing:
    case FileRead::unreadable:
        if (warnWithoutCharset)
            gf_logWarn(vald::format("No character set found for {}", gf_pathToUtf8(file)));
        return false;
    case FileRead::malformed:
        gf_showStatus(error);
        return false;
    }
    return false;
}

bool lf_checkFltsimNumbers(const CfgLines& lines, const std::string& file)
{
    bool any = false;
    bool inRange = true;
    for (const std::string& line : lines) {
        const std::string text = lf_fltsimNumberText(line);
        if (text.empty())
            continue;
        std::int32_t number = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, number);
        if (error != std::errc() || stop == text.data()) {
            gf_logWarn(vald::format("fltsim num {} incorrect", line));
            return false;
        }
        any = true;
        if (number < 0 || number > MAX_FLTSIM_NUMBER)
            inRange = false;
    }
    if (!any) {
        lf_addFileWithoutSections(file);
        return true;
    }
    if (inRange)
        return true;
    lf_addInvalidCfgFile(file + " contains a [fltsim.x] section with a number < 0 or > " +
                         std::to_string(MAX_FLTSIM_NUMBER));
    return false;
}

std::string lf_checkAtcModel(const std::string& file, const CfgLines& lines)
{
    for (const std::string& line : lines) {
        const std::string model = lf_cfgKeyValue(line, "atc_model");
        if (!model.empty())
            return lf_checkedModel(model, file);
    }
    lf_addInvalidCfgFile("Line atc_model= is missing in [General] section of " + file);
    return {};
}

// The <model> of a path "<something>/IVAO_MTL/IVAO_<model>/aircraft.cfg" (either slash, any
// case, <model> of letters, digits and '_'; any one character between "aircraft" and "cfg");
// nullopt for any other path. Matched by hand: GCC 12 with the sanitizers reports a false
// maybe-uninitialized inside <regex> that no pragma here reaches.
static std::optional<std::string> lf_ivaoPathModel(std::string_view path)
{
    const auto isSeparator = [](char c) { return c == '/' || c == '\\'; };
    const auto isWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    // text at `at` spells word, in any case; '?' in word stands for any character.
    const auto spells = [&](std::size_t at, std::string_view word) {
        if (at + word.size() > path.size())
            return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (word[i] != '?' && std::tolower(static_cast<unsigned char>(path[at + i])) != word[i])
                return false;
        return true;
    };
    constexpr std::string_view FILE_NAME = "aircraft?cfg";
    if (path.size() < FILE_NAME.size() + 1 || !spells(path.size() - FILE_NAME.size(), FILE_NAME))
        return std::nullopt;
    const std::size_t modelEnd = path.size() - FILE_NAME.size() - 1;
    if (!isSeparator(path[modelEnd]))
        return std::nullopt;
    std::size_t folderStart = modelEnd;
    while (folderStart > 0 && isWord(path[folderStart - 1]))
        --folderStart;
    constexpr std::string_view PACKAGE = "ivao_";
    constexpr std::string_view ROOT = "ivao_mtl";
    if (modelEnd - folderStart <= PACKAGE.size() || !spells(folderStart, PACKAGE) ||
        folderStart < ROOT.size() + 3 || !isSeparator(path[folderStart - 1]) ||
        !spells(folderStart - 1 - ROOT.size(), ROOT) || !isSeparator(path[folderStart - 2 - ROOT.size()]))
        return std::nullopt;
    return std::string(path.substr(folderStart + PACKAGE.size(), modelEnd - folderStart - PACKAGE.size()));
}

std::string lf_ivaoModelFromPath(const std::string& file)
{
    const std::optional<std::string> found = lf_ivaoPathModel(file);
    if (!found) {
        lf_addInvalidModel("  ", file);
        return {};
    }
    std::string model = *found;
    if (!model.empty() && model.back() == 'w')
        model.pop_back();
    else if (model == "B744F")
        model = "B744";
    else if (model == "T154M" || model == "T154B2")
        model = "T154";
    else if (model == "GLID_SH" || model == "GLID_A13" || model == "GLID_A25" || model == "GLID_KA6" ||
             model == "GLID_KA8" || model == "GLID_L13")
        model = "GLID";
    if (model.empty())
        return {};
    return lf_checkedModel(model, file);
}

FoundLiveries lf_processFltsimSections(std::int32_t priority, const CfgLines& lines, const std::string& model,
                                               const std::string& file, const std::string& folder)
{
    FoundLiveries result;
    lf_splitSections(lines, [&](CfgLines section) {
        result.splice(result.end(), lf_procesFltSimSection(priority, std::move(section), model, file, folder));
    });
    return result;
}

FoundLiveries lf_processIvaoFltsimSections(std::int32_t priority, const CfgLines& lines,
                                                   const std::string& model, const std::string& file,
                                                   const std::string& folder)
{
    FoundLiveries result;
    lf_splitSections(lines, [&](CfgLines section) {
        FoundLivery found = lf_procesIvaoFltSimSection(priority, std::move(section), model, file, folder);
        if (!found.livery.airl.empty())
            result.push_back(std::move(found));
    });
    return result;
}

FoundLiveries lf_searchLiveriesinFile(std::int32_t priority, const fs::path& file)
{
    const std::string fileText = gf_pathToUtf8(file);
    try {
        if (!fs::exists(file))
            return {};
        const std::string folder = lf_folderOfCfgPath(fileText);
        CfgLines lines;
        if (!lf_readCfgLines(file, lines, false) || !lf_checkFltsimNumbers(lines, fileText))
            return {};
        const std::string model = lf_checkAtcModel(fileText, lines);
        if (model.empty())
            return {};
        return lf_processFltsimSections(priority, lines, model, fileText, folder);
    } catch (const std::exception& e) {
        gf_log(vald::format("Exception in lf_searchLiveriesinFile {}: {}", fileText, e.what()));
        throw;
    }
}

FoundLiveries lf_searchIvaoLiveriesinFile(std::int32_t priority, const fs::path& file)
{
    const std::string fileText = gf_pathToUtf8(file);
    const std::string model = lf_ivaoModelFromPath(fileText);
    if (model.empty())
        return {};
    CfgLines lines;
    if (!lf_readCfgLines(file, lines, true) || !lf_checkFltsimNumbers(lines, fileText))
        return {};
    return lf_processIvaoFltsimSections(priority, lines, model, fileText, lf_folderOfCfgPath(fileText));
}
