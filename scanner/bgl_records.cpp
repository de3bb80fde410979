#include "scanner/bgl_records.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "scanner/airports_scan_log.hpp"

namespace fs = std::filesystem;
using vald::ByteReader;

namespace {

constexpr std::uint32_t MAX_SUBRECORD_STEPS = 5000;
constexpr std::uint32_t MAX_NAME_BYTES = 45;
constexpr std::uint32_t NAME_TEXT_OFFSET = 6;
constexpr double FEET_PER_MM = 3.2808399 / 1000.0;
constexpr std::int32_t LOWEST_ALTITUDE_FT = -20;
constexpr std::int32_t HIGHEST_ALTITUDE_FT = 10000;
constexpr float SMALLEST_RADIUS_M = 1.0F;
constexpr float LARGEST_RADIUS_M = 200.0F;
constexpr std::uint32_t LAST_KEPT_PARKING_TYPE = 11;
constexpr std::uint32_t CARGO_PARKING_TYPE = 5;
constexpr std::uint32_t LAST_RAMP_PARKING_TYPE = 7;
constexpr std::uint32_t PARKING_ENTRY_WORDS = 9;
constexpr std::uint32_t HELIPAD_HEADING_OFFSET = 32;
constexpr double SAME_HELIPAD_DEG = 1e-8;
constexpr const char* DUPLICATE_SUFFIXES = "abcdefghij";

// A field that the record's size does not cover: the record (or subrecord) is damaged.
struct BglDamage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

template <typename T>
T lf_need(std::optional<T> value, const char* what)
{
    if (!value)
        throw BglDamage(what);
    return *value;
}

struct RecordHead {
    std::uint16_t id = 0;
    std::uint32_t size = 0;  // bytes
};

// Id at the byte offset, size from two bytes further on.
std::optional<RecordHead> lf_head(const ByteReader& view, std::uint64_t byteOffset)
{
    const auto id = view.u16(byteOffset);
    const auto size = view.u32(byteOffset + 2);
    if (!id || !size)
        return std::nullopt;
    return RecordHead{*id, *size};
}

// The bytes [offset, offset + count) clipped to the view.
ByteReader lf_clipped(const ByteReader& view, std::uint64_t offset, std::uint64_t count)
{
    if (offset > view.size())
        return {};
    return *view.sub(offset, std::min<std::uint64_t>(count, view.size() - offset));
}

bool lf_validPosition(double lat, double lon)
{
    if (!(lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0))
        return false;
    return !(std::fabs(lat) <= 0.0001 && std::fabs(lon) <= 0.0001);
}

// Degrees to radians; 0 (and a value that is no number) is a full turn.
double lf_standHeading(float degrees)
{
    if (!std::isfinite(degrees) || degrees == 0.0F)
        return TWO_PI;
    return static_cast<double>(degrees) * DEG_TO_RAD;
}

// A scenery file opened for reading as bytes: thousands of them are opened per scan, so this
// stays with the C library's plain calls.
class BglFile {
public:
    explicit BglFile(const fs::path& path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~BglFile()
    {
        if (file_ != nullptr)
            std::fclose(file_);
    }
    BglFile(const BglFile&) = delete;
    BglFile& operator=(const BglFile&) = delete;

    std::optional<std::uint64_t> size() const
    {
        if (file_ == nullptr || std::fseek(file_, 0, SEEK_END) != 0)
            return std::nullopt;
        const long end = std::ftell(file_);
        if (end < 0 || std::fseek(file_, 0, SEEK_SET) != 0)
            return std::nullopt;
        return static_cast<std::uint64_t>(end);
    }
    // Reads exactly count bytes from the current position.
    bool read(std::uint8_t* target, std::size_t count) const
    {
        return file_ != nullptr && std::fread(target, 1, count, file_) == count;
    }

    bool rewind() const { return file_ != nullptr && std::fseek(file_, 0, SEEK_SET) == 0; }

private:
    std::FILE* file_;
};

// Reads the header and the section table from the start of the file.
bool lf_hasAirportSection(const BglFile& file, std::optional<std::uint64_t> fileSize)
{
    if (!fileSize || *fileSize <= BGL_HEADER_BYTES)
        return false;
    std::uint8_t header[BGL_HEADER_BYTES];
    if (!file.read(header, sizeof header))
        return false;
    const std::uint64_t sections = *ByteReader(header, sizeof header).u32(20);
    if (sections == 0 || BGL_HEADER_BYTES + BGL_SECTION_ENTRY_BYTES * sections >= *fileSize)
        return false;
    std::vector<std::uint8_t> table(static_cast<std::size_t>(BGL_SECTION_ENTRY_BYTES * sections));
    if (!file.read(table.data(), table.size()))
        return false;
    const ByteReader entries(table.data(), table.size());
    for (std::uint64_t i = 0; i < sections; ++i)
        if (entries.u32(i * BGL_SECTION_ENTRY_BYTES) == BGL_AIRPORT_SECTION)
            return true;
    return false;
}

// The whole file from the current position (its start), padded to whole words.
std::optional<std::vector<std::uint8_t>> lf_readWhole(const BglFile& file, std::optional<std::uint64_t> size)
{
    if (!size || *size > BGL_MAX_FILE_BYTES)
        return std::nullopt;
    const auto byteCount = static_cast<std::size_t>(*size);
    std::vector<std::uint8_t> bytes((byteCount + 3) / 4 * 4, 0);
    if (!file.read(bytes.data(), byteCount))
        return std::nullopt;
    return bytes;
}

struct AirportWork {
    ApfAirport airport;
    std::set<std::string, std::less<>> ids;
    std::vector<std::pair<double, double>> helipads;
    std::uint32_t helipadCounter = 1;
};

std::optional<std::string> lf_makeUniqueStandId(const std::string& id, AirportWork& work)
{
    if (work.ids.insert(id).second)
        return id;
    for (const char* suffix = DUPLICATE_SUFFIXES; *suffix != '\0'; ++suffix) {
        std::string candidate = id + *suffix;
        if (work.ids.insert(candidate).second)
            return candidate;
    }
    gf_addToAirportsScanLog(
        vald::format("{}Warning: more than 10 duplicate IDs {} in {}", "===> ", id, work.airport.bglPath));
    return std::nullopt;
}

std::optional<std::string> lf_decodeAirportNAME(const ByteReader& sub, std::uint32_t size)
{
    const std::int64_t length = static_cast<std::int64_t>(size & 0xFFFFU) - NAME_TEXT_OFFSET;
    if (length <= 0)
        return std::string();
    const std::uint64_t count = std::min<std::uint64_t>(static_cast<std::uint64_t>(length), MAX_NAME_BYTES);
    const std::optional<ByteReader> text = sub.sub(NAME_TEXT_OFFSET, count);
    if (!text)
        return std::nullopt;
    std::string name(reinterpret_cast<const char*>(text->data()), text->size());
    while (!name.empty() && name.back() == '\0')
        name.pop_back();
    return name;
}

// Altitude in feet; out of range gives 0. The word is signed: airports lie below sea level too.
std::int32_t lf_decodeAltitude(const ByteReader& record)
{
    const std::int32_t millimetres = lf_need(record.i32(20), "altitude");
    const double feet = std::round(static_cast<double>(millimetres) * FEET_PER_MM);
    if (feet < LOWEST_ALTITUDE_FT || feet > HIGHEST_ALTITUDE_FT)
        return 0;
    return static_cast<std::int32_t>(feet);
}

// The name: every name subrecord of the record (and only of the record); two that differ leave
// none.
std::string lf_decodeAirportName(const ByteReader& record, std::uint64_t firstWord, std::uint64_t recordWord)
{
    std::string name;
    std::uint64_t q = firstWord;
    for (std::uint32_t step = 0; step < MAX_SUBRECORD_STEPS; ++step) {
        const std::optional<RecordHead> head = lf_head(record, q * 4);
        if (!head)
            break;
        if (head->size / 4 == 0) {
            gf_logWarn(vald::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", recordWord + q));
            break;
        }
        if (head->id == BGL_NAME) {
            const std::optional<std::string> found = lf_decodeAirportNAME(lf_clipped(record, q * 4, head->size), head->size);
            if (found && name.empty())
                name = *found;
            else if (found && *found != name)
                name.clear();
        }
        q += head->size / 4;
    }
    return name;
}

// bytesToFileEnd: how far the file reaches from the list's start. Entries that would run past the
// end of the file make the whole file damaged; entries that only overrun their list are skipped.
void lf_decodeParkings(const ByteReader& sub, AirportWork& work, bool listAD, std::uint64_t bytesToFileEnd)
{
    const std::uint32_t count = lf_need(sub.u16(6), "parking count");
    const std::uint64_t entryWords = PARKING_ENTRY_WORDS + (listAD ? 1 : 0);
    std::uint64_t e = 2;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!sub.has(e * 4, entryWords * 4)) {
            if ((e + entryWords) * 4 > bytesToFileEnd)
                throw std::out_of_range(vald::format("parking list of {} runs past the end of {}", work.airport.icao,
                                                     work.airport.bglPath));
            throw BglDamage("parking entry beyond its list");
        }
        const std::uint32_t head = *sub.u32(e * 4);
        const float radius = *sub.f32(e * 4 + 4);
        const std::uint64_t next = e + entryWords + (head >> 24);
        const std::uint64_t current = e;
        e = next;
        if (!(radius > SMALLEST_RADIUS_M && radius < LARGEST_RADIUS_M)) {
            gf_addToAirportsScanLog(
                vald::format("Skipped position with radius {:.1F} m in {}", radius, work.airport.bglPath));
            continue;
        }
        const std::string id = lf_parkingNameCode(head & 0x3FU) + std::to_string((head >> 12) & 0xFFFU);
        const std::uint32_t type = (head >> 8) & 0xFU;
        if (type < 1 || type > LAST_KEPT_PARKING_TYPE)
            continue;
        const double lat = gf_bglLatitude(*sub.u32(current * 4 + 32));
        const double lon = gf_bglLongitude(*sub.u32(current * 4 + 28));
        if (!lf_validPosition(lat, lon)) {
            gf_addToAirportsScanLog(vald::format("LatLon {} invalid (skipped)", vald::format("{:.6f},{:.6f}", lat, lon)));
            continue;
        }
        std::optional<std::string> unique = lf_makeUniqueStandId(id, work);
        if (!unique)
            continue;
        const double heading = lf_standHeading(*sub.f32(current * 4 + 8));
        work.airport.stands.emplace_back(std::vector<StandOption>{}, std::move(*unique), Stand::Place{lat, lon, heading},
                                         radius, type == CARGO_PARKING_TYPE, type <= LAST_RAMP_PARKING_TYPE, false);
    }
}

void lf_decodeHelipad(const ByteReader& sub, AirportWork& work)
{
    const double lon = gf_bglLongitude(lf_need(sub.u32(12), "helipad longitude"));
    const double lat = gf_bglLatitude(lf_need(sub.u32(16), "helipad latitude"));
    const float width = lf_need(sub.f32(28), "helipad width");
    // The heading lies inside the helipad's own 36 bytes.
    const float heading = lf_need(sub.f32(HELIPAD_HEADING_OFFSET), "helipad heading");
    if (!lf_validPosition(lat, lon)) {
        gf_addToAirportsScanLog("lat/lon helipad incorrect (skipped): " + vald::format("{:.6f},{:.6f}", lat, lon));
        return;
    }
    if (!std::isfinite(width))
        throw BglDamage("helipad width is no number");
    for (const auto& [heliLat, heliLon] : work.helipads)
        if (std::fabs(heliLat - lat) < SAME_HELIPAD_DEG && std::fabs(heliLon - lon) < SAME_HELIPAD_DEG) {
            gf_addToAirportsScanLog("double helipad " + work.airport.name + " (skipped) " +
                                    vald::format("{:.6f},{:.6f}", lat, lon));
            return;
        }
    work.helipads.emplace_back(lat, lon);
    work.airport.stands.emplace_back(std::vector<StandOption>{}, vald::format("helipad{}", work.helipadCounter),
                                     Stand::Place{lat, lon, lf_standHeading(heading)}, width / 2.0, false, false, true);
    ++work.helipadCounter;
}

// The subrecords of one airport record. Only the first parking list is read.
void lf_walkAirportSubrecords(const ByteReader& record, std::uint64_t recordWord, std::uint64_t wordCount,
                              bool isAB, std::uint64_t lengthWords, AirportWork& work)
{
    const std::uint16_t parkingList = isAB ? BGL_PARKING_LIST_AD : BGL_PARKING_LIST;
    std::uint64_t q = isAB ? 15 : 14;
    std::uint32_t steps = 0;
    while (q < lengthWords) {
        if (++steps > MAX_SUBRECORD_STEPS) {
            gf_log("   Error: Maximum loop iterations reached \xE2\x80\x94 possible corrupt SIA or malformed input.");
            return;
        }
        const std::optional<RecordHead> head = lf_head(record, q * 4);
        if (!head) {
            gf_log(vald::format("   Error: o3={} exceeded data buffer size ({}), aborting.", recordWord + q, wordCount));
            return;
        }
        const std::uint64_t length = head->size / 4;
        const std::string zeroSize = vald::format("   Warning: decodeSizeAtBoundary returned 0 at o3 = {}", recordWord + q);
        const ByteReader sub = lf_clipped(record, q * 4, head->size);
        try {
            if (head->id == parkingList) {
                lf_decodeParkings(sub, work, isAB, (wordCount - recordWord - q) * 4);
                return;
            }
            if (head->id == BGL_HELIPAD)
                lf_decodeHelipad(sub, work);
        } catch (const BglDamage& damage) {
            gf_logWarn(vald::format("   Warning: damaged subrecord 0x{:X} at o3 = {} in {} skipped: {}", head->id,
                                    recordWord + q, work.airport.bglPath, damage.what()));
            if (head->id == parkingList)
                return;
        }
        if (length == 0) {
            if (head->id == BGL_NAME || head->id == BGL_HELIPAD)
                gf_logWarn(zeroSize);
            else
                gf_log(zeroSize);
            return;
        }
        q += length;
    }
}

std::optional<ApfAirport> lf_decodeAirport(const ByteReader& file, std::uint64_t p, const RecordHead& head,
                                           const std::string& bglPath, const AirportFilter& isKnown)
{
    const std::uint64_t lengthWords = head.size / 4;
    // A record cut by the end of its file is no airport to half-read: it ends the file's decoding,
    // so that the airport keeps its stock park file instead of one with the stands before the cut.
    if (lengthWords * 4 > file.size() - p * 4)
        throw std::out_of_range(vald::format("airport record at o2 = {} runs past the end of {} ({} words)", p,
                                             bglPath, file.size() / 4));
    const ByteReader record = lf_clipped(file, p * 4, lengthWords * 4);
    const auto [icao, supported] = lf_decodeIdentifierOrRegionCode(lf_need(record.u32(40), "identifier"), isKnown);
    if (!supported) {
        if (icao.size() == 4)
            gf_addToAirportsScanLog(vald::format("{} is not an airport supported by RealTraffic ", icao));
        return std::nullopt;
    }
    const bool isAB = head.id == BGL_AIRPORT_AB;
    AirportWork work;
    work.airport.icao = icao;
    work.airport.bglPath = bglPath;
    work.airport.altitude = lf_decodeAltitude(record);
    work.airport.name = lf_decodeAirportName(record, isAB ? 15 : 14, p);
    lf_walkAirportSubrecords(record, p, file.size() / 4, isAB, lengthWords, work);
    return std::move(work.airport);
}

// The airport records of one section, from its first record on. Records already walked for an
// earlier section end the walk: sections that share their records are read once, and a file of
// many sections cannot make the work grow with the square of its size.
void lf_walkSection(const ByteReader& file, std::uint64_t p, const std::string& bglPath, const AirportFilter& isKnown,
                    std::vector<bool>& walked, const AirportSink& take)
{
    const std::uint64_t wordCount = file.size() / 4;
    while (p < wordCount && !walked[p]) {
        walked[p] = true;
        const std::optional<RecordHead> head = lf_head(file, p * 4);
        if (!head)
            return;
        const std::uint64_t length = head->size / 4;
        if (head->id == BGL_AIRPORT || head->id == BGL_AIRPORT_AB) {
            if (length == 0) {
                gf_logWarn(vald::format("   Warning: decodeSizeAtBoundary returned 0 at o2 = {}", p));
                return;
            }
            try {
                if (std::optional<ApfAirport> airport = lf_decodeAirport(file, p, *head, bglPath, isKnown))
                    take(*airport);
            } catch (const BglDamage& damage) {
                gf_logWarn(vald::format("   Warning: damaged airport record at o2 = {} in {} skipped: {}", p, bglPath,
                                        damage.what()));
            }
        }
        if (length == 0)
            return;
        p += length;
    }
}

}  // namespace

double gf_bglLongitude(std::uint32_t packed) { return packed * 4.470348358154297e-07 - 180.0; }

double gf_bglLatitude(std::uint32_t packed) { return 90.0 - packed * 3.3527612686157227e-07; }

std::size_t gf_helipadCount(const ApfAirport& airport)
{
    return static_cast<std::size_t>(
        std::count_if(airport.stands.begin(), airport.stands.end(), [](const Stand& s) { return s.heli != 0; }));
}

std::pair<std::string, bool> lf_decodeIdentifierOrRegionCode(std::uint32_t packed, const AirportFilter& isKnown)
{
    std::uint32_t value = (packed >> 5) & 0x7FFFFFFU;
    std::string text;
    do {
        const std::uint32_t digit = value % 38;
        value /= 38;
        char c = 0;
        if (digit == 0)
            c = ' ';
        else if (digit >= 2 && digit <= 11)
            c = static_cast<char>('0' + digit - 2);
        else
            c = static_cast<char>(digit + 53);
        text.insert(text.begin(), c);
    } while (value != 0);
    const bool supported = text.size() == 4 && isKnown && isKnown(text);
    return {text, supported};
}

std::string lf_parkingNameCode(std::uint32_t code)
{
    static const char* const names[] = {"", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g", ""};
    if (code < std::size(names))
        return names[code];
    if (code <= 63)
        return std::string(1, static_cast<char>(code + 53));
    return std::string();
}

std::optional<std::vector<std::uint8_t>> lf_readDwords(const fs::path& path)
{
    const BglFile file(path);
    return lf_readWhole(file, file.size());
}

bool lf_bglHasAirportSection(const fs::path& path)
{
    const BglFile file(path);
    return lf_hasAirportSection(file, file.size());
}

std::optional<std::vector<std::uint8_t>> lf_readAirportBgl(const fs::path& path)
{
    const BglFile file(path);
    const std::optional<std::uint64_t> size = file.size();
    if (!lf_hasAirportSection(file, size) || !file.rewind())
        return std::nullopt;
    return lf_readWhole(file, size);
}

void gf_decodeBglAirports(const ByteReader& file, const std::string& bglPath, const AirportFilter& isKnown,
                          const AirportSink& take)
{
    const std::uint64_t wordCount = file.size() / 4;
    if (wordCount < 2)
        throw std::runtime_error(vald::format("{} holds fewer than 2 words", bglPath));
    if (*file.u32(4) != BGL_HEADER_BYTES || wordCount < 15)
        return;
    const std::uint64_t sections = *file.u32(20);
    std::vector<bool> walked(static_cast<std::size_t>(wordCount), false);
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t e = 14 + 5 * i;
        if (!file.has(e * 4, BGL_SECTION_ENTRY_BYTES))
            break;  // every later entry lies further out
        const std::uint32_t flags = *file.u32(e * 4 + 4);
        if (*file.u32(e * 4) != BGL_AIRPORT_SECTION || ((flags & 0x10000U) | 0x40000U) != 0x40000U)
            continue;
        const std::uint64_t t = *file.u32(e * 4 + 12) / 4;
        const std::optional<std::uint32_t> firstRecord = file.u32((t + 2) * 4);
        if (!firstRecord)
            continue;
        lf_walkSection(file, *firstRecord / 4, bglPath, isKnown, walked, take);
    }
}

std::vector<ApfAirport> gf_decodeBglAirports(const ByteReader& file, const std::string& bglPath,
                                             const AirportFilter& isKnown)
{
    std::vector<ApfAirport> airports;
    gf_decodeBglAirports(file, bglPath, isKnown, [&airports](ApfAirport& airport) {
        airports.push_back(std::move(airport));
    });
    return airports;
}
