#pragma once
// The static parking step: one planned park position at a time becomes a static aircraft with a
// creation request, in a 50-tick slot that no live creation needs.
#include <cstdint>

// Whether planned park positions wait for the step. None until static parking is planned.
bool lf_plannedParkPositionsRemain();
// Places the next planned park position. Nothing to place until static parking is planned.
void lf_parkStaticNext();
// How many aircraft (live and static) the park airport is to hold, set by the static parking
// planning; 0 while none is planned. Worker thread only.
extern std::int64_t wantedParkCount;
