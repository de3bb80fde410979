#pragma once
// What the simulator tells the program, handled on the client thread: SimConnect_CallDispatch
// hands every received message to lf_simDispatch, which keeps the shared simulator state up to
// date, sends the queued requests on every frame, matches new objects with the program's
// creations and hands removals, refusals and foreign aircraft to the engine as SimResults.
//
// A handler may throw vald::UserErrorException (wrong simulator, version mismatch, no user
// aircraft model); it leaves SimConnect_CallDispatch and ends the client thread.
#include <cstdint>
#include <optional>
#include <string>

#include "simlink/simconnect/recv.hpp"

// The dispatch callback given to SimConnect_CallDispatch.
void lf_simDispatch(const std::uint8_t* message, std::uint32_t size, void* context);

using SimMessage = vald::simconnect::MessageView;

void lf_onSimException(const SimMessage& message);
void lf_onSimOpen(const SimMessage& message);
void lf_onSimEvent(const SimMessage& message);
void lf_onSimObjectAddRemove(const SimMessage& message);
void lf_onSimFrame(const SimMessage& message);
void lf_onSimObjectData(const SimMessage& message);
void lf_onSimObjectDataByType(const SimMessage& message);

// The user aircraft's replies (request ids 109, 106 and 107), given the definition's data.
void lf_onUserPosition(const SimMessage& data, std::uint32_t objectId);
void lf_onUserTitle(const SimMessage& data);
void lf_onUserModel(const SimMessage& data);

// The simulator loaded a new flight or the user aircraft jumped: the run ends with NEW FLIGHT and
// restarts after 30 seconds, unless a stop is pending already.
void lf_newFlightStop();

// Seconds since 1970-01-01 of a UTC time given as year, 1-based day of the year and seconds of
// the day (proleptic Gregorian calendar). Nothing when a field lies outside its range (years 1 to
// 9999, days 1 to 366, seconds 0 to 86400): the values come from a peer we do not control.
[[nodiscard]] std::optional<std::int64_t> gf_simUtcSeconds(std::int64_t year, std::int64_t dayOfYear,
                                                           std::int64_t secondsOfDay);

// The characters of the simulator's application name that are letters, digits or white space.
std::string gf_filteredSimName(const std::string& name);

// The handlers' own memory (previous user position, last title, frame count) back to the start of
// a run; when no client thread runs.
void gf_resetSimDispatchState();
// The last user aircraft title shown (at most 48 characters); client thread.
std::string gf_lastUserTitle();
// The user handlers' part of that memory.
void gf_resetUserDataState();
