#pragma once
// The simulator events that clients may map their own event ids to, and what each does to the
// object it is transmitted to.
#include "standins/simulator/object_table.hpp"

#include <cstdint>
#include <string>

namespace standin_sim {

// The event's canonical (upper-case) name, or empty when the simulator has no such event.
std::string knownSimEvent(const std::string& name);

// Applies a known event with its data to the object.
void applySimEvent(const std::string& canonicalName, std::uint32_t data, SimObject& object);

}  // namespace standin_sim
