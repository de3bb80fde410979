#pragma once
// The three edit fields of the main window, ALL_INSTALL_PATH, BLOCK_CALLSIGN and DESTINATION:
// each acts when the user presses Enter in it, validating what was typed. UI thread, except
// lf_setDestination, which the data start-up also calls on the worker.
#include <string>
#include <string_view>

#include "foundation/geodesy.hpp"
#include "foundation/parameters.hpp"
#include "platform/window.hpp"

// Enter in one of the fields: the status line is cleared and the field's action runs. True
// when the event is Enter in one of the three fields.
[[nodiscard]] bool lf_editSubclassProc(const EditStringParameter& parameter, vald::ControlEvent event);
// The field among the three that has this control id; nullptr for another id.
const EditStringParameter* lf_editFieldOf(vald::ControlId id);

// Enter in BLOCK_CALLSIGN: 4 to 8 bytes, taken in upper case; empty unblocks.
void lf_blockCallsign();
// Enter in DESTINATION: a 4-letter code of the airports list, taken in upper case; empty
// forgets the destination (in memory only).
void lf_enterDestination();
// Enter in ALL_INSTALL_PATH: an existing folder becomes SIM_INSTALL_PATH and the run restarts.
// A failing existence query throws std::filesystem::filesystem_error and changes nothing.
void lf_setInstallPath(const std::string& text);

// BLOCK_CALLSIGN emptied (saved); the block request tells the run.
void lf_unblockCallsign();
// BLOCK_CALLSIGN := callsign without validation (the Block button); saved; the run is told.
void lf_setBlockedCallsign(const std::string& callsign);
// DESTINATION := code (saved, shown); the airport is put first among the park airports (a
// request the worker serves) and Re-read is disabled.
void lf_setDestination(const std::string& code, const LatLon& position);

// ASCII letters a-z in upper case; every other byte, UTF-8 sequences included, unchanged.
std::string gf_upperAscii(std::string_view text);
