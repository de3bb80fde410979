#pragma once
// Small log and window helpers shared by the worker's modules.
#include <mutex>

#include "foundation/log.hpp"
#include "foundation/status_display.hpp"

// Flushes Log.txt (after each step of the worker that a crash must not lose).
inline void lf_flushRunLog()
{
    std::lock_guard<std::mutex> lock(gf_logMutex());
    if (gf_logStream().is_open())
        gf_logStream().flush();
}

// The whole client area, header to message line.
inline constexpr vald::PixelRect WHOLE_CLIENT_AREA{0, 0, 880, 476};
inline void lf_repaintWindow() { vald::gf_invalidateWindow(WHOLE_CLIENT_AREA); }
