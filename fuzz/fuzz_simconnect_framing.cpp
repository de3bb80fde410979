// The simulator's byte stream cut into messages: arbitrary bytes, delivered in reads of a size
// the first byte chooses, never give a message that disagrees with its own size field.
#include <algorithm>
#include <cstring>

#include "fuzz/fuzz_support.hpp"
#include "simlink/simconnect/framing.hpp"

using vald::simconnect::Framer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t readSize = 1 + data[0];
    Framer framer(4096);
    std::size_t at = 1;
    while (at < size) {
        const std::span<std::uint8_t> room = framer.freeRoom();
        const std::size_t count = std::min({room.size(), readSize, size - at});
        if (count == 0)
            return 0;
        std::memcpy(room.data(), data + at, count);
        framer.commit(count);
        at += count;
        Framer::Outcome outcome = framer.extract();
        for (; outcome == Framer::Outcome::message; outcome = framer.extract()) {
            const std::vector<std::uint8_t>& message = framer.message();
            std::uint32_t declared = 0;
            if (message.size() < sizeof declared)
                corv_fuzz::fail();
            std::memcpy(&declared, message.data(), sizeof declared);
            if (declared != message.size() || message.size() > 4096)
                corv_fuzz::fail();
        }
        if (outcome != Framer::Outcome::needMore)
            return 0;
    }
    return 0;
}
