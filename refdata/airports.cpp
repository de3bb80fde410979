#include "refdata/airports.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <utility>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/hook_store.hpp"
#include "foundation/log.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "refdata/airports_index.hpp"
#include "refdata/decrypt.hpp"

std::vector<AirportRecord> airportRecords;

namespace {

constexpr std::size_t AIRPORTS_RESERVED = 15000;
constexpr double IN_RANGE_NM = 5.0;
constexpr double NO_STAND_NM = 100.0;

bool airportsRead = false;

struct AirportHooks {
    ClosestStandQuery closestStand;
};

AirportHooks lf_defaultHooks()
{
    AirportHooks hooks;
    hooks.closestStand = [](const AirportRecord&, const LatLon&, std::string&) { return NO_STAND_NM; };
    return hooks;
}

HookStore<AirportHooks>& lf_hooks()
{
    static HookStore<AirportHooks> store(&lf_defaultHooks);
    return store;
}

double lf_closestStandNm(const AirportRecord& airport, const LatLon& position, std::string& standId)
{
    return lf_hooks().get()->closestStand(airport, position, standId);
}

void lf_readAirport(const pugi::xml_node& element, const std::string& code, std::vector<AirportRecord>& records,
                    const ReaderLog& log)
{
    if (!element.attribute("lat") || !element.attribute("lon")) {
        log.warn(vald::format("Missing latLons for airport '{}'", code));
        return;
    }
    if (!element.attribute("alt")) {
        log.warn(vald::format("Missing alt for airport '{}'", code));
        return;
    }
    if (!element.attribute("stands"))
        log.warn(vald::format("Missing stands for airport '{}'", code));
    if (!element.attribute("iata")) {
        log.warn(vald::format("Missing IATA for airport '{}'", code));
        return;
    }
    try {
        records.push_back({code, element.attribute("iata").as_string(), element.attribute("lat").as_double(0.0),
                           element.attribute("lon").as_double(0.0), element.attribute("alt").as_double(0.0),
                           element.attribute("stands").as_int(0)});
    } catch (const std::exception& e) {
        log.line(vald::format("Error parsing coordinates for airport '{}': {}", code, e.what()));
    }
}

}  // namespace

void gf_readAirportsText(std::string text, const std::string& source, std::vector<AirportRecord>& records,
                         const ReaderLog& log)
{
    records.clear();
    if (records.capacity() < AIRPORTS_RESERVED)
        records.reserve(AIRPORTS_RESERVED);
    if (const std::optional<std::string> fault = gf_nulByteFault(text))
        throw std::runtime_error(source + " not loaded: " + *fault);
    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_buffer_inplace(text.data(), text.size());
    if (!loaded)
        throw std::runtime_error(source + " not loaded: " + loaded.description());
    const pugi::xml_node root = document.child("airports");
    if (!root)
        throw std::runtime_error("Missing <airports> root in: " + source);
    for (const pugi::xml_node element : root.children("airport"))
        lf_readAirport(element, element.attribute("code").as_string(), records, log);
    std::stable_sort(records.begin(), records.end(),
                     [](const AirportRecord& a, const AirportRecord& b) { return a.code < b.code; });
}

std::optional<std::string> gf_airportsFault(std::string text)
{
    std::vector<AirportRecord> records;
    try {
        gf_readAirportsText(std::move(text), gf_pathToUtf8(AIRPORTS_XML_PATH.filename()), records, ReaderLog{false});
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    if (records.empty())
        return "it holds no usable airport";
    return std::nullopt;
}

bool gf_readAirports()
{
    if (airportsRead)
        return !airportRecords.empty();
    const std::filesystem::path encrypted = AIRPORTS_ENC_PATH;
    const std::filesystem::path plain = AIRPORTS_XML_PATH;
    std::optional<DecryptedData> data;
    try {
        data = gf_streamDecrypt(encrypted, plain);
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{} exception : {}", "gf_readAirports", e.what()));
        throw;
    }

    std::vector<AirportRecord> records;
    try {
        // A failed decryption has left no plain file: it is told as a file that was not found.
        if (!data)
            throw std::runtime_error(plain.string() + " not loaded: File was not found");
        if (const std::optional<std::string> fault = gf_plainDataSizeFault(data->text))
            throw std::runtime_error(plain.string() + " not loaded: " + *fault);
        gf_readAirportsText(std::move(data->text), plain.string(), records, ReaderLog{});
    } catch (const std::exception& e) {
        if (data)
            data->removeCopy();
        airportRecords.clear();
        throw vald::UserErrorException(88, e.what());
    }
    gf_log(vald::format("{} airports read", records.size()));
    data->removeCopy();
    records.shrink_to_fit();
    airportRecords = std::move(records);
    lf_indexAirports();
    airportsRead = true;
    return !airportRecords.empty();
}

const AirportRecord* gf_findAirport(const std::string& code)
{
    const auto found = std::lower_bound(airportRecords.begin(), airportRecords.end(), code,
                                        [](const AirportRecord& a, const std::string& c) { return a.code < c; });
    return found != airportRecords.end() && found->code == code ? &*found : nullptr;
}

bool gf_isKnownAirport(const std::string& code) { return gf_findAirport(code) != nullptr; }

namespace {

// The nearest airport within range in table order, and the airport that was nearest before it;
// visit hands every candidate's table position to the step, ascending.
template <typename Visit>
const AirportRecord* lf_closestOf(const LatLon& position, Visit visit)
{
    const AirportRecord* best = nullptr;
    const AirportRecord* neighbour = nullptr;
    double bestDistance = NO_STAND_NM;
    visit([&](std::size_t i) {
        const AirportRecord& airport = airportRecords[i];
        const double d = gf_distanceNm(position, airport.position());
        if (d <= IN_RANGE_NM && d < bestDistance) {
            neighbour = best;
            best = &airport;
            bestDistance = d;
        }
    });
    if (best == nullptr || neighbour == nullptr)
        return best;

    gf_log(vald::format("Airport {} is closest, neighbour is {}", best->code, neighbour->code));
    std::string bestStand;
    std::string neighbourStand;
    const double bestStandNm = lf_closestStandNm(*best, position, bestStand);
    const double neighbourStandNm = lf_closestStandNm(*neighbour, position, neighbourStand);
    if (!(neighbourStandNm < bestStandNm))
        return best;
    gf_log(vald::format("Airport {} is closest, but stand {} at neighbouring airport {} is closer at {:.0F} meters ...",
                        best->code, neighbourStand, neighbour->code, neighbourStandNm * METRES_PER_NM));
    return neighbour;
}

}  // namespace

const AirportRecord* gf_closestAirportByScan(const LatLon& position)
{
    return lf_closestOf(position, [](const auto& step) {
        for (std::size_t i = 0; i < airportRecords.size(); ++i)
            step(i);
    });
}

const AirportRecord* gf_closestAirport(const LatLon& position)
{
    // Only airports within range change the answer, and the index lists every one of them in
    // table order, so the answer is the scan's.
    thread_local std::vector<std::size_t> candidates;
    if (!lf_airportsNear(position, IN_RANGE_NM, candidates))
        return gf_closestAirportByScan(position);
    return lf_closestOf(position, [](const auto& step) {
        for (const std::size_t i : candidates)
            step(i);
    });
}

void gf_buildAirportIndex() { lf_indexAirports(); }

std::string gf_airportLabel(const AirportRecord& airport)
{
    std::string label = airport.code.empty() ? std::string("?") : airport.code;
    if (!airport.iata.empty())
        label += " (" + airport.iata + ")";
    return label;
}

void gf_setClosestStandQuery(ClosestStandQuery query)
{
    lf_hooks().update([&query](AirportHooks& current) { gf_takeHook(current.closestStand, query); });
}

void gf_resetClosestStandQueryForTest() { lf_hooks().reset(); }

void gf_resetAirports()
{
    airportRecords.clear();
    airportRecords.shrink_to_fit();
    lf_clearAirportIndex();
    airportsRead = false;
}
