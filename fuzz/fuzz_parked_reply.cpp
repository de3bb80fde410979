// A reply of the service's parked traffic, read the way the traffic reader reads it: the
// envelope, then every member of "data" through the parked-record filter.
#include "foundation/json_input.hpp"
#include "fuzz/fuzz_support.hpp"
#include "refdata/dbase.hpp"
#include "traffic/service_client.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TrafficReader reader;
    static const bool typesKnown = [] {
        aircraftTypes = {"A320", "B738", "B744", "C172", "EC35"};
        largeTypes = {"A320", "B738"};
        heavyTypes = {"B744"};
        rotorcraftTypes = {"EC35"};
        dbaseRecords["PH-BXA"] = DbaseRecord{"KLM", "B738", "", false};
        return true;
    }();
    (void)typesKnown;
    ParkedFilterSettings settings;
    settings.reservedStandName = "R1";
    settings.userStandName = "U1";
    nlohmann::json reply = vald::gf_parseJsonOrDiscarded(corv_fuzz::textOf(data, size));
    (void)gf_replyStatus(reply);
    if (reply.is_object()) {
        const auto found = reply.find("data");
        if (found != reply.end() && found->is_object()) {
            for (auto& [key, value] : found->items()) {
                reader.parkedLine = std::move(value);
                reader.processParkedTrafficLine(key, settings);
            }
        }
    }
    (void)lf_dropOldParked(reader.parkedRecords, 4);
    reader.parkedRecords.clear();
    return 0;
}
