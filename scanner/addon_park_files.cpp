#include "scanner/addon_park_files.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "parking/apf_file.hpp"
#include "parking/park_file.hpp"
#include "refdata/dbase.hpp"
#include "scanner/airports_scan_log.hpp"
#include "scanner/bgl_records.hpp"
#include "scanner/scan_outputs.hpp"

namespace fs = std::filesystem;

std::atomic<bool> airportsFound{false};

namespace {

constexpr const char* SIMADDON = "simaddon";

// Tasks of different BGL files may describe one airport: its files are written by one task at a
// time, each write whole (a temporary file renamed over the target), the later one winning. The
// reference data the tasks consult does not change while a scan runs: it needs no lock.
std::mutex& lf_icaoMutex(const std::string& icao)
{
    static std::mutex mapMutex;
    static std::map<std::string, std::unique_ptr<std::mutex>, std::less<>> perIcao;
    std::lock_guard<std::mutex> lock(mapMutex);
    std::unique_ptr<std::mutex>& entry = perIcao[icao];
    if (!entry)
        entry = std::make_unique<std::mutex>();
    return *entry;
}

// The BGL file whose generated park file stands for each airport in this scan. Several files may
// describe one airport and their tasks end in any order: the file with the most stands wins, and
// of equal ones the first path in byte order, so every scan of the same scenery writes the same
// file. Guarded by the airport's own mutex (lf_icaoMutex) and by winnersMutex for the map itself.
struct GeneratedBy {
    std::size_t stands = 0;
    std::string bglPath;
};
std::mutex winnersMutex;
std::map<std::string, GeneratedBy, std::less<>> winners;

bool lf_beats(const ApfAirport& airport, const GeneratedBy& held)
{
    if (airport.stands.size() != held.stands)
        return airport.stands.size() > held.stands;
    return airport.bglPath < held.bglPath;
}

// True when this airport's file is to be written; records it as the one standing.
bool lf_claimGeneratedFile(const ApfAirport& airport)
{
    std::lock_guard<std::mutex> lock(winnersMutex);
    const auto [it, added] = winners.try_emplace(airport.icao, GeneratedBy{airport.stands.size(), airport.bglPath});
    if (added)
        return true;
    if (!lf_beats(airport, it->second))
        return false;
    it->second = GeneratedBy{airport.stands.size(), airport.bglPath};
    return true;
}

fs::path lf_outputFolder(const std::string& publisher)
{
    return publisher == SIMADDON ? MY_ORBX_FOLDER : MY_THIRDPARTY_FOLDER;
}

// Where the scan may put bytes, a file of the airport: the user's files come first, the one at
// target and those a file at target would hide from the park-file lookup. The output folders were
// made when the scan began: a write into one that is missing fails.
ScanPlace lf_lookAtPlace(const fs::path& target, const std::string& icao, const std::optional<std::string>& bytes)
{
    return gf_lookAtScanPlace(target, gf_userParkFileCandidates(icao), bytes);
}

bool lf_writeLinkFile(const fs::path& folder, const std::string& icao, const std::string& archivedName)
{
    const fs::path target = folder / gf_pathFromUtf8(icao + ".txt");
    const std::optional<std::string> bytes = archivedName + '\n';
    std::lock_guard<std::mutex> lock(lf_icaoMutex(icao));
    const ScanPlace place = lf_lookAtPlace(target, icao, bytes);
    return !place.usersFile && gf_writeScanOutput(place, bytes) == ScanWrite::written;
}

std::string lf_blanksAsPercent20(const std::string& text)
{
    std::string result;
    for (char c : text)
        result += c == ' ' ? std::string("%20") : std::string(1, c);
    return result;
}

std::optional<std::string> lf_findThirdpartyArchive(const std::string& publisher, const std::string& icao,
                                                    std::int32_t& archivedCount)
{
    for (const ThirdpartyRecord& record : thirdpartyRecords) {
        if (record.publisher != publisher)
            continue;
        const gf_parsePrefixedNumber parse(publisher, icao, archivedCount);
        if (std::any_of(record.airports.begin(), record.airports.end(), parse))
            return "archive/thirdparty/" + lf_blanksAsPercent20(publisher) + "/" + icao + ".xml";
    }
    return std::nullopt;
}

}  // namespace

void gf_startAddonParkFiles()
{
    std::lock_guard<std::mutex> lock(winnersMutex);
    winners.clear();
}

std::string gf_publisherFromFileName(const std::string& path)
{
    if (gf_containsNoCase(path, "ORBX")) {
        gf_addToAirportsScanLog(vald::format("from filename => publisher {}", SIMADDON));
        return SIMADDON;
    }
    for (const std::vector<std::string>& group : publisherGroups)
        for (const std::string& name : group)
            if (gf_containsNoCase(path, name))
                return group.front();
    return std::string();
}

bool lf_findExistingParkFile(ApfAirport& airport, std::int32_t& archivedCount)
{
    archivedCount = 0;
    airport.publisher = gf_publisherFromFileName(airport.bglPath);
    if (airport.publisher.empty())
        return false;
    if (airport.publisher == SIMADDON) {
        if (simaddonAirports.find(airport.icao) == simaddonAirports.end()) {
            gf_addToAirportsScanLog(vald::format("{} does not exist as simaddon", airport.icao));
            return false;
        }
        const std::string name = vald::format("archive/{}/{}.xml", SIMADDON, airport.icao);
        if (!lf_writeLinkFile(MY_ORBX_FOLDER, airport.icao, name))
            return false;
        gf_addToAirportsScanLog(vald::format("{} airport {} linked to {}", SIMADDON, airport.icao, name));
        airportsFound.store(true);
        return true;
    }
    const std::optional<std::string> name = lf_findThirdpartyArchive(airport.publisher, airport.icao, archivedCount);
    if (!name) {
        gf_addToAirportsScanLog(vald::format("thirdparty {} {} does not exist", airport.publisher, airport.icao));
        return false;
    }
    if (!lf_writeLinkFile(MY_THIRDPARTY_FOLDER, airport.icao, *name))
        return false;
    gf_addToAirportsScanLog(vald::format("thirdparty airport {} linked to {}", airport.icao, *name));
    airportsFound.store(true);
    return true;
}

void lf_generateParkFile(ApfAirport& airport)
{
    if (airport.stands.empty())
        return;
    std::sort(airport.stands.begin(), airport.stands.end(),
              [](const Stand& a, const Stand& b) { return a.id < b.id; });
    const std::optional<std::string> text = gf_apfText(airport, ApfWriteMode::generated);
    // The choice of the standing file and its write are one step for the airport.
    std::lock_guard<std::mutex> lock(lf_icaoMutex(airport.icao));
    const fs::path path = lf_outputFolder(airport.publisher) / gf_pathFromUtf8(airport.icao + ".xml");
    const ScanPlace place = lf_lookAtPlace(path, airport.icao, text);
    if (place.usersFile)
        return;
    if (!lf_claimGeneratedFile(airport)) {
        gf_addToAirportsScanLog(vald::format("{} from {} not written: another scenery file of the airport wins",
                                             airport.icao + ".xml", airport.bglPath));
        return;
    }
    const std::size_t n = airport.stands.size();
    const std::size_t h = gf_helipadCount(airport);
    const std::string suffix =
        h >= 1 ? vald::format(", of which {} helipad{}", h, h == 1 ? "" : "s") : std::string();
    gf_addToAirportsScanLog(
        vald::format("Generated {}: {} position{}{}", airport.icao + ".xml", n, n == 1 ? "" : "s", suffix));
    // A write that fails keeps the claim: the earlier file stays, not one of fewer stands.
    const ScanWrite written = gf_writeScanOutput(place, text);
    if (written == ScanWrite::written) {
        airportsFound.store(true);
        return;
    }
    if (written == ScanWrite::failed)
        gf_addToAirportsScanLog(vald::format("{}Generating {} did not succeed", "===> ", gf_pathToUtf8(path)));
}

void gf_makeAddonParkFile(ApfAirport& airport)
{
    std::int32_t archived = 0;
    const bool linked = lf_findExistingParkFile(airport, archived);
    const auto n = static_cast<std::int64_t>(airport.stands.size());
    const bool simaddon = airport.publisher == SIMADDON;
    if (n > archived && !simaddon)
        gf_addToAirportsScanLog(
            vald::format("{}{} has {} parkpos while archived one has {}", "===> ", airport.icao, n, archived));
    if (linked && (n <= archived || simaddon))
        return;
    lf_generateParkFile(airport);
}
