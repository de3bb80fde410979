#pragma once
// Shared by the window tests: a UI port that only records what the program asks of the window,
// and the reset of the process-wide window state between tests.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/message_lines.hpp"
#include "app/run_state.hpp"
#include "foundation/status_display.hpp"

namespace corv_test {

class RecordingPort : public vald::UiPort {
public:
    bool headless() const override { return true; }
    bool createWindow(const vald::WindowSpec&, vald::WindowEvents&) override { return true; }
    int runLoop() override { return 0; }
    void endLoop(int) override {}
    std::optional<vald::PixelRect> windowFrame() const override { return std::nullopt; }
    void post(vald::UiMessage message) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(message);
    }
    void invalidate(const vald::PixelRect& rect) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        invalidated_.push_back(rect);
    }
    void messageBox(const std::string& text, const std::string& caption) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.emplace_back(caption, text);
    }
    void setAlwaysOnTop(bool) override {}
    void messageLineChanged(std::string_view text, bool error) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.emplace_back(std::string(text), error);
    }

    std::vector<vald::PixelRect> invalidated() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return invalidated_;
    }
    std::vector<std::pair<std::string, bool>> lines() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        invalidated_.clear();
        lines_.clear();
        posted_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<vald::UiMessage> posted_;
    std::vector<vald::PixelRect> invalidated_;
    std::vector<std::pair<std::string, std::string>> boxes_;
    std::vector<std::pair<std::string, bool>> lines_;
};

// The window's process-wide state back to the start of a process.
inline void resetWindowState()
{
    vald::gf_setWindowPort(nullptr);
    vald::gf_controls().reset();
    vald::gf_resetDisplayForTest();
    gf_resetMessageLines();
    gf_resetRunStateForTest();
}

}  // namespace corv_test
