#include "app/worker.hpp"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>

#include <fmt/format.h>

#include "app/closing.hpp"
#include "app/commands.hpp"
#include "app/data_startup.hpp"
#include "app/edit_fields.hpp"
#include "app/message_lines.hpp"
#include "app/run_log.hpp"
#include "app/run_requests.hpp"
#include "app/run_session.hpp"
#include "app/run_state.hpp"
#include "app/sim_detection.hpp"
#include "app/window_controls.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/flight_plans.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "liveries/liveries_hooks.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/livery_scan.hpp"
#include "foundation/scan_workers.hpp"
#include "parking/park_airport.hpp"
#include "parking/parking_hooks.hpp"
#include "parking/parking_window.hpp"
#include "foundation/status_display.hpp"
#include "refdata/airports.hpp"
#include "refdata/self_update.hpp"
#include "scanner/airport_scan.hpp"
#include "scanner/scanner_hooks.hpp"
#include "simlink/simlink_hooks.hpp"
#include "traffic/traffic_hooks.hpp"

namespace {

std::once_flag hooksRegistered;

void lf_resetAirportCounts()
{
    vald::gf_updateDisplay(
        [](vald::StatusDisplayValues& values) {
            values.simaddonCount = 0;
            values.thirdpCount = 0;
        },
        WHOLE_CLIENT_AREA);
}

void lf_prepareParkAirports()
{
    // Without the folder each plan's write fails and says so; the aircraft fly all the same.
    static_cast<void>(gf_createFlightPlanFolder());
    // What could not be read is on the status line and in the log already; the run goes on with
    // the airports that were read.
    static_cast<void>(lf_readMyParkAirports());
    gf_enableControl(BUTTON_REREAD);
    const std::string destination = DESTINATION.value();
    if (!destination.empty()) {
        if (const AirportRecord* airport = gf_findAirport(destination)) {
            lf_setDestination(destination, LatLon{airport->lat, airport->lon});
            // The destination goes first among the park airports before the run starts.
            lf_serveCommandRequests();
        }
    }
    if (vald::UiPort* port = vald::gf_windowPort())
        port->setAlwaysOnTop(ALWAYS_ON_TOP.value());
}

// Everything of a run before its closing.
void lf_workerSteps()
{
    lf_checkProgramFolder();
    lf_startData();
    lf_flushRunLog();
    const std::int64_t elapsed = lf_secondsSinceLastVisit();
    lf_checkStockScenery();
    gf_setScanWorkerLimit(static_cast<std::int32_t>(std::thread::hardware_concurrency()));
    if (SCAN_LIVERIES.value())
        gf_scanLiveries();
    // A stop during the scan ends the start-up here.
    if (gf_stopPending())
        return;
    gf_processScannedLiveries();
    if (gf_stopPending())
        return;
    if (SCAN_AIRPORTS.value() && !airportScanHeld.load()) {
        lf_resetAirportCounts();
        gf_scanAirports();
    }
    lf_holdForServiceRevisit(elapsed);
    lf_countAddonAirportFiles();
    if (gf_stopPending()) {
        gf_requestUserClose();
        return;
    }
    lf_prepareParkAirports();
    lf_runSession();
}

// The run ends with SYSTEM ERROR, unless a stop was asked for before (the first reason wins).
void lf_systemError() { gf_requestStop(closing_reason::SYSTEM_ERROR, 0); }

}  // namespace

namespace {

// What the park logic needs of the window's controls.
void lf_registerParkingWindowHooks()
{
    ParkingWindowHooks hooks;
    hooks.lockParkingControls = [] { gf_lockParkingControls(); };
    hooks.unlockParkingControls = [] { gf_unlockParkingControls(); };
    hooks.controlsLocked = [] { return controlsLocked.load(); };
    hooks.enableParkOptionControls = [] { gf_enableParkOptionControls(); };
    hooks.applyAutoRange = [](bool on) {
        if (on) {
            runStartRange.store(RANGE.value());
            gf_autoRange();
            return;
        }
        RANGE.setValue(runStartRange.load());
        gf_setRangeNm(RANGE.value());
    };
    hooks.followInitialLoadOnly = [](bool on) { gf_setControlEnabled(BUTTON_NOW, !on); };
    gf_setParkingWindowHooks(std::move(hooks));
}

}  // namespace

void lf_registerRunHooks()
{
    std::call_once(hooksRegistered, [] {
        gf_detectInstalledSimulators();
        gf_registerSimlinkHooks();
        gf_registerEngineHooks();
        gf_registerParkingHooks();
        lf_registerParkingWindowHooks();
        gf_registerLiveriesHooks();
        // An opener that fails tells the user in a message box itself; the scan's own error follows.
        const auto openManual = [] { static_cast<void>(gf_openManual()); };
        const auto openParametersFolder = [] { static_cast<void>(gf_openParametersFolder()); };
        gf_setScannerHooks({openManual, openParametersFolder});
        LiveryScanHooks scan;
        scan.openManual = openManual;
        scan.openParametersFolder = openParametersFolder;
        gf_setLiveryScanHooks(std::move(scan));
        SimlinkHooks simlink;
        simlink.simNoLongerConnected = [] { gf_simNoLongerConnected(); };
        gf_setSimlinkHooks(std::move(simlink));
        UpdateHooks update;
        update.openContainingFolder = [](const std::filesystem::path& file) { return gf_openContainingFolder(file); };
        update.messageBox = [](const std::string& text, const std::string& caption) { gf_messageBox(text, caption); };
        gf_registerUpdateHooks(std::move(update));
    });
}

void lf_workerThread()
{
    try {
        lf_registerRunHooks();
        lf_workerSteps();
    } catch (const vald::UserErrorException& e) {
        gf_showError(e.what());
        lf_systemError();
    } catch (const fmt::format_error& e) {
        gf_showError(std::string("std::format error: ") + e.what());
        gf_showError(e.what());
        lf_systemError();
    } catch (const std::exception& e) {
        gf_showError(e.what());
        lf_systemError();
    } catch (...) {
        gf_showError("Unknown exception");
        lf_systemError();
    }
    lf_flushRunLog();
    lf_closingDown();
    // The next run's worker is a new thread: it takes over the park-airport list.
    parkAirportsOwner.release();
}
