#pragma once
// The periodic adjustment of the static aircraft at the park airport: statics whose flight now
// flies live, whose parked record has gone or whose stand no longer shows their flight are
// removed, those still right are kept, new positions are planned, and the total of kept
// statics, parked live aircraft and new positions is cut to the wanted count. Worker thread.
#include <cstdint>

#include "engine/aircraft_records.hpp"
#include "engine/static_parking_step.hpp"
#include "engine/stand_records.hpp"

// lf_adjustParking (full reset) is declared with the park airport.

// The parked traffic matched anew; statics from parked traffic kept or removed against it.
void lf_refreshFromParkedTraffic();
// Week statics against the new positions (nothing on a full reset).
void lf_reconcileWeekStatics(bool fullReset);
// Week statics kept while their stand still shows their flight; the departing ones found.
void lf_recheckWeekStatics(std::uint64_t weekSlot);
// The option shows the static's flight within the window before the slot, on the slot's day or,
// across midnight, on the day before.
bool gf_optionSeenToday(const StandOption& option, const StaticAircraft& aircraft, std::uint64_t weekSlot,
                        std::int32_t windowHalfHours);
bool gf_optionSeenWrapped(const StandOption& option, const StaticAircraft& aircraft, std::uint64_t weekSlot,
                          std::int32_t windowHalfHours);
// New positions, then kept statics, then the longest parked live aircraft go until the total
// is the wanted count.
void lf_trimParkingToWanted(std::int64_t wanted);
// The statics on the stands of parkRemovals leave the simulator; the list is emptied.
void lf_executeParkRemovals();
