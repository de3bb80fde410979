#include "simlink/sim_queues.hpp"

#include <algorithm>

#include "simlink/sim_state.hpp"

std::mutex simSendMutex;

namespace {

constexpr std::size_t SEND_QUEUE_CAPACITY = 256;
constexpr float FRAME_RATE_WORTH_WAITING_FOR = 50.0F;

SimSendQueues sendQueues;

std::mutex simResultMutex;
std::vector<SimResult> simResults;  // guarded by simResultMutex

// Holds simSendMutex.
void lf_swapLocked()
{
    sendQueues.fillIndex = 1 - sendQueues.fillIndex;
    sendQueues.fillBuffer().clear();
}

}  // namespace

SimSendQueues& gf_simSendQueues() { return sendQueues; }

void gf_queueCreateAc(const CreationRequest& request)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    sendQueues.creations.push_back(request);
}

void gf_queueRemoveAc(std::uint32_t objectId)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    sendQueues.removals.push_back(objectId);
}

void gf_queueClientEvent(const QueuedClientEvent& event)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    lf_pushClientEvent(event);
}

void gf_setLights(std::uint32_t objectId, const std::array<std::uint32_t, 7>& values)
{
    static constexpr std::array<std::uint32_t, 7> lightEvents{
        NAV_LIGHTS_SET, BEACON_LIGHTS_SET, LANDING_LIGHTS_SET, TAXI_LIGHTS_SET,
        STROBES_SET,    LOGO_LIGHTS_SET,   CABIN_LIGHTS_SET,
    };
    std::lock_guard<std::mutex> lock(simSendMutex);
    for (std::size_t i = 0; i < lightEvents.size(); ++i)
        lf_pushClientEvent(QueuedClientEvent{objectId, lightEvents[i], values[i]});
}

void gf_setCabinLights(std::uint32_t objectId, std::uint32_t value)
{
    gf_queueClientEvent(QueuedClientEvent{objectId, CABIN_LIGHTS_SET, value});
}

void lf_pushClientEvent(const QueuedClientEvent& event) { sendQueues.clientEvents.push_back(event); }

bool gf_freezeQueued(std::uint32_t objectId)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    return std::any_of(sendQueues.clientEvents.begin(), sendQueues.clientEvents.end(),
                       [objectId](const QueuedClientEvent& event) {
                           return event.objectId == objectId && (event.eventId == FREEZE_LATITUDE_LONGITUDE_SET ||
                                                                 event.eventId == FREEZE_ALTITUDE_SET ||
                                                                 event.eventId == FREEZE_ATTITUDE_SET);
                       });
}

std::vector<PositionSetRecord>& gf_positionFillBuffer() { return sendQueues.fillBuffer(); }

void gf_swapPositionBuffers()
{
    std::unique_lock<std::mutex> lock(simSendMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        if (simFrameRate.load() <= FRAME_RATE_WORTH_WAITING_FOR) {
            sendQueues.fillBuffer().clear();
            return;
        }
        lock.lock();
    }
    lf_swapLocked();
}

void gf_clearPositionBuffers()
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    sendQueues.positions[0].clear();
    sendQueues.positions[1].clear();
}

void gf_reserveSimSendQueues()
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    for (auto& buffer : sendQueues.positions)
        buffer.reserve(SEND_QUEUE_CAPACITY);
    sendQueues.clientEvents.reserve(SEND_QUEUE_CAPACITY);
    sendQueues.creations.reserve(SEND_QUEUE_CAPACITY);
    sendQueues.removals.reserve(SEND_QUEUE_CAPACITY);
}

void gf_resetSimSendQueues()
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    for (auto& buffer : sendQueues.positions)
        buffer.clear();
    sendQueues.fillIndex = 0;
    sendQueues.clientEvents.clear();
    sendQueues.creations.clear();
    sendQueues.removals.clear();
}

void gf_pushSimResult(const SimResult& result)
{
    std::lock_guard<std::mutex> lock(simResultMutex);
    simResults.push_back(result);
}

void gf_drainSimResults(const std::function<void(const SimResult&)>& handle)
{
    // Taken out under the lock and handled without it: a handler may queue a creation or a
    // removal, and the client thread may push a result meanwhile. Two vectors change roles at
    // each drain, so neither gives up its room.
    thread_local std::vector<SimResult> taken;
    taken.clear();
    {
        std::lock_guard<std::mutex> lock(simResultMutex);
        taken.swap(simResults);
    }
    for (const SimResult& result : taken)
        handle(result);
    taken.clear();
}

void gf_reserveSimResults(std::size_t capacity)
{
    std::lock_guard<std::mutex> lock(simResultMutex);
    simResults.reserve(capacity);
}

void gf_clearSimResults()
{
    std::lock_guard<std::mutex> lock(simResultMutex);
    simResults.clear();
}
