#include "foundation/run_state.hpp"

#include <array>
#include <mutex>
#include <stdexcept>

std::atomic<bool> stopRequested{false};
std::atomic<bool> userClosing{false};
std::atomic<std::int32_t> restartDelaySeconds{0};
std::atomic<std::uint32_t> closingReason{closing_reason::NOT_YET_SET};

namespace {

constexpr std::array<std::string_view, 9> closingReasonTexts{
    "NOT YET SET",      "SIM WAS CLOSED", "NEW FLIGHT",   "NEW SETTINGS", "USER CLOSED SIM",
    "SIMCONNECT ERROR", "READER ERROR",   "SYSTEM ERROR", "NEW VERSION",
};

// Serialises stop requests, so that the reason, the delay and the stop flag of one request are
// recorded together even when two threads ask at the same moment.
std::mutex stopRequestMutex;

}  // namespace

std::string_view gf_closingReasonText(std::uint32_t reason)
{
    if (reason >= closingReasonTexts.size())
        throw std::out_of_range("invalid closing reason");
    return closingReasonTexts[reason];
}

std::uint32_t gf_closingReason() { return closingReason.load(); }

void gf_requestStop(std::uint32_t reason, std::int32_t delaySeconds)
{
    std::lock_guard<std::mutex> lock(stopRequestMutex);
    std::atomic<std::uint32_t>& store = closingReason;
    if (reason == closing_reason::USER_CLOSED_SIM) {
        std::uint32_t expected = closing_reason::NOT_YET_SET;
        store.compare_exchange_strong(expected, reason);
        userClosing.store(true);
        stopRequested.store(true);
        return;
    }
    if (stopRequested.load())
        return;
    // Reason and delay first: whoever sees the stop flag also sees why.
    store.store(reason);
    restartDelaySeconds.store(delaySeconds);
    stopRequested.store(true);
}

void gf_clearStopRequest()
{
    std::lock_guard<std::mutex> lock(stopRequestMutex);
    closingReason.store(closing_reason::NOT_YET_SET);
    stopRequested.store(false);
}
