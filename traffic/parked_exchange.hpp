#pragma once
// The meeting point of a parked-traffic fetch (on the stand logic's thread) and the traffic
// reader thread, which owns the service session and sends the request in place of one poll.
//
// Every request carries an id. The fetch waits only for the answer of its own id; when it gives
// up, it withdraws the request, so that a late answer is dropped instead of being taken for the
// answer of the next fetch. The records travel by move under the lock: the thread never fills a
// vector that the caller is reading.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "traffic/traffic_records.hpp"

// Results of a parked request besides the service's own statuses.
inline constexpr std::int32_t PARKED_DONE = 0;
inline constexpr std::int32_t PARKED_FAILED = 1;

struct ParkedRequest {
    std::uint64_t id = 0;
    QueryBox box;
};

struct ParkedAnswer {
    std::int32_t status = PARKED_FAILED;  // PARKED_DONE, PARKED_FAILED or the service's status
    std::vector<ParkedTrafficRecord> records;
};

class ParkedExchange {
public:
    // Caller: posts a request for box and answers its id. A request still waiting is replaced.
    [[nodiscard]] std::uint64_t post(const QueryBox& box);
    // Caller: the answer to id once it has come (taken out of the exchange), else nothing.
    [[nodiscard]] std::optional<ParkedAnswer> collect(std::uint64_t id);
    // Caller: gives up on id. A request not yet taken is dropped, a later answer is ignored.
    void withdraw(std::uint64_t id);

    // Traffic thread: whether a request waits (a cheap test on every pass).
    bool pending() const { return pending_.load(); }
    // Traffic thread: takes the waiting request.
    [[nodiscard]] std::optional<ParkedRequest> take();
    // Traffic thread: the answer to request id; dropped unless the caller still waits for it.
    void answer(std::uint64_t id, std::int32_t status, std::vector<ParkedTrafficRecord>&& records);

private:
    mutable std::mutex mutex_;
    std::atomic<bool> pending_{false};
    std::uint64_t lastId_ = 0;
    std::uint64_t awaitedId_ = 0;  // the request the caller waits for; 0 none
    std::optional<ParkedRequest> waiting_;
    std::optional<ParkedAnswer> answer_;
};
