#include "app/data_startup.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "app/message_lines.hpp"
#include "app/run_log.hpp"
#include "app/run_requests.hpp"
#include "foundation/clock.hpp"
#include "app/run_state.hpp"
#include "app/sim_detection.hpp"
#include "app/time_shift.hpp"
#include "app/window_controls.hpp"
#include "engine/aircraft_records.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/text.hpp"
#include "foundation/time_slots.hpp"
#include "foundation/user_error.hpp"
#include "parking/park_airport.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "refdata/self_update.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path* const DATA_FOLDERS[] = {
    &OUTPUT_FOLDER,   &OUTPUT_INFO_FOLDER,      &OUTPUT_ERRORS_FOLDER,    &AIRPORTS_FOLDER,
    &LEARNED_FOLDER,  &LEARNED_STOCK_FOLDER,    &LEARNED_SIMADDON_FOLDER, &LEARNED_THIRDPARTY_FOLDER,
    &MY_ORBX_FOLDER,  &MY_THIRDPARTY_FOLDER,    &MY_REGCODES_FOLDER,
};

// Generations of the regcode file that older versions left behind.
const fs::path OLD_REGCODES_FILES[] = {INPUT_FOLDER / "AIG-regcodes0.xml", INPUT_FOLDER / "AIG-regcodes00.xml"};

void lf_prepareTimeShift()
{
    gf_fillIntOptionCombo(TIME_SHIFT_DAYS);
    gf_fillIntOptionCombo(TIME_SHIFT_HOURS);
    gf_fillIntOptionCombo(TIME_SHIFT_MINS);
    gf_enableControl(KEEP_SIM_TIME_PAR);
    if (SIM_TIME.value()) {
        lf_enableTimeControls();
        gf_enableControl(SIM_TIME);
    } else if (TIME_SHIFT_DAYS.value() != TIME_SHIFT_DAYS.defaultValue() ||
               TIME_SHIFT_HOURS.value() != TIME_SHIFT_HOURS.defaultValue() ||
               TIME_SHIFT_MINS.value() != TIME_SHIFT_MINS.defaultValue()) {
        lf_setTimeShift((TIME_SHIFT_HOURS.value() + TIME_SHIFT_DAYS.value() * 24) * 60 + TIME_SHIFT_MINS.value(),
                        true);
    }
    // The run start settles them again by SIM_TIME.
    lf_enableTimeShiftControls(true);
}

void lf_readDataFiles()
{
    if (!dataFilesRead.load()) {
        const bool read = gf_readDbase();
        dataFilesRead.store(true);
        if (!read)
            throw std::runtime_error("reading data files failed!");
    }
    if (!gf_readAirports())
        throw std::runtime_error("reading airports failed!");
}

void lf_showInstallPath()
{
    ALL_INSTALL_PATH.setValue(SIM_INSTALL_PATH.value());
    gf_enableControl(ALL_INSTALL_PATH);
    gf_setStringParamText(ALL_INSTALL_PATH);
    if (ALL_INSTALL_PATH.value().empty())
        lf_detectSimulator();
    lf_repaintWindow();
}

}  // namespace

std::string lf_mustRunFromFolderText()
{
    return vald::format("{} must be run from the {} folder!", PROGRAM_ID, PROGRAM_ID);
}

void lf_checkProgramFolder()
{
    std::error_code error;
    const fs::file_status status = fs::status(DOCS_FOLDER, error);
    if (error && error != std::errc::no_such_file_or_directory)
        throw fs::filesystem_error("status", DOCS_FOLDER, error);
    if (!fs::is_directory(status))
        throw vald::UserErrorException(USER_ERROR_NOT_IN_PROGRAM_FOLDER, lf_mustRunFromFolderText());
}

void lf_createDataFolders()
{
    for (const fs::path* folder : DATA_FOLDERS)
        if (!fs::is_directory(*folder))
            fs::create_directories(*folder);
    for (const fs::path& file : OLD_REGCODES_FILES)
        if (fs::exists(file))
            fs::remove(file);
}

// Temporary files of a write that an earlier run did not finish (it ended or the machine went
// down in between) are removed from every folder the program writes to; the learned files sit
// in folders of any depth below their root.
void lf_removeLeftoverTemporaries()
{
    std::vector<fs::path> folders{fs::path("."), INPUT_FOLDER, NEW_VERSION_FOLDER, TBLO_FOLDER_PATH, gf_dataFolder()};
    for (const fs::path* folder : DATA_FOLDERS)
        folders.push_back(*folder);
    std::error_code error;
    for (fs::recursive_directory_iterator it(LEARNED_FOLDER, error), end; !error && it != end; it.increment(error))
        if (it->is_directory(error))
            folders.push_back(it->path());
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    std::size_t removed = 0;
    for (const fs::path& folder : folders)
        removed += gf_removeLeftoverTempFiles(folder);
    if (removed > 0)
        gf_log(vald::format("Removed {} temporary files of an unfinished earlier write", removed));
}

void lf_checkStockScenery()
{
    const fs::path path = gf_pathFromUtf8(SIM_INSTALL_PATH.value()) / "Scenery";
    gf_setStockSceneryPath(path);
    if (!fs::exists(path))
        gf_showStatus(vald::format("Stock airports path does not exist: {}", gf_pathToUtf8(path)), true);
}

void lf_stopIfProduction()
{
    if (!productionMode.load())
        return;
    exitCode.store(0);
    gf_requestUserClose();
}

void lf_startData()
{
    gf_loadAllParameters();
    lf_repaintWindow();
    lf_flushRunLog();
    lf_fillCombos();
    lf_createDataFolders();
    lf_removeLeftoverTemporaries();
    maxLiveSelection.store(MAX_LIVE_SEL.value());
    if (!restartPending.load() && !gf_checkVersions())
        return;
    // A close during the downloads: the run ends without reading the data files.
    if (gf_stopPending())
        return;
    lf_prepareTimeShift();
    currentWeekdaySlot.store(gf_weekSlotValue(gf_weekdayAndSlot()));
    lf_readDataFiles();
    lf_showInstallPath();
    if (!productionMode.load()) {
        runStartRange.store(RANGE.value());
        return;
    }
    lf_stopIfProduction();
}

std::int64_t lf_secondsSinceLastVisit() { return gf_realUtcNow() - LAST_EPOCH_TIME.value(); }

std::int64_t lf_holdForServiceRevisit(std::int64_t elapsedSeconds)
{
    if (elapsedSeconds >= SERVICE_REVISIT_SECONDS)
        return 0;
    // A last visit in the future (a clock set back) must not hold the start for longer.
    const std::int64_t wait = std::min(SERVICE_REVISIT_SECONDS - elapsedSeconds, SERVICE_REVISIT_SECONDS);
    gf_showStatus(vald::format("Holding for {} seconds... (RT API cannot be revisited within {} seconds)", wait,
                               SERVICE_REVISIT_SECONDS),
                  true);
    gf_sleepFor(std::chrono::seconds(wait));
    return wait;
}

void lf_countAddonAirportFiles()
{
    const std::uint64_t thirdparty = gf_countFilesIn(MY_THIRDPARTY_FOLDER);
    const std::uint64_t orbx = gf_countFilesIn(MY_ORBX_FOLDER);
    vald::gf_updateDisplay(
        [thirdparty, orbx](vald::StatusDisplayValues& values) {
            values.thirdpCount = thirdparty;
            values.simaddonCount = orbx;
        },
        WHOLE_CLIENT_AREA);
}
