#pragma once
// Parked traffic at the park airport: the fetch for the stand logic's thread, which asks the
// traffic reader thread for it and takes the answer later, never waiting for it (no tick of the
// worker waits on the network), and the selection of the answer (ages, the age limit, one record
// per stand and per callsign). The request itself runs on the traffic thread
// (TrafficReader::parkedtraffic).
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "foundation/clock.hpp"
#include "traffic/service_client.hpp"

// How long a fetch waits for the traffic thread's answer.
inline constexpr std::chrono::seconds PARKED_FETCH_TIMEOUT{10};

// The box reaching 3 nautical miles from the airport.
QueryBox gf_parkedBox(LatLon airport);

// One fetch at a time, on the thread that started it. Its times are those of the program clock
// (foundation/clock.hpp). Destroyed, it leaves the reader alone (the reader may be gone first at
// the program's end): a request of its own still unanswered is answered to no one.
class ParkedFetch {
public:
    explicit ParkedFetch(TrafficReader& reader = trafficReader) : reader_(&reader) {}
    ParkedFetch(const ParkedFetch&) = delete;
    ParkedFetch& operator=(const ParkedFetch&) = delete;

    // Asks the traffic thread for the aircraft parked round the park airport (from the hooks); a
    // fetch under way is given up first.
    void start();
    // A fetch was started and its outcome not yet taken.
    bool busy() const { return id_ != 0; }
    // Its outcome can be taken: the answer came, PARKED_FETCH_TIMEOUT passed since the start, or
    // the traffic reader is stopping or gone. Never waits.
    bool ended();
    // The outcome, the fetcher idle again: true with the selected records moved into records;
    // false (records emptied) on a time-out (logged), a failure, a refused request, a reader
    // stopping or gone, and for a fetch that has not ended (given up). Throws std::runtime_error
    // "RT API parameter fault" when the service answered 400.
    [[nodiscard]] bool take(std::vector<ParkedTrafficRecord>& records);
    // Gives a fetch under way up: an answer that comes later is dropped.
    void cancel();

private:
    TrafficReader* reader_;
    std::uint64_t id_ = 0;
    SteadyTime startedAt_{};
    std::optional<ParkedAnswer> answer_;
};

// The selection of a parked answer: each record's slot becomes its age in half hours at
// currentSlot; unless parkTrafficOnly, records older than maxFitHalfHours go; then, youngest
// first, one record per stand name (two empty names count as equal) and per non-empty callsign.
void lf_selectParked(std::vector<ParkedTrafficRecord>& records, std::int32_t currentSlot, bool parkTrafficOnly,
                     std::int32_t maxFitHalfHours);
