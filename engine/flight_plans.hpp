#pragma once
// The folder of the flight-plan files handed to the simulator for live aircraft with a route:
// "orig_dest" in the program's data folder, one "{objectId}.pln" per created aircraft.
#include <cstdint>
#include <filesystem>

#include "engine/aircraft_records.hpp"

// Sets the folder path and creates the data folder and the flight-plan folder when missing;
// true when the flight-plan folder exists afterwards. A file-system error other than "not
// found" while testing the folders throws std::filesystem::filesystem_error.
[[nodiscard]] bool gf_createFlightPlanFolder();
// The folder path joined with "{}.pln" of the object id.
std::filesystem::path gf_flightPlanPath(std::uint32_t objectId);
// Writes the aircraft's plan (IFR for business jets, large and heavy aircraft, else VFR; the
// flight's origin and destination as they stand) to path, replacing it. False when the file
// cannot be opened.
[[nodiscard]] bool gf_writeFlightPlan(const std::filesystem::path& path, const AircraftInstance& aircraft);
// Removes the folder with everything in it (retried a few times while the system still holds
// it); a folder that does not exist is not an error. A remaining error is logged. True when the
// folder is gone.
[[nodiscard]] bool gf_removeFlightPlanFolder();
