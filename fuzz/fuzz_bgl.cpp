// libFuzzer target over the BGL airport reader: any bytes, read as a scenery file image, must be
// decoded or refused without reading outside them.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/byte_reader.hpp"
#include "scanner/airports_scan_log.hpp"
#include "scanner/bgl_records.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The reader takes the file padded to whole words, as it reads it from disk.
    std::vector<std::uint8_t> image(data, data + size);
    image.resize((size + 3) / 4 * 4, 0);
    try {
        // Each airport is checked as it is handed over, as the scan takes it.
        gf_decodeBglAirports(
            vald::ByteReader(image.data(), image.size()), "fuzz.bgl",
            [](const std::string& icao) { return icao.size() == 4; },
            [](ApfAirport& airport) {
                for (const Stand& stand : airport.stands)
                    if (stand.id.empty() && stand.heli == 0)
                        __builtin_trap();  // every stand has an id
            });
    } catch (const std::out_of_range&) {
        // A record that runs past the end of the file ends the decoding: the airports before it
        // were handed over (and checked), none after it.
    } catch (const std::exception&) {
        // Otherwise only a file shorter than two words is refused with an exception.
        if (image.size() >= 8)
            __builtin_trap();
    }
    static_cast<void>(gf_takeAirportsScanLog());  // emptied: the next input starts without these lines
    return 0;
}
