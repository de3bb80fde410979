#pragma once
// Aircraft whose creation the simulator client gave up unanswered. The client gives a creation up
// when it may have been an object that the simulator removed before it could be described; a
// slow simulator still answers it later. The flight comes back as after any creation that failed
// (a live one with its next traffic record, a static one at the next static parking step), and
// the record given up waits here, so that a late answer can still become the flight's aircraft
// (lf_processSimResults decides). Worker thread only.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/aircraft_records.hpp"

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
    // The late object taken as it while another creation of the flight given up was unanswered:
    // the object is matched by its tail number only, so the simulator may still refuse this one,
    // and the object is then the other's. With the flight's respawn flags from before.
    std::uint32_t objectId = 0;
    bool respawnDueBefore = false;
    bool respawnNewLiveryBefore = false;
};
// A creation was given up (the flight's record may be kept as well, below).
void gf_noteGivenUp(GivenUpCreation creation);
// The creation given up with that hexid and send id, taken out: it has been answered.
[[nodiscard]] std::optional<GivenUpCreation> gf_takeGivenUpCreation(std::uint32_t hexid, std::uint32_t sendId);
// A late object (creation.objectId) was taken as the creation, taken out above: while another of
// the flight is unanswered the creation is kept, for its refusal that may still come.
void gf_noteAnsweredLate(GivenUpCreation creation);
// The creation refused late had been taken as its late object: the flight's next creation given
// up is that object's, taken out, or kept with the object while yet another is unanswered.
[[nodiscard]] std::optional<GivenUpCreation> gf_passLateObjectOn(const GivenUpCreation& refused);

// A live aircraft's creation was given up; the caller erases its record. Kept for ten minutes,
// as long as the client remembers the creation.
void gf_keepGivenUp(const LiveAircraft& aircraft);
// The live record given up with that hexid, taken out; nothing when none is kept.
[[nodiscard]] std::optional<LiveAircraft> gf_takeGivenUpLive(std::uint32_t hexid);
// The user blocked the flight: a late answer is nobody's aircraft.
void gf_forgetGivenUpLive(std::uint32_t hexid);

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
