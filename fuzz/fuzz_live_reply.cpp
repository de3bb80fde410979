// A reply of the service's live or history traffic, read the way the traffic reader reads it:
// the envelope, then every 48-element array of "data" (or of its history buffers) through the
// record filter.
#include "foundation/json_input.hpp"
#include "fuzz/fuzz_support.hpp"
#include "traffic/service_client.hpp"

namespace {

void lf_readArrays(TrafficReader& reader, nlohmann::json& data, const LiveFilterSettings& settings)
{
    if (!data.is_array() && !data.is_object())
        return;
    for (nlohmann::json& element : data) {
        if (element.is_object())
            lf_readArrays(reader, element, settings);  // a history buffer
        else if (element.is_array() && element.size() == 48) {
            reader.workLine = std::move(element);
            reader.processLine(settings);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TrafficReader reader;
    LiveFilterSettings settings;
    settings.userPosition = {52.3, 4.76};
    settings.parkAirportIcao = "EHAM";
    settings.parkAirportPosition = {52.3086, 4.7639};
    settings.parkElevationFt = -11.0;
    settings.blockCallsign = "KLM1234";
    settings.qnh = 1021;
    nlohmann::json reply = vald::gf_parseJsonOrDiscarded(corv_fuzz::textOf(data, size));
    (void)gf_replyStatus(reply);
    (void)gf_replyInterval(reply, "rrl");
    (void)gf_replyText(reply, "message");
    if (reply.is_object()) {
        const auto found = reply.find("data");
        if (found != reply.end())
            lf_readArrays(reader, *found, settings);
    }
    reader.liveRecords.clear();
    return 0;
}
