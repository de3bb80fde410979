#include "liveries/livery_scan.hpp"

#include "foundation/log.hpp"
#include "foundation/parameters.hpp"

void gf_scanLiveries()
{
    if (!SCAN_LIVERIES.value())
        return;
    // SCAN_LIVERIES stays on, so the scan runs at the first start that has it.
    gf_log("The liveries scan is not available yet");
}
