#include "app/worker.hpp"

#include "app/message_lines.hpp"
#include "app/run_state.hpp"
#include "app/window_controls.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/run_state.hpp"
#include "foundation/user_error.hpp"
#include "platform/window_display.hpp"

namespace {

void lf_startData()
{
    gf_loadAllParameters();
    vald::gf_invalidateWindow(vald::PixelRect{0, 0, 880, 476});
    {
        std::lock_guard<std::mutex> lock(gf_logMutex());
        if (gf_logStream().is_open())
            gf_logStream().flush();
    }
    lf_fillCombos();
    lf_stopIfProduction();
}

}  // namespace

void lf_stopIfProduction()
{
    if (!productionMode.load())
        return;
    exitCode.store(0);
    gf_requestUserClose();
}

void lf_workerThread()
{
    try {
        lf_startData();
    } catch (const std::exception& e) {
        // The window keeps the error line until the user closes it.
        gf_showError(e.what());
        std::uint32_t expected = closing_reason::NOT_YET_SET;
        closingReason.compare_exchange_strong(expected, closing_reason::SYSTEM_ERROR);
    }
}
