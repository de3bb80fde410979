#include "platform/window_display.hpp"

#include <mutex>
#include <shared_mutex>

namespace vald {

namespace {

std::mutex& lf_displayMutex()
{
    static std::mutex mutex;
    return mutex;
}

StatusDisplayValues& lf_values()
{
    static StatusDisplayValues values;
    return values;
}

std::shared_mutex windowPortMutex;
UiPort* windowPort = nullptr;

}  // namespace

void gf_updateDisplay(const std::function<void(StatusDisplayValues&)>& change, const PixelRect& band)
{
    {
        std::lock_guard<std::mutex> lock(lf_displayMutex());
        change(lf_values());
    }
    gf_invalidateWindow(band);
}

StatusDisplayValues gf_displaySnapshot()
{
    std::lock_guard<std::mutex> lock(lf_displayMutex());
    return lf_values();
}

void gf_resetDisplayForRun()
{
    {
        std::lock_guard<std::mutex> lock(lf_displayMutex());
        StatusDisplayValues& values = lf_values();
        const StatusDisplayValues start;
        StatusDisplayValues next = start;
        next.liveryCount = values.liveryCount;
        next.simaddonCount = values.simaddonCount;
        next.thirdpCount = values.thirdpCount;
        next.tbloFileCount = values.tbloFileCount;
        values = next;
    }
    gf_invalidateWindow(PixelRect{0, 0, 880, 476});
}

void gf_resetDisplayForTest()
{
    std::lock_guard<std::mutex> lock(lf_displayMutex());
    lf_values() = StatusDisplayValues{};
}

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
