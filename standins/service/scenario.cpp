#include "standins/service/scenario.hpp"

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <set>

#include <fmt/format.h>

#include "standins/service/geo.hpp"

namespace service_standin {
namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw ScenarioError(fmt::format("{}: {}", where, what));
}

const json* member(const json& obj, const char* key) {
    const auto it = obj.find(key);
    return it == obj.end() || it->is_null() ? nullptr : &*it;
}

std::string text(const json& obj, const char* key, const std::string& where, std::string fallback = {}) {
    const json* v = member(obj, key);
    if (!v) return fallback;
    if (!v->is_string()) fail(where, fmt::format("'{}' must be a text", key));
    return v->get<std::string>();
}

std::string requiredText(const json& obj, const char* key, const std::string& where) {
    if (!member(obj, key)) fail(where, fmt::format("'{}' is missing", key));
    std::string value = text(obj, key, where);
    if (value.empty()) fail(where, fmt::format("'{}' is empty", key));
    return value;
}

std::optional<double> optNumber(const json& obj, const char* key, const std::string& where) {
    const json* v = member(obj, key);
    if (!v) return std::nullopt;
    if (!v->is_number()) fail(where, fmt::format("'{}' must be a number", key));
    const double d = v->get<double>();
    if (!std::isfinite(d)) fail(where, fmt::format("'{}' must be finite", key));
    return d;
}

double number(const json& obj, const char* key, const std::string& where, double fallback) {
    return optNumber(obj, key, where).value_or(fallback);
}

double requiredNumber(const json& obj, const char* key, const std::string& where) {
    const auto v = optNumber(obj, key, where);
    if (!v) fail(where, fmt::format("'{}' is missing", key));
    return *v;
}

int integer(const json& obj, const char* key, const std::string& where, int fallback) {
    const json* v = member(obj, key);
    if (!v) return fallback;
    if (!v->is_number_integer()) fail(where, fmt::format("'{}' must be an integer", key));
    const auto i = v->get<std::int64_t>();
    if (i < std::numeric_limits<int>::min() || i > std::numeric_limits<int>::max())
        fail(where, fmt::format("'{}' is out of range", key));
    return static_cast<int>(i);
}

bool flag(const json& obj, const char* key, const std::string& where, bool fallback) {
    const json* v = member(obj, key);
    if (!v) return fallback;
    if (!v->is_boolean()) fail(where, fmt::format("'{}' must be true or false", key));
    return v->get<bool>();
}

const json& array(const json& obj, const char* key, const std::string& where) {
    static const json empty = json::array();
    const json* v = member(obj, key);
    if (!v) return empty;
    if (!v->is_array()) fail(where, fmt::format("'{}' must be an array", key));
    return *v;
}

void requireObject(const json& v, const std::string& where) {
    if (!v.is_object()) fail(where, "must be an object");
}

void checkPosition(double lat, double lon, const std::string& where) {
    if (lat < -90 || lat > 90 || lon < -180 || lon > 180) fail(where, "position out of range");
}

TrackPoint parsePoint(const json& j, const std::string& where) {
    requireObject(j, where);
    TrackPoint p;
    p.t = requiredNumber(j, "t", where);
    p.lat = requiredNumber(j, "lat", where);
    p.lon = requiredNumber(j, "lon", where);
    checkPosition(p.lat, p.lon, where);
    p.altFt = number(j, "altFt", where, 0);
    p.ground = flag(j, "ground", where, false);
    p.gsKt = optNumber(j, "gsKt", where);
    p.trackDeg = optNumber(j, "trackDeg", where);
    p.bankDeg = number(j, "bankDeg", where, 0);
    return p;
}

Flight parseFlight(const json& j, const std::string& where) {
    requireObject(j, where);
    Flight f;
    f.hex = requiredText(j, "hex", where);
    f.callsign = text(j, "callsign", where);
    f.type = text(j, "type", where);
    f.registration = text(j, "registration", where);
    f.origin = text(j, "origin", where);
    f.destination = text(j, "destination", where);
    f.category = text(j, "category", where, f.category);
    f.source = text(j, "source", where, f.source);
    const json& points = array(j, "track", where);
    for (std::size_t i = 0; i < points.size(); ++i)
        f.track.push_back(parsePoint(points[i], fmt::format("{}.track[{}]", where, i)));
    if (f.track.size() < 2) fail(where, "a track needs at least two points");
    for (std::size_t i = 1; i < f.track.size(); ++i)
        if (!(f.track[i].t > f.track[i - 1].t))
            fail(fmt::format("{}.track[{}]", where, i), "times must increase strictly");
    return f;
}

Stand parseStand(const json& j, const std::string& where) {
    requireObject(j, where);
    Stand s;
    s.id = requiredText(j, "id", where);
    s.lat = requiredNumber(j, "lat", where);
    s.lon = requiredNumber(j, "lon", where);
    checkPosition(s.lat, s.lon, where);
    s.headingDeg = number(j, "headingDeg", where, 0);
    s.radiusM = number(j, "radiusM", where, s.radiusM);
    s.cargo = flag(j, "cargo", where, false);
    s.ramp = flag(j, "ramp", where, false);
    s.heli = flag(j, "heli", where, false);
    return s;
}

Airport parseAirport(const json& j, const std::string& where) {
    requireObject(j, where);
    Airport a;
    a.icao = requiredText(j, "icao", where);
    a.name = text(j, "name", where);
    a.elevationFt = integer(j, "elevationFt", where, 0);
    if (member(j, "qfReal")) a.qfReal = integer(j, "qfReal", where, 0);
    if (member(j, "qfSoft")) a.qfSoft = integer(j, "qfSoft", where, 0);
    const json& stands = array(j, "stands", where);
    std::set<std::string> ids;
    for (std::size_t i = 0; i < stands.size(); ++i) {
        const std::string at = fmt::format("{}.stands[{}]", where, i);
        a.stands.push_back(parseStand(stands[i], at));
        if (!ids.insert(a.stands.back().id).second) fail(at, "stand id appears twice");
    }
    return a;
}

ParkedAircraft parseParked(const json& j, const std::string& where, const std::optional<Airport>& airport) {
    requireObject(j, where);
    ParkedAircraft p;
    p.hex = requiredText(j, "hex", where);
    p.stand = text(j, "stand", where);
    p.type = text(j, "type", where);
    p.registration = text(j, "registration", where);
    p.callsign = text(j, "callsign", where);
    p.ageMinutes = number(j, "ageMinutes", where, 0);
    const auto lat = optNumber(j, "lat", where);
    const auto lon = optNumber(j, "lon", where);
    if (lat && lon) {
        p.lat = *lat;
        p.lon = *lon;
    } else {
        const Stand* found = nullptr;
        if (airport)
            for (const Stand& s : airport->stands)
                if (s.id == p.stand) found = &s;
        if (!found) fail(where, "needs 'lat' and 'lon' or a 'stand' of the airport");
        p.lat = found->lat;
        p.lon = found->lon;
    }
    checkPosition(p.lat, p.lon, where);
    return p;
}

Station parseStation(const json& j, const std::string& where) {
    requireObject(j, where);
    Station s;
    s.icao = requiredText(j, "icao", where);
    s.lat = requiredNumber(j, "lat", where);
    s.lon = requiredNumber(j, "lon", where);
    checkPosition(s.lat, s.lon, where);
    if (const json* q = member(j, "qnh")) s.qnh = *q;
    s.metar = text(j, "metar", where);
    return s;
}

License parseLicense(const json& j) {
    const std::string where = "license";
    requireObject(j, where);
    License l;
    for (const json& k : array(j, "keys", where)) {
        if (!k.is_string()) fail(where, "'keys' must hold texts");
        l.keys.push_back(k.get<std::string>());
    }
    l.guid = text(j, "guid", where);
    l.server = text(j, "server", where, l.server);
    l.rrl = integer(j, "rrl", where, l.rrl);
    l.wrrl = integer(j, "wrrl", where, l.wrrl);
    l.badKeyStatus = integer(j, "badKeyStatus", where, l.badKeyStatus);
    l.singleSession = flag(j, "singleSession", where, l.singleSession);
    return l;
}

void parseSite(const json& j, Scenario& s) {
    const std::string where = "site";
    requireObject(j, where);
    s.dataMajor = integer(j, "dataMajor", where, s.dataMajor);
    if (const json* v = member(j, "versions")) {
        requireObject(*v, "site.versions");
        const std::string at = "site.versions";
        SiteVersions& out = s.versions;
        out.p3d = text(*v, "p3d", at, out.p3d);
        out.airports = text(*v, "airports", at, out.airports);
        out.aig = text(*v, "aig", at, out.aig);
        out.liveries = text(*v, "liveries", at, out.liveries);
        out.addons = text(*v, "addons", at, out.addons);
        out.dbase = text(*v, "dbase", at, out.dbase);
    }
}

}  // namespace

std::optional<std::uint32_t> addressValue(const std::string& hex) {
    std::uint32_t value = 0;
    const char* end = hex.data() + hex.size();
    const auto [ptr, error] = std::from_chars(hex.data(), end, value, 16);
    if (hex.empty() || hex.size() > 6 || error != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::string loopedHex(const std::string& hex, std::int64_t repetition) {
    const auto value = addressValue(hex);
    if (repetition == 0 || !value) return hex;
    constexpr std::int64_t kAddresses = std::int64_t{1} << 24;
    const std::int64_t shifted = ((*value + repetition) % kAddresses + kAddresses) % kAddresses;
    return fmt::format("{:06x}", shifted);
}

std::string loopedCallsign(const std::string& callsign, std::int64_t repetition) {
    if (repetition <= 0 || callsign.empty()) return callsign;
    // The service's ghost of a flight ends in '_': the mark stays last.
    const bool ghost = callsign.back() == '_';
    std::string base = ghost ? callsign.substr(0, callsign.size() - 1) : callsign;
    if (base.empty()) return callsign;
    constexpr std::size_t kLongest = 7;
    const char letter = static_cast<char>('A' + (repetition - 1) % 26);
    if (base.size() < kLongest)
        base.push_back(letter);
    else
        base.back() = letter;
    return ghost ? base + "_" : base;
}

Scenario parseScenario(const json& root) {
    requireObject(root, "scenario");
    Scenario s;
    const std::string where = "scenario";
    if (const json* e = member(root, "startEpoch")) {
        if (!e->is_number_integer()) fail(where, "'startEpoch' must be an integer");
        s.startEpoch = e->get<std::int64_t>();
    }
    const std::string clock = text(root, "clock", where, "running");
    if (clock != "running" && clock != "frozen") fail(where, "'clock' must be running or frozen");
    s.clockFrozen = clock == "frozen";
    if (const json* l = member(root, "license")) s.license = parseLicense(*l);
    const json& stations = array(root, "stations", where);
    for (std::size_t i = 0; i < stations.size(); ++i)
        s.stations.push_back(parseStation(stations[i], fmt::format("stations[{}]", i)));
    if (const json* a = member(root, "airport")) s.airport = parseAirport(*a, "airport");
    const json& parked = array(root, "parked", where);
    for (std::size_t i = 0; i < parked.size(); ++i)
        s.parked.push_back(parseParked(parked[i], fmt::format("parked[{}]", i), s.airport));
    const json& flights = array(root, "flights", where);
    for (std::size_t i = 0; i < flights.size(); ++i)
        s.flights.push_back(parseFlight(flights[i], fmt::format("flights[{}]", i)));
    s.loopSeconds = optNumber(root, "loopSeconds", where);
    if (s.loopSeconds) {
        if (*s.loopSeconds <= 0) fail(where, "'loopSeconds' must be positive");
        for (std::size_t i = 0; i < s.flights.size(); ++i)
            if (!addressValue(s.flights[i].hex))
                fail(fmt::format("flights[{}]", i), "a looping flight's 'hex' must be a 24-bit hexadecimal address");
    }
    if (const json* site = member(root, "site")) parseSite(*site, s);
    if (const json* f = member(root, "faults")) {
        if (!f->is_array()) fail(where, "'faults' must be an array");
        s.faults = *f;
    }
    return s;
}

Scenario loadScenario(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ScenarioError(fmt::format("cannot open scenario file {}", file.string()));
    json root = json::parse(in, nullptr, false);
    if (root.is_discarded()) throw ScenarioError(fmt::format("{} is no valid JSON", file.string()));
    return parseScenario(root);
}

const Station* nearestStation(const Scenario& scenario, double lat, double lon) {
    const Station* best = nullptr;
    double bestNm = std::numeric_limits<double>::infinity();
    for (const Station& s : scenario.stations) {
        const double d = distanceNm(lat, lon, s.lat, s.lon);
        if (d < bestNm) {
            bestNm = d;
            best = &s;
        }
    }
    return best;
}

double qnhHpa(const json& qnh) {
    double value = 1013.25;
    if (qnh.is_number()) {
        value = qnh.get<double>();
    } else if (qnh.is_string()) {
        const std::string& s = qnh.get_ref<const std::string&>();
        double parsed = 0;
        const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), parsed);
        if (ec == std::errc() && ptr != s.data()) value = parsed;
    }
    if (!std::isfinite(value) || value <= 0) return 1013.25;
    if (value > 1100) value *= 0.33865307;  // hundredths of an inch of mercury
    return value;
}

}  // namespace service_standin
