#pragma once
// The window without a display: the same program logic runs, the control model is the only
// state of the controls, each repaint paints into a recording canvas (the last display list is
// kept), message lines and message boxes go to standard error, and always-on-top is only noted.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/window_queue.hpp"

namespace vald {

class HeadlessUiPort : public QueuedUiPort {
public:
    HeadlessUiPort();
    ~HeadlessUiPort() override;

    bool headless() const override { return true; }
    [[nodiscard]] bool createWindow(const WindowSpec& spec, WindowEvents& events) override;
    [[nodiscard]] int runLoop() override;
    std::optional<PixelRect> windowFrame() const override;
    void messageLineChanged(std::string_view text, bool error) override;

    // What happened so far, for tests and for the headless log.
    WindowSpec spec() const;
    std::vector<DrawOp> lastPaint() const;
    std::vector<std::pair<std::string, std::string>> boxes() const;  // (caption, text)
    std::vector<std::string> messageLines() const;                  // as written to stderr
    bool alwaysOnTop() const;

protected:
    void wakeUiThread() override;
    void repaint(const PixelRect& rect) override;
    void syncControls() override;
    void showBox(const std::string& text, const std::string& caption) override;
    void applyAlwaysOnTop(bool onTop) override;

private:
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    mutable std::mutex recordMutex_;
    bool created_ = false;
    WindowSpec spec_;
    std::vector<DrawOp> lastPaint_;
    std::vector<std::pair<std::string, std::string>> boxes_;
    std::vector<std::string> messageLines_;
    bool alwaysOnTop_ = false;
};

}  // namespace vald
