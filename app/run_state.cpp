#include "app/run_state.hpp"

std::atomic<std::uint32_t> closingReason{closing_reason::NOT_YET_SET};
std::atomic<std::int32_t> exitCode{0};
std::atomic<bool> productionMode{false};
std::atomic<bool> controlsLocked{false};

namespace {

// Stop requests from every layer record their reason here.
const bool closingReasonRegistered = (gf_setClosingReasonStore(&closingReason), true);

}  // namespace

void gf_requestUserClose() { gf_requestStop(closing_reason::USER_CLOSED_SIM, 0); }

void gf_resetRunStateForTest()
{
    (void)closingReasonRegistered;
    stopRequested = false;
    userClosing = false;
    closingReason = closing_reason::NOT_YET_SET;
    restartDelaySeconds = 0;
    exitCode = 0;
    productionMode = false;
    controlsLocked = false;
}
