#include "parking/park_airport_list.hpp"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <set>

#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "refdata/airports.hpp"

namespace fs = std::filesystem;

std::list<ParkAirport> parkAirports;
ThreadOwner parkAirportsOwner("parkAirports");

std::list<ParkAirport>& gf_parkAirports()
{
    parkAirportsOwner.assertOwner();
    return parkAirports;
}

void gf_releaseParkAirports() { parkAirportsOwner.release(); }

namespace {

const char* const LIST_NAME = "my_park_airports.txt";
constexpr std::size_t MAX_FIELDS = 2;

// The airport code of a line: its first comma field, trimmed as the reader trims it.
std::string lf_codeOf(const std::string& line) { return gf_trim(std::string_view(line).substr(0, line.find(','))); }

// One airport, one line: of the lines naming one airport (the one-field and two-field lines the
// reader takes), the first stays, as the reader keeps the first; lines it skips stay as written.
void lf_oneLinePerAirport(std::vector<std::string>& lines)
{
    std::set<std::string> seen;
    std::erase_if(lines, [&seen](const std::string& line) {
        if (gf_split(line, ',').size() > MAX_FIELDS)
            return false;
        const std::string code = lf_codeOf(line);
        return !code.empty() && !seen.insert(code).second;
    });
}

bool lf_readListFile()
{
    std::vector<std::string> lines;
    std::string error;
    const FileRead read = gf_readTextFileLimited(MY_PARK_AIRPORTS_PATH, MAX_PARK_AIRPORT_LIST_BYTES, lines, error);
    if (read == FileRead::missing) {
        gf_log(gf_pathToUtf8(MY_PARK_AIRPORTS_PATH) + " not found");
        return true;
    }
    if (read != FileRead::ok) {
        gf_showStatus(error, true);
        gf_logWarn(error);
        return false;
    }
    bool result = true;
    std::set<std::string> taken;
    for (const std::string& line : lines) {
        const std::vector<std::string> fields = gf_split(line, ',');
        if (fields.empty())
            continue;
        if (fields.size() > MAX_FIELDS) {
            gf_logWarn(vald::format("{}:{} wrong syntax, skipped", LIST_NAME, line));
            continue;
        }
        const std::string& icao = fields[0];
        if (taken.count(icao) != 0) {
            gf_logWarn(vald::format("{}:{} double, skipped", LIST_NAME, icao));
            continue;
        }
        const AirportRecord* airport = gf_findAirport(icao);
        if (airport == nullptr) {
            gf_showStatus(vald::format("airport {} is unknown", icao), true);
            result = false;
            continue;
        }
        parkAirports.push_back({icao, fields.size() > 1 ? fields[1] : std::string(), airport->lat, airport->lon, 0.0});
        taken.insert(icao);
    }
    if (!parkAirports.empty())
        gf_log(vald::format("{} park airport{} read from '{}'", parkAirports.size(), gf_pluralSize(parkAirports.size()),
                            LIST_NAME));
    if (parkAirports.size() > MANY_PARK_AIRPORTS)
        gf_showStatus(vald::format("Warning: There are a lot of airports ({}), that will cost Corv much cpu time and "
                                   "may cause stutters",
                                   parkAirports.size()),
                      true);
    return result;
}

}  // namespace

bool lf_readMyParkAirports()
{
    parkAirportsOwner.assertOwner();
    parkAirports.clear();
    bool result = true;
    try {
        result = lf_readListFile();
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{}: {}", "lf_readMyParkAirports", e.what()));
    }
    lf_addThirdPartyParkAirports();
    return result;
}

void lf_addThirdPartyParkAirports()
{
    parkAirportsOwner.assertOwner();
    std::error_code error;
    fs::directory_iterator it(MY_THIRDPARTY_FOLDER, error);
    if (error)
        return;
    // The listed codes once, not the list walked again for every file of a large folder.
    std::set<std::string> listed;
    for (const ParkAirport& p : parkAirports)
        listed.insert(p.icao);
    std::size_t added = 0;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error)
            break;
        std::error_code statusError;
        const fs::file_status status = it->status(statusError);
        if (statusError && statusError != std::errc::no_such_file_or_directory)
            throw fs::filesystem_error("status", it->path(), statusError);
        if (!fs::is_regular_file(status))
            continue;
        const std::string icao = gf_pathToUtf8(it->path().stem());
        const AirportRecord* airport = gf_findAirport(icao);
        if (airport == nullptr || !listed.insert(icao).second)
            continue;
        parkAirports.push_back({icao, std::string(), airport->lat, airport->lon, 0.0});
        ++added;
    }
    if (added > 0)
        gf_log(vald::format("{} park airport{} added from my_thirdparty folder(-s)", added, gf_pluralSize(added)));
}

std::optional<std::size_t> lf_updateMyParkAirportStand(std::vector<std::string>& lines, const std::string& icao,
                                                       const std::string& entry)
{
    const std::string code = gf_trim(icao);
    std::optional<std::size_t> first;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lf_codeOf(lines[i]) != code || gf_split(lines[i], ',').size() > MAX_FIELDS)
            continue;
        if (!first) {
            lines[i] = entry;
            first = i;
        } else {
            lines[i].clear();  // a second line of the airport would be read back instead of the first
        }
    }
    return first;
}

bool lf_writeMyParkAirports()
{
    parkAirportsOwner.assertOwner();
    if (parkAirports.empty())
        return false;
    const ParkAirport& first = parkAirports.front();
    const std::string entry = vald::format("{}{}", first.icao, first.stand.empty() ? "" : "," + first.stand);
    std::vector<std::string> lines;
    std::string error;
    const FileRead read = gf_readTextFileLimited(MY_PARK_AIRPORTS_PATH, MAX_PARK_AIRPORT_LIST_BYTES, lines, error);
    if (read == FileRead::missing) {
        lines.push_back(entry);
        gf_log(vald::format("{} created with {}", LIST_NAME, entry));
    } else if (read != FileRead::ok) {
        // What could not be read whole is never written back.
        gf_logWarn(vald::format("{}, not rewritten", error));
        return false;
    } else if (lf_updateMyParkAirportStand(lines, first.icao, entry)) {
        gf_log(vald::format("{}:{} updated stand", LIST_NAME, entry));
    } else {
        lines.insert(lines.begin(), entry);
        gf_log(vald::format("{}:{} new entry", LIST_NAME, entry));
    }
    lf_oneLinePerAirport(lines);
    std::erase_if(lines, [](const std::string& line) { return gf_trim(line).empty(); });
    // A NUL byte (a damaged line) could not be read back: it would end the line early, or, sorted
    // first, make the next read take the file for UTF-16.
    std::erase_if(lines, [](const std::string& line) {
        if (line.find('\0') == std::string::npos)
            return false;
        gf_logWarn(vald::format("{}: a line holding a NUL byte is dropped: {}", LIST_NAME,
                                line.substr(0, line.find('\0'))));
        return true;
    });
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    std::error_code ignored;
    fs::create_directories(AIRPORTS_FOLDER, ignored);
    const bool written = gf_writeLines(lines, MY_PARK_AIRPORTS_PATH);
    if (!written)
        gf_logWarn(vald::format("{} could not be written", gf_pathToUtf8(MY_PARK_AIRPORTS_PATH)));
    return written;
}

void lf_addMyParkAirport(const std::string& icao, const LatLon& position)
{
    parkAirportsOwner.assertOwner();
    const auto present =
        std::find_if(parkAirports.begin(), parkAirports.end(), [&icao](const ParkAirport& p) { return p.icao == icao; });
    if (present != parkAirports.end()) {
        parkAirports.splice(parkAirports.begin(), parkAirports, present);
        return;
    }
    parkAirports.push_front({icao, std::string(), position.lat, position.lon, 0.0});
    // A failed write is warned by the writer; the airport stays first in memory for this session.
    static_cast<void>(lf_writeMyParkAirports());
}
