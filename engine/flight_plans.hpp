#pragma once
// The folder of the flight-plan files handed to the simulator for live aircraft with a route:
// "orig_dest" in the program's data folder, one "{objectId}.pln" per created aircraft.
#include <cstdint>
#include <filesystem>

// Sets the folder path and creates the data folder and the flight-plan folder when missing;
// true when the flight-plan folder exists afterwards. A file-system error other than "not
// found" while testing the folders throws std::filesystem::filesystem_error.
bool gf_createFlightPlanFolder();
// The folder path joined with "{}.pln" of the object id.
std::filesystem::path gf_flightPlanPath(std::uint32_t objectId);
// Removes the folder with everything in it (retried a few times while the system still holds
// it); a folder that does not exist is not an error. A remaining error is logged. True when the
// folder is gone.
bool gf_removeFlightPlanFolder();
