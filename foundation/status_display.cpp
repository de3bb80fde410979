#include "foundation/status_display.hpp"

#include <mutex>

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

}  // namespace vald
