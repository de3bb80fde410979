#pragma once
// The part of a UI port that both backends share: the queue of requests that other threads hand
// to the UI thread (posted messages, repaints, control changes, message boxes), the close
// signals, and their dispatch on the UI thread. A backend only says how the UI thread is woken,
// how it repaints, how it mirrors the control model and how it shows a box.
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/window.hpp"

namespace vald {

class QueuedUiPort : public UiPort {
public:
    QueuedUiPort();
    ~QueuedUiPort() override;
    QueuedUiPort(const QueuedUiPort&) = delete;
    QueuedUiPort& operator=(const QueuedUiPort&) = delete;

    void endLoop(int exitCode) override;
    void post(UiMessage message) override;
    void invalidate(const PixelRect& rect) override;
    void messageBox(const std::string& text, const std::string& caption) override;
    void setAlwaysOnTop(bool onTop) override;

protected:
    // Wakes the UI thread so that it calls dispatchPending soon; callable from any thread.
    virtual void wakeUiThread() = 0;
    // UI thread only.
    virtual void repaint(const PixelRect& rect) = 0;
    virtual void syncControls() = 0;
    virtual void showBox(const std::string& text, const std::string& caption) = 0;
    virtual void applyAlwaysOnTop(bool onTop) = 0;

    // UI thread: runs everything queued so far. Exceptions of the program's handlers stop here.
    void dispatchPending();
    // UI thread: reads pending close signals and delivers one close for them.
    void dispatchCloseSignals();
    // The loop of the backend calls this first; it also marks the calling thread as the UI thread.
    void beginLoop();
    bool loopEnded() const { return ended_.load(); }
    int exitCode() const { return exitCode_; }
    bool onUiThread() const { return std::this_thread::get_id() == uiThread_; }
    void setEvents(WindowEvents& events) { events_ = &events; }
    WindowEvents* events() const { return events_; }
    // Runs one handler of the program, keeping every exception away from the toolkit.
    void guarded(const std::function<void()>& handler);

    // The backend starts listening to the control model once it can be woken, and stops before
    // it goes away.
    void startListening();
    void stopListening();

private:
    struct ListenerLink {
        std::mutex mutex;
        QueuedUiPort* port = nullptr;
    };

    void queueTask(std::function<void()> task);
    void controlsChanged();

    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    std::optional<PixelRect> damage_;
    bool controlsChanged_ = false;
    std::atomic<bool> ended_{false};
    int exitCode_ = 0;
    std::thread::id uiThread_;
    WindowEvents* events_ = nullptr;
    ControlModel::ListenerToken listener_ = 0;
    std::shared_ptr<ListenerLink> link_;
};

// The read end of the pipe that SIGINT and SIGTERM write to; -1 before gf_installCloseSignals.
int gf_closeSignalFd();

}  // namespace vald
