#pragma once
// The update of parameters.xml after a new program version, and the functions that map a free
// value onto a combo box's options or set a parameter together with what is derived from it.
#include <cstdint>

// Runs at each start with an existing parameters.xml. After a program update it drops the
// entries and files older versions left behind and, coming from before 11.0.2, moves six old
// number settings to the combo settings that replaced them. PROGRAM_VERSION is written last,
// together with the migrated values in one save, so an update that fails half way runs again.
// File-system errors (other than absence) pass to the caller as std::filesystem errors.
void lf_updateVersion();

// Snapping of old free values onto the options of their successors.
std::int32_t gf_snapCount(std::int32_t count);      // MAX_LIVE/CUSTOM_MAX_PARK -> the *_SEL options
std::int32_t gf_snapAirportRange(std::int32_t nm);  // AIRPORT_RANGE -> AIRP_RANGE options
std::int32_t gf_snapRange(std::int32_t nm);         // -> a RANGE option
std::int32_t gf_snapAltitude(std::int32_t feet);    // -> an AIRP_HEIGHT option

// MAX_FIT's half hours as the hours shown by MAX_FIT_FL.
float gf_halfHoursToHours(std::int32_t halfHours);

// MAX_FIT := halfHours (clamped), MAX_FIT_FL := its hours, selected in the combo box when it is
// an option; logged unless quiet. Nothing is saved.
void gf_setMaxFitHalfHours(std::int32_t halfHours, bool quiet);

// RANGE := nm (clamped), selected in the combo box; the range of the traffic queries and the
// object-query radius (range × 1852 + 10000 m) follow the clamped value. Answers the radius.
// Nothing is saved.
std::int32_t gf_setRangeNm(std::int32_t nm);
