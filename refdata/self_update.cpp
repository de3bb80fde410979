#include "refdata/self_update.hpp"

#include <array>
#include <climits>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <tuple>

#include <nlohmann/json.hpp>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/hook_store.hpp"
#include "foundation/json_input.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/text.hpp"
#include "platform/shell.hpp"
#include "foundation/status_display.hpp"
#include "refdata/downloads.hpp"
#include "refdata/self_update_installer.hpp"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

UpdateHooks lf_defaultHooks()
{
    UpdateHooks hooks;
    hooks.openContainingFolder = [](const fs::path& file) {
        std::error_code error;
        return fs::exists(file, error) && vald::gf_shellOpen(file.parent_path());
    };
    hooks.messageBox = [](const std::string& text, const std::string& caption) {
        gf_logWarn(vald::format("{}: {}", caption, text));
    };
    return hooks;
}

HookStore<UpdateHooks>& lf_hookStore()
{
    static HookStore<UpdateHooks> store(&lf_defaultHooks);
    return store;
}

void lf_flushLog()
{
    std::lock_guard<std::mutex> lock(gf_logMutex());
    if (gf_logStream().is_open())
        gf_logStream().flush();
}

// One of the three numbers of a published version; anything but a 32-bit integer is refused.
std::int32_t lf_versionNumber(const json& member, std::string_view key, const char* name)
{
    if (!member.is_object() || !member.contains(name))
        throw std::runtime_error(vald::format("versions.json: \"{}\" has no \"{}\"", key, name));
    const json& value = member.at(name);
    bool fits = false;
    if (value.is_number_unsigned())
        fits = value.get<std::uint64_t>() <= static_cast<std::uint64_t>(INT32_MAX);
    else if (value.is_number_integer())
        fits = value.get<std::int64_t>() >= INT32_MIN && value.get<std::int64_t>() <= INT32_MAX;
    if (!fits)
        throw std::runtime_error(
            vald::format("versions.json: \"{}\" \"{}\" is not a 32-bit integer: {}", key, name,
                         vald::gf_quoted(value.dump())));
    return static_cast<std::int32_t>(value.get<std::int64_t>());
}

VersionData lf_publishedVersion(const json& root, std::string_view key)
{
    const json& member = root.at(std::string(key));
    // Read in this order, as the members are documented.
    const std::int32_t major = lf_versionNumber(member, key, "major");
    const std::int32_t minor = lf_versionNumber(member, key, "minor");
    const std::int32_t patch = lf_versionNumber(member, key, "patch");
    return VersionData(major, minor, patch);
}

bool lf_isMissing(const fs::path& file)
{
    std::error_code error;
    return !fs::exists(file, error);
}

// One data member of versions.json: the version parameter it is compared with and what a newer
// published version does, a download into input or a rescan flag.
struct DataRow {
    std::string_view key;
    StringParameter& parameter;
    std::string_view dataFile;        // downloaded into input; empty for a rescan
    CheckBoxParameter* rescan;        // ticked for a rescan; nullptr for a download
    const fs::path* mustExist;        // its absence also acts; nullptr when only the version counts
};

void lf_applyDataRow(const json& root, const DataRow& row)
{
    if (!root.is_object() || !root.contains(std::string(row.key))) {
        lf_logVersionNotFound(row.key);
        return;
    }
    const VersionData published = lf_publishedVersion(root, row.key);
    const VersionData stored(row.parameter.value());
    const bool acts = gf_versionGreater(published, stored) || (row.mustExist != nullptr && lf_isMissing(*row.mustExist));
    if (!acts) {
        lf_logUpToDate(row.key);
        return;
    }
    if (row.rescan == nullptr) {
        const fs::path name = gf_pathFromUtf8(row.dataFile);
        // A failed download keeps the old file and the old version text: the next start retries.
        if (!gf_downloadFromSite(name, INPUT_FOLDER / name))
            return;
    } else {
        gf_setBoolParamChecked(*row.rescan, true);
        vald::gf_invalidateWindow(vald::CONTROLS_BAND);
    }
    gf_setStringParameter(row.parameter, gf_versionText(published));
    lf_logUpdated(row.key, published);
}

// The installer is in new_version: release notes, README.txt, the file browser, and the stop.
void lf_offerNewVersion()
{
    const fs::path programFolder = fs::current_path();
    const fs::path folder = programFolder / NEW_VERSION_FOLDER;
    if (!lf_downloadReleaseNotes(folder / RELEASE_NOTES_PDF))
        gf_logWarn(vald::format("could not download {} to {}", gf_pathToUtf8(RELEASE_NOTES_PDF), gf_pathToUtf8(folder)));
    const std::string message = gf_installerRights(programFolder);
    gf_logAndFlush(message);
    (void)gf_writeFile(message, NEW_VERSION_FOLDER / "README.txt", true);
    if (!lf_openExplorerAtNewVersion())
        gf_showStatus("Opening file explorer at the new version failed? Try manually via the Quorvex website.", true);
    else
        lf_flushLog();
    gf_requestStop(closing_reason::NEW_VERSION, 0);
}

// Reads versions.json and removes it. Empty when it cannot be opened (logged); throws
// std::runtime_error when it is no JSON or nests deeper than any real one (removed all the same).
std::optional<json> lf_readVersionsFile()
{
    std::string text;
    {
        std::ifstream in(VERSIONS_JSON_FILE, std::ios::binary);
        if (!in.is_open()) {
            gf_logWarn("Cannot open versions.json");
            return std::nullopt;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::remove(VERSIONS_JSON_FILE);
    return vald::gf_parseJson(text);
}

}  // namespace

void gf_registerUpdateHooks(UpdateHooks hooks)
{
    lf_hookStore().update([&hooks](UpdateHooks& current) {
        gf_takeHook(current.openContainingFolder, hooks.openContainingFolder);
        gf_takeHook(current.messageBox, hooks.messageBox);
    });
}

UpdateHooks gf_updateHooks() { return *lf_hookStore().get(); }

void gf_resetUpdateHooks() { lf_hookStore().reset(); }

std::string gf_versionText(const VersionData& version)
{
    return vald::format("{}.{}.{}", version.major, version.minor, version.patch);
}

bool gf_versionGreater(const VersionData& a, const VersionData& b)
{
    return std::tie(a.major, a.minor, a.patch) > std::tie(b.major, b.minor, b.patch);
}

void lf_logUpdated(std::string_view key, const VersionData& version)
{
    gf_log(vald::format("{} updated to {}", key, gf_versionText(version)));
}

void lf_logUpToDate(std::string_view key) { gf_log(vald::format("{} version up-to-date", key)); }

void lf_logVersionNotFound(std::string_view key) { gf_logWarn(vald::format("{} version not found", key)); }

bool gf_checkVersions()
{
    const UpdateHooks hooks = gf_updateHooks();
    {
        DownloadHandle holder;
        if (!gf_downloadToFile(holder, gf_downloadBase() + "versions.json", VERSIONS_JSON_FILE, DownloadKind::versions)) {
            gf_logWarn("Downloading version info from my web site failed!");
            return true;
        }
    }
    const std::optional<json> read = lf_readVersionsFile();
    if (!read)
        return true;
    const json& root = *read;

    constexpr std::string_view programKey = "p3d";
    if (root.is_object() && root.contains(std::string(programKey))) {
        const VersionData published = lf_publishedVersion(root, programKey);
        gf_log(vald::format("{} program version at web = {}", programKey, gf_versionText(published)));
        if (!gf_versionGreater(published, gf_programVersion())) {
            lf_logUpToDate(programKey);
        } else if (!lf_downloadInstaller(published)) {
            gf_showStatus("The downloading/unzipping of the new version failed? Try manually via the Quorvex website.",
                             true);
        } else {
            lf_offerNewVersion();
            return false;
        }
    } else {
        lf_logVersionNotFound(programKey);
    }

    const std::array<DataRow, 5> rows{{
        {"airports", AIRPORTS_VERSION, AIRPORTS_ENC_NAME, nullptr, &AIRPORTS_ENC_PATH},
        {"aig", AIG_VERSION, AIG_REGCODES_ENC_NAME, nullptr, &AIG_REGCODES_ENC_PATH},
        {"liveries", LIV_SCAN_VERSION, {}, &SCAN_LIVERIES, &LIVERIES_SCANNED_PATH},
        {"addons", ADDONS_SCAN_VERSION, {}, &SCAN_AIRPORTS, nullptr},
        {"dbase", DBASE_VERSION, DBASE_ENC_NAME, nullptr, &DBASE_ENC_PATH},
    }};
    for (const DataRow& row : rows) {
        // A close during a download ended it; the rows after it wait for the next start.
        if (gf_stopPending())
            break;
        lf_applyDataRow(root, row);
    }
    return true;
}
