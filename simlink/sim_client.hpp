#pragma once
// The simulator client: its thread, which owns the connection to the simulator, and the requests
// that the worker thread makes through it.
#include <stop_token>

#include "simlink/sim_records.hpp"

// Thread procedure of the simulator client, one per run, run as a joinable thread with a stop
// token. Shows "Waiting for Prepar3Dv{} ..." once and tries to open the connection every 100 ms
// until the stop flag, the user-closing flag or its own stop request ends the wait. Once
// connected it declares everything (lf_defineSimData) and dispatches the received messages about
// every millisecond until its stop request; the stop flags alone do not end it then. A user
// error is shown on the error line and leaves the run to the user; a connection that fails
// after the simulator's quit message, or any other failure, is shown and stops the run as SIM
// WAS CLOSED; a connection that fails without a quit message stops it as SIMCONNECT ERROR (the
// restart connects again). At its end the user's stand is
// posted to be remembered, the simulator lamp goes off and the connection is closed.
void SimClient(std::stop_token stopToken);

// A request to the simulator failed: status line "SimConnect request error" (logged), nothing
// more is sent until the next gf_initSimClient, and the run restarts after 9 s as SIMCONNECT
// ERROR unless a stop is pending already.
void gf_simRequestError();

// Asks the simulator for a fresh report of the user aircraft (when connected and no request has
// failed) and returns the last report as it stands; the answer arrives later.
UserAircraftSnapshot gf_getUserPosition();

// Asks the simulator once for the user aircraft's title and ATC model (when connected and no
// request has failed).
void gf_requestUserTitleModel();
