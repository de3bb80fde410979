#pragma once
// What the spawn needs to know of ghosts: the service's copy of a flight carries the flight's
// callsign followed by '_'.
#include <string>

// Removes the live ghost of the callsign (callsign + '_') and keeps it from coming back.
void lf_removeGhost(const std::string& callsign);
// True when a live aircraft (not being removed) flies under the callsign without its last
// character.
bool lf_hasLiveCallsign(const std::string& callsign);
