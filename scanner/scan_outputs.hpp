#pragma once
// The files an airport scan generated in airports/my_ORBX and airports/my_thirdparty, kept in a
// list beside them (airports/ScanGenerated.txt, one path a line). A scan removes only the files
// the earlier scan listed and never writes over a file it did not generate: a park file or link
// the user placed there by hand stays. Any scan task may call these.
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/constants.hpp"

inline const std::filesystem::path SCAN_GENERATED_LIST_PATH{AIRPORTS_FOLDER / "ScanGenerated.txt"};
// The files in the two output folders that were not the scan's when a scan began (the user's),
// one path a line. It lives from the start of a scan until the scan completed: a scan cut off by a
// power loss leaves files it created unlisted (perhaps empty), and the next scan, finding this
// record, may write over or remove every file not named in it.
inline const std::filesystem::path SCAN_KEPT_LIST_PATH{AIRPORTS_FOLDER / "ScanKept.txt"};

// Before the tasks of a scan: takes in the earlier scan's list (only files lying in the two output
// folders; they may be written over) and starts an empty list for this scan. Writes the record of
// the user's files, or takes in the one an interrupted scan left (it is kept as it is).
void gf_startScanOutputs();
// After the scan completed (its list saved, no longer pending): removes the record of the user's files.
void gf_finishScanOutputs();
// After the tasks: removes the files of the earlier scan that this scan did not write again (its
// scenery is gone), and those an interrupted scan created (not in the record of the user's files). Rewriting a file replaces it whole, which costs less than removing it first.
void gf_removeStaleScanOutputs();
// False when a file is at path that no scan generated (the user's own); logged in the scan log.
bool gf_mayWriteScanOutput(const std::filesystem::path& path);
// This scan wrote path.
void gf_noteScanOutput(const std::filesystem::path& path);
// The names (airport codes) of the *.xml files this scan generated in airports/my_thirdparty.
std::vector<std::string> gf_generatedThirdpartyNames();
// The scan writes its files without a sync each; this pushes them all to the disk at once, before
// the list is saved and the scan counts as done. False (logged) when a sync failed.
bool gf_syncScanOutputs();
// Writes this scan's list (also after a stop, for the files written so far); false on failure.
bool gf_saveScanOutputList();
