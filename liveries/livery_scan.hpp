#pragma once
// The scan of the installed aircraft (the livery folders lfolder0 to lfolder9) into
// output/LiveriesScanned.xml, run on the worker thread during start-up when SCAN_LIVERIES is on.
// Each folder tree is walked on the worker thread; every aircraft.cfg or sim.cfg is read by a
// task of its own on the scan pool (foundation/scan_pool.hpp), at most as many at once as the scan
// worker limit allows; a task's liveries are used only after it ended, and a task that does not
// end within the task wait is given up with a log line.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "liveries/fltsim_eval.hpp"

// Clears SCAN_LIVERIES when the scan ended. Throws vald::UserErrorException 48 (no livery
// folder set), 243 (a set folder is missing) and 53 (no livery found). A scan ended early by a
// stop request is reported as interrupted and leaves SCAN_LIVERIES set, so the next start scans
// again; so do a LiveriesScanned.xml that cannot be saved and reports of the last scan that
// cannot be removed, each with a status line. The previous LiveriesScanned.xml stays until a
// whole new one replaces it.
void gf_scanLiveries();

enum class [[nodiscard]] LiveryScanOutcome { done, nothingFound, interrupted, notSaved, reportsKept };

// The set livery folders in parameter order; throws 243 for one that does not exist.
void lf_getLfolders(std::vector<std::filesystem::path>& folders);
// Scans the folders in order, writes LiveriesScanned.xml and the reports.
LiveryScanOutcome lf_scanLiveryFolders(const std::vector<std::filesystem::path>& folders);
// Walks one folder tree and appends its liveries to the livery list, in walk order.
void lf_scanLiveryFolder(std::int32_t priority, const std::filesystem::path& folder);

// What the scan asks of the window when no livery folder is set: to show the folder of the
// manual and the folder of parameters.xml. Registered by the window.
struct LiveryScanHooks {
    std::function<void()> openManual;
    std::function<void()> openParametersFolder;
};
void gf_setLiveryScanHooks(LiveryScanHooks hooks);

// Tests: the body of the file tasks (empty: the real readers); how long the walk waits for the
// oldest task is the scan pool's task wait (gf_setScanTaskWaitForTest).
using LiveryFileTask = std::function<FoundLiveries(std::int32_t priority, const std::filesystem::path& file)>;
void lf_setFileTaskForTest(LiveryFileTask task);
