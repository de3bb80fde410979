#include "engine/spawn_step.hpp"

void lf_spawnStep(LiveAircraft&) {}

bool lf_respawnCheck(LiveAircraft&, const LiveTrafficRecord&) { return true; }
