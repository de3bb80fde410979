#pragma once
// The park airport: the one airport near the user whose stands get static parked aircraft. It is
// chosen, replaced and dropped once a second on the worker thread as the user moves; choosing
// one requests the rebuild of its stands and planned aircraft. The readers and the window read
// it through copies taken under its lock.
#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/geodesy.hpp"
#include "parking/park_airport_list.hpp"
#include "refdata/airports.hpp"
#include "traffic/traffic_hooks.hpp"

// Worker thread: the park airport's code (empty when none) and its record from the airports table.
extern std::string parkIcao;
extern AirportRecord parkAirportRecord;
// Soft stand learning is offered at the park airport.
extern bool softLearningAllowed;

// A park airport's park-position file is loaded (its parked traffic is active).
extern std::atomic<bool> parkAirportOpen;
// A parking calculation is under way: the traffic reader keeps the live flights it sees meanwhile.
extern std::atomic<bool> parkingBusy;
// Minutes to the next periodic static-parking update.
extern std::atomic<std::int32_t> parkingCountdownMinutes;
// MAX_LIVE_SEL as the user chose it, kept while a park airport may lower it.
extern std::atomic<std::int32_t> maxLiveSelection;

// The park airport's code, position and elevation; an empty code when none is chosen.
ParkAirportSnapshot gf_parkAirport();
std::string gf_parkAirportIcao();
// The user's reserved stand at the park airport; empty when none.
std::string gf_reservedStandName();

// Makes the airport the park airport; false when it is not in the airports table.
[[nodiscard]] bool lf_setParkAirport(const std::string& icao);
// The per-second choice of the park airport (immediate at the run start).
void lf_checkParkAirport(bool immediate);
void lf_checkUserOnGround(const LatLon& user, bool immediate);
void lf_checkInSight(const LatLon& user);
// Locks the parking controls and marks a parking calculation as under way.
void lf_startStaticCalculation();
// Re-reads the park airports and applies a changed reserved stand; false (message untouched)
// when the file named an unknown airport.
[[nodiscard]] bool lf_checkReservedStand(bool apply, std::string& message);
// The simulator link found the user standing still at this stand of the park airport.
void lf_rememberUserStand(const std::string& stand);

// Reads the park airport's stands; empty on success, else the error text.
[[nodiscard]] std::string lf_readParkedFile();
// Reads the stands and plans the parked aircraft, or closes the park airport when that fails.
void lf_rebuildParkedTraffic();
// A rebuild, or the choice of the airport, waits for the next park-airport step (a park file on
// its way).
bool gf_parkRebuildPending();
void lf_buildParkPositions();
// Abandons a park file on its way from the download site (waiting for its thread) and the parked
// traffic asked for.
void lf_stopParkFileDownload();
// Saves what was learned and forgets the park airport and its stands.
void lf_closeParkAirport();
// Every static aircraft leaves and the park airport is closed.
void lf_resetParkAirport();
// The periodic static-parking adjustment.
void lf_adjustParking(bool force);

// Forgets the park airport (code, position, elevation, reserved stand) without touching aircraft.
void lf_forgetParkAirport();
// Test only: no park airport, no rebuild requested, no remembered user position.
void gf_resetParkAirportForTest();
