#pragma once
// Everything the program declares to the simulator after each open: the system events it
// subscribes, its data definitions and its client events with their notification group.
#include "simlink/simconnect/simconnect.hpp"

// Sends the declarations in their fixed order; the results of the calls are not looked at (a
// broken connection shows at the next dispatch).
void lf_defineSimData(HANDLE connection);
