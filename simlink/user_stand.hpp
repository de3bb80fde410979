#pragma once
// The stand under the user aircraft. The stands and the park-airport list belong to the worker
// thread, which rebuilds them at any time; the client thread therefore never looks at them. It
// posts what it needs (a new user position to look up, the stand to remember as the user's
// reserved stand), and the worker serves those posts with gf_serveUserStand. Other threads read
// the answer the worker published.
#include <string>

// Client thread: the user aircraft reported a new position.
void lf_postUserStandLookup();
// Client thread: remember the stand where the user stands now as the reserved stand of the park
// airport (on a new flight, a new flight file and at the end of the client thread). Only when the
// user's on-ground state is known and the aircraft is not moving (2 kt at most); the position is
// taken now, the stand is looked up when the worker serves the post.
void lf_postLearnUserStand();

// Worker thread: serves what the client thread posted. Looks up the stand at the user's new
// position (publishing it and showing it in the window when it changed) and hands a stand to be
// remembered to the park-airport list. Call it every tick, also while the flight is paused, and
// once more after the client thread has ended.
void gf_serveUserStand();

// Any thread: the stand under the user aircraft as the worker last found it; empty when none or
// when the aircraft is not on the ground.
std::string gf_userStandName();

// Worker thread, before a run: nothing posted, no stand known.
void gf_resetUserStand();
