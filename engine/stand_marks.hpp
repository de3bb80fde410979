#pragma once
// The park airport's stands as the aircraft records name them, by number: their id text for log
// lines, and the occupied mark that a live aircraft puts on the stand it stands on.
//
// A stand is marked occupied when a live aircraft arrives at it or is born on it, never when an
// aircraft merely claims it to drive there: the arrival refuses an occupied stand, so a mark set
// at the claim would turn away the very aircraft that claimed it.
#include <cstdint>
#include <string>

#include "engine/stand_records.hpp"

// The stand with that number; nullptr for 0 and for a number that no stand has.
Stand* gf_standByNumber(std::uint32_t standNumber);

// The id of the stand with that number; "sid==0?" for 0 and "sid==?" when no stand has it.
std::string lf_standIdText(std::uint32_t standNumber);
// A live aircraft stands on the stand with that number (arrival, birth on the stand).
void lf_occupyStand(std::uint32_t standNumber);
// The stand with that number is no longer occupied. Without stands loaded there is none to free.
void lf_freeStand(std::uint32_t standNumber);
// Raises the count of learned stand updates and shows it in the window when it changed.
void gf_countLearnedUpdate();
