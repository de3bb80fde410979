#pragma once
// What the simulator client thread knows about the simulator and the user's aircraft, shared with
// the worker thread, the window and the readers. Every value is an atomic, except the user
// snapshot, which is written and copied under a mutex of its own.
#include <atomic>
#include <cstdint>
#include <optional>

#include "simlink/sim_records.hpp"
#include "simlink/simconnect/simconnect.hpp"

// The simulator runs a flight and the client is connected to it.
extern std::atomic<bool> simConnected;
// The simulator reports its flight as paused or not running.
extern std::atomic<bool> simPaused;
// Set on every user on-ground report; the main cycle takes it (exchange to false) once a second.
extern std::atomic<bool> newUserDatum;
// True from the start of the process and of each restart until the client has opened its
// connection to the simulator.
extern std::atomic<bool> simConnectionPending;
// A request to the simulator failed: nothing more is sent until the next gf_initSimClient.
extern std::atomic<bool> simRequestErrorFlag;

// The one connection to the simulator; nullptr while there is none.
extern std::atomic<HANDLE> simConnection;
// 5 or 6, stored by gf_initSimClient.
extern std::atomic<std::uint32_t> simMajorVersion;
// The simulator's frame rate, stored every 30th frame.
extern std::atomic<float> simFrameRate;
// Seconds since 1970-01-01 of the simulator's UTC clock.
extern std::atomic<std::int64_t> simUtcSeconds;
// Object id of the user aircraft: no object at or below it is moved, removed or taken as an AI
// aircraft.
extern std::atomic<std::uint32_t> userObjectId;
// The user aircraft's last SIM ON GROUND, and whether one came in this run.
extern std::atomic<bool> userOnGround;
extern std::atomic<bool> userOnGroundKnown;
// The user aircraft's wing span was found (the window's wing-span lamp).
extern std::atomic<bool> userWingSpanKnown;

// Half the user aircraft's wing span in nautical miles; none until its model is known.
std::optional<double> gf_userHalfSpanNm();
void gf_setUserHalfSpanNm(std::optional<double> halfSpanNm);

// A copy of the last reported user aircraft (no request is made).
UserAircraftSnapshot gf_userSnapshot();
// Stores a new report (client thread); a negative altitude is stored as 0.0.
void gf_setUserSnapshot(const UserAircraftSnapshot& snapshot);
// Stores a SIM ON GROUND report (client thread): the value first, then that it is known.
void gf_setUserOnGround(bool onGround);

// Before the client thread starts a run: stores the simulator major version, reserves the send
// queues and clears the request-error flag.
void gf_initSimClient(std::uint32_t simMajor);

// Before a new run (worker thread): the state of a new connection. Queues and results emptied
// and the position buffers back in their first order, not connected, not paused, no connection,
// no user aircraft and no user stand known, the frame rate and the simulator clock 0,
// simConnectionPending set. The request-error flag stays until gf_initSimClient. What only the
// client thread touches (its pending creations and its memory of the last replies) is reset by
// the next client thread when it starts.
void gf_resetSimClientState();
