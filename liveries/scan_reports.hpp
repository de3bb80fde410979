#pragma once
// What the liveries scan tells the user about the files it read: one line per problem, collected
// by the file tasks while they run (each collection under its own mutex), written after the scan
// to output/errors and output/info, and summed up in Log.txt. Also the removal of the previous
// scan's outputs and the corrections of scanned liveries from the registration data.
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "liveries/livery_records.hpp"

// Adders, safe from any task.
void lf_addInvalidCfgFile(std::string line);
void lf_addIncompleteSection(std::string line);
void lf_addInvalidAirline(const std::string& code, const std::string& file, const std::string& header);
void lf_addInvalidModel(const std::string& model, const std::string& file);
void lf_addFix(std::string line);
void lf_addFileWithoutSections(std::string file);

// Removes the report files of the previous scan (not LiveriesScanned.xml), then output/errors
// unless a file of the user's own is left in it. False when one could not be removed (a
// read-only folder): each such failure is logged with its error code.
[[nodiscard]] bool lf_removeScanOutputFiles();
// Removes one report file (a missing one is no failure). False when it could not be removed,
// logged as "<path> could not be removed: <message> (error <code>)".
[[nodiscard]] bool lf_removeReportFile(const std::filesystem::path& file);
// Takes the airline, type and cargo flag of each livery's registration record (the operator
// before the airline) and records every change for AirlineModelConversions.txt.
void lf_logDbaseConversions(LiveryList& liveries);
// Writes the report files and the summary lines of Log.txt.
void lf_liveriesScanSummary();
void lf_writeFixes();
// Empties every collection, the title set and the don't-use titles.
void lf_clearScanReports();

// A copy of the collections as they stand (tests, and the summary itself).
struct ScanReports {
    std::list<std::string> filesWithoutSections;
    std::list<std::string> invalidCfgFiles;
    std::list<std::string> incompleteSections;
    std::list<std::string> invalidAirlines;
    std::list<std::string> invalidModels;
    std::vector<std::string> fixes;
    std::vector<std::string> conversions;
};
ScanReports gf_scanReportsSnapshot();
