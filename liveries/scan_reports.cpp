#include "liveries/scan_reports.hpp"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "liveries/fltsim_eval.hpp"
#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"

namespace fs = std::filesystem;

namespace {

// One collection of report lines with its own lock, held only while one line goes in.
template <typename Container>
struct ReportLines {
    std::mutex mutex;
    Container lines;

    void add(std::string line)
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(std::move(line));
    }
    Container copy()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines.clear();
    }
};

ReportLines<std::list<std::string>> filesWithoutSections;
ReportLines<std::list<std::string>> invalidCfgFiles;
ReportLines<std::list<std::string>> incompleteSections;
ReportLines<std::list<std::string>> invalidAirlines;
ReportLines<std::list<std::string>> invalidModels;
ReportLines<std::vector<std::string>> fixes;
// Written on the worker thread only, when no task runs.
std::vector<std::string> conversions;

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

void lf_logNotRemoved(const fs::path& path, const std::error_code& error)
{
    gf_logWarn(vald::format("{} could not be removed: {} (error {})", gf_pathToUtf8(path), error.message(),
                            error.value()));
}

void lf_ensureErrorsFolder()
{
    if (!fs::exists(OUTPUT_ERRORS_FOLDER))
        fs::create_directory(OUTPUT_ERRORS_FOLDER);
}

// The report files are for the user to read: one that cannot be written is logged by the writer,
// with its reason, just before the count line, and the scan's outcome does not hang on it.

// Sorts, writes and logs one error collection; nothing for an empty one.
void lf_writeErrorList(std::list<std::string> lines, const fs::path& file, const char* what, bool dropRepeats)
{
    if (lines.empty())
        return;
    const std::size_t collected = lines.size();
    lines.sort();
    if (dropRepeats)
        lines.unique();
    lf_ensureErrorsFolder();
    static_cast<void>(gf_writeLineList(lines, file));  // a failure is logged by the writer
    gf_log(vald::format("{} {}, see {}", collected, what, gf_pathToUtf8(file)));
}

void lf_writeCountedList(std::list<std::string> lines, const fs::path& file, const char* what)
{
    if (lines.empty())
        return;
    lines.sort();
    lf_ensureErrorsFolder();
    static_cast<void>(gf_writeLineList(lines, file));  // a failure is logged by the writer
    gf_log(vald::format("{} {}{}, see {}", lines.size(), what, gf_pluralSize(lines.size()), gf_pathToUtf8(file)));
}

}  // namespace

void lf_addInvalidCfgFile(std::string line) { invalidCfgFiles.add(std::move(line)); }
void lf_addIncompleteSection(std::string line) { incompleteSections.add(std::move(line)); }
void lf_addFix(std::string line) { fixes.add(std::move(line)); }
void lf_addFileWithoutSections(std::string file) { filesWithoutSections.add(std::move(file)); }

void lf_addInvalidAirline(const std::string& code, const std::string& file, const std::string& header)
{
    invalidAirlines.add(vald::format("{:12} in {} {}", code, file, header));
}

void lf_addInvalidModel(const std::string& model, const std::string& file)
{
    invalidModels.add(vald::format("{:16} in {}", model, file));
}

bool lf_removeScanOutputFiles()
{
    // LiveriesScanned.xml is not among them: only a whole new one replaces it.
    const fs::path* files[] = {&AIRCRAFT_CFG_NO_FLTSIM_PATH,    &INLINE_REGCODES_PATH,
                               &INVALID_AIRLINE_CODES_PATH,     &INVALID_AIRCRAFT_CODES_PATH,
                               &FIXES_PATH,                     &INVALID_AIRCRAFT_CFG_FILES_PATH,
                               &INCOMPLETE_FLTSIM_SECTIONS_PATH};
    bool removed = true;
    for (const fs::path* file : files)
        removed = lf_removeReportFile(*file) && removed;
    // A file of the user's own in output/errors keeps the folder; that is no reason to refuse
    // every later scan.
    std::error_code error;
    fs::remove(OUTPUT_ERRORS_FOLDER, error);
    if (error && error != std::errc::directory_not_empty && error != std::errc::file_exists) {
        lf_logNotRemoved(OUTPUT_ERRORS_FOLDER, error);
        removed = false;
    }
    return removed;
}

bool lf_removeReportFile(const fs::path& file)
{
    std::error_code error;
    fs::remove(file, error);
    if (error)
        lf_logNotRemoved(file, error);
    return !error;
}

void lf_logDbaseConversions(LiveryList& liveries)
{
    for (LiveryData& livery : liveries) {
        if (livery.atcid.empty())
            continue;
        const std::optional<DbaseRecord> record = gf_findRegcode(livery.atcid);
        if (!record)
            continue;
        if (livery.cargo != record->cargo) {
            conversions.push_back(vald::format("{:80} {} cargo {} => {}", livery.title, livery.atcid,
                                               lf_boolText(livery.cargo), lf_boolText(record->cargo)));
            livery.cargo = record->cargo;
        }
        const std::string& airline = gf_flyingAirline(*record);
        if (livery.airl != airline) {
            conversions.push_back(
                vald::format("{:80} {} airl {} => {}", livery.title, livery.atcid, livery.airl, airline));
            livery.airl = airline;
        }
        if (livery.type != record->type) {
            conversions.push_back(
                vald::format("{:80} {} model {} => {}", livery.title, livery.atcid, livery.type, record->type));
            livery.type = record->type;
        }
    }
}

void lf_writeFixes()
{
    // Sorted: the tasks add their fixes in the order they happen to run.
    std::vector<std::string> lines = fixes.copy();
    std::sort(lines.begin(), lines.end());
    fs::create_directories(FIXES_PATH.parent_path());
    static_cast<void>(gf_writeLines(lines, FIXES_PATH));  // a report: a failure is logged by the writer
}

void lf_liveriesScanSummary()
{
    ScanReports reports = gf_scanReportsSnapshot();
    const bool noErrors = reports.invalidAirlines.empty() && reports.invalidModels.empty() && reports.fixes.empty() &&
                          reports.invalidCfgFiles.empty() && reports.incompleteSections.empty();
    gf_log(noErrors ? "\nNo errors" : "\nErrors:");
    lf_writeCountedList(std::move(reports.invalidAirlines), INVALID_AIRLINE_CODES_PATH, "invalid airline code");
    lf_writeCountedList(std::move(reports.invalidModels), INVALID_AIRCRAFT_CODES_PATH, "invalid model code");
    if (!reports.fixes.empty()) {
        lf_writeFixes();
        gf_log(vald::format("{} code fixes, see {}", reports.fixes.size(), gf_pathToUtf8(FIXES_PATH)));
    }
    lf_writeErrorList(std::move(reports.invalidCfgFiles), INVALID_AIRCRAFT_CFG_FILES_PATH,
                      "invalid aircraft.cfg files", false);
    lf_writeErrorList(std::move(reports.incompleteSections), INCOMPLETE_FLTSIM_SECTIONS_PATH,
                      "incomplete [fltsim.x] sections", true);

    gf_log("\nInformation:");
    if (!reports.filesWithoutSections.empty()) {
        reports.filesWithoutSections.sort();
        static_cast<void>(gf_writeLineList(reports.filesWithoutSections, AIRCRAFT_CFG_NO_FLTSIM_PATH));  // as above
        gf_log(vald::format("{} empty aircraft.cfg files, see {}", reports.filesWithoutSections.size(),
                            gf_pathToUtf8(AIRCRAFT_CFG_NO_FLTSIM_PATH)));
    }
    if (!conversions.empty()) {
        static_cast<void>(gf_writeLines(conversions, AIRLINE_MODEL_CONVERSIONS_PATH));  // as above
        gf_log(vald::format("{} liveries updated with real live data from dbase, see {}", conversions.size(),
                            gf_pathToUtf8(AIRLINE_MODEL_CONVERSIONS_PATH)));
    }
}

void lf_clearScanReports()
{
    lf_clearScanTitles();
    conversions.clear();
    invalidAirlines.clear();
    invalidModels.clear();
    incompleteSections.clear();
    filesWithoutSections.clear();
    invalidCfgFiles.clear();
    fixes.clear();
}

ScanReports gf_scanReportsSnapshot()
{
    ScanReports reports;
    reports.filesWithoutSections = filesWithoutSections.copy();
    reports.invalidCfgFiles = invalidCfgFiles.copy();
    reports.incompleteSections = incompleteSections.copy();
    reports.invalidAirlines = invalidAirlines.copy();
    reports.invalidModels = invalidModels.copy();
    reports.fixes = fixes.copy();
    reports.conversions = conversions;
    return reports;
}
