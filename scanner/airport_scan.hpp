#pragma once
// The scan of the add-on airport scenery (the folders afolder0 to afolder9) for airports and
// their parking spots, run on the worker thread during start-up when SCAN_AIRPORTS is on. One
// task per BGL file with an airport section, run on the scan pool (foundation/scan_pool.hpp) at
// most the shared worker limit at a time. A file whose task fails ends the walk of its folder
// (said in the scan log); one that does not end within the task wait is given up and reported,
// and the walk goes on. Every task of a folder ends, or is given up, before the next folder.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "scanner/tblo_archive.hpp"

// The scan; throws vald::UserErrorException 49 when no afolder is set and 42 when one lies in
// the simulator's own scenery. Clears SCAN_AIRPORTS when it completed; a scan ended by a stop,
// one with a file it could not write, or whose files could not be synced or whose record could
// not be saved leaves it set so that the next start scans again. Which files it writes over or
// removes: scanner/scan_outputs.cpp.
void gf_scanAirports();

std::vector<std::filesystem::path> lf_getAfolders();
// What a run of the scan found, and whether a stop cut its walk short or its work did not reach
// the disk (the scan then runs again at the next start).
struct [[nodiscard]] AirportsScanRun {
    bool found = false;  // an airport got a park file
    bool stopped = false;
    std::size_t failedWrites = 0;
    bool synced = false;  // its files were synced to the disk
    bool listed = false;  // its record was saved (or, after a failed sync, kept as it was)
};
// The scan of the folders with its record saved; only a run that completed removes the files of
// earlier scans, runs the offline-learning step and logs its success.
AirportsScanRun lf_runAirportsScan(const std::vector<std::filesystem::path>& folders);
void lf_scanAfolders(const std::vector<std::filesystem::path>& folders);
void lf_scanAirportFolder(const std::filesystem::path& folder);
// The task body for one BGL file: decodes its airports and makes their park files. Logs and
// rethrows what goes wrong.
void lf_processBGLfile(const std::filesystem::path& file);

// Tests: the body of the BGL file tasks (empty: lf_processBGLfile).
using BglFileTask = std::function<void(const std::filesystem::path& file)>;
void lf_setBglTaskForTest(BglFileTask task);

// Exactly ".BGL" or ".bgl".
bool lf_isBglFile(const std::string& extension);
// Whether the path lies inside the simulator's root folder (SIM_INSTALL_PATH), compared by whole
// path components ("\" and "/" both separate them, letter case ignored); an empty root holds nothing.
bool lf_isInSimRoot(const std::string& path);
