#pragma once
// The client thread's side of the send queues: everything the worker queued is sent at the start
// of the next simulator frame, and creations stay pending until the simulator reports the new
// object or refuses it, or are given up past their time-out and then remembered for ten minutes
// (FORGOTTEN_CREATION_MEMORY) for a late answer or refusal. An object is matched to a creation by
// its tail number (gf_creationAnsweredBy): the oldest unanswered, except that a creation given up
// whose aircraft was sent again since is lost and answered last; an object the simulator removed
// is forgotten by every creation remembered with it (gf_forgetRemovedObject), never passed on.
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
// A creation forgotten unanswered (givenUp), or one answered by an object that may have been
// another's (below), and when; objectId: the object taken as it, 0 once the simulator removed it
// (a removed object is nobody's to pass on).
struct ForgottenCreation {
    PendingCreation creation;
    SteadyTime forgottenAt{};
    std::uint32_t objectId = 0;
    bool givenUp = true;    // false: answered in time, by an object that may have been another's
    bool answered = false;  // an object was taken as it: kept only for a refusal that may name it
};
// The creation an object with this ATC ID answers: the oldest one unanswered with that tail
// number, pending or forgotten unanswered within the last ten minutes (a simulator answers
// creations in the order sent; a slow one answers late what was given up), taken out; late when
// it had been forgotten. A creation given up whose aircraft was sent again since is lost (the
// engine sends it again only then): it is answered only when no other creation with that tail
// number waits, so that it does not take the newer creation's answer, pending or given up too. Nothing when none: the object is not ours. Objects are told from each
// other by their tail number only: while another creation with it is unanswered, the one answered
// is remembered with the object, for a refusal that may still name it; the object then answers the
// next one (gf_creationAnsweredBy again, by the refused one's tail number).
struct ObjectAnswer {
    PendingCreation creation;
    bool late = false;
};
std::optional<ObjectAnswer> gf_creationAnsweredBy(const std::string& callsign, std::uint32_t objectId);
// The simulator removed this object: no creation remembered with it holds it any longer, so that a
// refusal of one of them passes nothing on.
void gf_forgetRemovedObject(std::uint32_t objectId);
// A refusal of a creation no longer pending names it by the send id of its packet: the one
// forgotten or answered with that send id, taken out.
std::optional<ForgottenCreation> gf_takeForgottenBySendId(std::uint32_t sendId);
// The result that tells the engine a creation failed; one given up unanswered carries its send id.
SimResult gf_creationFailedResult(std::uint32_t hexid, double why, std::uint32_t sendId = 0);
