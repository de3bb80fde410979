#pragma once
// The creations on their way, from placement to answer: what the engine will ask the simulator
// to make, what it has asked and not yet seen answered, and what it keeps of a creation the
// simulator client gave up unanswered. The containers are this file's own, changed only through
// the operations below; a function that counts or finds changes none of them.
//
// What waits, and who changes it:
// - A live creation waits first as its hexid on the adding stack, placed there by the spawn step
//   (gf_placeLiveCreation); the tick driver has the request made from the flight's record once a
//   tick (gf_serveAddingStack), into the live creation queue, and the first handed to the
//   simulator client at each creation slot, one per 50 ticks (gf_handOnCreation), passing over an
//   aircraft whose creation given up may still be answered (gf_givenUpMayBeAnswered): it waits in
//   the queue for that answer, which takes its place (a live flight that keeps its place for that
//   answer is not placed at all; one placed all the same, its kept place taken by a nearer newcomer
//   or away for a respawn, waits here). While it waits,
//   the respawn check renews it with the flight's present name and livery
//   (lf_renewWaitingCreation) or has it withdrawn (with GUID_CHANGES on; off, it goes as it was
//   placed); a removal, a lowered live limit, or a late object taken for the same flight
//   withdraws it (gf_withdrawCreation). Static creations wait in the static creation queue,
//   placed by the static parking step (gf_placeStaticCreation) and withdrawn by a removal, a late
//   answer or a live aircraft that takes the stand.
// - Each creation handed on is noted with its tick until it is answered in time or given up: the
//   results drain tells which (gf_noteAnswerInTime, gf_noteGivenUp), and the time an answer took
//   teaches engine/creation_answers the allowance, how long a creation given up may still be
//   answered.
// - The live limit (MAX_LIVE_SEL) counts what holds a place and what is on its way to one
//   (gf_liveCount, with the kinds it counts). At the limit a newcomer nearer than a shown aircraft
//   is placed while that one stays (gf_noteHandOver): the place changes hands when the newcomer is
//   shown, and until then the two count once. The results drain then has the farthest go (the
//   removals' gf_trimShownToLimit). A flight whose creation the client gave up keeps its place
//   while that creation may still be answered (gf_holdsKeptPlace; a hand-over that waited for it
//   goes on): the spawn step holds its record in buffer for the late object, a farther newcomer is
//   not let in, a newcomer more than 0.1 nm nearer takes the place at once (gf_placeToTake,
//   gf_takePlace), and a lowered limit lets the farthest go, with the creations that wait to be
//   sent, all in one pass (gf_placesToGive, gf_releaseKeptPlace). A count, a choice or the list of
//   what may go walks the live records once, finding there the records of the flights that keep a
//   place or take part in a hand-over; it searches no record for each of them.
// - A creation the client gave up unanswered (it may have been an object the simulator removed
//   before it could be described) is one record here, noted by the results drain with its send
//   tick and what it was sent as while its aircraft waited for it (gf_noteGivenUp); of one whose
//   aircraft had gone or was shown already nothing is kept, its late answer being one too many.
//   The live flight's record that the give-up erases is kept (gf_keepGivenUp), and a static one
//   waits to be made again by the static parking step. A slow simulator still answers it later:
//   the results drain notes the answer (gf_noteAnswerLate: it is no longer awaited, and its time
//   is learned), asks here what the object is (gf_judgeLateLive: what a prompt answer would have
//   given; a kept record whose data has ended in the air, asked of engine/data_clock, is not
//   brought back), places the record where the flight is now and acts on it, or removes the object
//   as one too many. A record dropped for now takes the newer points and newest report of its
//   flight into the record kept (gf_keptLiveTakesNewerPoints).
//
// When it is forgotten: a waiting creation once it is handed to the client or withdrawn; a
// creation handed on once it is answered or given up. A hand-over no longer counts once the
// newcomer is shown or either of the two has gone, and is forgotten once a tick
// (gf_tidyCreations), or at once when the newcomer is placed anew or the place it kept is taken.
// A creation given up once it is answered, made or refused, and after GIVEN_UP_CREATION_MEMORY
// (10 minutes, as long as the client remembers the creation: no answer comes later); one answered
// late by an object is kept as long, for a refusal that may still name it. A kept live record once
// it is taken, replaced by the flight's next give-up, or after the same ten minutes, and once the
// flight's aircraft is shown through any creation (one answered in time, or a late one taken) or
// the flight is removed (its record erased for good: withdrawn, its object removed, blocked by the
// user, dropped for any reason but two). The give-up itself, which erases the record until the
// flight's next traffic record, is no removal, and neither is a record dropped for now (its data
// ran out, or at the live limit there was no place for it): the kept record takes its newer
// points. The creations given up before the flight was shown or removed are superseded: their late
// objects are one too many even when a later creation of the flight is given up and its record
// kept. A kept record whose flight's data has ended in the air (its last point due more than a
// minute ago, nothing come since) is no aircraft to show either; one whose data ended on the
// ground stands where it ended. A static one once it is taken or the statics leave the park
// airport. What has aged past the memory is forgotten by the once-a-tick step, and past
// CREATION_MEMORY_CAPACITY (1,000, as the client keeps) at once the oldest go. Everything at a new
// run.
//
// Worker thread only. The files that ask it (the spawn step, the tick driver, the respawn check,
// the removals, the results drain, the static parking step and the live aircraft that take a
// stand) include this one; it includes none of them.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "engine/aircraft_records.hpp"
#include "simlink/sim_records.hpp"

using CreationQueue = std::deque<CreationRequest>;

// Placing: a live aircraft placed by the spawn step waits as its hexid on the adding stack. A
// place promised to it before, while it waited for a creation of its own, is no longer promised:
// the spawn step notes the place it takes now after placing it.
void gf_placeLiveCreation(std::uint32_t hexid);
// Placing: a static aircraft's request waits in the static creation queue (static parking step).
void gf_placeStaticCreation(const CreationRequest& request);
// Serving, once a tick: the last hexid placed becomes a request made from its record (position,
// callsign, livery) at the back of the live creation queue, at the front for an aircraft that
// respawns (it is missing from the simulator meanwhile). A hexid without a record is dropped;
// one without a callsign is dropped with a warning.
void gf_serveAddingStack();
// Handing on, at a creation slot: the front live creation, or else the front static one, goes to
// the simulator client, passing over those held back while a creation of the same aircraft given
// up may still be answered (gf_givenUpMayBeAnswered); it is noted with its tick until it is
// answered or given up. True when a live one went (the slot is used).
[[nodiscard]] bool gf_handOnCreation();
// Withdrawing: every creation of the aircraft with this hexid that waits, on the adding stack or in
// a creation queue, is taken out, keeping the order of the others; true when one was. (Two
// flights may share a callsign; the hexid is the record's key.)
[[nodiscard]] bool gf_withdrawCreation(std::uint32_t hexid);
// A waiting creation takes the aircraft's present name and livery: its queued request in its
// place; one still on the adding stack has its request made from the record when it is served.
void lf_renewWaitingCreation(const LiveAircraft& aircraft);

// The creation of the aircraft with this hexid waits here, not yet handed to the simulator
// client: its hexid on the adding stack or its request in the live creation queue.
[[nodiscard]] bool gf_creationWaits(std::uint32_t hexid);
// Live creation requests waiting in the live creation queue to be sent.
[[nodiscard]] std::size_t gf_liveCreationsQueued();
// The live creations on their way: waiting to be sent, or sent and not yet active.
[[nodiscard]] std::size_t gf_creationsUnderWay();

// At the live limit a newcomer nearer than a shown aircraft is placed while that aircraft stays:
// the place changes hands when the newcomer is shown (its object is there), and the aircraft that
// gave its place up goes then. Until then the two count as one. A hand-over ends when the
// newcomer is shown, or when either has gone (the newcomer's creation withdrawn, refused, or given
// up once its kept place no longer holds; the other removed), and the place is the other's again:
// it no longer counts from then on, and is forgotten by the once-a-tick step (gf_tidyCreations).
void gf_noteHandOver(std::uint32_t newcomer, std::uint32_t giver);
// The aircraft has promised its place to a newcomer still on its way.
[[nodiscard]] bool gf_givesWay(std::uint32_t hexid);
// The active live aircraft found farthest from the user beyond distanceNm (each step must be more
// than 0.1 nm farther than the best so far), with givingWay those that promised their place as
// well; nullptr when there is none.
[[nodiscard]] LiveAircraft* gf_farthestActiveBeyond(double distanceNm, bool givingWay);

// A flight whose creation was given up keeps its place at the live limit while that creation may
// still be answered (gf_givenUpMayBeAnswered): its late object is its aircraft. Not once its own
// record counts again (placed anew, or shown), its data has ended in the air, or a nearer newcomer
// took the place; the place itself is not promised to it. Asked of the flight's record, as the
// spawn step has it, or of the flight's hexid alone (its record, if any, then found first).
[[nodiscard]] bool gf_holdsKeptPlace(const LiveAircraft& flight);
[[nodiscard]] bool gf_holdsKeptPlace(std::uint32_t hexid);
// The place a newcomer at distanceNm may take at the live limit: that of the farthest, by more than
// 0.1 nm, of the active aircraft that have not promised theirs (giverHexid) and the kept places
// (keptHexid); neither when none is farther.
struct PlaceToTake {
    std::uint32_t giverHexid = 0;
    std::uint32_t keptHexid = 0;
    explicit operator bool() const { return giverHexid != 0 || keptHexid != 0; }
};
[[nodiscard]] PlaceToTake gf_placeToTake(double distanceNm);
// The newcomer takes it: a shown aircraft's place by a hand-over; a kept place at once (a hand-over
// that waited for the flight that kept it ends). That flight's late object is then judged as any
// other's.
void gf_takePlace(std::uint32_t newcomer, const PlaceToTake& place);
// The flight no longer keeps its place (taken, or the live limit lowered); a hand-over that waited
// for it ends.
void gf_releaseKeptPlace(std::uint32_t hexid);
// What a lowered live limit lets go (the removals' lf_limitLiveCount), the farthest first: the
// creations that wait to be sent, by their records (where the aircraft was placed), and the kept
// places (where the flight is now), each with what the live count loses when it goes: one, or none
// for a newcomer promised a place by a hand-over (the aircraft that promised it counts again). A
// creation and a kept place as far away go in that order; of two creations, the first in the list.
struct PlaceToGive {
    LiveAircraft* waiting = nullptr;  // a creation waiting to be sent: its record
    std::uint32_t keptHexid = 0;      // else a kept place: its flight
    double distanceNm = 0.0;
    std::size_t counted = 1;
};
[[nodiscard]] std::vector<PlaceToGive> gf_placesToGive();

// What the live limit (MAX_LIVE_SEL) counts, when a newcomer is let in and when the limit is
// lowered: the aircraft shown (active, or answered and waiting to be released), those away for a
// respawn (they keep their place), the creations on their way (waiting to be sent, or sent and
// not answered) and the kept places, less the hand-overs under way.
[[nodiscard]] std::size_t gf_liveCount();
// The aircraft that hold a place in the simulator: shown, or away for a respawn. More than the
// limit only between a newcomer's object and the removal of the aircraft whose place it takes.
[[nodiscard]] std::size_t gf_shownCount();

// Once per process: room on the adding stack.
void gf_reserveCreationQueues();
// Nothing waits: a new run.
void gf_resetCreationQueues();
// Once a tick, before the results are drained (a second call in the same tick does nothing): the
// hand-overs that are over are forgotten, and so are the creations handed on, given up or kept
// that have aged past the client's memory; engine/creation_answers forgets its old answer times.
void gf_tidyCreations();

// For tests, which set the waiting creations up and look at them directly.
struct WaitingCreations {
    std::vector<std::uint32_t> addingStack;  // hexids; the last is served first
    CreationQueue live;
    CreationQueue statics;
};
[[nodiscard]] WaitingCreations& gf_waitingCreationsForTest();

// Answers: the oldest creation of the aircraft handed on was answered in time, made or refused;
// timed: the answer measures the simulator's time, which engine/creation_answers learns.
void gf_noteAnswerInTime(std::uint32_t hexid, bool timed);

// What a creation given up was sent as: the flight's name and livery then, and whether the
// flight had changed after it was sent (renamed, or another airframe), so that its object shows
// it as it was. Kept as long as the client remembers the creation: a late answer, made or
// refused, is known for what it is even when the flight's record has gone.
struct GivenUpCreation {
    std::uint32_t hexid = 0;
    std::uint32_t sendId = 0;  // of the creation's packet: the late answer names it by this
    FlightIdentity identity;
    std::string liveryTitle;
    bool outdated = false;         // changed after it was sent: the object is to respawn
    bool outdatedLivery = false;   // ... with a new livery
    Tick givenUpAt = 0;
    // When it was handed on, while its answer is awaited; nothing once answered, or when its
    // handing on was not seen (then it is never awaited).
    std::optional<Tick> sentAt = std::nullopt;
    // The late object taken as it while another creation of the flight given up was unanswered:
    // the object is matched by its tail number only, so the simulator may still refuse this one,
    // and the object is then the other's. With the flight's respawn flags from before.
    std::uint32_t objectId = 0;
    bool respawnDueBefore = false;
    bool respawnNewLiveryBefore = false;
    // The flight's aircraft was shown, or the flight removed, after this was given up: its late
    // object is one too many, even once a later creation of the flight is given up and kept.
    bool superseded = false;
};
// The client gave the oldest creation of the aircraft handed on up: it is no longer on its way.
// While its aircraft waited for it, it is kept as given up, as it was sent (sentAs, with its send
// id; the send tick added here); nothing is kept of one whose aircraft has gone or is shown.
void gf_noteGivenUp(std::uint32_t hexid, std::optional<GivenUpCreation> sentAs);
// The creation given up with that send id was answered after all (made or refused): no longer
// awaited; timed: its answer time is learned.
void gf_noteAnswerLate(std::uint32_t hexid, std::uint32_t sendId, bool timed);
// A creation of the aircraft given up may still be answered: awaited, and sent within the
// allowance (engine/creation_answers). No other creation of it goes meanwhile.
[[nodiscard]] bool gf_givenUpMayBeAnswered(std::uint32_t hexid);
// The creation given up with that hexid and send id, taken out: it has been answered.
[[nodiscard]] std::optional<GivenUpCreation> gf_takeGivenUpCreation(std::uint32_t hexid, std::uint32_t sendId);
// A late object (creation.objectId) answered the creation, taken out above: the creation is kept
// as answered, for a refusal that may still come (the object is matched by its tail number only;
// the client then passes it on to another creation and says which).
void gf_keepAnsweredForRefusal(GivenUpCreation creation);

// A live aircraft's creation was given up; the caller erases its record. Kept for ten minutes,
// as long as the client remembers the creation.
void gf_keepGivenUp(const LiveAircraft& aircraft);
// The record takes the points of the newer one of its flight that come after its own, and its
// newer record time.
void gf_takeNewerPoints(LiveAircraft& record, const LiveAircraft& newer);
// The flight's record dropped for now: the record kept of it, if any, takes its newer points.
void gf_keptLiveTakesNewerPoints(const LiveAircraft& dropped);
// The live record given up with that hexid, taken out; nothing when none is kept.
[[nodiscard]] std::optional<LiveAircraft> gf_takeGivenUpLive(std::uint32_t hexid);
// The flight's aircraft is shown, or the flight is removed: a late answer to a creation of it given
// up so far is nobody's aircraft (the record kept goes, the creations are superseded).
void gf_forgetGivenUpLive(std::uint32_t hexid);

// What a live creation given up and answered late is: what a prompt answer would have given. The
// object is the flight's aircraft while the flight still wants one: the record given up is kept
// (no aircraft of it has been shown since, it was not removed, nor has its data ended in the air;
// a record dropped for now is no removal, and data ended on the ground leave it standing there).
// Then the flight's record that waits for a creation of its own takes the object in its place
// (inPlaceOfCreation: that creation is to be withdrawn while it waits to be sent), or the record
// given up comes back (bringBack; with what the flight received meanwhile when it waits in buffer
// again: joinBuffered) as one more aircraft shown, each by the nearest-first rule: into a free
// place, or into the place of an aircraft farther away. Otherwise it is one too many; a flight that
// waits for a creation of its own and is no longer nearer than a shown aircraft is past the limit
// (beyondLimit): its creation would only be made to be removed. The caller places the record where
// the flight is now; where that fails, the object is one too many after all.
struct LateLiveVerdict {
    enum class Kind { oneTooMany, bringBack, joinBuffered, inPlaceOfCreation, beyondLimit };
    Kind kind = Kind::oneTooMany;
    std::optional<GivenUpCreation> shown;  // the creation answered, with the object; when still noted
    std::optional<LiveAircraft> kept;      // the record given up, for bringBack and joinBuffered
    std::string name;                      // the flight, as the log names it
};
[[nodiscard]] LateLiveVerdict gf_judgeLateLive(std::uint32_t hexid, std::uint32_t sendId, std::uint32_t objectId);

// A static aircraft's creation was given up; the caller erases its record. It waits to be made
// again by the next static parking step.
void gf_keepGivenUp(const StaticAircraft& aircraft);
bool gf_givenUpStaticWaits();
// The static given up with that hexid, taken out; nothing when none waits.
[[nodiscard]] std::optional<StaticAircraft> gf_takeGivenUpStatic(std::uint32_t hexid);
// The one given up first that may be made again now, taken out; nothing when none may. One whose
// creation was given up while an earlier one of it was still unanswered waits for an answer (or
// until that creation is forgotten): a simulator that slow is not sent more than it answers.
[[nodiscard]] std::optional<StaticAircraft> gf_takeFirstGivenUpStatic();
// The statics leave the park airport: none is made again.
void gf_forgetGivenUpStatics();

// Nothing kept: a new run.
void gf_resetGivenUpCreations();
