#include "scanner/airport_scan.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <deque>
#include <future>
#include <thread>

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
#include "liveries/scan_workers.hpp"
#include "platform/window_display.hpp"
#include "refdata/airports.hpp"
#include "scanner/addon_park_files.hpp"
#include "scanner/airports_scan_log.hpp"
#include "scanner/bgl_records.hpp"
#include "scanner/scanner_hooks.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int USER_ERROR_STOCK_FOLDER = 42;
constexpr int USER_ERROR_NO_FOLDER = 49;
constexpr auto TASK_PATIENCE = std::chrono::seconds(10);

StringParameter* const AFOLDERS[] = {&afolder0, &afolder1, &afolder2, &afolder3, &afolder4,
                                     &afolder5, &afolder6, &afolder7, &afolder8, &afolder9};

// One BGL file's task: its thread and the future that carries its failure.
struct ScanTask {
    fs::path file;
    std::future<void> result;
    std::thread thread;
};

void lf_repaint() { vald::gf_invalidateWindow(vald::COUNTS_BAND); }

bool lf_stopPending() { return stopRequested.load() || userClosing.load(); }

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

void lf_startTask(std::deque<ScanTask>& tasks, const fs::path& file, ScanWorkerSlot slot)
{
    std::packaged_task<void()> work([file, held = std::move(slot)]() mutable {
        const ScanWorkerSlot mine = std::move(held);  // given back when the task ends, however it ends
        lf_processBGLfile(file);
    });
    ScanTask task{file, work.get_future(), {}};
    task.thread = std::thread(std::move(work));
    tasks.push_back(std::move(task));
}

// Joins the task and reports its failure; the scan goes on with the other files.
void lf_finishTask(ScanTask& task)
{
    if (task.result.wait_for(TASK_PATIENCE) != std::future_status::ready)
        gf_addToAirportsScanLog(vald::format("{}{} still busy after 10 seconds, waiting for it", "===> ",
                                             gf_pathToUtf8(task.file)));
    task.thread.join();
    try {
        task.result.get();
    } catch (const std::exception& e) {
        gf_addToAirportsScanLog(vald::format("{} airports search skipped {}: {}", "===> ", gf_pathToUtf8(task.file),
                                             e.what()));
    }
}

// Whether the walk should start a task for this entry.
bool lf_wantsTask(const fs::directory_entry& entry, const std::string& text)
{
    std::error_code error;
    if (!entry.is_regular_file(error) || !lf_isBglFile(gf_pathToUtf8(entry.path().extension())))
        return false;
    if (text.find("statics") != std::string::npos || text.find("_heliports") != std::string::npos)
        return false;
    return lf_bglHasAirportSection(entry.path());
}

void lf_walkFolder(const fs::path& folder, std::deque<ScanTask>& tasks)
{
    const auto limit = static_cast<std::size_t>(std::max(1, scanWorkerLimit.load()));
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
        if (!lf_wantsTask(*it, text))
            continue;
        if (lf_stopPending())
            return;
        std::optional<ScanWorkerSlot> slot = gf_waitForWorkerSlot();
        if (!slot)
            return;
        lf_startTask(tasks, it->path(), std::move(*slot));
        while (tasks.size() > limit) {
            lf_finishTask(tasks.front());
            tasks.pop_front();
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
        const std::optional<std::vector<std::uint8_t>> bytes = lf_readDwords(file);
        if (!bytes)
            return;
        std::vector<ApfAirport> airports =
            gf_decodeBglAirports(vald::ByteReader(bytes->data(), bytes->size()), gf_pathToUtf8(file),
                                 [](const std::string& icao) { return gf_isKnownAirport(icao); });
        for (ApfAirport& airport : airports)
            gf_makeAddonParkFile(airport);
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("Exception in lf_processBGLfile: {}", e.what()));
        throw;
    }
}

void lf_scanAirportFolder(const fs::path& folder)
{
    const std::string folderText = gf_pathToUtf8(folder);
    gf_addToAirportsScanLog(vald::format("Scanning for {} airports in {}", "addon ", folderText));
    std::deque<ScanTask> tasks;
    try {
        lf_walkFolder(folder, tasks);
    } catch (const std::exception& e) {
        gf_addToAirportsScanLog(
            vald::format("{} airports search in folder {} aborted, cause: {}", "===> ", folderText, e.what()));
    }
    // Every task ends before its results are used and before the next folder.
    for (ScanTask& task : tasks)
        lf_finishTask(task);
}

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

bool lf_runAirportsScan(const std::vector<fs::path>& folders)
{
    gf_log(vald::format("The scan will search {} folder{}", folders.size(), folders.size() == 1 ? "" : "s"));
    std::error_code error;
    fs::remove(AIRPORTS_SCAN_LOG_PATH, error);
    if (error)
        gf_log("problems with removing previous files (maybe still open?): " + error.message());
    airportsFound.store(false);
    tbloFileCount.store(0);
    gf_startAirportsScanLog();
    lf_scanAfolders(folders);
    fs::create_directories(OUTPUT_INFO_FOLDER, error);
    gf_writeLines(gf_takeAirportsScanLog(), AIRPORTS_SCAN_LOG_PATH);
    gf_log(gf_pathToUtf8(AIRPORTS_SCAN_LOG_PATH) + " written");
    gf_clearStatus();
    lf_prepareTblo(gf_collectXmlFiles());
    if (airportsFound.load())
        gf_log("Airports scan successful");
    return airportsFound.load();
}

void gf_scanAirports()
{
    if (!SCAN_AIRPORTS.value())
        return;
    gf_showStatus("Scanning for addon airports ...", false);
    gf_log(vald::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "manual "));
    std::error_code error;
    const bool tbloExists = fs::exists(TBLO_FOLDER_PATH, error);
    if (error)
        throw fs::filesystem_error("exists", TBLO_FOLDER_PATH, error);
    if (tbloExists)
        gf_removeFilesFromDirectory(TBLO_FOLDER_PATH);
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
    for (const fs::path& output : {MY_ORBX_FOLDER, MY_THIRDPARTY_FOLDER}) {
        fs::create_directories(output, error);
        gf_removeFilesFromDirectory(output);
    }
    if (!lf_runAirportsScan(folders))
        gf_showStatus("Warning: Scan has not found any add-on airports", true);
    gf_setBoolParamChecked(SCAN_AIRPORTS, false);
    lf_repaint();
    if (tbloFileCount.load() == 0)
        fs::remove_all(TBLO_FOLDER_PATH, error);
    lf_repaint();
    gf_logAndFlush("-------------------------- airports scan ends    ----------------------------\n");
}
