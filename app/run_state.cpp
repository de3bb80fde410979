#include "app/run_state.hpp"

#include <mutex>

std::atomic<std::int32_t> exitCode{0};
std::atomic<bool> productionMode{false};
std::atomic<bool> controlsLocked{false};
std::atomic<bool> restartPending{false};
std::atomic<bool> airportScanHeld{false};
std::atomic<bool> dataFilesRead{false};
std::atomic<bool> flightPaused{false};
std::atomic<bool> parkingPhase{false};
std::atomic<std::uint64_t> currentWeekdaySlot{0};

namespace {

std::mutex stockSceneryMutex;
std::filesystem::path stockSceneryPath;

}  // namespace

std::filesystem::path gf_stockSceneryPath()
{
    std::lock_guard<std::mutex> lock(stockSceneryMutex);
    return stockSceneryPath;
}

void gf_setStockSceneryPath(const std::filesystem::path& path)
{
    std::lock_guard<std::mutex> lock(stockSceneryMutex);
    stockSceneryPath = path;
}

void gf_requestUserClose() { gf_requestStop(closing_reason::USER_CLOSED_SIM, 0); }

void gf_resetRunStateForTest()
{
    stopRequested = false;
    userClosing = false;
    closingReason = closing_reason::NOT_YET_SET;
    restartDelaySeconds = 0;
    exitCode = 0;
    productionMode = false;
    controlsLocked = false;
    restartPending = false;
    airportScanHeld = false;
    dataFilesRead = false;
    flightPaused = false;
    parkingPhase = false;
    currentWeekdaySlot = 0;
    gf_setStockSceneryPath({});
}
