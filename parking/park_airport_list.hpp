#pragma once
// The candidate park airports: the user's airports/my_park_airports.txt (an ICAO code per line,
// optionally followed by a comma and the user's reserved stand there) and the airports with a
// park file in airports/my_thirdparty. The list belongs to the worker thread.
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "foundation/geodesy.hpp"
#include "foundation/thread_owner.hpp"

// One candidate park airport.
struct ParkAirport {
    std::string icao;        // as written in the file
    std::string stand;       // the user's reserved stand there; empty when none
    double lat = 0.0;        // degrees, from the airports table
    double lon = 0.0;
    double distance = 0.0;   // nautical miles from the user; 0 until computed
};
extern std::list<ParkAirport> parkAirports;
extern ThreadOwner parkAirportsOwner;
// The list, for callers outside the stand logic: asserts that the calling thread owns it.
std::list<ParkAirport>& gf_parkAirports();
// The run's end: the next run's worker (a new thread) takes the list over.
void gf_releaseParkAirports();

// A list this long costs noticeable time every second.
inline constexpr std::size_t MANY_PARK_AIRPORTS = 3000;

// Rebuilds the list from the file and the my_thirdparty folder; false when a line named an airport
// that is not in the airports table.
[[nodiscard]] bool lf_readMyParkAirports();
void lf_addThirdPartyParkAirports();
// Writes the first list entry into the file (a new line or its updated stand); false when the file
// could not be written.
[[nodiscard]] bool lf_writeMyParkAirports();
// Replaces the first line whose first comma field, trimmed, is icao by entry and empties the later
// lines of that airport; the position of the first, or none.
[[nodiscard]] std::optional<std::size_t> lf_updateMyParkAirportStand(std::vector<std::string>& lines,
                                                                     const std::string& icao, const std::string& entry);
// Puts a destination airport first in the list, adding (and writing) it when it is not listed.
void lf_addMyParkAirport(const std::string& icao, const LatLon& position);
