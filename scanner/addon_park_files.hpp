#pragma once
// How an add-on airport found by the scan gets its park-position file: a one-line link to the
// program's archived file when the archive knows the scenery, otherwise (or when the scenery has
// more stands than the archived file) a file generated from the decoded stands. Output goes to
// airports/my_ORBX (publisher "simaddon") or airports/my_thirdparty. Any scan task may call these.
#include <atomic>
#include <cstdint>
#include <string>

#include "engine/stand_records.hpp"

// Set whenever an airport got a park-position file (linked or generated): the scan's result.
extern std::atomic<bool> airportsFound;

// Before the tasks of a scan: no airport has a generated file of this scan yet.
void gf_startAddonParkFiles();
// The publisher named by the BGL file's path; empty when none.
std::string gf_publisherFromFileName(const std::string& path);
// Fills the publisher, looks for an archived file and writes its link; true when linked.
[[nodiscard]] bool lf_findExistingParkFile(ApfAirport& airport, std::int32_t& archivedCount);
// Writes the generated file (nothing without stands).
void lf_generateParkFile(ApfAirport& airport);
// The whole decision for one decoded airport: link, generate, or both.
void gf_makeAddonParkFile(ApfAirport& airport);
