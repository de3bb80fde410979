#pragma once
// The main window's answers to its messages, on the UI thread: painting, the close box, the
// commands of the controls, the start of a run on a new worker thread (WM_APP+1) and the end of
// the program (WM_APP+2). Every handler catches its own exceptions and shows them on the error
// line: nothing escapes into the toolkit.
#include <atomic>
#include <functional>
#include <thread>

#include "platform/window.hpp"

// The commands of the buttons, check boxes, edit fields and drop-down lists; answers whether
// the command was handled. Registered by the command module; without one nothing happens.
using CommandHandler = bool (*)(vald::ControlId id, vald::ControlEvent event);
void gf_setCommandHandler(CommandHandler handler);

// The work of one run on the worker thread.
using WorkerProcedure = std::function<void()>;

class MainWindow : public vald::WindowEvents {
public:
    MainWindow(vald::UiPort& port, WorkerProcedure worker);
    // Joins a worker that is still running.
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    void onPaint(vald::Canvas& canvas) override;
    void onClose() override;
    void onCommand(vald::ControlId id, vald::ControlEvent event) override;
    void onStartRun() override;
    void onQuit() override;

    // Waits for the worker of the last run, if any. The UI thread calls it before a new run and
    // once the message loop has ended; the worker is never left running on its own.
    void joinWorker();
    bool workerActive() const { return workerActive_.load(); }

private:
    void lf_runWorker();
    void lf_guard(const char* handlerName, const std::function<void()>& handler);

    vald::UiPort& port_;
    WorkerProcedure worker_;
    std::thread thread_;
    std::atomic<bool> workerActive_{false};
};
