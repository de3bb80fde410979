#pragma once
// Every removal of an aircraft of the program goes through removeAircraftFromSim, whatever the
// reason; what it does depends on how far the record has come in its life cycle. Records are
// never erased here: a buffered or withdrawn one goes at the next update of the live aircraft,
// one in the simulator when the simulator reports it removed. The live limit, lowered, is held
// here too (lf_limitLiveCount): what may go is listed by engine/creation_queue, the farthest first.
#include <cstdint>
#include <string>

#include "engine/aircraft_records.hpp"
#include "engine/engine_state.hpp"

// buffer: skip flag. adding2sim: its waiting creation is withdrawn (dequeued flag), or, when the
// simulator has it already, it is removed once created. In the simulator: state removingfromsim
// and its object id queued for removal. Nothing once removeWhenCreated is set.
void removeAircraftFromSim(StaticAircraft& aircraft);
// A live aircraft also gives up the stand it holds.
void removeAircraftFromSim(LiveAircraft& aircraft);
// The aircraft stands on its stand and has not begun to leave it: the stand's occupied mark is
// its own. One that left gave the stand up then, and another aircraft may stand there now.
bool gf_holdsStand(const LiveAircraft& aircraft);

// Removes the active live aircraft found farthest from the user beyond distanceNm
// (gf_farthestActiveBeyond); true when there was none.
[[nodiscard]] bool lf_removeFarthest(double distanceNm);
// The live aircraft in state active.
std::size_t gf_activeLiveCount();
// MAX_LIVE_SEL was lowered (or the parking wants fewer): counted as when a newcomer is let in,
// the creations beyond it that still wait to be sent are withdrawn and the places kept for
// creations given up let go, the farthest first, in one pass (gf_placesToGive), and the aircraft
// shown beyond it go, the farthest first; once the creations sent are answered, the farthest go as
// each is shown, until the limit holds.
void lf_limitLiveCount();
// A newcomer is shown: while more aircraft hold a place than MAX_LIVE_SEL, the farthest active one
// goes (the one that gave its place up to it, unless another lies farther by now).
void gf_trimShownToLimit();

// Every static aircraft leaves: active ones are removed from the simulator, waiting ones taken
// out of the static creation queue (erased), those already with the simulator removed once created;
// those whose creation was given up are not made again.
void lf_sweepStaticAircraft();

// Erases the live records dropped from the buffer (skip) or whose creation was withdrawn
// (dequeued); one that still held its stand frees it. The flight is removed: what was kept of a
// creation of it given up goes.
void lf_eraseDroppedLive();

// The simulator reports an object removed: a live aircraft removed for a livery change goes back
// to buffer; any other record with that object id is erased (with its flight plan). What was kept
// of a creation of its flight given up was forgotten when it was shown: none of its creations is
// given up while it has its object.
void lf_onObjectRemoved(std::uint32_t objectId);
// The user blocked the flight: from the buffer it is skipped, in the simulator it is removed; a
// creation of it that was given up is no longer its aircraft when answered late.
void lf_removeBlocked(std::uint32_t hexid);
