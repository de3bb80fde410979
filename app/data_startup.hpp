#pragma once
// The data start-up of each run on the worker thread: the program folder check, parameters and
// controls, data folders, the update check (first run of the process only), the time shift,
// the reference data (once per process), the simulator's installation folder, and the
// service's revisit rule.
#include <cstdint>
#include <string>

// User error of a program started outside its folder.
inline constexpr int USER_ERROR_NOT_IN_PROGRAM_FOLDER = 41;
// The traffic service must not be visited again within this many seconds.
inline constexpr std::int64_t SERVICE_REVISIT_SECONDS = 2;

// "Corv_P3D must be run from the Corv_P3D folder!"
std::string lf_mustRunFromFolderText();
// The folder "docs" must stand in the working directory: user error 41 otherwise.
void lf_checkProgramFolder();

// The data start-up; returns early (no error) when the update check prepared a new version.
void lf_startData();
// Creates the data folders (with their parents) and removes two old files of the regcode data.
void lf_createDataFolders();
// Removes the temporary files that an unfinished write of an earlier run left in the folders the
// program writes to (the program folder, input, tblo, the data folder, the data folders and every
// folder below the learned files).
void lf_removeLeftoverTemporaries();
// stockSceneryPath := SIM_INSTALL_PATH / "Scenery"; the status line tells when it is missing.
void lf_checkStockScenery();
// Production mode: the program ends now (exit code 0, USER CLOSED SIM unless a reason is set).
void lf_stopIfProduction();

// Seconds since the last visit to the service (LAST_EPOCH_TIME) at this moment.
std::int64_t lf_secondsSinceLastVisit();
// With less than two seconds since the last visit: holds for the rest of the two seconds, at
// most two seconds (a last visit in the future holds two), and tells so on the status line.
// Answers the seconds held.
std::int64_t lf_holdForServiceRevisit(std::int64_t elapsedSeconds);
// The files of airports/my_thirdparty and airports/my_ORBX counted into the display.
void lf_countAddonAirportFiles();
