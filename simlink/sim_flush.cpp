#include "simlink/sim_flush.hpp"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/time_slots.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/thread_owner.hpp"

namespace {

constexpr std::uint32_t FREEZE_ON = 1;
// How long a creation in doubt (see gf_doubtPendingCreations) may still be answered.
constexpr std::chrono::seconds DOUBTED_CREATION_WAIT{5};
// More unanswered creations than the simulator's object limit means answers are being lost.
constexpr std::size_t PENDING_CREATION_CAPACITY = CREATION_MEMORY_CAPACITY;

static_assert(sizeof(SimPosition) == 64, "the position-set data block is eight doubles");

ThreadOwner pendingOwner("pendingCreations");
std::vector<PendingCreation> pendingCreations;

// The creations forgotten unanswered, as they were pending (tail number for a late object, send
// id for a late refusal), and when they were forgotten (client thread, with the pending ones).
constexpr std::chrono::minutes FORGOTTEN_CREATION_MEMORY = GIVEN_UP_CREATION_MEMORY;
std::vector<ForgottenCreation> forgottenCreations;

void lf_forget(const PendingCreation& entry, SteadyTime now)
{
    std::erase_if(forgottenCreations,
                  [now](const ForgottenCreation& f) { return now - f.forgottenAt >= FORGOTTEN_CREATION_MEMORY; });
    if (forgottenCreations.size() >= PENDING_CREATION_CAPACITY)
        forgottenCreations.erase(forgottenCreations.begin());
    forgottenCreations.push_back(ForgottenCreation{entry, now});
}

// The first creation forgotten within the memory that matches, taken out.
template <typename Match>
std::optional<ForgottenCreation> lf_takeForgotten(Match match)
{
    pendingOwner.assertOwner();
    const SteadyTime now = gf_steadyNow();
    const auto found = std::find_if(forgottenCreations.begin(), forgottenCreations.end(), [&](const ForgottenCreation& f) {
        return match(f) && now - f.forgottenAt < FORGOTTEN_CREATION_MEMORY;
    });
    if (found == forgottenCreations.end())
        return std::nullopt;
    std::optional<ForgottenCreation> taken(std::move(*found));
    forgottenCreations.erase(found);
    return taken;
}

// The frame's packets leave together when the flush is done, whatever way it ends. A batch fails
// only for a connection that is gone, which every request of the frame then reports itself.
class PacketBatch {
public:
    explicit PacketBatch(HANDLE connection) : connection_(connection)
    {
        static_cast<void>(SimConnect_BeginPacketBatch(connection_));
    }
    ~PacketBatch() { static_cast<void>(SimConnect_EndPacketBatch(connection_)); }
    PacketBatch(const PacketBatch&) = delete;
    PacketBatch& operator=(const PacketBatch&) = delete;

private:
    HANDLE connection_;
};

// The frame's positions, built under one hold of the library's lock and written with the rest of
// the frame. The list is the client thread's own, kept from frame to frame (under simSendMutex).
std::vector<SimObjectDatum> framePositions;

void lf_sendPositions(HANDLE connection, std::vector<PositionSetRecord>& positions)
{
    const std::uint32_t userObject = userObjectId.load();
    framePositions.clear();
    for (const PositionSetRecord& record : positions) {
        // The user aircraft and the objects before it are not ours to move.
        if (record.objectId > userObject)
            framePositions.push_back(SimObjectDatum{record.objectId, &record.position});
    }
    // A position holds no text that could be refused here: only a broken connection fails it,
    // and that shows at the next dispatch (one failure, not one per aircraft).
    static_cast<void>(SimConnect_SetDataOnSimObjects(connection, SIM_DEFINE_POSITION_SET, 0, sizeof(SimPosition),
                                                     framePositions.data(), framePositions.size()));
    positions.clear();
}

// FLAPS_SET only works on an aircraft that the simulator's AI does not fly at that moment: it is
// framed by two releases of control. A release fails only on a broken connection, which the
// event itself and the next dispatch report.
void lf_sendClientEvents(HANDLE connection, std::vector<QueuedClientEvent>& events, FlushOutcome& outcome)
{
    for (const QueuedClientEvent& event : events) {
        const bool flaps = event.eventId == FLAPS_SET;
        if (flaps)
            static_cast<void>(SimConnect_AIReleaseControl(connection, event.objectId, SIM_REQUEST_AI_RELEASE));
        if (SimConnect_TransmitClientEvent(connection, event.objectId, event.eventId, event.data,
                                           SIM_NOTIFICATION_GROUP, 0) < 0) {
            outcome.statusTexts.push_back(vald::format("SimConnect TransmitClientEvent: {} fails", event.eventId));
            continue;
        }
        if (flaps)
            static_cast<void>(SimConnect_AIReleaseControl(connection, event.objectId, SIM_REQUEST_AI_RELEASE));
    }
    events.clear();
}

void lf_rememberPending(PendingCreation entry, FlushOutcome& outcome)
{
    pendingOwner.assertOwner();
    if (pendingCreations.size() >= PENDING_CREATION_CAPACITY) {
        const PendingCreation& oldest = pendingCreations.front();
        gf_logWarn(vald::format("Creation of hexid {} never answered, forgotten", oldest.hexid));
        outcome.results.push_back(gf_creationFailedResult(oldest.hexid, CREATION_NOT_ANSWERED, oldest.sendId));
        lf_forget(oldest, gf_steadyNow());
        pendingCreations.erase(pendingCreations.begin());
    }
    pendingCreations.push_back(std::move(entry));
}

}  // namespace

std::vector<PendingCreation>& gf_pendingCreations()
{
    pendingOwner.assertOwner();
    return pendingCreations;
}

void gf_releasePendingCreations()
{
    pendingOwner.release();
    pendingCreations.clear();
    forgottenCreations.clear();
    pendingCreations.reserve(PENDING_CREATION_CAPACITY / 4);
}

SimResult gf_creationFailedResult(std::uint32_t hexid, double why, std::uint32_t sendId)
{
    SimResult failed;
    failed.hexid = hexid;
    failed.kind = SIM_RESULT_CREATION_FAILED;
    failed.value1 = why;
    failed.value2 = sendId;
    return failed;
}

void gf_ageOutPendingCreations(SteadyTime now)
{
    std::vector<PendingCreation>& pending = gf_pendingCreations();
    std::vector<SimResult> forgotten;
    std::erase_if(pending, [now, &forgotten](const PendingCreation& entry) {
        if (now - entry.sentAt < CREATION_GIVE_UP_TIME && now < entry.answerBy)
            return false;
        gf_logWarn(vald::format("Creation of hexid {} ({}) not answered by the simulator, forgotten", entry.hexid,
                                entry.callsign));
        if (entry.hexid != 0)
            forgotten.push_back(gf_creationFailedResult(entry.hexid, CREATION_NOT_ANSWERED, entry.sendId));
        lf_forget(entry, now);
        return true;
    });
    // The engine's record waits for an answer that will not come: it is told, and the flight may
    // come back.
    for (const SimResult& failed : forgotten)
        gf_pushSimResult(failed);
}

void gf_doubtPendingCreations(SteadyTime announcedAt, SteadyTime now)
{
    for (PendingCreation& entry : gf_pendingCreations())
        if (entry.sentAt <= announcedAt)
            entry.answerBy = std::min(entry.answerBy, now + DOUBTED_CREATION_WAIT);
}

std::optional<ObjectAnswer> gf_creationAnsweredBy(const std::string& callsign, std::uint32_t objectId)
{
    if (callsign.empty())
        return std::nullopt;
    std::vector<PendingCreation>& pending = gf_pendingCreations();
    const SteadyTime now = gf_steadyNow();
    const auto unanswered = [&callsign, now](const ForgottenCreation& f) {
        return !f.answered && f.creation.callsign == callsign && now - f.forgottenAt < FORGOTTEN_CREATION_MEMORY;
    };
    const auto samePending = [&callsign](const PendingCreation& entry) { return entry.callsign == callsign; };
    auto oldestPending = std::find_if(pending.begin(), pending.end(), samePending);
    for (auto entry = oldestPending; entry != pending.end(); ++entry)
        if (samePending(*entry) && entry->sentAt < oldestPending->sentAt)
            oldestPending = entry;
    // The engine sends an aircraft again only once its creation given up is lost: an object then
    // answers the newer creation first, pending or given up in its turn, and the lost one only when
    // nothing else waits for one.
    const auto newerOf = [](const ForgottenCreation& f, const PendingCreation& entry) {
        return entry.hexid == f.creation.hexid && entry.callsign == f.creation.callsign &&
               entry.sentAt > f.creation.sentAt;
    };
    const auto sentAgain = [&](const ForgottenCreation& f) {
        return f.creation.hexid != 0 &&
               (std::any_of(pending.begin(), pending.end(),
                            [&](const PendingCreation& entry) { return newerOf(f, entry); }) ||
                std::any_of(forgottenCreations.begin(), forgottenCreations.end(), [&](const ForgottenCreation& other) {
                    return unanswered(other) && newerOf(f, other.creation);
                }));
    };
    const auto oldestOf = [](auto first, auto last, const auto& match) {
        auto oldest = std::find_if(first, last, match);
        for (auto entry = oldest; entry != last; ++entry)
            if (match(*entry) && entry->creation.sentAt < oldest->creation.sentAt)
                oldest = entry;
        return oldest;
    };
    auto oldestForgotten = oldestOf(forgottenCreations.begin(), forgottenCreations.end(),
                                    [&](const ForgottenCreation& f) { return unanswered(f) && !sentAgain(f); });
    if (oldestForgotten == forgottenCreations.end() && oldestPending == pending.end())
        oldestForgotten = oldestOf(forgottenCreations.begin(), forgottenCreations.end(), unanswered);
    const bool late = oldestForgotten != forgottenCreations.end() &&
                      (oldestPending == pending.end() || oldestForgotten->creation.sentAt <= oldestPending->sentAt);
    if (!late && oldestPending == pending.end())
        return std::nullopt;
    ForgottenCreation answered = late ? *oldestForgotten : ForgottenCreation{*oldestPending, now, 0, false, false};
    if (late)
        forgottenCreations.erase(oldestForgotten);
    else
        pending.erase(oldestPending);
    // The object may be another creation's with that tail number: this one stays to be found by
    // its refusal.
    if (std::any_of(pending.begin(), pending.end(), samePending) ||
        std::any_of(forgottenCreations.begin(), forgottenCreations.end(), unanswered)) {
        answered.objectId = objectId;
        lf_forget(answered.creation, now);
        forgottenCreations.back().objectId = objectId;
        forgottenCreations.back().givenUp = answered.givenUp;
        forgottenCreations.back().answered = true;
    }
    return ObjectAnswer{std::move(answered.creation), late};
}

void gf_forgetRemovedObject(std::uint32_t objectId)
{
    pendingOwner.assertOwner();
    for (ForgottenCreation& f : forgottenCreations)
        if (f.objectId == objectId)
            f.objectId = 0;
}

std::optional<ForgottenCreation> gf_takeForgottenBySendId(std::uint32_t sendId)
{
    return lf_takeForgotten([sendId](const ForgottenCreation& f) { return f.creation.sendId == sendId; });
}

void gf_finishFlush(const FlushOutcome& outcome)
{
    for (const SimResult& result : outcome.results)
        gf_pushSimResult(result);
    for (const std::string& text : outcome.statusTexts)
        gf_showStatus(text, true);
    if (outcome.requestFailed)
        gf_simRequestError();
}

void lf_flushSendQueues()
{
    FlushOutcome outcome;
    {
        std::unique_lock<std::mutex> lock(simSendMutex, std::try_to_lock);
        if (!lock.owns_lock())
            return;
        SimSendQueues& queues = gf_simSendQueues();
        if (simRequestErrorFlag.load()) {
            queues.flushBuffer().clear();
            queues.clientEvents.clear();
            queues.creations.clear();
            queues.removals.clear();
            return;
        }
        const HANDLE connection = simConnection.load();
        const PacketBatch batch(connection);
        lf_sendPositions(connection, queues.flushBuffer());
        lf_sendClientEvents(connection, queues.clientEvents, outcome);
        // A failure below fails the link, but the rest of this frame's queues still go.
        for (const CreationRequest& request : queues.creations)
            lf_createAcInSim(request, outcome);
        queues.creations.clear();
        for (const std::uint32_t objectId : queues.removals)
            lf_removeAcFromSim(objectId, outcome);
        queues.removals.clear();
    }
    // Results, status lines and the stop request only once the send mutex is free.
    gf_finishFlush(outcome);
}

void lf_createAcInSim(const CreationRequest& request, FlushOutcome& outcome)
{
    const std::string& title = request.liveryTitle;
    std::uint32_t sendId = 0;
    const HRESULT result = SimConnect_AICreateNonATCAircraft(simConnection.load(), title.c_str(),
                                                             request.tailNumber.c_str(), request.position,
                                                             SIM_REQUEST_AI_CREATE, &sendId);
    if (result >= 0) {
        lf_rememberPending(PendingCreation{sendId, request.hexid, request.tailNumber, gf_steadyNow()}, outcome);
        return;
    }
    if (gf_simRequestRefusedLocally(result)) {
        // A title or callsign that does not fit the packet: this aircraft cannot be created, the
        // link itself is fine. The engine handles it as a creation the simulator refused.
        gf_logWarn(vald::format("! Simcon call to create ac refused, hexid:{}, liv: '{}', callsign: {} "
                                "(title or callsign too long)",
                                request.hexid, title, request.tailNumber));
        outcome.results.push_back(gf_creationFailedResult(request.hexid, CREATION_TITLE_REFUSED));
        return;
    }
    gf_logWarn(vald::format("! Simcon call to create ac in sim failed, hexid:{}, liv: '{}', callsign: {})",
                            request.hexid, title, request.tailNumber));
    simRequestErrorFlag.store(true);
    outcome.requestFailed = true;
}

void lf_removeAcFromSim(std::uint32_t objectId, FlushOutcome& outcome)
{
    if (objectId <= userObjectId.load()) {
        gf_logWarn(vald::format("SimConnect call to remove ac with objectid {}", objectId));
        return;
    }
    if (SimConnect_AIRemoveObject(simConnection.load(), objectId, SIM_REQUEST_AI_REMOVE) >= 0)
        return;
    gf_logWarn(vald::format("{} !SimConnect call to remove AI ac from sim failed, id {}?", gf_timeOfDayText(),
                            objectId));
    simRequestErrorFlag.store(true);
    outcome.requestFailed = true;
}

void lf_releaseAndFreeze(std::uint32_t objectId)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    // Fails only on a broken connection, which the next dispatch reports.
    static_cast<void>(SimConnect_AIReleaseControl(simConnection.load(), objectId, SIM_REQUEST_AI_RELEASE));
    for (const std::uint32_t freeze : {FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET})
        lf_pushClientEvent(QueuedClientEvent{objectId, freeze, FREEZE_ON});
}
