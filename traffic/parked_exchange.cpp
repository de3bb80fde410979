#include "traffic/parked_exchange.hpp"

std::uint64_t ParkedExchange::post(const QueryBox& box)
{
    std::lock_guard<std::mutex> lock(mutex_);
    awaitedId_ = ++lastId_;
    waiting_ = ParkedRequest{awaitedId_, box};
    answer_.reset();
    pending_.store(true);
    return awaitedId_;
}

std::optional<ParkedAnswer> ParkedExchange::collect(std::uint64_t id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (id == 0 || id != awaitedId_ || !answer_)
        return std::nullopt;
    std::optional<ParkedAnswer> taken = std::move(answer_);
    answer_.reset();
    awaitedId_ = 0;
    return taken;
}

void ParkedExchange::withdraw(std::uint64_t id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (id == 0 || id != awaitedId_)
        return;
    awaitedId_ = 0;
    waiting_.reset();
    answer_.reset();
    pending_.store(false);
}

std::optional<ParkedRequest> ParkedExchange::take()
{
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.store(false);
    std::optional<ParkedRequest> taken = waiting_;
    waiting_.reset();
    return taken;
}

void ParkedExchange::answer(std::uint64_t id, std::int32_t status, std::vector<ParkedTrafficRecord>&& records)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (id == 0 || id != awaitedId_)
        return;
    answer_ = ParkedAnswer{status, std::move(records)};
}
