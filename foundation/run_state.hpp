#pragma once
// Process-wide run state that every layer reads. Set by the window (close) and by the closing
// logic (stop request); read by the log and by every loop that must end promptly.
#include <atomic>
#include <cstdint>
#include <string_view>

extern std::atomic<bool> stopRequested;
extern std::atomic<bool> userClosing;

// True once the run is asked to end, by a stop request or by the user closing: every loop that
// must end promptly asks this.
inline bool gf_stopPending() { return stopRequested.load() || userClosing.load(); }

// Codes of the closing reasons, the same numbers as the window's ClosingReason.
namespace closing_reason {
inline constexpr std::uint32_t NOT_YET_SET = 0;
inline constexpr std::uint32_t SIM_WAS_CLOSED = 1;
inline constexpr std::uint32_t NEW_FLIGHT = 2;
inline constexpr std::uint32_t NEW_SETTINGS = 3;
inline constexpr std::uint32_t USER_CLOSED_SIM = 4;
inline constexpr std::uint32_t SIMCONNECT_ERROR = 5;
inline constexpr std::uint32_t READER_ERROR = 6;
inline constexpr std::uint32_t SYSTEM_ERROR = 7;
inline constexpr std::uint32_t NEW_VERSION = 8;
}  // namespace closing_reason

// Restart delays of the reasons that restart after an error.
inline constexpr std::int32_t READER_ERROR_RESTART_SECONDS = 15;
inline constexpr std::int32_t SIMCONNECT_ERROR_RESTART_SECONDS = 9;

// "NOT YET SET", "SIM WAS CLOSED", ... "NEW VERSION"; std::out_of_range for another code.
std::string_view gf_closingReasonText(std::uint32_t reason);

// Seconds to wait before the next run starts; kept across the reset of a run.
extern std::atomic<std::int32_t> restartDelaySeconds;

// Why the run ends (a closing_reason code); set with the stop request.
extern std::atomic<std::uint32_t> closingReason;
std::uint32_t gf_closingReason();

// Asks the run to end. USER CLOSED SIM sets userClosing and stopRequested, and the reason when
// none is set yet. Any other reason counts only while no stop is pending: then the reason and
// the restart delay are recorded and stopRequested is set. So the first reason wins.
void gf_requestStop(std::uint32_t reason, std::int32_t delaySeconds);

// Before a new run: no stop pending and no reason, both in one step, so that a request made at
// the same moment is either wholly kept or wholly forgotten. The restart delay stays.
void gf_clearStopRequest();
