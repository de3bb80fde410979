#include "traffic/parked_fetch.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/json_input.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/time_slots.hpp"
#include "traffic/traffic_hooks.hpp"

using nlohmann::json;

namespace {

// 3 nautical miles: 3 × 1.852 / 111.2 degrees of latitude, 3 × 6076.11549 feet.
constexpr double PARKED_HALF_HEIGHT_DEG = 0.04996402877697842;
constexpr double PARKED_HALF_WIDTH_FT = 18228.34647;
constexpr double HALF_PI = 1.5707963267948966;

// Nobody will answer any more: the reader is stopping or its thread is gone.
bool lf_readerGone(const TrafficReader& reader)
{
    return reader.stop.load() || reader.ended.load() || stopRequested.load();
}

}  // namespace

QueryBox gf_parkedBox(LatLon airport)
{
    QueryBox box;
    box.top = airport.lat + PARKED_HALF_HEIGHT_DEG;
    box.bottom = airport.lat - PARKED_HALF_HEIGHT_DEG;
    box.left = gf_destinationPoint(airport, -HALF_PI, PARKED_HALF_WIDTH_FT).lon;
    box.right = gf_destinationPoint(airport, HALF_PI, PARKED_HALF_WIDTH_FT).lon;
    return box;
}

void lf_selectParked(std::vector<ParkedTrafficRecord>& records, std::int32_t currentSlot, bool parkTrafficOnly,
                     std::int32_t maxFitHalfHours)
{
    for (ParkedTrafficRecord& record : records) {
        record.slot = currentSlot - record.slot;
        if (record.slot < 0)
            record.slot += HALF_HOUR_SLOTS_PER_DAY;
    }
    if (!parkTrafficOnly)
        lf_dropOldParked(records, maxFitHalfHours);
    std::stable_sort(records.begin(), records.end(),
                     [](const ParkedTrafficRecord& a, const ParkedTrafficRecord& b) { return a.slot < b.slot; });

    std::unordered_set<std::string> stands;
    std::unordered_set<std::string> callsigns;
    std::vector<ParkedTrafficRecord> kept;
    kept.reserve(records.size());
    for (ParkedTrafficRecord& record : records) {
        const std::string& callsign = record.flight.callsign;
        if (stands.count(record.stand) != 0 || (!callsign.empty() && callsigns.count(callsign) != 0))
            continue;
        stands.insert(record.stand);
        if (!callsign.empty())
            callsigns.insert(callsign);
        kept.push_back(std::move(record));
    }
    records = std::move(kept);
}

void ParkedFetch::start()
{
    cancel();
    const ParkAirportSnapshot park = gf_trafficHooks()->parkAirport();
    id_ = reader_->parkedExchange.post(gf_parkedBox(park.position));
    startedAt_ = gf_steadyNow();
}

bool ParkedFetch::ended()
{
    if (!busy())
        return false;
    if (!answer_)
        answer_ = reader_->parkedExchange.collect(id_);
    return answer_ || lf_readerGone(*reader_) || gf_steadyNow() - startedAt_ > PARKED_FETCH_TIMEOUT;
}

void ParkedFetch::cancel()
{
    if (busy())
        reader_->parkedExchange.withdraw(id_);
    id_ = 0;
    answer_.reset();
}

bool ParkedFetch::take(std::vector<ParkedTrafficRecord>& records)
{
    records.clear();
    const bool timedOut = ended() && !answer_ && !lf_readerGone(*reader_);
    std::optional<ParkedAnswer> answer = std::move(answer_);
    // Withdrawn when nothing came, so that a late answer cannot pass for the answer of the next
    // fetch.
    cancel();
    if (!answer) {
        if (timedOut)
            gf_log("ParkedTraffic receiving timed out after 10 seconds");
        return false;
    }
    switch (answer->status) {
    case PARKED_DONE:
        break;
    case PARKED_FAILED:
        return false;
    case 400:
        throw std::runtime_error("RT API parameter fault");
    case 401:
        gf_logWarn(vald::format("RT Parkedtraffic: re-authentication to RT API is needed {}", PROGRAM_ID));
        return false;
    default:
        gf_logWarn(vald::format("RT Parkedtraffic error status: {}", answer->status));
        return false;
    }
    records = std::move(answer->records);
    lf_selectParked(records, gf_halfHourSlot(), RT_PARKTRAFFIC_ONLY.value(), MAX_FIT.value());
    return true;
}

// ---- On the traffic thread ----

void TrafficReader::parkedtraffic(const ParkedRequest& request)
{
    std::int32_t status = PARKED_FAILED;
    parkedRecords.clear();
    try {
        if (guid.empty()) {
            parkedExchange.answer(request.id, PARKED_FAILED, {});
            return;
        }
        const std::string body = gf_parkedTrafficBody(guid, request.box, toffset.load());
        const auto transportWarning = [](const vald::HttpOutcome& outcome) {
            return vald::format("{} curl parkedtraffic code: {}", gf_nowText(), outcome.errorText);
        };
        if (readerRequest(ptcurl_, API_TRAFFIC_PATH, body, readerReply, transportWarning,
                          "parkedtraffic: empty content")) {
            json reply = vald::gf_parseJsonOrDiscarded(readerReply);
            const std::int32_t replyStatus = reply.is_discarded() ? PARKED_FAILED : gf_replyStatus(reply);
            if (reply.is_discarded()) {
                gf_logWarn("parkedtraffic: invalid JSON");
            } else if (replyStatus == 406) {
                gf_logWarn(vald::format("parkedtraffic msg: {}", gf_replyText(reply, "message")));
                status = PARKED_DONE;
            } else if (replyStatus != 200) {
                status = replyStatus;
            } else {
                rrl.store(gf_replyInterval(reply, "rrl"));
                const auto data = reply.find("data");
                if (reply.is_object() && data != reply.end() && !data->is_null() && !data->empty()) {
                    const ParkedFilterSettings settings = gf_parkedFilterSettings();
                    for (auto& [key, value] : data->items()) {
                        parkedLine = std::move(value);
                        processParkedTrafficLine(key, settings);
                    }
                }
                status = PARKED_DONE;
            }
        }
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{}: {}", "parkedtraffic", e.what()));
        status = PARKED_FAILED;
    }
    if (status != PARKED_DONE)
        parkedRecords.clear();
    parkedExchange.answer(request.id, status, std::move(parkedRecords));
    parkedRecords.clear();
}
