#include "platform/window_display.hpp"

#include <mutex>
#include <shared_mutex>

namespace vald {

namespace {

std::shared_mutex windowPortMutex;
UiPort* windowPort = nullptr;

}  // namespace

void gf_setWindowPort(UiPort* port)
{
    std::unique_lock<std::shared_mutex> lock(windowPortMutex);
    windowPort = port;
}

UiPort* gf_windowPort()
{
    std::shared_lock<std::shared_mutex> lock(windowPortMutex);
    return windowPort;
}

void gf_invalidateWindow(const PixelRect& rect)
{
    std::shared_lock<std::shared_mutex> lock(windowPortMutex);
    if (windowPort != nullptr)
        windowPort->invalidate(rect);
}

void gf_postWindowMessage(UiMessage message)
{
    std::shared_lock<std::shared_mutex> lock(windowPortMutex);
    if (windowPort != nullptr)
        windowPort->post(message);
}

void gf_windowMessageLine(std::string_view text, bool error)
{
    std::shared_lock<std::shared_mutex> lock(windowPortMutex);
    if (windowPort != nullptr)
        windowPort->messageLineChanged(text, error);
}

}  // namespace vald
