#pragma once
// The simulator client: its thread, which owns the connection to the simulator, and the requests
// that the worker thread makes through it.
#include <stop_token>
#include <string>

#include "simlink/sim_records.hpp"

// Thread procedure of the simulator client, one per run, run as a joinable thread with a stop
// token. Shows "Waiting for Prepar3Dv{} ..." once and waits for the simulator until the stop
// flag, the user-closing flag or its own stop request ends it (checked every 100 ms); then the
// simulator lamp goes off. A user error is shown on the error line; any other failure is shown
// and stops the run as SIM WAS CLOSED.
void SimClient(std::stop_token stopToken);

// A request to the simulator failed: status line "SimConnect request error" (logged), nothing
// more is sent in this run, and the run restarts after 9 s as SIMCONNECT ERROR unless a stop
// is pending already.
void gf_simRequestError();

// Asks the simulator for a fresh report of the user aircraft (when connected and no request has
// failed) and returns the last report as it stands; the answer arrives later.
UserAircraftSnapshot gf_getUserPosition();

// Asks the simulator once for the user aircraft's title and ATC model (when connected).
void gf_requestUserTitleModel();

// The stand under the user aircraft at its last reported position; empty while the aircraft is
// not on the ground or no stand is near.
std::string gf_userStandName();
