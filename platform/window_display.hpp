#pragma once
// The main window's bands and its UI port as the process knows it (none until the window exists;
// requests before that are dropped), here because every layer may ask for a repaint. What the
// status display shows is the application's own: foundation/status_display.hpp.
#include <cstdint>
#include <string_view>

#include "platform/window.hpp"

namespace vald {

// Bands of the client area (the window's outer width, so the right edge is clipped).
inline constexpr PixelRect HEADER_BAND{0, 0, 880, 28};
inline constexpr PixelRect COUNTS_BAND{0, 28, 880, 112};
inline constexpr PixelRect CONTROLS_BAND{0, 112, 880, 392};
inline constexpr PixelRect LIVE_STATUS_BAND{0, 392, 880, 448};
inline constexpr PixelRect MESSAGE_LINE_RECT{0, 448, 880, 476};

// The UI port of the main window; nullptr before it exists and after it is gone. Setting it
// waits for the calls below that are under way, so a port can be destroyed once it is unset.
void gf_setWindowPort(UiPort* port);
// For the threads that live no longer than the window (the UI thread and the worker), which
// may wait on it (message boxes).
UiPort* gf_windowPort();
// Any thread; nothing without a window. None of them waits for the UI thread.
void gf_invalidateWindow(const PixelRect& rect);
void gf_postWindowMessage(UiMessage message);
void gf_windowMessageLine(std::string_view text, bool error);

}  // namespace vald
