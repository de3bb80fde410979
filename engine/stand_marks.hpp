#pragma once
// What removal needs of the park airport's stands: their id text for log lines and the freeing of
// a stand that a removed live aircraft occupied.
#include <cstdint>
#include <string>

// The id of the stand with that number; "sid==0?" for 0 and "sid==?" when no stand has it.
std::string lf_standIdText(std::uint32_t standNumber);
// The stand with that number is no longer occupied. Without stands loaded there is none to free.
void lf_freeStand(std::uint32_t standNumber);
