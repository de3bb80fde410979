#pragma once
// Finding the park-position file of an airport (the user's own files first, then the archive on
// the download site), downloading it, and reading it into the park airport's stands with its
// learned file merged over it. Also the two questions other code asks without touching the park
// airport: whether an airport has a park source, and how far a position is from its nearest
// stand. Worker thread.
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

#include "engine/stand_records.hpp"
#include "foundation/geodesy.hpp"
#include "refdata/airports.hpp"

// Where a park file from the download site is stored before it is read.
inline const std::filesystem::path PARK_AIRPORT_FILE{"airports/park_airport.xml"};
// The temporary file of the closest-stand question.
inline const std::filesystem::path CLOSEST_STAND_FILE{"airport.xml"};

// The traffic week of the park file (0 when it gives none) and the park airport's elevation.
extern std::int32_t rtTrafficWeek;
extern double parkElevationFt;

// The user's park files of the airport in the order they are looked for: in my_thirdparty before
// my_ORBX, and in each a link (ICAO.txt, naming the file to use) before a park file (ICAO.xml).
std::array<std::filesystem::path, 4> gf_userParkFileCandidates(const std::string& icao);
// The name of the park file to use: a local path under "airports", a name below the download
// site's /downloads/P3D/, or empty when the airport has none.
std::string gf_locateApf(const std::string& icao);
// A redirect text file: its first line names the park file to use.
[[nodiscard]] bool lf_readApfRedirect(const std::filesystem::path& path, std::string& name);
// Downloads a park file into target; empty on success, else the error text (no file is left).
// While *abort is true the transfer is abandoned (nullptr: only when the run is asked to end, as
// every download).
[[nodiscard]] std::string lf_downloadApf(const std::string& name, const std::filesystem::path& target,
                                         const std::atomic<bool>* abort = nullptr);
// Reads the park file into parkStands; empty on success, else the error text. A name on the
// download site is downloaded first, unless downloaded names the file it was fetched into.
// vald::UserErrorException (missing altitude, repeated stand id) passes to the caller.
[[nodiscard]] std::string gf_readApf(const std::string& name, ApfInfo& info,
                                     std::pair<std::int32_t, std::int32_t>& quality,
                                     const std::filesystem::path& downloaded = {});
// The airport's park file is on the download site, whose download of it failed a short while
// ago (see FAILED_PARK_DOWNLOAD_MEMORY).
bool gf_parkSourceFailedRecently(const std::string& icao);
bool gf_hasParkSource(const std::string& icao);
// Distance in nm from position to the airport's nearest stand, and that stand's id; 100.0 when
// there is none or it is not known yet. The stands of each airport asked about are remembered,
// so a file is fetched once per airport however often the question comes; a file that could not
// be had is asked for again after FAILED_PARK_DOWNLOAD_MEMORY. A file on the download site is
// fetched beside the caller (see gf_closestStandsPending).
double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& standId);
// A file of the closest-stand question is on its way: answers given meanwhile may change.
bool gf_closestStandsPending();
// Forgets the remembered stands (tests; a scan that wrote new park files).
void gf_forgetClosestStands();
// Abandons a file of the closest-stand question on its way and waits for its thread.
void gf_stopClosestStandDownload();
// "30/ 5", "60", or two blanks when both are unknown.
std::string lf_formatCountPair(const std::pair<std::int32_t, std::int32_t>& quality);

// A name that starts with "airports" is a local file.
bool lf_isLocalApfName(const std::string& name);
