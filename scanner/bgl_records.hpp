#pragma once
// The airport records of the simulator's BGL scenery files: airports with their code, name,
// altitude, parking spots and helipads. Only the airport sections are read; everything else is
// stepped over by its size. A BGL file is outside input: every read is checked against the file
// and against the record it belongs to, a damaged record is skipped with a log line, and a size of
// zero never makes a walk stand still.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/stand_records.hpp"
#include "foundation/byte_reader.hpp"

// Record and subrecord ids used here.
inline constexpr std::uint16_t BGL_AIRPORT = 0x3C;
inline constexpr std::uint16_t BGL_AIRPORT_AB = 0xAB;
inline constexpr std::uint16_t BGL_NAME = 0x19;
inline constexpr std::uint16_t BGL_HELIPAD = 0x26;
inline constexpr std::uint16_t BGL_PARKING_LIST = 0x3D;
inline constexpr std::uint16_t BGL_PARKING_LIST_AD = 0xAD;
inline constexpr std::uint32_t BGL_HEADER_BYTES = 56;
inline constexpr std::uint32_t BGL_SECTION_ENTRY_BYTES = 20;
inline constexpr std::uint32_t BGL_AIRPORT_SECTION = 3;
// A file with an airport section larger than this is not read, and is reported (airport files
// of real scenery hold a few megabytes; only photo scenery grows large, and it has no airports).
inline constexpr std::uintmax_t BGL_MAX_FILE_BYTES = 256ULL << 20;

// Whether an identifier of four characters is an airport the program knows.
using AirportFilter = std::function<bool(const std::string& icao)>;

// The whole file, padded with zero bytes to whole 32-bit words; nothing when it cannot be read
// or is larger than BGL_MAX_FILE_BYTES.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> lf_readDwords(const std::filesystem::path& path);
// True when the file's section table holds an airport section (reads only header and table).
bool lf_bglHasAirportSection(const std::filesystem::path& path);
// The whole file as lf_readDwords gives it, when it holds an airport section; one open for both.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> lf_readAirportBgl(const std::filesystem::path& path);
// Takes each airport as soon as it is decoded.
using AirportSink = std::function<void(ApfAirport& airport)>;
// Hands every supported airport of the file (a padded image of whole words) to take, in file
// order. Scan-log and log lines tell what was skipped. A record that runs past the end of the file
// ends the decoding with std::out_of_range: the airports before it have been taken, none after it.
void gf_decodeBglAirports(const vald::ByteReader& file, const std::string& bglPath, const AirportFilter& isKnown,
                          const AirportSink& take);
// The same, gathered.
std::vector<ApfAirport> gf_decodeBglAirports(const vald::ByteReader& file, const std::string& bglPath,
                                             const AirportFilter& isKnown);

// The base-38 identifier and whether it is a supported airport (four characters, known).
std::pair<std::string, bool> lf_decodeIdentifierOrRegionCode(std::uint32_t packed, const AirportFilter& isKnown);
// The text that starts the id of a parking with this name code.
std::string lf_parkingNameCode(std::uint32_t code);
// Packed coordinates, degrees.
double gf_bglLongitude(std::uint32_t packed);
double gf_bglLatitude(std::uint32_t packed);
// How many helipad stands the airport holds.
std::size_t gf_helipadCount(const ApfAirport& airport);
