// Every reader of the simulator's messages over arbitrary bytes: a field never comes from past
// the message's end.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "simlink/simconnect/recv.hpp"

namespace sc = vald::simconnect;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact copy, so that the sanitizer sees any read past the message.
    std::vector<std::uint8_t> bytes(data, data + size);
    const sc::MessageView view(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    (void)sc::gf_readException(view);
    (void)sc::gf_readOpen(view);
    (void)sc::gf_readEvent(view);
    (void)sc::gf_readObjectAddRemove(view);
    (void)sc::gf_readFrameRate(view);
    if (const auto objectData = sc::gf_readObjectData(view)) {
        if (!objectData->data.empty() && (objectData->data.data() < bytes.data() ||
                                          objectData->data.data() + objectData->data.size() > bytes.data() + size))
            corv_fuzz::fail();
    }
    // Fields at offsets and of sizes the input chooses.
    for (std::size_t at = 0; at + 8 <= size; at += 8) {
        std::uint32_t offset = 0;
        std::uint32_t fieldSize = 0;
        std::memcpy(&offset, data + at, 4);
        std::memcpy(&fieldSize, data + at + 4, 4);
        offset %= static_cast<std::uint32_t>(size + 16);
        (void)view.u32(offset);
        (void)view.i64(offset);
        (void)view.f32(offset);
        (void)view.f64(offset);
        (void)view.text(offset, fieldSize % 512);
        (void)view.bytesFrom(offset);
    }
    return 0;
}
