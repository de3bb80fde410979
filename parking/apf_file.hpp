#pragma once
// Airport park-position files: one XML file per airport with the program's meta block, a
// parameters block and one <parkpos> per stand; a learned file adds <opt> elements (the learned
// uses of a stand) and writes unchanged stands by id only. The same element reader serves the
// archived, the user's and the learned files; the writer has a learned and a generated mode.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "engine/stand_records.hpp"
#include "foundation/safe_write.hpp"

// The aircraft of an <opt> element.
struct OptAircraft {
    std::string callsign;
    std::string callsignSuffix;
    std::string airline;
    std::string type;
};

// The file's text as gf_writeApf writes it; nothing when an element cannot be appended.
[[nodiscard]] std::optional<std::string> gf_apfText(const ApfAirport& airport, ApfWriteMode mode);
// Builds the document and saves it (atomically: a temporary file renamed over the target). True
// only when the file was written. A scan that syncs its output once at its end writes Scratch.
[[nodiscard]] bool gf_writeApf(const ApfAirport& airport, const std::filesystem::path& path, ApfWriteMode mode,
                               WriteDurability durability = WriteDurability::Synced);
// Appends <parameters> and its entries; false when an element cannot be appended. Throws
// gsl::narrowing_error for a MAX_FIT_FL whose doubled value does not fit an i32.
[[nodiscard]] bool lf_writeApfParameters(pugi::xml_node document, const ApfAirport& airport, ApfWriteMode mode);

// The pieces of "hh" texts of one file that were no half-hour: a damaged file is warned about
// once, not once per piece.
struct BadHours {
    std::size_t count = 0;
    std::string firstPiece;
    std::string firstText;
};
// One warning for the file when it had bad pieces.
void gf_warnBadHours(const BadHours& bad, const std::filesystem::path& file);

// Reads every <parkpos> of the top-level <parkpositions> of file into parkStands with origin 1. A
// repeated id throws vald::UserErrorException 94; the stands read before it stay.
void lf_readParkpositions(const pugi::xml_node& document, const std::filesystem::path& file);
// Reads one stand and appends it to parkStands; one at latitude and longitude 0/0 is skipped.
void lf_readParkpos(const pugi::xml_node& parkpos, const std::string& id, std::uint32_t origin, BadHours& badHours);
OptAircraft lf_readOptAircraft(const pugi::xml_node& opt);
// One <opt> element as a stand option with the given number and origin (1 park file, 0 learned).
StandOption gf_readStandOption(const pugi::xml_node& opt, std::uint32_t number, std::uint32_t origin,
                               BadHours& badHours);

// The half-hour set of an "hh" text ("14,15,16"); pieces that are no hour 0..47 are skipped and
// counted in bad.
std::uint64_t gf_hours2bitset(const std::string& text, BadHours& bad);
// The "hh" text of a half-hour set: the set bits ascending, separated by ",".
std::string lf_bitset2hours(std::uint64_t halfHours);
