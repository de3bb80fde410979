#include "parking/apf_file.hpp"

#include <climits>
#include <cmath>
#include <iterator>
#include <optional>
#include <unordered_set>

#include <gsl/narrow>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameters.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "foundation/xml_meta.hpp"
#include "refdata/registration.hpp"

namespace {

constexpr int USER_ERROR_DUPLICATE_STAND = 94;
constexpr int LAST_HALF_HOUR = 47;

const char* lf_flag(bool value) { return value ? "true" : "false"; }

bool lf_appendAttr(pugi::xml_node node, const char* name, const std::string& value)
{
    return node.append_attribute(name).set_value(value.c_str());
}

// "-12x" gives -12; nothing without digits or when the number leaves int.
std::optional<long long> lf_leadingInt(const std::string& piece)
{
    std::size_t i = 0;
    const bool negative = !piece.empty() && piece[0] == '-';
    if (negative)
        ++i;
    long long value = 0;
    bool digits = false;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
        digits = true;
        value = value * 10 + (piece[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return std::nullopt;
    }
    if (!digits)
        return std::nullopt;
    value = negative ? -value : value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return value;
}

void lf_writeFullStand(pugi::xml_node parkpos, const Stand& stand)
{
    lf_appendAttr(parkpos, "latitude", vald::format("{:.6f}", stand.lat));
    lf_appendAttr(parkpos, "longitude", vald::format("{:.6f}", stand.lon));
    lf_appendAttr(parkpos, "heading", vald::format("{:.1f}", stand.heading * RAD_TO_DEG));
    lf_appendAttr(parkpos, "radius", vald::format("{:.1f}", stand.radius * METRES_PER_NM));
    if (stand.heli != 0)
        lf_appendAttr(parkpos, "heli", "true");
    else
        lf_appendAttr(parkpos, "cargo", lf_flag(stand.cargo != 0));
    lf_appendAttr(parkpos, "ramp", lf_flag(stand.ramp != 0));
    if (stand.manual != 0)
        lf_appendAttr(parkpos, "manual", "true");
}

void lf_writeDeltaStand(pugi::xml_node parkpos, const Stand& stand)
{
    if (stand.radiusChanged != 0) {
        lf_appendAttr(parkpos, "radius_change", "true");
        lf_appendAttr(parkpos, "radius", vald::format("{:.1f}", stand.radius * METRES_PER_NM));
    }
    if (stand.cargoChanged != 0) {
        lf_appendAttr(parkpos, "cargo_change", "true");
        lf_appendAttr(parkpos, "cargo", lf_flag(stand.cargo != 0));
    }
}

void lf_writeOption(pugi::xml_node parkpos, const StandOption& option)
{
    pugi::xml_node opt = parkpos.append_child("opt");
    lf_appendAttr(opt, "reg", option.registration);
    if (!gf_findRegcode(option.registration)) {
        lf_appendAttr(opt, "airl", option.airline);
        lf_appendAttr(opt, "type", option.type);
    }
    if (option.real == 0)
        lf_appendAttr(opt, "soft", "true");
    lf_appendAttr(opt, "day", vald::format("{}", option.day));
    lf_appendAttr(opt, "hh", lf_bitset2hours(option.halfHours));
    if (!option.callsign.empty())
        lf_appendAttr(opt, "cs", option.callsignSuffix.empty() ? option.callsign
                                                              : option.callsign + ":" + option.callsignSuffix);
}

void lf_writeStand(pugi::xml_node parkpositions, const Stand& stand, ApfWriteMode mode)
{
    pugi::xml_node parkpos = parkpositions.append_child("parkpos");
    lf_appendAttr(parkpos, "id", stand.id);
    if (mode == ApfWriteMode::generated) {
        lf_writeFullStand(parkpos, stand);
        return;
    }
    if (stand.manual != 0 || handmadeAirport)
        lf_writeFullStand(parkpos, stand);
    else
        lf_writeDeltaStand(parkpos, stand);
    for (const StandOption& option : stand.options)
        if (option.number != 0)
            lf_writeOption(parkpos, option);
}

}  // namespace

bool lf_writeApfParameters(pugi::xml_node document, const ApfAirport& airport, ApfWriteMode mode)
{
    pugi::xml_node parameters = document.append_child("parameters");
    if (!parameters)
        return false;
    const bool learned = mode == ApfWriteMode::learned;
    bool ok = gf_appendParameterNode(parameters, std::string(ATTR_AIRPORT_NAME), airport.name);
    ok = gf_appendParameterNode(parameters, std::string(ATTR_PUBLISHER), airport.publisher) && ok;
    if (handmadeAirport)
        ok = gf_appendBoolParameter(parameters, std::string(ATTR_HANDMADE), true) && ok;
    if (handmadeAirport || !learned)
        ok = gf_appendParameterNode(parameters, std::string(ATTR_ALTITUDE), vald::format("{}", airport.altitude)) && ok;
    if (!learned)
        ok = gf_appendParameterNode(parameters, std::string(ATTR_NUM_PARKPOS),
                                    vald::format("{}", airport.stands.size())) && ok;
    if (handmadeAirport) {
        ok = gf_appendParameterNode(parameters, std::string(ATTR_QF_REAL), vald::format("{}", airport.qfReal)) && ok;
        ok = gf_appendParameterNode(parameters, std::string(ATTR_QF_SOFT), vald::format("{}", airport.qfSoft)) && ok;
    }
    if (airport.publisher.empty())
        ok = gf_appendParameterNode(parameters, "BGLpath", airport.bglPath) && ok;
    if (learned) {
        const auto maxFit = gsl::narrow<std::int32_t>(std::round(2.0 * static_cast<double>(MAX_FIT_FL.value()))) - 1;
        ok = gf_appendParameterNode(parameters, LATERAL_RANGE_NAME, vald::format("{}", RANGE.value())) && ok;
        ok = gf_appendBoolParameter(parameters, AUTO_RANGE_NAME, AUTO_RANGE.value()) && ok;
        ok = gf_appendBoolParameter(parameters, WEEK_NAME, WEEK.value()) && ok;
        ok = gf_appendBoolParameter(parameters, PARK_SOFT_NAME, PARK_SOFT.value()) && ok;
        ok = gf_appendParameterNode(parameters, PARKING_PERCENTAGE_NAME,
                                    vald::format("{}", parking_percentage.value())) && ok;
        ok = gf_appendBoolParameter(parameters, INITIAL_LOAD_ONLY_NAME, INITIAL_LOAD_ONLY.value()) && ok;
        ok = gf_appendParameterNode(parameters, MAX_FIT_NAME, vald::format("{}", maxFit)) && ok;
        ok = gf_appendBoolParameter(parameters, RT_PARKTRAFFIC_ONLY_NAME, RT_PARKTRAFFIC_ONLY.value()) && ok;
        ok = gf_appendParameterNode(parameters, MAX_LIVE_NAME, vald::format("{}", MAX_LIVE_SEL.value())) && ok;
        ok = gf_appendBoolParameter(parameters, LEARN_SOFT_NAME, LEARN_SOFT.value()) && ok;
    }
    return ok;
}

std::optional<std::string> gf_apfText(const ApfAirport& airport, ApfWriteMode mode)
{
    pugi::xml_document document;
    if (!gf_writeMetaInfo(document))
        return std::nullopt;
    if (!lf_writeApfParameters(document, airport, mode))
        return std::nullopt;
    pugi::xml_node parkpositions = document.append_child("parkpositions");
    for (const Stand& stand : airport.stands)
        lf_writeStand(parkpositions, stand, mode);
    return gf_xmlText(document);
}

bool gf_writeApf(const ApfAirport& airport, const std::filesystem::path& path, ApfWriteMode mode,
                 WriteDurability durability)
{
    const std::optional<std::string> text = gf_apfText(airport, mode);
    if (!text)
        return false;
    // Written beside the target and renamed: a failed save leaves the old file whole and is
    // reported, so a caller never believes in a file that is not there.
    std::string error;
    if (gf_writeFileSafely(path, *text, error, durability))
        return true;
    gf_logWarn(error);
    return false;
}

std::uint64_t gf_hours2bitset(const std::string& text, BadHours& bad)
{
    std::uint64_t set = 0;
    if (text.empty())
        return set;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string piece = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::optional<long long> hour = lf_leadingInt(piece);
        if (!hour || *hour < 0 || *hour > LAST_HALF_HOUR) {
            if (bad.count++ == 0) {
                bad.firstPiece = piece;
                bad.firstText = text;
            }
        } else
            set |= std::uint64_t{1} << *hour;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return set;
}

void gf_warnBadHours(const BadHours& bad, const std::filesystem::path& file)
{
    if (bad.count == 0)
        return;
    gf_logWarn(vald::format("{} invalid hour{} in {}, the first '{}' in {}", bad.count, bad.count == 1 ? "" : "s",
                            gf_pathToUtf8(file), bad.firstPiece, bad.firstText));
}

std::string lf_bitset2hours(std::uint64_t halfHours)
{
    std::string text;
    for (int bit = 0; bit <= LAST_HALF_HOUR; ++bit)
        if ((halfHours >> bit) & 1U) {
            if (!text.empty())
                text += ',';
            text += std::to_string(bit);
        }
    return text;
}

OptAircraft lf_readOptAircraft(const pugi::xml_node& opt)
{
    OptAircraft aircraft;
    const std::string cs = opt.attribute("cs").as_string();
    const std::size_t colon = cs.find(':');
    aircraft.callsign = cs.substr(0, colon);
    if (colon != std::string::npos)
        aircraft.callsignSuffix = cs.substr(colon + 1);
    const std::string registration = opt.attribute("reg").as_string();
    if (!registration.empty())
        if (const std::optional<DbaseRecord> record = gf_findRegcode(registration)) {
            aircraft.airline = gf_flyingAirline(*record);
            aircraft.type = record->type;
            return aircraft;
        }
    aircraft.airline = opt.attribute("airl").as_string();
    aircraft.type = opt.attribute("type").as_string();
    return aircraft;
}

StandOption gf_readStandOption(const pugi::xml_node& opt, std::uint32_t number, std::uint32_t origin,
                               BadHours& badHours)
{
    OptAircraft aircraft = lf_readOptAircraft(opt);
    StandOption option;
    option.airline = std::move(aircraft.airline);
    option.type = std::move(aircraft.type);
    option.registration = opt.attribute("reg").as_string();
    option.callsign = std::move(aircraft.callsign);
    option.callsignSuffix = std::move(aircraft.callsignSuffix);
    option.halfHours = gf_hours2bitset(opt.attribute("hh").as_string(), badHours);
    option.number = number;
    option.day = opt.attribute("day").as_uint(0);
    option.origin = origin;
    option.real = opt.attribute("soft").as_bool(false) ? 0 : 1;
    return option;
}

void lf_readParkpos(const pugi::xml_node& parkpos, const std::string& id, std::uint32_t origin, BadHours& badHours)
{
    parkStandsOwner.assertOwner();
    const double lat = parkpos.attribute("latitude").as_double(0.0);
    const double lon = parkpos.attribute("longitude").as_double(0.0);
    if (lat == 0.0 && lon == 0.0)
        return;
    const double radiusMetres = parkpos.attribute("radius").as_double(0.0);
    // Room only for the options the stand has: most stands have none, and a large airport must
    // not reserve memory for thousands of empty lists.
    const auto opts = parkpos.children("opt");
    std::vector<StandOption> options;
    options.reserve(static_cast<std::size_t>(std::distance(opts.begin(), opts.end())));
    std::uint32_t number = 0;
    for (const pugi::xml_node opt : opts)
        options.push_back(gf_readStandOption(opt, ++number, origin, badHours));
    const bool heli = parkpos.attribute("heli").as_bool(false);
    const bool ramp = parkpos.attribute("ramp").as_bool(false);
    const bool cargo = parkpos.attribute("cargo").as_bool(false);
    const double heading = parkpos.attribute("heading").as_double(0.0) * DEG_TO_RAD;
    parkStands.emplace_back(std::move(options), id, Stand::Place{lat, lon, heading}, radiusMetres, cargo, ramp, heli);
}

void lf_readParkpositions(const pugi::xml_node& document, const std::filesystem::path& file)
{
    const pugi::xml_node parkpositions = document.child("parkpositions");
    if (!parkpositions)
        return;
    const auto all = parkpositions.children("parkpos");
    const auto count = static_cast<std::size_t>(std::distance(all.begin(), all.end()));
    std::unordered_set<std::string> seen;
    seen.reserve(count);
    parkStands.reserve(parkStands.size() + count);
    BadHours badHours;
    for (const pugi::xml_node parkpos : all) {
        std::string id = parkpos.attribute("id").as_string();
        if (!seen.insert(id).second) {
            gf_warnBadHours(badHours, file);
            throw vald::UserErrorException(USER_ERROR_DUPLICATE_STAND,
                                           vald::format("Parking position {} appears more than once?", id));
        }
        lf_readParkpos(parkpos, id, 1, badHours);
    }
    gf_warnBadHours(badHours, file);
}
