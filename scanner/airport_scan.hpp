#pragma once
// The scan of the add-on airport scenery (the folders afolder0 to afolder9) for airports and
// their parking spots, run on the worker thread during start-up when SCAN_AIRPORTS is on.
#include <atomic>
#include <cstdint>

// Files the airport scan placed in the tblo folder; the window shows its hint while not 0.
extern std::atomic<std::uint64_t> tbloFileCount;

void gf_scanAirports();
