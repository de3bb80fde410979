#pragma once
// The painted part of the main window: header, counts band with the simulator and service
// lamps, the labels beside the controls, the live-status band about the park airport, and the
// message line. Painting is a pure function of a PaintInput, which is gathered in one go on the
// UI thread from the display values, the message lines, the parameters and the control model.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/message_lines.hpp"
#include "platform/window_canvas.hpp"
#include "foundation/status_display.hpp"

namespace colours {
inline constexpr vald::Colour LIME_GREEN = 0x32CD32;
inline constexpr vald::Colour YELLOW = 0x00FFFF;
inline constexpr vald::Colour RED = 0x0000FF;
inline constexpr vald::Colour BLACK = 0x000000;
inline constexpr vald::Colour WHITE = 0xFFFFFF;
inline constexpr vald::Colour GREY = 0xA0A0A0;
inline constexpr vald::Colour LIGHT_BLUE = 0xFFCC99;
}  // namespace colours

// Everything one paint shows, copied before the paint starts.
struct PaintInput {
    vald::StatusDisplayValues display;
    MessageLines messages;
    std::string versionText;

    std::int32_t timeShiftDays = 0;
    std::int32_t timeShiftHours = 0;
    std::int32_t timeShiftMins = 0;
    bool guidChanges = true;
    bool scanLiveries = false;
    bool scanAirports = false;
    bool autoRange = false;
    bool airborneOnly = false;
    bool initialLoadOnly = false;
    bool rtParkTrafficOnly = false;
    bool straightPbsOnly = false;
    std::int32_t maxParkSel = 0;
    std::int32_t maxLiveSel = 0;
    bool controlsLocked = false;
    // Whether the optional-category check boxes are enabled.
    bool lightAircraftEnabled = true;
    bool helicoptersEnabled = true;
    bool highPerfEnabled = true;
};

PaintInput lf_collectPaintInput();

void lf_paintWindow(vald::Canvas& canvas, const PaintInput& input);
void lf_paintCounts(vald::Canvas& canvas, const PaintInput& input);
void lf_paintQnh(vald::Canvas& canvas, const PaintInput& input);
void lf_paintLabels(vald::Canvas& canvas, const PaintInput& input);
void lf_paintLiveStatus(vald::Canvas& canvas, const PaintInput& input);
void lf_paintMessageLine(vald::Canvas& canvas, const MessageLines& lines);

// One text; a text that is not valid UTF-8 is not drawn and is logged.
void lf_textOut(vald::Canvas& canvas, int x, int y, std::string_view text, vald::Colour colour);
// A label in black when enabled, else grey.
void lf_labelOut(vald::Canvas& canvas, int x, int y, std::string_view text, bool enabled);

// The aircraft counts of the display (live not parked, parked live, static). A count that
// changed is stored and only its band repainted, so the once-a-second call costs nothing when
// nothing changed.
void gf_repaintOnCountChange(std::uint64_t live, std::uint64_t parkedLive, std::uint64_t statics);
