#include "scanner/airport_scan.hpp"

#include <algorithm>
#include <cctype>
#include <deque>

#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "foundation/xml_meta.hpp"
#include "foundation/scan_pool.hpp"
#include "foundation/scan_workers.hpp"
#include "parking/park_file.hpp"
#include "foundation/status_display.hpp"
#include "refdata/airports.hpp"
#include "scanner/addon_park_files.hpp"
#include "scanner/airports_scan_log.hpp"
#include "scanner/bgl_records.hpp"
#include "scanner/scan_outputs.hpp"
#include "scanner/scanner_hooks.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int USER_ERROR_STOCK_FOLDER = 42;
constexpr int USER_ERROR_NO_FOLDER = 49;

StringParameter* const AFOLDERS[] = {&afolder0, &afolder1, &afolder2, &afolder3, &afolder4,
                                     &afolder5, &afolder6, &afolder7, &afolder8, &afolder9};

BglFileTask testBglTask;

// The tasks of one folder walk on the scan pool. A file whose task fails ends the walk (thrown);
// one that does not end within the task wait is reported in the scan log and given up, and the
// walk goes on.
class FolderTasks {
public:
    FolderTasks() = default;

    // False when a stop was requested while waiting for room.
    bool add(const fs::path& file)
    {
        ScanPool::Ticket ticket =
            pool_.submit([file, body = testBglTask, generation = gf_scanOutputGeneration()] {
                const ScanOutputTask scope(generation);
                if (body)
                    body(file);
                else
                    lf_processBGLfile(file);
            });
        if (!ticket)
            return false;
        pending_.emplace_back(std::move(ticket), gf_pathToUtf8(file));
        // Only the few oldest are held: each is waited for in turn, so a stuck one is found.
        if (pending_.size() > static_cast<std::size_t>(std::max(1, scanWorkerLimit.load())))
            lf_collectOldest();
        return true;
    }

    std::size_t held() const { return pending_.size(); }

    // Waits for every task in turn; the first that failed is thrown.
    void finish()
    {
        while (!pending_.empty())
            lf_collectOldest();
        pool_.finish();
    }

private:
    void lf_collectOldest()
    {
        std::string failure;
        const ScanPool::Outcome outcome = pool_.wait(pending_.front().first, failure);
        const std::string file = std::move(pending_.front().second);
        if (outcome == ScanPool::Outcome::failed)
            throw std::runtime_error(failure);  // the walk ends; its tasks are dropped with it
        pending_.pop_front();
        if (outcome == ScanPool::Outcome::timedOut) {
            gf_noteScanIncomplete();
            gf_addToAirportsScanLog(vald::format("{} airports search skipped {}: not read within {} ms, given up",
                                                 "===> ", file, gf_scanTaskWait().count()));
        }
    }

    ScanPool pool_;
    std::deque<std::pair<ScanPool::Ticket, std::string>> pending_;
};

// A walk that ended on the work of one file, with its scan-log line.
struct WalkAborted : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void lf_repaint() { vald::gf_invalidateWindow(vald::COUNTS_BAND); }

std::vector<std::string> lf_components(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char c : path + '/') {
        if (c == '/' || c == '\\') {
            if (!part.empty() && part != ".")
                parts.push_back(part);
            part.clear();
        } else {
            part += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return parts;
}

// Whether the walk should start a task for this entry. Static objects and heliport libraries are
// recognised by the words of the path below the scenery folder's root: a root whose own name
// holds one of them is still scanned.
bool lf_wantsTask(const fs::directory_entry& entry, const std::string& text, std::size_t rootBytes)
{
    std::error_code error;
    if (!entry.is_regular_file(error) || !lf_isBglFile(gf_pathToUtf8(entry.path().extension())))
        return false;
    const std::size_t below = std::min(rootBytes, text.size());
    return text.find("statics", below) == std::string::npos && text.find("_heliports", below) == std::string::npos;
}

void lf_walkFolder(const fs::path& folder, FolderTasks& tasks)
{
    const std::size_t rootBytes = gf_pathToUtf8(folder).size();
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    if (error)
        throw fs::filesystem_error("directory_iterator::directory_iterator", folder, error);
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error)
            throw fs::filesystem_error("recursive_directory_iterator::increment", folder, error);
        const std::string text = gf_pathToUtf8(it->path());
        if (lf_isInSimRoot(text)) {
            it.disable_recursion_pending();
            continue;
        }
        if (!lf_wantsTask(*it, text, rootBytes))
            continue;
        if (gf_stopPending())
            return;
        try {
            if (!tasks.add(it->path()))
                return;
        } catch (const std::exception& e) {
            throw WalkAborted(vald::format("{} airports search aborted, futs inner,\n{}\n{}\n{}", "===> ", e.what(),
                                           tasks.held(), text));
        }
    }
    if (error)
        throw fs::filesystem_error("recursive_directory_iterator::increment", folder, error);
}

}  // namespace

bool lf_isBglFile(const std::string& extension) { return extension == ".BGL" || extension == ".bgl"; }

bool lf_isInSimRoot(const std::string& path)
{
    const std::vector<std::string> root = lf_components(SIM_INSTALL_PATH.value());
    if (root.empty())
        return false;
    const std::vector<std::string> parts = lf_components(path);
    return parts.size() >= root.size() && std::equal(root.begin(), root.end(), parts.begin());
}

void lf_processBGLfile(const fs::path& file)
{
    try {
        // The cheap check of the section table runs here, on the task, not on the walk.
        const std::optional<std::vector<std::uint8_t>> bytes = lf_readAirportBgl(file);
        if (gf_scanTaskAbandoned())
            return;  // a read that came back after the scan gave it up: nothing of it is wanted
        if (!bytes) {
            std::error_code error;
            const std::uintmax_t size = fs::file_size(file, error);
            if (!error && size > BGL_MAX_FILE_BYTES && lf_bglHasAirportSection(file))
                gf_addToAirportsScanLog(vald::format("{}{} is larger than {} bytes, skipped", "===> ",
                                                     gf_pathToUtf8(file), BGL_MAX_FILE_BYTES));
            return;
        }
        // Each airport gets its park file as it is decoded: those before a damaged record keep theirs.
        gf_decodeBglAirports(
            vald::ByteReader(bytes->data(), bytes->size()), gf_pathToUtf8(file),
            [](const std::string& icao) { return gf_isKnownAirport(icao); },
            [](ApfAirport& airport) { gf_makeAddonParkFile(airport); });
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("Exception in lf_processBGLfile: {}", e.what()));
        throw;
    }
}

void lf_scanAirportFolder(const fs::path& folder)
{
    const std::string folderText = gf_pathToUtf8(folder);
    gf_addToAirportsScanLog(vald::format("Scanning for {} airports in {}", "addon ", folderText));
    // A walk that ends early leaves its tasks under way to the pool, which waits for them
    // (bounded) before the next folder; what they make is kept.
    FolderTasks tasks;
    try {
        lf_walkFolder(folder, tasks);
    } catch (const WalkAborted& e) {
        gf_addToAirportsScanLog(e.what());
        gf_noteScanIncomplete();
        return;
    } catch (const std::exception& e) {
        gf_addToAirportsScanLog(
            vald::format("{} airports search in folder {} aborted, cause: {}", "===> ", folderText, e.what()));
        gf_noteScanIncomplete();
        return;
    }
    try {
        tasks.finish();
    } catch (const std::exception& e) {
        gf_addToAirportsScanLog(
            vald::format("{} airports search in {} aborted, futs outer error: {}", "===> ", folderText, e.what()));
        gf_noteScanIncomplete();
    }
}

void lf_setBglTaskForTest(BglFileTask task) { testBglTask = std::move(task); }

void lf_scanAfolders(const std::vector<fs::path>& folders)
{
    for (const fs::path& folder : folders) {
        if (folder.empty())
            continue;
        std::error_code error;
        const fs::file_status status = fs::status(folder, error);
        if (error && error != std::errc::no_such_file_or_directory)
            throw fs::filesystem_error("status", folder, error);
        const std::string text = gf_pathToUtf8(folder);
        if (status.type() == fs::file_type::not_found)
            gf_showStatus(text + " does not exist, skipped!", true);
        else if (fs::is_directory(status)) {
            if (!lf_isInSimRoot(text))
                lf_scanAirportFolder(folder);
        } else
            gf_showStatus(text + " is not a folder name, skipped!", true);
    }
}

std::vector<fs::path> lf_getAfolders()
{
    std::vector<fs::path> folders;
    for (StringParameter* parameter : AFOLDERS) {
        const std::string value = parameter->value();
        if (value.empty())
            continue;
        if (lf_isInSimRoot(value))
            throw vald::UserErrorException(
                USER_ERROR_STOCK_FOLDER,
                vald::format("parameter {} points to stock airports instead of add-on airports!", parameter->name()));
        gf_log(vald::format("From parameter {}: {}", parameter->name(), value));
        folders.push_back(gf_pathFromUtf8(value));
    }
    return folders;
}

AirportsScanRun lf_runAirportsScan(const std::vector<fs::path>& folders)
{
    gf_log(vald::format("The scan will search {} folder{}", folders.size(), folders.size() == 1 ? "" : "s"));
    std::error_code error;
    fs::remove(AIRPORTS_SCAN_LOG_PATH, error);
    if (error)
        gf_log("problems with removing previous files (maybe still open?): " + error.message());
    airportsFound.store(false);
    tbloFileCount.store(0);
    gf_startAirportsScanLog();
    gf_startAddonParkFiles();
    lf_scanAfolders(folders);
    // From here on no task of this scan writes; a stop that comes later finds the scan done.
    gf_closeScanOutputs();
    AirportsScanRun run;
    run.stopped = gf_stopPending();
    run.failedWrites = gf_failedScanWrites();
    // The files of the scan reach the disk before the record that names them, and both before the
    // scan counts as done and removes or moves a file: after a crash, or when either fails, the
    // next start scans again with the earlier files in place.
    run.synced = gf_syncScanOutputs();
    // The record names only files that reached the disk whole: after a failed sync the earlier
    // record stays, and the journal names what this scan wrote.
    run.listed = !run.synced || gf_saveScanOutputList(!run.stopped && run.failedWrites == 0);
    const bool completed = !run.stopped && run.failedWrites == 0 && run.synced && run.listed;
    // Before the archive step, which looks for links beside the generated files: a link of the
    // earlier scan whose airport is now generated must be gone by then. The record then leaves out
    // what is gone, once the removals are on the disk.
    if (completed && gf_removeStaleScanOutputs() && gf_syncScanOutputs())
        (void)gf_saveScanOutputList(true);
    gf_forgetClosestStands();  // the park files of the airports may have changed
    fs::create_directories(OUTPUT_INFO_FOLDER, error);
    // A report that cannot be written is logged by the writer, not as written.
    if (gf_writeLines(gf_takeAirportsScanLog(), AIRPORTS_SCAN_LOG_PATH))
        gf_log(gf_pathToUtf8(AIRPORTS_SCAN_LOG_PATH) + " written");
    gf_clearStatus();
    // Only files this scan generated go into the archive: a user's own park file stays put. A scan
    // that did not complete moves nothing; the next one does it.
    if (completed)
        lf_prepareTblo(gf_generatedThirdpartyNames());
    run.found = airportsFound.load();
    if (completed && run.found)
        gf_log("Airports scan successful");
    return run;
}

void gf_scanAirports()
{
    if (!SCAN_AIRPORTS.value())
        return;
    // A scan begun while the program stops would only be cut short.
    if (gf_stopPending()) {
        gf_log("Airports scan skipped: the program is stopping");
        return;
    }
    gf_showStatus("Scanning for addon airports ...", false);
    gf_log(vald::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "manual "));
    std::error_code error;
    const bool tbloExists = fs::exists(TBLO_FOLDER_PATH, error);
    if (error)
        throw fs::filesystem_error("exists", TBLO_FOLDER_PATH, error);
    // The archive of the last scan stays until a new one takes its place: a scan that cannot
    // write one must not lose it.
    if (tbloExists)
        gf_removeFilesFromDirectory(TBLO_FOLDER_PATH, TBLO_ZIP);
    else
        fs::create_directory(TBLO_FOLDER_PATH);
    const std::vector<fs::path> folders = lf_getAfolders();
    if (folders.empty()) {
        const std::shared_ptr<const ScannerHooks> hooks = gf_scannerHooks();
        hooks->openManual();
        hooks->openParametersFolder();
        throw vald::UserErrorException(
            USER_ERROR_NO_FOLDER,
            vald::format("Exit {} first!   Then set one or more afolder parameters to your add-on airports, see Manual 6.2",
                         PROGRAM_ID));
    }
    // Every generated file is written for this simulator; set once, before any task runs.
    gf_setMetaSimulatorName("P3D");
    // The output folders are made here once; a write into one that could not be made fails.
    for (const fs::path& output : {MY_ORBX_FOLDER, MY_THIRDPARTY_FOLDER})
        fs::create_directories(output, error);
    // The earlier files stay where they are: each is written over or, when its scenery is gone,
    // removed at the end of a scan that completed.
    gf_openScanOutputs();
    const AirportsScanRun run = lf_runAirportsScan(folders);
    if (run.stopped) {
        gf_clearStatus();
        gf_logWarn("airports scan interrupted; it runs again at the next start");
        return;
    }
    std::string unfinished;  // why the scan did not complete, and its status line
    std::string status;
    const std::size_t failed = run.failedWrites;
    if (failed > 0) {
        unfinished = vald::format("{} file{} could not be written", failed, failed == 1 ? "" : "s");
        status = vald::format("{} park file{} of the airports scan could not be written (see Log.txt); the airports "
                              "are scanned again at the next start",
                              failed, failed == 1 ? "" : "s");
    } else if (!run.listed) {
        // Without its record the next scan could not tell all of these files from the user's own.
        unfinished = gf_pathToUtf8(SCAN_OUTPUTS_LIST_PATH) + " could not be saved";
        status = vald::format("{} could not be saved (see Log.txt); the airports are scanned again at the next start",
                              gf_pathToUtf8(SCAN_OUTPUTS_LIST_PATH));
    } else if (!run.synced) {
        unfinished = "its files could not be synced to the disk";
        status = "The airports scan's files could not be synced to the disk (see Log.txt); the airports are scanned "
                 "again at the next start";
    }
    if (!unfinished.empty()) {
        gf_logWarn(vald::format("airports scan did not complete: {}; it runs again at the next start", unfinished));
        gf_showStatus(status, true);
        return;
    }
    if (!run.found)
        gf_showStatus("Warning: Scan has not found any add-on airports", true);
    gf_setBoolParamChecked(SCAN_AIRPORTS, false);
    lf_repaint();
    if (tbloFileCount.load() == 0)
        fs::remove_all(TBLO_FOLDER_PATH, error);
    lf_repaint();
    gf_logAndFlush("-------------------------- airports scan ends    ----------------------------\n");
}
