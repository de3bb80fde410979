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

// Before the tasks of a scan: takes in the earlier scan's list (only files lying in the two output
// folders; they may be written over) and starts an empty list for this scan.
void gf_startScanOutputs();
// After the tasks: removes the files of the earlier scan that this scan did not write again (its
// scenery is gone). Rewriting a file replaces it whole, which costs less than removing it first.
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
