#include "app/main_window.hpp"

#include <atomic>
#include <exception>

#include "app/message_lines.hpp"
#include "app/run_state.hpp"
#include "app/status_paint.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/time_slots.hpp"
#include "foundation/status_display.hpp"

namespace {

std::atomic<CommandHandler> commandHandler{nullptr};

std::string lf_exceptionText()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

}  // namespace

void gf_setCommandHandler(CommandHandler handler) { commandHandler.store(handler); }

MainWindow::MainWindow(vald::UiPort& port, WorkerProcedure worker) : port_(port), worker_(std::move(worker)) {}

MainWindow::~MainWindow() { joinWorker(); }

void MainWindow::lf_guard(const char* handlerName, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        const std::string text = vald::format("{} exception {}", handlerName, lf_exceptionText());
        try {
            gf_showError(text);
        } catch (...) {
            // Nothing may leave a window handler; the log would have been the last resort.
        }
    }
}

void MainWindow::onPaint(vald::Canvas& canvas)
{
    try {
        lf_paintWindow(canvas, lf_collectPaintInput());
    } catch (...) {
        // Shown once: an error line repaints the window, and the same failure must not start a
        // repaint loop.
        const std::string text = vald::format("{} exception {}", "lf_paintWindow", lf_exceptionText());
        try {
            if (gf_messageLines().errorText != text)
                gf_showError(text);
        } catch (...) {
        }
    }
}

void MainWindow::onClose()
{
    lf_guard("WM_CLOSE", [this] {
        gf_showStatus(vald::format("Close window button clicked, closing {} ...", PROGRAM_ID), false);
        gf_requestUserClose();
        // A running worker closes down and then ends the program; without one, nobody else will.
        if (!workerActive_.load())
            port_.post(vald::UiMessage::Quit);
    });
}

void MainWindow::onCommand(vald::ControlId id, vald::ControlEvent event)
{
    lf_guard("lf_HandleWMCOMMAND", [&] {
        if (const CommandHandler handler = commandHandler.load())
            if (handler(id, event))
                return;
        vald::gf_invalidateWindow(vald::CONTROLS_BAND);
    });
}

void MainWindow::joinWorker()
{
    if (thread_.joinable())
        thread_.join();
}

void MainWindow::lf_runWorker()
{
    lf_guard("lf_workerThread", worker_);
    workerActive_.store(false);
    // The run has ended. When the program is to end, the window quits; a second quit request
    // (the closing may have posted one) is harmless, the first one ends the loop.
    if (gf_stopPending())
        port_.post(vald::UiMessage::Quit);
}

void MainWindow::onStartRun()
{
    lf_guard("WM_APP+1", [this] {
        joinWorker();
        workerActive_.store(true);
        try {
            thread_ = std::thread(&MainWindow::lf_runWorker, this);
        } catch (...) {
            workerActive_.store(false);
            throw;
        }
    });
}

void MainWindow::onQuit()
{
    lf_guard("WM_APP+2", [this] {
        if (const std::optional<vald::PixelRect> frame = port_.windowFrame()) {
            const std::int32_t previousX = MAIN_WINDOW_X.value();
            const std::int32_t previousY = MAIN_WINDOW_Y.value();
            MAIN_WINDOW_X.setValue(frame->left);
            gf_saveIntParameter(MAIN_WINDOW_X);
            MAIN_WINDOW_Y.setValue(frame->top);
            gf_saveIntParameter(MAIN_WINDOW_Y);
            // A position clamped to a limit (a minimised window) falls back to the previous one.
            gf_saveMainWindowPos(previousX, previousY);
        }
        gf_log(gf_nowText());
    });
    port_.endLoop(exitCode.load());
}
