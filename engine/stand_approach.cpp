#include "engine/stand_approach.hpp"

// The static neighbours and the ground movement fill these in; until they do, an aircraft sent
// to a stand keeps its stand fields and its cut track and the statics stay where they are.
void lf_makeWay(LiveAircraft&, Stand&) {}

void drive2Stand(LiveAircraft&, const Stand::Place&) {}
