#include "platform/window_headless.hpp"

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace vald {

HeadlessUiPort::HeadlessUiPort()
{
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::runtime_error("headless window: pipe failed");
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    startListening();
}

HeadlessUiPort::~HeadlessUiPort()
{
    stopListening();
    close(wakeRead_);
    close(wakeWrite_);
}

bool HeadlessUiPort::createWindow(const WindowSpec& spec, WindowEvents& events)
{
    setEvents(events);
    std::lock_guard<std::mutex> lock(recordMutex_);
    spec_ = spec;
    created_ = true;
    return true;
}

int HeadlessUiPort::runLoop()
{
    beginLoop();
    wakeUiThread();
    while (!loopEnded()) {
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {gf_closeSignalFd(), POLLIN, 0}};
        const int count = fds[1].fd >= 0 ? 2 : 1;
        if (poll(fds, count, -1) < 0)
            continue;  // EINTR: a signal arrived; its byte is in the pipe
        char buffer[64];
        while (read(wakeRead_, buffer, sizeof buffer) > 0) {
        }
        dispatchCloseSignals();
        dispatchPending();
    }
    return exitCode();
}

std::optional<PixelRect> HeadlessUiPort::windowFrame() const
{
    std::lock_guard<std::mutex> lock(recordMutex_);
    if (!created_)
        return std::nullopt;
    return PixelRect{spec_.x, spec_.y, spec_.x + spec_.width, spec_.y + spec_.height};
}

void HeadlessUiPort::messageLineChanged(std::string_view text, bool error)
{
    if (text.empty())
        return;
    std::string line = error ? "Error: " + std::string(text) : std::string(text);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::lock_guard<std::mutex> lock(recordMutex_);
    messageLines_.push_back(std::move(line));
}

WindowSpec HeadlessUiPort::spec() const
{
    std::lock_guard<std::mutex> lock(recordMutex_);
    return spec_;
}

std::vector<DrawOp> HeadlessUiPort::lastPaint() const
{
    std::lock_guard<std::mutex> lock(recordMutex_);
    return lastPaint_;
}

std::vector<std::pair<std::string, std::string>> HeadlessUiPort::boxes() const
{
    std::lock_guard<std::mutex> lock(recordMutex_);
    return boxes_;
}

std::vector<std::string> HeadlessUiPort::messageLines() const
{
    std::lock_guard<std::mutex> lock(recordMutex_);
    return messageLines_;
}

bool HeadlessUiPort::alwaysOnTop() const
{
    std::lock_guard<std::mutex> lock(recordMutex_);
    return alwaysOnTop_;
}

void HeadlessUiPort::wakeUiThread()
{
    const char byte = 1;
    // A full pipe already holds a wake-up.
    (void)!write(wakeWrite_, &byte, 1);
}

void HeadlessUiPort::repaint(const PixelRect&)
{
    if (events() == nullptr)
        return;
    RecordingCanvas canvas;
    events()->onPaint(canvas);
    std::lock_guard<std::mutex> lock(recordMutex_);
    lastPaint_ = canvas.ops();
}

void HeadlessUiPort::syncControls()
{
    // The control model is the headless window's only state of its controls.
    (void)gf_controls().takeDirty();
}

void HeadlessUiPort::showBox(const std::string& text, const std::string& caption)
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::lock_guard<std::mutex> lock(recordMutex_);
    boxes_.emplace_back(caption, text);
}

void HeadlessUiPort::applyAlwaysOnTop(bool onTop)
{
    std::lock_guard<std::mutex> lock(recordMutex_);
    alwaysOnTop_ = onTop;
}

}  // namespace vald
