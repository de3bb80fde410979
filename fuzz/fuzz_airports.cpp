// airports.xml as delivered (encrypted with the program's key) but of any content.
#include <stdexcept>

#include "foundation/constants.hpp"
#include "fuzz/fuzz_support.hpp"
#include "refdata/airports.hpp"
#include "tests/refdata/sealed_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    corv_fuzz::scratchFolder();
    corv_fuzz::writeFile(AIRPORTS_ENC_PATH, corv_test::sealStream(corv_fuzz::textOf(data, size)));
    gf_resetAirports();
    try {
        if (gf_readAirports()) {
            (void)gf_closestAirport(LatLon{52.3, 4.76});
            if (!airportRecords.empty())
                (void)gf_airportLabel(airportRecords.front());
        }
    } catch (const std::runtime_error&) {
        // An unreadable file is the user's error to report; nothing else may escape.
    }
    return 0;
}
