#include "liveries/regcode_index.hpp"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/livery_records.hpp"
#include "liveries/scan_reports.hpp"
#include "refdata/decrypt.hpp"

RegcodeIndex regcodeIndex;
std::set<std::string> uniqueRegistrations;
std::vector<std::string> dontUseTitles;
std::vector<std::string> offlineReportLines;

namespace {

std::string lf_typeKeyText(const LiveryData& livery) { return vald::format("{:3} {:4}", livery.airl, livery.type); }

// Appends the titles of entries without registrations; answers how many.
std::int64_t lf_collectDontUse(const std::vector<RegcodeEntry>& entries)
{
    std::int64_t count = 0;
    for (const RegcodeEntry& entry : entries) {
        if (entry.regcodes.empty()) {
            dontUseTitles.push_back(entry.title);
            ++count;
        }
    }
    return count;
}

}  // namespace

void lf_processInlineRegcodes()
{
    std::vector<std::string> clashes;
    for (const LiveryData& livery : scannedLiveries) {
        if (livery.atcid.empty())
            continue;
        const std::string_view title = lf_findIndexedTitle(livery.title);
        if (title.data() == nullptr) {
            clashes.push_back(vald::format("==> [{}] {} '{}' not available, system error, should not happen?",
                                           lf_typeKeyText(livery), livery.atcid, livery.title));
            continue;
        }
        const auto [bound, added] = regcodeIndex.try_emplace(livery.atcid, title);
        if (!added && bound->second != title)
            clashes.push_back(
                vald::format("{} '{}' => already in use by '{}'", livery.atcid, livery.title, bound->second));
    }
    if (clashes.empty())
        return;
    std::error_code ignored;
    std::filesystem::create_directories(INLINE_REGCODES_PATH.parent_path(), ignored);
    static_cast<void>(gf_writeLines(clashes, INLINE_REGCODES_PATH));  // a report: a failure is logged by the writer
    gf_log(vald::format("{} in-line regcode clashes, see '{}'", clashes.size(), gf_pathToUtf8(INLINE_REGCODES_PATH)));
}

void lf_mergeRegcodes(const std::vector<RegcodeEntry>& entries)
{
    std::int32_t added = 0;
    std::int32_t replaced = 0;
    std::int32_t special = 0;
    for (const RegcodeEntry& entry : entries) {
        const std::string_view title = lf_findIndexedTitle(entry.title);
        if (title.data() == nullptr)
            continue;
        for (const std::string& registration : entry.regcodes) {
            const auto [bound, isNew] = regcodeIndex.try_emplace(registration, title);
            if (isNew) {
                ++added;
            } else if (bound->second != title) {
                offlineReportLines.push_back(vald::format("   regcode {} for '{}', instead of the same for '{}'",
                                                          registration, entry.title, bound->second));
                bound->second = title;
                ++replaced;
            }
            if (entry.special && entry.regcodes.size() == 1)
                uniqueRegistrations.insert(registration);
        }
        if (entry.special) {
            specialTitles.push_back(title);
            specialTitleSet.insert(title);
            ++special;
        }
    }
    std::string summary = vald::format("{} new regcode{} added", added, gf_plural(added));
    if (replaced != 0)
        summary += vald::format(", {} regcode{} replaced", replaced, gf_plural(replaced));
    if (special != 0)
        summary += vald::format(", {} regcode{} defined as special", special, gf_plural(special));
    offlineReportLines.push_back(std::move(summary));
}

void lf_processAigRegcodeFile(DecryptedData& data)
{
    const std::string path = gf_pathToUtf8(AIG_REGCODES_XML_PATH);
    offlineReportLines.push_back(vald::format("Processing file {}", path));
    std::vector<RegcodeEntry> entries;
    if (!gf_readAigRegcodes(std::move(data.text), data.copy, entries))
        offlineReportLines.push_back(
            vald::format("There were errors processing the AIG-regcode file '{}', see Log.txt", path));
    lf_mergeRegcodes(entries);
}

void lf_processRegcodeFolder()
{
    if (gf_countFilesIn(MY_REGCODES_FOLDER) == 0)
        return;
    const std::string folder = gf_pathToUtf8(MY_REGCODES_FOLDER);
    offlineReportLines.push_back(vald::format("Processing files in {}", folder));
    std::vector<RegcodeEntry> entries;
    if (!gf_readRegcodeFiles(MY_REGCODES_FOLDER, entries))
        gf_showStatus(
            vald::format("There were errors processing the regcode files in folder '{}', see Log.txt", folder), true);
    lf_mergeRegcodes(entries);
}

void lf_processRegcodeFiles()
{
    offlineReportLines.clear();
    std::optional<DecryptedData> data = gf_streamDecrypt(AIG_REGCODES_ENC_PATH, AIG_REGCODES_XML_PATH);
    if (!data)
        return;
    try {
        lf_processAigRegcodeFile(*data);
        data->removeCopy();
        lf_processRegcodeFolder();
        // As the liveries scan's reports: a removal or a write that fails is logged with its
        // reason, and only a report on the disk is pointed to.
        static_cast<void>(lf_removeReportFile(OFFLINE_REGCODES_PATH));  // logged; the write below tells the rest
        if (offlineReportLines.empty())
            return;
        std::error_code ignored;  // a folder that cannot be made fails the write, which says why
        std::filesystem::create_directories(OFFLINE_REGCODES_PATH.parent_path(), ignored);
        if (gf_writeLines(offlineReportLines, OFFLINE_REGCODES_PATH))
            gf_log(vald::format("Offline regcode files processed, results can be found in '{}'",
                                gf_pathToUtf8(OFFLINE_REGCODES_PATH)));
        if (!specialTitles.empty())
            gf_log(vald::format("{} special liveries", specialTitles.size()));
        if (!uniqueRegistrations.empty())
            gf_log(vald::format("{} unique liveries", uniqueRegistrations.size()));
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("exception: {}", e.what()));
    }
    // Never left behind, also after an error.
    data->removeCopy();
}

void lf_readDontUseFile(DecryptedData& data)
{
    std::vector<RegcodeEntry> entries;
    if (!gf_readAigRegcodes(std::move(data.text), data.copy, entries))
        offlineReportLines.push_back(vald::format("There were errors in processing the file '{}', see the Log.txt",
                                                  gf_pathToUtf8(AIG_REGCODES_XML_PATH)));
    const std::int64_t count = lf_collectDontUse(entries);
    gf_log(vald::format("{} don't use title{} read", count, gf_pluralLong(count)));
}

void lf_readDontUseFolder()
{
    const std::string folder = gf_pathToUtf8(MY_REGCODES_FOLDER);
    std::vector<RegcodeEntry> entries;
    if (!gf_readRegcodeFiles(MY_REGCODES_FOLDER, entries))
        offlineReportLines.push_back(vald::format(
            "There were errors in processing the regcode files in folder '{}', see the Log.txt", folder));
    const std::int64_t count = lf_collectDontUse(entries);
    gf_log(vald::format("{} don't use title{} read from files in {}", count, gf_pluralLong(count), folder));
}

void lf_resetRegcodeIndex()
{
    regcodeIndex.clear();
    uniqueRegistrations.clear();
    offlineReportLines.clear();
}
