#pragma once
// The main window on a display, drawn with FLTK 1.3: one double-buffered window whose own
// drawing is the painted status display (through the canvas interface) and whose children are
// the controls. FLTK is not thread-safe: only the UI thread touches a widget; other threads are
// heard through the request queue and Fl::awake.
#include <atomic>
#include <map>
#include <memory>

#include "platform/window_queue.hpp"

struct _XDisplay;  // Xlib's Display

namespace vald {

// The display that DISPLAY names, opened for FLTK; nullptr when there is none or it cannot be
// opened. The connection is kept for FLTK: closing it could let a virtual display reset while
// FLTK connects anew.
::_XDisplay* gf_openDisplay();

class FltkUiPort : public QueuedUiPort {
public:
    explicit FltkUiPort(::_XDisplay* display);
    ~FltkUiPort() override;

    bool headless() const override { return false; }
    [[nodiscard]] bool createWindow(const WindowSpec& spec, WindowEvents& events) override;
    [[nodiscard]] int runLoop() override;
    std::optional<PixelRect> windowFrame() const override;
    void messageLineChanged(std::string_view, bool) override {}

    struct Widgets;  // the FLTK objects; only the UI thread touches them

    // UI thread: a control or the close box was used.
    void dispatchCommand(ControlId id, ControlEvent event);
    void dispatchClose();

protected:
    void wakeUiThread() override;
    void repaint(const PixelRect& rect) override;
    void syncControls() override;
    void showBox(const std::string& text, const std::string& caption) override;
    void applyAlwaysOnTop(bool onTop) override;

private:
    static void lf_awake(void* port);
    static void lf_closeSignal(int fd, void* port);

    std::unique_ptr<Widgets> widgets_;
    std::atomic<bool> awakePending_{false};
    bool alwaysOnTop_ = false;
};

}  // namespace vald
