// Replies of the nearest-station and weather requests, read the way the weather reader reads
// them: the envelope, the station code and the QNH.
#include <gsl/narrow>

#include "foundation/json_input.hpp"
#include "fuzz/fuzz_support.hpp"
#include "traffic/service_client.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const nlohmann::json reply = vald::gf_parseJsonOrDiscarded(corv_fuzz::textOf(data, size));
    if (reply.is_discarded())
        return 0;
    (void)gf_replyStatus(reply);
    (void)gf_replyInterval(reply, "wrrl");
    (void)gf_replyText(reply, "message");
    if (!reply.is_object())
        return 0;
    const auto found = reply.find("data");
    const nlohmann::json none;
    const nlohmann::json& value = found != reply.end() ? *found : none;
    try {
        (void)extractQNH(value);
    } catch (const gsl::narrowing_error&) {
        // A value beyond 32 bits: the reader logs it and waits for the next reply.
    }
    try {
        if (!value.is_null() && !value.empty())
            (void)value.at(0).value("ICAO", std::string());
    } catch (const nlohmann::json::exception&) {
        // Anything but an array of objects: the reader logs it.
    }
    return 0;
}
