#pragma once
// The learned file of a park airport: what was learned about its stands (who stood where, on
// which day and half-hours, larger or cargo stands, stands added by hand) and the user's parking
// settings for that airport. Merged over the freshly read stands, rated by two quality factors,
// and written back when the park airport is closed. Worker thread.
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

#include <pugixml.hpp>

#include "engine/stand_records.hpp"

// The learned file that belongs to a park file of the airport icao and its publisher: the one
// path both read at opening and written at closing.
std::filesystem::path lf_learnedPathOf(const std::string& parkFileName, const std::string& icao,
                                       const std::string& publisher);
// The park airport being opened learns into this file; what an earlier read left is forgotten.
void lf_useLearnedFile(const std::filesystem::path& path);
// Merges the learned file into parkStands and the per-airport settings. A read that fails
// part-way keeps a copy of the file aside (*.0.xml) and the save no longer writes over it.
void lf_readLearned(const std::filesystem::path& path, const ApfInfo& info);
// Applies one learned <parkpos> to the stand with the same id; false when the ids differ.
[[nodiscard]] bool lf_applyLearnedParkpos(const std::string& id, const pugi::xml_node& parkpos, Stand& stand);
bool lf_sameLearnedOption(const StandOption& candidate, const StandOption& existing);
// (Qf_real, Qf_soft) of parkStands; (-1, -1) without any option.
std::pair<std::int32_t, std::int32_t> gf_qualityFactors();
// Writes the learned file of the park airport, with the learned stands its park file no longer
// has; true when it was written. Refused after a read that failed part-way.
[[nodiscard]] bool lf_saveLearnedApf();

// MAX_LIVE of a learned file onto the MAX_LIVE_SEL options.
std::int32_t lf_snapMaxLive(std::int32_t value);
// A parking percentage of a learned file onto the options 0..100 in steps of 5.
std::int32_t lf_snapParkingPercentage(std::int32_t value);
