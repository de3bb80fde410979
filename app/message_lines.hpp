#pragma once
// The message line at the bottom of the main window: a status text (yellow on lime green) or an
// error text (yellow on red), never both. An error stands until it is cleared; status texts that
// arrive meanwhile are dropped. A status text ages out after 25 seconds of a run. Every thread
// may call these; one mutex (the message mutex) guards the texts, and inside it only the log
// mutex is ever taken.
#include <cstdint>
#include <string>

#include "foundation/status_sink.hpp"

struct MessageLines {
    std::string statusText;         // empty when no status stands
    std::string errorText;          // empty when no error stands
    std::int64_t statusSecond = 0;  // second counter when the status was set (>= 1); 0 without one
    std::int32_t secondCounter = 0; // seconds of the run
};

// gf_showStatus, gf_clearStatus and gf_showError (foundation/status_sink.hpp) reach these lines
// once gf_registerMessageLineHooks has run: a status text is logged when log is true, the text is
// not empty and no stop is pending, and dropped while an error stands; an error removes the
// status and is logged as "Error {}" unless a stop is pending.
// Empties the error text; the caller then clears the status with gf_clearStatus.
void gf_clearErrorLine();

// Once a second of a run: counts the second and clears a status that is 25 or more seconds old.
void gf_ageStatusLine();
// Before a new run: both texts and the second counter emptied.
void gf_resetMessageLines();

MessageLines gf_messageLines();
// Shows the current line at once, outside the window's own paint (the airport scan's progress).
void gf_paintStatusLine();

// Every layer's status and error texts go to these lines from now on.
void gf_registerMessageLineHooks();
