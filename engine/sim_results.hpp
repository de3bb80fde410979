#pragma once
// What the simulator reports about the program's aircraft, drained once per tick: created
// aircraft get their object id and wait 200 ticks before they are released, and a newcomer shown
// at the live limit has the farthest aircraft go (the place changes hands); an object of a flight
// shown already is removed as one too many. Removed objects are erased; the aircraft around the
// user give their ground altitude and touchdown; the centre of gravity fixes how high and at which
// pitch an aircraft stands; blocked flights are taken out. A refused creation takes its record out
// (its title not offered again when the title was refused; one given up unanswered is kept for its
// late answer); a refusal of a flight shown by an object taken as another of its creations still
// refuses the title. A late answer to a creation given up is judged by creation_queue
// (gf_judgeLateLive) and applied here: the record is placed where its flight is now by the spawn
// step's rules, its object moved there once its freeze events have gone (never a position before
// them, as for a prompt answer), or the object is removed as one too many. Each answer, in time or
// late, and each give-up is told to creation_queue, which keeps the creations given up and has
// engine/creation_answers learn the simulator's answer time. Before it drains, creation_queue's
// once-a-tick step forgets what is over or too old. An
// object that the client passes on from a creation refused since to another with its tail number
// is that creation's answer; a flight that held it gives it up.
#include "engine/aircraft_records.hpp"

// Ticks a created aircraft waits before it is released, and the two light toggles on the way.
inline constexpr std::int32_t CREATION_DELAY_TICKS = 200;

// Drains the result queue (every tick, and while the flight is not running), then finishes the
// creations that have waited long enough.
void lf_processSimResults();
// One tick of the creations waiting on the deferred list.
void lf_finishCreation();
