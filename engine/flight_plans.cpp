#include "engine/flight_plans.hpp"

#include <mutex>
#include <system_error>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/safe_write.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view FLIGHT_PLAN_FOLDER_NAME = "orig_dest";
constexpr int REMOVE_ATTEMPTS = 10;

// Set on the worker thread before a run; read when an aircraft is created or removed.
std::mutex folderMutex;
fs::path flightPlanFolder;

fs::path lf_folder()
{
    std::lock_guard<std::mutex> lock(folderMutex);
    return flightPlanFolder;
}

bool lf_exists(const fs::path& path)
{
    std::error_code error;
    const bool exists = fs::exists(path, error);
    if (error && error != std::errc::no_such_file_or_directory)
        throw fs::filesystem_error("exists", path, error);
    return exists;
}

std::string_view lf_planType(AircraftCategory category)
{
    switch (category) {
    case AircraftCategory::Buzjets:
    case AircraftCategory::Large:
    case AircraftCategory::Heavy:
        return "IFR";
    default:
        return "VFR";
    }
}

// Airport codes come from the traffic service: markup characters in them must not break the file.
std::string lf_xmlText(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

}  // namespace

bool gf_writeFlightPlan(const fs::path& path, const AircraftInstance& aircraft)
{
    // The quote after the opening element is a text character the simulator's reader passes over.
    const std::string plan = vald::format(
        "{}\n{}\n{}\n{}{}{}\n{}{}{}\n{}{}{}\n{}\n{}\n", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\"", "<FlightPlan.FlightPlan>", "<FPType>",
        lf_planType(aircraft.category), "</FPType>", "<DepartureID>", lf_xmlText(aircraft.identity.origin),
        "</DepartureID>", "<DestinationID>", lf_xmlText(aircraft.identity.destination), "</DestinationID>",
        "</FlightPlan.FlightPlan>", "</SimBase.Document>");
    std::string error;
    if (!gf_writeFileSafely(path, plan, error, WriteDurability::Scratch)) {
        gf_logWarn(error);
        return false;
    }
    return true;
}

bool gf_createFlightPlanFolder()
{
    const fs::path dataFolder = gf_dataFolder();
    const fs::path folder = dataFolder / FLIGHT_PLAN_FOLDER_NAME;
    {
        std::lock_guard<std::mutex> lock(folderMutex);
        flightPlanFolder = folder;
    }
    std::error_code ignored;
    if (!lf_exists(dataFolder))
        fs::create_directories(dataFolder, ignored);
    if (!lf_exists(folder))
        fs::create_directory(folder, ignored);
    return lf_exists(folder);
}

fs::path gf_flightPlanPath(std::uint32_t objectId) { return lf_folder() / vald::format("{}.pln", objectId); }

bool gf_removeFlightPlanFolder()
{
    const fs::path folder = lf_folder();
    if (folder.empty() || !lf_exists(folder))
        return true;
    std::error_code error;
    for (int attempt = 0; attempt < REMOVE_ATTEMPTS; ++attempt) {
        error.clear();
        fs::remove_all(folder, error);
        if (!error)
            return true;
        if (error != std::errc::directory_not_empty && error != std::errc::permission_denied)
            break;
    }
    gf_log(vald::format("gf_removeFlightPlanFolder: {}", error.message()));
    return false;
}
