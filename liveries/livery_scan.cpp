#include "liveries/livery_scan.hpp"

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "foundation/format.hpp"
#include "foundation/hook_store.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "foundation/xml_meta.hpp"
#include "liveries/aircraft_cfg.hpp"
#include "liveries/liveries_scanned_xml.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/scan_reports.hpp"
#include "foundation/scan_pool.hpp"
#include "foundation/scan_workers.hpp"
#include "foundation/status_display.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t MAX_PRIORITY = 10;
constexpr std::size_t MAX_DESCENT_PATH_BYTES = 250;
LiveryFileTask testFileTask;

HookStore<LiveryScanHooks> hookStore([] { return LiveryScanHooks{}; });

std::string lf_upperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// aircraft.cfg or sim.cfg in any letter case; the name is taken from the path's text, as the
// walk asks this of every file it meets.
bool lf_isCfgFile(const fs::path& file)
{
    const std::string& text = file.native();
    const std::size_t slash = text.find_last_of('/');
    const std::string name = lf_upperAscii(text.substr(slash == std::string::npos ? 0 : slash + 1));
    return name == "AIRCRAFT.CFG" || name == "SIM.CFG";
}

// The tasks of one folder walk on the scan pool, oldest first. Their liveries are taken in the
// order the files were found, whatever order the tasks end in.
class WalkTasks {
public:
    explicit WalkTasks(std::int32_t priority) : priority_(priority) {}

    // Starts the task of one cfg file; false when a stop was requested while waiting for room.
    bool start(const fs::path& file)
    {
        const std::string text = gf_pathToUtf8(file);
        const bool ivao = text.find("ivao_x-csl") != std::string::npos || text.find("IVAO_MTL") != std::string::npos;
        auto found = std::make_shared<FoundLiveries>();
        ScanPool::Ticket ticket = pool_.submit([priority = priority_, file, ivao, body = testFileTask, found] {
            if (body)
                *found = body(priority, file);
            else
                *found = ivao ? lf_searchIvaoLiveriesinFile(priority, file) : lf_searchLiveriesinFile(priority, file);
        });
        if (!ticket)
            return false;
        pending_.push_back({std::move(ticket), std::move(found)});
        return true;
    }

    std::size_t pendingCount() const { return pending_.size(); }

    // Takes the oldest task's liveries onto the livery list, titles claimed in walk order. A task
    // that failed or did not end within the task wait loses its file's liveries (thrown as text).
    void collectOldest()
    {
        Pending oldest = std::move(pending_.front());
        pending_.pop_front();
        std::string failure;
        switch (pool_.wait(oldest.ticket, failure)) {
        case ScanPool::Outcome::done:
            scannedLiveries.splice(scannedLiveries.end(), lf_claimTitles(std::move(*oldest.found)));
            return;
        case ScanPool::Outcome::failed:
            throw std::runtime_error(failure);
        case ScanPool::Outcome::timedOut:
            throw std::runtime_error(vald::format(
                "Future wait timed out after {} seconds",
                std::chrono::duration_cast<std::chrono::seconds>(gf_scanTaskWait()).count()));
        case ScanPool::Outcome::stopped:
            return;  // the scan is abandoned; nothing of it is kept
        }
    }

    void finish() { pool_.finish(); }

private:
    struct Pending {
        ScanPool::Ticket ticket;
        std::shared_ptr<FoundLiveries> found;  // filled by the task before it is marked finished
    };
    std::int32_t priority_;
    ScanPool pool_;
    std::deque<Pending> pending_;
};

// Below the folder's root: scenery trees ("airport" in the part of the path below the root) and
// paths too long for the simulator are not entered.
bool lf_mayDescend(const fs::path& entry, std::size_t rootBytes)
{
    const std::string text = gf_pathToUtf8(entry);
    if (text.size() >= MAX_DESCENT_PATH_BYTES)
        return false;
    return text.find("airport", std::min(rootBytes, text.size())) == std::string::npos;
}

// The entries of one folder in name order (so every scan walks alike); unreadable ones skipped.
std::vector<fs::directory_entry> lf_folderEntries(const fs::path& folder)
{
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
         !error && it != end; it.increment(error))
        entries.push_back(*it);
    // The entries share their folder: their texts differ only in the names, and compare as the
    // paths do, without splitting each path into its parts.
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
        return a.path().native() < b.path().native();
    });
    return entries;
}

// Depth first through the tree; false once a stop, or a pool whose workers are all stuck, ends
// the walk.
bool lf_walk(const fs::path& folder, std::size_t rootBytes, WalkTasks& tasks)
{
    for (const fs::directory_entry& entry : lf_folderEntries(folder)) {
        if (gf_stopPending())
            return false;
        try {
            std::error_code error;
            if (entry.is_directory(error) && !entry.is_symlink(error)) {
                if (lf_mayDescend(entry.path(), rootBytes) && !lf_walk(entry.path(), rootBytes, tasks))
                    return false;
                continue;
            }
            if (!entry.is_regular_file(error) || !lf_isCfgFile(entry.path()))
                continue;
            if (!tasks.start(entry.path()))
                return false;
        } catch (const ScanPoolStalled& e) {
            // Every worker is stuck in a read: the rest of this tree would only wait as long again.
            gf_logWarn(vald::format("liveries search in {} aborted, cause: {}", gf_pathToUtf8(folder), e.what()));
            return false;
        } catch (const std::exception& e) {
            gf_logWarn(vald::format("liveries search in {} aborted, cause: {}", gf_pathToUtf8(entry.path()), e.what()));
            continue;
        }
        if (tasks.pendingCount() > static_cast<std::size_t>(std::max(1, scanWorkerLimit.load()))) {
            try {
                tasks.collectOldest();
            } catch (const std::exception& e) {
                gf_logWarn(vald::format("liveries inner search aborted: {}", e.what()));
            }
        }
    }
    return true;
}

// For each airline and model only the liveries of the best folder that has them.
void lf_keepBestPriority(LiveryList& liveries)
{
    std::unordered_map<std::string, std::int32_t> best;
    for (const LiveryData& livery : liveries) {
        auto [it, added] = best.try_emplace(livery.airl + '\n' + livery.type, livery.priority);
        if (!added)
            it->second = std::min(it->second, livery.priority);
    }
    liveries.remove_if([&best](const LiveryData& livery) {
        return livery.priority > best.at(livery.airl + '\n' + livery.type);
    });
}

void lf_repaint(const vald::PixelRect& band)
{
    vald::gf_updateDisplay([](vald::StatusDisplayValues&) {}, band);
}

// Nothing of an unfinished scan is kept for the next one.
void lf_abandonScan()
{
    scannedLiveries.clear();
    lf_clearScanReports();
}

// False when LiveriesScanned.xml could not be saved (the old one, if any, stays).
bool lf_finishScan()
{
    if (LIG_PRIORITIZE.value())
        lf_keepBestPriority(scannedLiveries);
    gf_sortLiveries(scannedLiveries);
    scannedLiveries.unique();
    const bool saved = lf_writeLiveriesScanned(scannedLiveries);
    scannedLiveries.clear();
    lf_liveriesScanSummary();
    lf_clearScanReports();
    gf_clearStatus();
    return saved;
}

}  // namespace

void gf_setLiveryScanHooks(LiveryScanHooks hooks)
{
    hookStore.update([&hooks](LiveryScanHooks& current) {
        gf_takeHook(current.openManual, hooks.openManual);
        gf_takeHook(current.openParametersFolder, hooks.openParametersFolder);
    });
}

void lf_setFileTaskForTest(LiveryFileTask task) { testFileTask = std::move(task); }

void lf_getLfolders(std::vector<fs::path>& folders)
{
    for (StringParameter* parameter : LIVERY_FOLDERS) {
        const std::string value = parameter->value();
        if (value.empty())
            continue;
        const fs::path folder = gf_pathFromUtf8(value);
        std::error_code error;
        if (!fs::exists(folder, error) || error) {
            gf_logWarn(vald::format("{}: '{}' does not exist", parameter->name(), value));
            throw vald::UserErrorException(
                243, vald::format("the path pointed to by parameter '{}' does not exist, see Log.txt!",
                                  parameter->name()));
        }
        folders.push_back(folder);
    }
}

void lf_scanLiveryFolder(std::int32_t priority, const fs::path& folder)
{
    WalkTasks tasks(priority);
    lf_walk(folder, gf_pathToUtf8(folder).size(), tasks);
    while (tasks.pendingCount() > 0) {
        try {
            tasks.collectOldest();
        } catch (const std::exception& e) {
            gf_logWarn(vald::format("liveries search aborted, futs outer, {}", e.what()));
        }
    }
    tasks.finish();
}

LiveryScanOutcome lf_scanLiveryFolders(const std::vector<fs::path>& folders)
{
    scannedLiveries.clear();
    // New reports beside old ones would mislead, and a folder that keeps them would not take the
    // new ones either: the scan waits for the next start.
    if (!lf_removeScanOutputFiles())
        return LiveryScanOutcome::reportsKept;
    lf_readDontUseTitles();
    std::int32_t priority = 0;
    std::int64_t total = 0;
    for (const fs::path& folder : folders) {
        const std::string text = gf_pathToUtf8(folder);
        if (!fs::exists(folder)) {
            gf_log(text + " does not exist, skipped!");
            continue;
        }
        if (!fs::is_directory(folder)) {
            gf_log(text + " is not a folder name, skipped!");
            continue;
        }
        priority = std::min(priority + 1, MAX_PRIORITY);
        if (gf_stopPending())
            continue;
        const std::size_t before = scannedLiveries.size();
        lf_scanLiveryFolder(priority, folder);
        const auto count = static_cast<std::int64_t>(scannedLiveries.size() - before);
        const std::string where = vald::format("found in {}", text);
        if (count < 1)
            gf_log(vald::format("No liveries {}", where));
        else
            gf_log(vald::format("{} liverie{} {}", count, gf_pluralLong(count), where));
        total += count;
    }
    if (gf_stopPending()) {
        lf_abandonScan();
        return LiveryScanOutcome::interrupted;
    }
    if (scannedLiveries.empty()) {
        lf_abandonScan();
        liveryCount.store(0);
        vald::gf_updateDisplay([](vald::StatusDisplayValues& values) { values.liveryCount = 0; }, vald::COUNTS_BAND);
        return LiveryScanOutcome::nothingFound;
    }
    if (folders.size() > 1)
        gf_log(vald::format("{} in total", total));
    lf_logDbaseConversions(scannedLiveries);
    return lf_finishScan() ? LiveryScanOutcome::done : LiveryScanOutcome::notSaved;
}

void gf_scanLiveries()
{
    // A scan begun while the program stops would only remove the liveries of the last one.
    if (gf_stopPending()) {
        gf_log("Liveries scan skipped: the program is stopping");
        return;
    }
    gf_setMetaSimulatorName("P3D");
    gf_showStatus(vald::format("Scanning {} for liveries ...", LIG_PRIORITIZE.value() ? "prioritized " : ""), false);
    gf_log(vald::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                        "manual"));
    std::vector<fs::path> folders;
    folders.reserve(std::size(LIVERY_FOLDERS));
    lf_getLfolders(folders);
    if (folders.empty()) {
        const std::shared_ptr<const LiveryScanHooks> hooks = hookStore.get();
        if (hooks->openManual)
            hooks->openManual();
        if (hooks->openParametersFolder)
            hooks->openParametersFolder();
        throw vald::UserErrorException(
            48, vald::format("Exit {} first!   Then set one or more lfolder parameters to your liveries, see Manual 5.3",
                             PROGRAM_ID));
    }
    switch (lf_scanLiveryFolders(folders)) {
    case LiveryScanOutcome::nothingFound:
        throw vald::UserErrorException(53, "no liveries found");
    case LiveryScanOutcome::interrupted:
        // The previous LiveriesScanned.xml, if any, serves this run; the next start scans again.
        gf_clearStatus();
        gf_logWarn("liveries scan interrupted; it runs again at the next start");
        return;
    case LiveryScanOutcome::notSaved:
        gf_showStatus(vald::format("{} could not be saved (see Log.txt); the liveries are scanned again at the next start",
                                   gf_pathToUtf8(LIVERIES_SCANNED_PATH)),
                      true);
        return;
    case LiveryScanOutcome::reportsKept:
        gf_showStatus("The reports of the last liveries scan could not be removed (see Log.txt); the liveries are "
                      "scanned again at the next start",
                      true);
        return;
    case LiveryScanOutcome::done:
        break;
    }
    gf_setBoolParamChecked(SCAN_LIVERIES, false);
    lf_repaint(vald::CONTROLS_BAND);
    lf_repaint(vald::COUNTS_BAND);
    gf_logAndFlush("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
}
