#pragma once
// The selection of an entry in one of the main window's drop-down lists: the chosen option
// becomes the parameter's value at once and is saved (CALLSIGN_2_OBJECTID only in memory).
#include "platform/window.hpp"

// True when the event is a selection change of one of the combo boxes.
[[nodiscard]] bool lf_handleComboSelection(vald::ControlId id, vald::ControlEvent event);
