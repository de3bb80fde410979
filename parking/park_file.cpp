#include "parking/park_file.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <exception>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "foundation/clock.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "foundation/xml_meta.hpp"
#include "parking/apf_file.hpp"
#include "parking/learned_file.hpp"
#include "parking/park_download.hpp"
#include "parking/park_airport.hpp"
#include "parking/parking_window.hpp"
#include "refdata/downloads.hpp"
#include "traffic/service_client.hpp"

namespace fs = std::filesystem;

std::int32_t rtTrafficWeek = 0;
double parkElevationFt = 0.0;

namespace {

constexpr double NO_STAND_NM = 100.0;
constexpr int USER_ERROR_NO_ALTITUDE = 65;
constexpr std::size_t MIN_REDIRECT_LENGTH = 4;
constexpr std::int32_t QF_HIGH = 45;
constexpr std::int32_t QF_LOW = 2;
constexpr float FULL_DAY_HOURS = 24.0F;
constexpr std::int32_t PERCENT_STANDS_ONE = 100;
constexpr std::int32_t PERCENT_STANDS_TWO = 50;
constexpr std::int32_t PERCENT_DEFAULT = 30;
constexpr double OVERLAP_FACTOR = 1.1;
// Airports whose stands are remembered for the closest-stand question; more are forgotten at once.
constexpr std::size_t REMEMBERED_AIRPORTS = 64;

bool lf_exists(const fs::path& path)
{
    std::error_code error;
    const bool present = fs::exists(path, error);
    if (error && error != std::errc::no_such_file_or_directory)
        throw fs::filesystem_error("exists", path, error);
    return present;
}

// The stands of one airport as the closest-stand question needs them.
struct StandSpot {
    std::string id;
    LatLon position;
};

// What the closest-stand question learnt of an airport: its stands, or that its file could not
// be had (remembered only for a while: the site may be back).
struct KnownStands {
    std::vector<StandSpot> spots;
    bool failed = false;
    SteadyTime when{};
};

std::mutex closestStandsMutex;
std::map<std::string, KnownStands> closestStands;  // by airport code

// The file of an airport on the download site comes beside the worker: one at a time.
ParkDownload closestDownload;  // guarded by closestStandsMutex

// What can be known of the airport's stands now; nothing while its file (or another airport's)
// is on its way from the download site: the question is asked again a second later.
std::optional<KnownStands> lf_fetchStandSpots(const std::string& icao)
{
    KnownStands known;
    known.when = gf_steadyNow();
    const std::string name = gf_locateApf(icao);
    if (name.empty())
        return known;
    fs::path file = gf_pathFromUtf8(name);
    if (!lf_isLocalApfName(name)) {
        known.failed = true;
        if (closestDownload.busy() && closestDownload.icao() != icao)
            return std::nullopt;
        if (!closestDownload.busy()) {
            static_cast<void>(closestDownload.start(icao, name, CLOSEST_STAND_FILE));  // not busy: it starts
            return std::nullopt;
        }
        // A failure is remembered with the airport's known stands, for this question only: the
        // park airport's own fetch keeps its memory (gf_rememberFailedParkDownload).
        const std::optional<std::string> outcome = closestDownload.take();
        if (!outcome)
            return std::nullopt;
        if (!outcome->empty())
            return known;
        file = CLOSEST_STAND_FILE;
    }
    pugi::xml_document document;
    std::string fault;
    const FileRead read = gf_loadXmlLimited(document, file, MAX_PARK_FILE_BYTES, fault);
    if (file == CLOSEST_STAND_FILE)
        gf_removeFileWarn(CLOSEST_STAND_FILE);
    if (read != FileRead::ok) {
        gf_log(fault);
        known.failed = true;
        return known;
    }
    known.failed = false;
    for (const pugi::xml_node parkpos : document.child("parkpositions").children("parkpos"))
        known.spots.push_back({parkpos.attribute("id").as_string(),
                               LatLon{parkpos.attribute("latitude").as_double(0.0),
                                      parkpos.attribute("longitude").as_double(0.0)}});
    return known;
}

// Without a learned file the park file's quality sets the parking defaults.
void lf_qualityDefaults(const std::pair<std::int32_t, std::int32_t>& quality)
{
    if (quality.first > QF_HIGH) {
        gf_parkSetCheckBox(PARK_SOFT, false);
        gf_parkSetCheckBox(WEEK, false);
    } else if (quality.first <= QF_LOW && quality.second >= 1) {
        gf_parkSetCheckBox(PARK_SOFT, true);
        gf_parkSetCheckBox(WEEK, true);
        gf_setMaxFitHalfHours(static_cast<std::int32_t>(FULL_DAY_HOURS * 2.0F) - 1, true);
    }
    const AirportRecord* record = gf_findAirport(parkIcao);
    std::int32_t percent = PERCENT_DEFAULT;
    if (record != nullptr && record->stands == 1)
        percent = PERCENT_STANDS_ONE;
    else if (record != nullptr && record->stands == 2)
        percent = PERCENT_STANDS_TWO;
    parking_percentage.setValue(percent);
    gf_logIndented(vald::format("{:24}: {}%", parking_percentage.name(), percent));
    gf_setIntParamText(parking_percentage);
    gf_parkEnableControl(parking_percentage, true);
}

// Whether two stands overlap: their radii reach across their distance with a margin.
bool lf_overlap(const Stand& a, const Stand& b)
{
    return a.radius + b.radius > OVERLAP_FACTOR * gf_distanceNm(LatLon{a.lat, a.lon}, LatLon{b.lat, b.lon});
}

// The overlapping stands of a large airport without comparing every pair. Each pair is looked at
// from its larger stand only, and only where that stand's radius can reach: two points are never
// nearer than their latitude difference, nor nearer than D sqrt(cos a cos b) sin(dlon/2). The
// stands lie in strips of latitude, each sorted by longitude, so a stand visits only the few
// strips and the longitude window its reach allows; the exact test alone decides. The answers
// are those of comparing every pair.
class StandOverlaps {
public:
    StandOverlaps()
    {
        std::vector<Spot> band;
        for (std::size_t i = 0; i < parkStands.size(); ++i) {
            const Stand& stand = parkStands[i];
            // A NaN position or radius overlaps nothing. A latitude beyond the poles wraps around
            // the earth and escapes the bounds: such a stand is compared with every stand.
            if (std::isnan(stand.lat) || std::isnan(stand.lon) || std::isnan(stand.radius))
                continue;
            if (std::fabs(stand.lat) > MAX_LAT_DEG) {
                odd_.push_back(i);
                continue;
            }
            band.push_back(Spot{stand.lat, stand.lon, stand.radius, std::max(0.0, std::cos(stand.lat * DEG_TO_RAD)),
                                lf_reachDeg(stand.radius), i});
        }
        lf_buildStrips(std::move(band));
    }

    void link() const
    {
        for (const Strip& strip : strips_)
            for (const Spot& a : strip.spots)
                lf_linkFrom(a);
        for (const std::size_t a : odd_) {
            for (const Strip& strip : strips_)
                for (const Spot& b : strip.spots)
                    lf_tryPair(a, b.index);
            for (const std::size_t b : odd_)
                if (a < b)
                    lf_tryPair(a, b);
        }
    }

private:
    struct Spot {
        double lat;
        double lon;
        double radius;
        double cosLat;
        double reachDeg;    // latitude degrees within which a smaller stand can overlap this one
        std::size_t index;  // in parkStands
    };
    struct Strip {
        std::int64_t row = 0;
        double minCosLat = 1.0;
        std::vector<Spot> spots;  // by longitude
    };
    static constexpr double MAX_LAT_DEG = 90.0;
    static constexpr double MAX_SPAN_DEG = 180.0;
    static constexpr double DEG_PER_NM = 2.0 / (EARTH_DIAMETER_NM * DEG_TO_RAD);
    static constexpr double ROUNDING = 1e-6;
    static constexpr double TINY_DEG = 1e-12;

    static double lf_reachDeg(double radius)
    {
        return 2.0 * radius / OVERLAP_FACTOR * DEG_PER_NM * (1.0 + ROUNDING) + TINY_DEG;
    }

    void lf_buildStrips(std::vector<Spot> band)
    {
        if (band.empty())
            return;
        // Longitude windows hold only while no two stands are half the earth apart in longitude
        // (the distance formula takes the raw difference); otherwise every strip is searched whole.
        const auto [west, east] = std::minmax_element(band.begin(), band.end(),
                                                      [](const Spot& x, const Spot& y) { return x.lon < y.lon; });
        lonWindows_ = std::fabs(west->lon) <= MAX_SPAN_DEG && std::fabs(east->lon) <= MAX_SPAN_DEG &&
                      east->lon - west->lon <= MAX_SPAN_DEG;
        // A strip as high as the reach of most stands: a rare large stand visits more strips.
        std::vector<double> reaches;
        reaches.reserve(band.size());
        for (const Spot& spot : band)
            reaches.push_back(spot.reachDeg);
        const auto at = reaches.begin() + static_cast<std::ptrdiff_t>(reaches.size() * 9 / 10);
        std::nth_element(reaches.begin(), at, reaches.end());
        stripDeg_ = std::clamp(*at, TINY_DEG, 2.0 * MAX_LAT_DEG);
        std::sort(band.begin(), band.end(), [this](const Spot& x, const Spot& y) {
            const std::int64_t rx = lf_row(x.lat);
            const std::int64_t ry = lf_row(y.lat);
            return rx < ry || (rx == ry && x.lon < y.lon);
        });
        for (const Spot& spot : band) {
            const std::int64_t row = lf_row(spot.lat);
            if (strips_.empty() || strips_.back().row != row)
                strips_.push_back(Strip{row, 1.0, {}});
            strips_.back().minCosLat = std::min(strips_.back().minCosLat, spot.cosLat);
            strips_.back().spots.push_back(spot);
        }
    }

    std::int64_t lf_row(double lat) const { return static_cast<std::int64_t>(std::floor((lat + MAX_LAT_DEG) / stripDeg_)); }

    // Longitude degrees beyond which no smaller stand of the strip can overlap a; infinite when
    // no bound holds.
    double lf_lonWindowDeg(const Spot& a, const Strip& strip) const
    {
        if (!lonWindows_)
            return std::numeric_limits<double>::infinity();
        const double scale = EARTH_DIAMETER_NM * std::sqrt(a.cosLat * strip.minCosLat);
        const double limit = 2.0 * a.radius / OVERLAP_FACTOR / scale * (1.0 + ROUNDING);
        if (!(limit < 1.0))
            return std::numeric_limits<double>::infinity();
        return 2.0 * std::asin(limit) / DEG_TO_RAD * (1.0 + ROUNDING) + TINY_DEG;
    }

    void lf_linkFrom(const Spot& a) const
    {
        if (!(a.radius > 0.0))
            return;  // a stand without reach overlaps only larger ones, which find it
        const std::int64_t firstRow = lf_row(std::max(a.lat - a.reachDeg, -MAX_LAT_DEG));
        const std::int64_t lastRow = lf_row(std::min(a.lat + a.reachDeg, MAX_LAT_DEG));
        auto strip = std::lower_bound(strips_.begin(), strips_.end(), firstRow,
                                      [](const Strip& x, std::int64_t row) { return x.row < row; });
        for (; strip != strips_.end() && strip->row <= lastRow; ++strip) {
            const double window = lf_lonWindowDeg(a, *strip);
            auto b = window == std::numeric_limits<double>::infinity()
                         ? strip->spots.begin()
                         : std::lower_bound(strip->spots.begin(), strip->spots.end(), a.lon - window,
                                            [](const Spot& x, double lon) { return x.lon < lon; });
            for (; b != strip->spots.end() && b->lon <= a.lon + window; ++b)
                if (std::fabs(b->lat - a.lat) <= a.reachDeg &&
                    (b->radius < a.radius || (b->radius == a.radius && b->index > a.index)))
                    lf_tryPair(a.index, b->index);
        }
    }

    static void lf_tryPair(std::size_t a, std::size_t b)
    {
        if (lf_overlap(parkStands[a], parkStands[b])) {
            parkStands[a].adjacent.push_back(parkStands[b].number);
            parkStands[b].adjacent.push_back(parkStands[a].number);
        }
    }

    std::vector<Strip> strips_;
    std::vector<std::size_t> odd_;
    double stripDeg_ = 1.0;
    bool lonWindows_ = false;
};

void lf_numberAndOverlap()
{
    for (std::size_t i = 0; i < parkStands.size(); ++i) {
        parkStands[i].number = static_cast<std::uint32_t>(i + 1);
        parkStands[i].adjacent.clear();
    }
    StandOverlaps().link();
    for (Stand& stand : parkStands) {
        std::sort(stand.adjacent.begin(), stand.adjacent.end());
        stand.adjacent.shrink_to_fit();
    }
}

std::string lf_readApfFile(const std::string& name, ApfInfo& info, std::pair<std::int32_t, std::int32_t>& quality,
                           const fs::path& downloaded)
{
    fs::path file = gf_pathFromUtf8(name);
    if (!downloaded.empty() && !lf_isLocalApfName(name)) {
        file = downloaded;
    } else if (!lf_isLocalApfName(name)) {
        std::string error = lf_downloadApf(name, PARK_AIRPORT_FILE);
        if (!error.empty())
            return error;
        file = PARK_AIRPORT_FILE;
    }
    handmadeAirport = false;
    pugi::xml_document document;
    std::string fault;
    switch (gf_loadXmlLimited(document, file, MAX_PARK_FILE_BYTES, fault)) {
    case FileRead::ok: break;
    case FileRead::tooLarge: return vald::format("{}: {}", name, fault);
    default: return vald::format("{}: could not load file: {}", name, gf_pathToUtf8(file));
    }
    if (!gf_readMetaInfo(document, META_AUTHOR) || !gf_readMetaInfo(document, META_DATE) ||
        !gf_readMetaInfo(document, META_VERSION))
        return vald::format("{}: refused to load (copyright)", name);

    rtTrafficWeek = gf_paramAsInt(document, std::string(ATTR_RT_TRAFFIC_WEEK)).value_or(0);
    info.publisher = gf_paramAsString(document, std::string(ATTR_PUBLISHER)).value_or("");
    const std::optional<std::int32_t> altitude = gf_paramAsInt(document, std::string(ATTR_ALTITUDE));
    if (!altitude)
        throw vald::UserErrorException(USER_ERROR_NO_ALTITUDE, "Parameter " + std::string(ATTR_ALTITUDE) + " not found");
    info.altitude = *altitude;
    parkElevationFt = *altitude;
    info.airportName = gf_paramAsString(document, std::string(ATTR_AIRPORT_NAME)).value_or("");
    lf_readParkpositions(document, file);
    quality = {gf_paramAsInt(document, std::string(ATTR_QF_REAL)).value_or(-1),
               gf_paramAsInt(document, std::string(ATTR_QF_SOFT)).value_or(-1)};

    const fs::path learned = lf_learnedPathOf(name, parkIcao, info.publisher);
    lf_useLearnedFile(learned);
    if (!learned.empty() && lf_exists(learned)) {
        lf_readLearned(learned, info);
        quality = gf_qualityFactors();
        if (handmadeAirport)
            gf_log("A handmade airport file overruled the archived file!");
    } else {
        lf_qualityDefaults(quality);
    }
    lf_numberAndOverlap();

    gf_log(vald::format("Airport file read from '{}' for {}", handmadeAirport ? gf_pathToUtf8(learned) : name,
                        info.airportName));
    gf_logIndented(vald::format("{:24}: {}", "publisher", info.publisher));
    gf_logIndented(vald::format("{:24}: {} ft", "altitude", info.altitude));
    gf_logIndented(vald::format("{:24}: {}", "num_parkpos", parkStands.size()));
    gf_logIndented(vald::format("{:24}: {}", "quality factor", lf_formatCountPair(quality)));
    gf_logIndented(vald::format("{:24}: {}", "RT traffic week", rtTrafficWeek));

    // Only an airport read with its stands is open: closing an open airport saves its learned
    // file, and a save after a failed read would write nothing over what was learned.
    if (parkStands.empty())
        return "no stands found";
    parkAirportOpen.store(true);
    gf_parkEnableControl(BUTTON_FLUSH_STATIC, true);
    trafficReader.setParkElevationFt(parkElevationFt);
    lf_publishParkBand();
    return std::string();
}

}  // namespace

bool lf_isLocalApfName(const std::string& name) { return name.rfind("airports", 0) == 0; }

bool lf_readApfRedirect(const fs::path& path, std::string& name)
{
    if (!lf_exists(path))
        return false;
    std::vector<std::string> lines;
    std::string fault;
    if (gf_readTextFileLimited(path, MAX_REDIRECT_FILE_BYTES, lines, fault) != FileRead::ok) {
        gf_logWarn(fault);
        return false;
    }
    if (lines.empty())
        return false;
    std::string line = lines.front();
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0)
        line.pop_back();
    const std::size_t xml = line.find(".xml");
    if (line.size() < MIN_REDIRECT_LENGTH || xml == std::string::npos)
        return false;
    name = line.substr(0, xml + 4);
    return true;
}

std::array<fs::path, 4> gf_userParkFileCandidates(const std::string& icao)
{
    const fs::path link = gf_pathFromUtf8(icao + ".txt");
    const fs::path parkFile = gf_pathFromUtf8(icao + ".xml");
    return {MY_THIRDPARTY_FOLDER / link, MY_THIRDPARTY_FOLDER / parkFile, MY_ORBX_FOLDER / link,
            MY_ORBX_FOLDER / parkFile};
}

std::string gf_locateApf(const std::string& icao)
{
    std::string name;
    for (const fs::path& candidate : gf_userParkFileCandidates(icao)) {
        if (candidate.extension() == ".txt") {
            if (lf_readApfRedirect(candidate, name))
                return name;
        } else if (lf_exists(candidate)) {
            return gf_pathToUtf8(candidate);
        }
    }
    const AirportRecord* record = gf_findAirport(icao);
    if (record != nullptr && record->stands >= 1)
        return "archive/stock/" + icao + ".xml";
    return {};
}

bool gf_hasParkSource(const std::string& icao)
{
    for (const fs::path& candidate : gf_userParkFileCandidates(icao))
        if (lf_exists(candidate))
            return true;
    const AirportRecord* record = gf_findAirport(icao);
    return record != nullptr && record->stands >= 1;
}

std::string lf_downloadApf(const std::string& name, const fs::path& target, const std::atomic<bool>* abort)
{
    std::string url;
    bool done = false;
    try {
        url = gf_downloadBase() + "P3D/" + name;
        if (target.has_parent_path()) {
            std::error_code ignored;
            fs::create_directories(target.parent_path(), ignored);
        }
        DownloadHandle handle;
        handle.setAbortFlag(abort);
        done = gf_downloadToFile(handle, url, target, DownloadKind::dataFile);
    } catch (const std::invalid_argument& e) {
        gf_logWarn(vald::format("{}: {}", "lf_downloadApf", e.what()));
    }
    if (done)
        return {};
    std::error_code error;
    if (fs::exists(target, error))
        fs::remove(target);  // throws filesystem_error "remove" when it cannot
    std::string text = vald::format("failed to download: '{}'", url.empty() ? name : url);
    gf_log(text);
    return text;
}

bool gf_parkSourceFailedRecently(const std::string& icao)
{
    if (!gf_parkDownloadFailedRecently(icao))
        return false;
    const std::string name = gf_locateApf(icao);
    return !name.empty() && !lf_isLocalApfName(name);
}

std::string gf_readApf(const std::string& name, ApfInfo& info, std::pair<std::int32_t, std::int32_t>& quality,
                       const fs::path& downloaded)
{
    if (name.empty())
        return vald::format("{}: xml is empty", "gf_readApf");
    if (parkIcao.empty())
        return vald::format("{}: no park airport set", "gf_readApf");
    try {
        return lf_readApfFile(name, info, quality, downloaded);
    } catch (const vald::UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        return vald::format("{}: {}", "gf_readApf", e.what());
    }
}

double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& standId)
{
    standId.clear();
    try {
        std::lock_guard<std::mutex> lock(closestStandsMutex);
        auto known = closestStands.find(icao);
        if (known != closestStands.end() && known->second.failed &&
            gf_steadyNow() - known->second.when >= FAILED_PARK_DOWNLOAD_MEMORY) {
            closestStands.erase(known);
            known = closestStands.end();
        }
        if (known == closestStands.end()) {
            std::optional<KnownStands> fetched = lf_fetchStandSpots(icao);
            if (!fetched)
                return NO_STAND_NM;
            if (closestStands.size() >= REMEMBERED_AIRPORTS)
                closestStands.clear();
            known = closestStands.emplace(icao, std::move(*fetched)).first;
        }
        double best = NO_STAND_NM;
        for (const StandSpot& spot : known->second.spots) {
            const double d = gf_distanceNm(position, spot.position);
            if (d < best) {
                best = d;
                standId = spot.id;
            }
        }
        return best;
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{}: {}", "gf_readDestApfForClosestStand", e.what()));
        return NO_STAND_NM;
    }
}

void gf_forgetClosestStands()
{
    std::lock_guard<std::mutex> lock(closestStandsMutex);
    closestDownload.cancel();
    closestStands.clear();
}

bool gf_closestStandsPending()
{
    std::lock_guard<std::mutex> lock(closestStandsMutex);
    return closestDownload.busy();
}

void gf_stopClosestStandDownload()
{
    std::lock_guard<std::mutex> lock(closestStandsMutex);
    closestDownload.cancel();
}

std::string lf_formatCountPair(const std::pair<std::int32_t, std::int32_t>& quality)
{
    if (quality.first < 0 && quality.second < 0)
        return "  ";
    if (quality.first < QF_HIGH)
        return vald::format("{:2}/{:2}", quality.first, quality.second);
    return vald::format("{:2}", quality.first);
}
