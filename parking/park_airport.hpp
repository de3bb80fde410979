#pragma once
// The park airport: the one airport near the user whose stands get static parked aircraft, the
// list of candidate park airports, and the values of the park airport that other threads read.
// The park airport is chosen and changed on the worker thread; the readers and the window read
// it through copies taken under its lock.
#include <atomic>
#include <cstdint>
#include <list>
#include <string>

#include "foundation/geodesy.hpp"
#include "refdata/airports.hpp"
#include "traffic/traffic_hooks.hpp"

// One candidate park airport (airports/my_park_airports.txt, airports/my_thirdparty).
struct ParkAirport {
    std::string icao;        // as written in the file
    std::string stand;       // the user's reserved stand there; empty when none
    double lat = 0.0;        // degrees, from the airports table
    double lon = 0.0;
    double distance = 0.0;   // nautical miles from the user; 0 until computed
};
// The candidate park airports, nearest first once computed. Owned by the run's worker thread: a
// call from another thread fails in debug and sanitizer builds. The run's end releases them for
// the next run's worker.
std::list<ParkAirport>& gf_parkAirports();
void gf_releaseParkAirports();

// A park airport's park-position file is loaded.
extern std::atomic<bool> parkAirportOpen;
// Minutes to the next periodic static-parking update.
extern std::atomic<std::int32_t> parkingCountdownMinutes;
// MAX_LIVE_SEL as the user chose it, kept while a park airport may lower it.
extern std::atomic<std::int32_t> maxLiveSelection;

// The park airport's code, position and elevation; an empty code when none is chosen.
ParkAirportSnapshot gf_parkAirport();
std::string gf_parkAirportIcao();
// The user's reserved stand at the park airport; empty when none.
std::string gf_reservedStandName();

// Rebuilds the park-airport list; true when the park airports and their stands are in order.
bool lf_readMyParkAirports();
// The per-second choice of the park airport (immediate at the run start).
void lf_checkParkAirport(bool immediate);
// The periodic static-parking adjustment.
void lf_adjustParking(bool force);
// Every static aircraft leaves and the park airport is closed.
void lf_resetParkAirport();
// Re-reads the park airports and applies a changed reserved stand; true when message is to be
// shown.
bool lf_checkReservedStand(bool apply, std::string& message);
// Puts an airport (a new destination) first in the park-airport list, adding it when absent.
void lf_addMyParkAirport(const std::string& icao, const LatLon& position);
// Distance in nm from position to the nearest stand of the airport's park-position file, with
// that stand's id; 100.0 when the airport has no usable park file.
double gf_readDestApfForClosestStand(const AirportRecord& airport, const LatLon& position, std::string& standId);

// Forgets the park airport (code, position, elevation, reserved stand) without touching aircraft.
void lf_forgetParkAirport();
