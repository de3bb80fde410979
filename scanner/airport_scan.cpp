#include "scanner/airport_scan.hpp"

#include "foundation/log.hpp"
#include "foundation/parameters.hpp"

std::atomic<std::uint64_t> tbloFileCount{0};

void gf_scanAirports()
{
    if (!SCAN_AIRPORTS.value())
        return;
    // SCAN_AIRPORTS stays on, so the scan runs at the first start that has it.
    gf_log("The airport scan is not available yet");
}
