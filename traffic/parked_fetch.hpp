#pragma once
// Parked traffic at the park airport: the fetch on the stand logic's thread, which asks the
// traffic reader thread for it and waits a bounded time, and the selection of the answer
// (ages, the age limit, one record per stand and per callsign). The request itself runs on the
// traffic thread (TrafficReader::parkedtraffic).
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "traffic/service_client.hpp"

// How long a fetch waits for the traffic thread's answer.
inline constexpr std::chrono::seconds PARKED_FETCH_TIMEOUT{10};

// The box reaching 3 nautical miles from the airport.
QueryBox gf_parkedBox(LatLon airport);

// Asks the traffic thread for the aircraft parked round the park airport (from the hooks) and
// waits up to PARKED_FETCH_TIMEOUT on the program clock (foundation/clock.hpp). True with the selected records moved into records; false
// (records emptied) on a time-out, a failure, a refused request, or when the traffic reader is
// stopping or gone. Throws std::runtime_error "RT API parameter fault" when the service answers
// 400.
[[nodiscard]] bool gf_fetchParkedTraffic(std::vector<ParkedTrafficRecord>& records,
                                         TrafficReader& reader = trafficReader);

// The selection of a parked answer: each record's slot becomes its age in half hours at
// currentSlot; unless parkTrafficOnly, records older than maxFitHalfHours go; then, youngest
// first, one record per stand name (two empty names count as equal) and per non-empty callsign.
void lf_selectParked(std::vector<ParkedTrafficRecord>& records, std::int32_t currentSlot, bool parkTrafficOnly,
                     std::int32_t maxFitHalfHours);
