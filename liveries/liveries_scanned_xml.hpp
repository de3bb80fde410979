#pragma once
// output/LiveriesScanned.xml: the scanned liveries as a meta block and one <liv> element per
// livery. Written once at the end of a liveries scan, read back at every program start.
#include <cstdint>
#include <filesystem>

#include "foundation/constants.hpp"
#include "liveries/livery_records.hpp"

// A larger file is refused (error 51) instead of read.
inline constexpr std::uintmax_t LIVERIES_SCANNED_MAX_BYTES = 256U * 1024U * 1024U;

// Writes the list in its order through the one writer: the old file is replaced only by a whole
// new one. False when nothing was written (an empty list, or a failed save, which leaves the old
// file as it was and is logged). A title that is no UTF-8 keeps its own bytes in the attribute.
[[nodiscard]] bool lf_writeLiveriesScanned(const LiveryList& liveries = scannedLiveries,
                                           const std::filesystem::path& path = LIVERIES_SCANNED_PATH);

// Replaces the list's content with the file's liveries, sorted by airline, type and title.
// Throws vald::UserErrorException 51 (file missing or not XML), 52 (no <liveries>), 999 (a <liv>
// without airl, type or title) and 533 (no liveries).
void lf_readLiveriesScanned(LiveryList& liveries = scannedLiveries,
                            const std::filesystem::path& path = LIVERIES_SCANNED_PATH);
