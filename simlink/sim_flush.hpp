#pragma once
// The client thread's side of the send queues: everything the worker queued is sent at the start
// of the next simulator frame, and creations stay pending until the simulator reports the new
// object or refuses it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/clock.hpp"
#include "simlink/sim_records.hpp"

// The frame flush, on every frame event. It never waits: when the worker holds simSendMutex the
// frame is skipped and everything stays queued for the next one. With the request-error flag set
// the queues are emptied without sending anything.
void lf_flushSendQueues();

// What a flush leaves to do once simSendMutex is free: results to hand the engine, status lines
// to show, and a failed request (the link is given up: gf_simRequestError).
struct FlushOutcome {
    std::vector<SimResult> results;
    std::vector<std::string> statusTexts;
    bool requestFailed = false;
};
// Hands the outcome on; the send mutex must not be held.
void gf_finishFlush(const FlushOutcome& outcome);

// One creation and one removal (simSendMutex held, client thread). A failed request sets the
// request-error flag at once, so that nothing more is sent.
void lf_createAcInSim(const CreationRequest& request, FlushOutcome& outcome);
void lf_removeAcFromSim(std::uint32_t objectId, FlushOutcome& outcome);

// A created aircraft was recognised: AI release control is sent at once and the three freeze
// events are queued, all under simSendMutex (client thread).
void lf_releaseAndFreeze(std::uint32_t objectId);

// Creations sent and not yet answered, in the order sent. Owned by the client thread: the first
// thread to touch the list after gf_releasePendingCreations owns it.
std::vector<PendingCreation>& gf_pendingCreations();
// Emptied and free for the next owner (the start of a client thread).
void gf_releasePendingCreations();
// Forgets the creations sent more than two minutes before now, or past their answerBy, and never
// answered; the engine hears of each as a failed creation, not the title's fault. No lock may be
// held.
void gf_ageOutPendingCreations(SteadyTime now);
// An object announced at announcedAt went before it was described: each creation sent by then
// and still unanswered may have been it, and is forgotten unless answered within a few seconds
// (its own object is described as soon as it is announced).
void gf_doubtPendingCreations(SteadyTime announcedAt, SteadyTime now);
// A creation forgotten unanswered, and when; objectId: the late object taken as it while another
// creation forgotten with its tail number was unanswered, which may have been that object's.
struct ForgottenCreation {
    PendingCreation creation;
    SteadyTime forgottenAt{};
    std::uint32_t objectId = 0;
};
// The first creation forgotten unanswered (within the last ten minutes) with this tail number,
// taken out of the memory as answered by the object; nothing when none. An object that still
// comes with it is ours: a slow simulator answers late what was given up. Each forgotten creation
// answers once. While another with that tail number is unanswered it is remembered, with the
// object, for a refusal that may still name it: the object is then the other one's.
std::optional<PendingCreation> gf_takeForgottenCreation(const std::string& callsign, std::uint32_t objectId);
// The same for a refusal, which names the creation by the send id of its packet.
std::optional<ForgottenCreation> gf_takeForgottenBySendId(std::uint32_t sendId);
// The result that tells the engine a creation failed; one given up unanswered carries its send id.
SimResult gf_creationFailedResult(std::uint32_t hexid, double why, std::uint32_t sendId = 0);
