// A reply to the login, taken the way the login takes it.
#include <exception>

#include "foundation/clock.hpp"
#include "fuzz/fuzz_support.hpp"
#include "traffic/service_client.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static WeatherReader client;
    static const bool quiet = [] {
        Clock clock;  // the login's wait passes at once
        clock.sleepFor = [](SteadyDuration) {};
        gf_setClockForTest(std::move(clock));
        return true;
    }();
    (void)quiet;
    client.replyBuffer = corv_fuzz::textOf(data, size);
    std::uint32_t status = 0;
    try {
        (void)client.takeLoginReply(status);
    } catch (const std::exception&) {
        // No JSON object: the login logs it and fails.
    }
    client.guid.clear();
    return 0;
}
