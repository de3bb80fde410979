#pragma once
// output/LiveriesScanned.xml: the scanned liveries as a meta block and one <liv> element per
// livery. Written once at the end of a liveries scan, read back at every program start.
#include <filesystem>

#include "foundation/constants.hpp"
#include "liveries/livery_records.hpp"

// Writes the list in its order; an empty list writes nothing. A failed save is not reported: the
// next reading then fails.
void lf_writeLiveriesScanned(const LiveryList& liveries = scannedLiveries,
                             const std::filesystem::path& path = LIVERIES_SCANNED_PATH);

// Replaces the list's content with the file's liveries, sorted by airline, type and title.
// Throws vald::UserErrorException 51 (file missing or not XML), 52 (no <liveries>), 999 (a <liv>
// without airl, type or title) and 533 (no liveries).
void lf_readLiveriesScanned(LiveryList& liveries = scannedLiveries,
                            const std::filesystem::path& path = LIVERIES_SCANNED_PATH);
