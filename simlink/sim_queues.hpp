#pragma once
// The queues between the worker thread (engine, schedule, window commands) and the simulator
// client thread. Producers append under simSendMutex; the client thread sends everything queued
// at the start of the next simulator frame. Results come back through the result queue, which
// has its own mutex and is drained by the engine once per tick. The two mutexes are never held
// together (docs/locks.md).
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "simlink/sim_records.hpp"

// The one mutex over the four send queues and the worker's own requests to the simulator.
extern std::mutex simSendMutex;

// The send queues; every access holds simSendMutex, except that the engine appends to the fill
// buffer (positions[fillIndex]) without it: only the hand-over changes which buffer that is.
struct SimSendQueues {
    std::array<std::vector<PositionSetRecord>, 2> positions;
    std::size_t fillIndex = 0;  // the engine's buffer; the other one is sent by the next frame
    std::vector<QueuedClientEvent> clientEvents;
    std::vector<CreationRequest> creations;
    std::vector<std::uint32_t> removals;  // object ids

    std::vector<PositionSetRecord>& fillBuffer() { return positions[fillIndex]; }
    std::vector<PositionSetRecord>& flushBuffer() { return positions[1 - fillIndex]; }
};
SimSendQueues& gf_simSendQueues();

// Each takes simSendMutex.
void gf_queueCreateAc(const CreationRequest& request);
void gf_queueRemoveAc(std::uint32_t objectId);
void gf_queueClientEvent(const QueuedClientEvent& event);
// Seven client events under one hold of the mutex, in the order NAV, BEACON, LANDING, TAXI,
// STROBES, LOGO and CABIN lights, with values[0] to values[6].
void gf_setLights(std::uint32_t objectId, const std::array<std::uint32_t, 7>& values);
void gf_setCabinLights(std::uint32_t objectId, std::uint32_t value);
// The freeze events of a new object still wait for a frame; a position queued before they have
// gone would reach the simulator first. Takes simSendMutex.
bool gf_freezeQueued(std::uint32_t objectId);
// The same as gf_queueClientEvent for a caller that already holds simSendMutex.
void lf_pushClientEvent(const QueuedClientEvent& event);

// The engine's buffer for this tick's positions (worker thread only).
std::vector<PositionSetRecord>& gf_positionFillBuffer();
// Once per tick after the engine has filled its buffer: when the mutex is free the buffers
// change roles and the new fill buffer is emptied (positions no frame has sent are stale). When
// the client thread holds the mutex and the frame rate is at most 50, this tick's positions are
// dropped instead of waiting; above 50 the hand-over waits for the mutex.
void gf_swapPositionBuffers();
// Both position buffers emptied under the mutex (the flight is paused or not running).
void gf_clearPositionBuffers();

// Room for 256 entries in each send queue.
void gf_reserveSimSendQueues();
// Every send queue emptied (keeping its room), the position buffers back in their first order.
void gf_resetSimSendQueues();

// Appends a copy to the result queue under the result mutex (any thread).
void gf_pushSimResult(const SimResult& result);
// Takes every queued record out under the result mutex, then hands each to handle, in order,
// with no lock held (a record is handled once, also when handle throws).
void gf_drainSimResults(const std::function<void(const SimResult&)>& handle);
void gf_reserveSimResults(std::size_t capacity);
void gf_clearSimResults();
