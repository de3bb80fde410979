#include "app/status_paint.hpp"

#include <exception>

#include "app/run_state.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "platform/control_model.hpp"

using vald::Canvas;
using vald::Colour;
using vald::PixelRect;
using namespace colours;

namespace {

constexpr int WIDTH = 880;
constexpr int LIVE_STATUS_Y1 = 399;
constexpr int LIVE_STATUS_Y2 = LIVE_STATUS_Y1 + 28;
constexpr int MESSAGE_TEXT_X = 3;
constexpr int MESSAGE_TEXT_Y = 455;
constexpr int STATIC_PARKING_PERIOD_MINUTES = 20;

const char* const OWNERSHIP_NOTICE = "(c) the Corvalen authors";
const char* const TBLO_HINT = "Please e-mail tblo\\tblo.zip to tblo@corvalen.example";

Colour lf_highlight(bool condition) { return condition ? YELLOW : BLACK; }

int lf_row(const ParameterControl& control) { return control.y(); }

}  // namespace

void lf_textOut(Canvas& canvas, int x, int y, std::string_view text, Colour colour)
{
    try {
        (void)utf8_to_wide(text);
    } catch (const std::exception& e) {
        gf_logUnlessStopping(vald::format("TextOut utf8  to wide failed for '{}': {}", text, e.what()));
        return;
    }
    canvas.text(x, y, text, colour);
}

void lf_labelOut(Canvas& canvas, int x, int y, std::string_view text, bool enabled)
{
    lf_textOut(canvas, x, y, text, enabled ? BLACK : GREY);
}

PaintInput lf_collectPaintInput()
{
    PaintInput input;
    input.display = vald::gf_displaySnapshot();
    input.messages = gf_messageLines();
    const VersionData& version = gf_programVersion();
    input.versionText = vald::format("{}.{}.{}", version.major, version.minor, version.patch);
    input.timeShiftDays = TIME_SHIFT_DAYS.value();
    input.timeShiftHours = TIME_SHIFT_HOURS.value();
    input.timeShiftMins = TIME_SHIFT_MINS.value();
    input.guidChanges = GUID_CHANGES.value();
    input.scanLiveries = SCAN_LIVERIES.value();
    input.scanAirports = SCAN_AIRPORTS.value();
    input.autoRange = AUTO_RANGE.value();
    input.airborneOnly = AIRBORNE_ONLY.value();
    input.initialLoadOnly = INITIAL_LOAD_ONLY.value();
    input.rtParkTrafficOnly = RT_PARKTRAFFIC_ONLY.value();
    input.straightPbsOnly = STRAIGHT_PBS_ONLY.value();
    input.maxParkSel = MAX_PARK_SEL.value();
    input.maxLiveSel = MAX_LIVE_SEL.value();
    input.controlsLocked = controlsLocked.load();
    const vald::ControlModel& controls = vald::gf_controls();
    input.lightAircraftEnabled = controls.enabled(LIGHT_AIRCRAFT.controlId());
    input.helicoptersEnabled = controls.enabled(HELICOPTERS.controlId());
    input.highPerfEnabled = controls.enabled(HIGH_PERF_AIRCRAFT.controlId());
    return input;
}

void lf_paintWindow(Canvas& canvas, const PaintInput& input)
{
    canvas.fillRect(vald::HEADER_BAND, BLACK);
    canvas.fillRect(vald::COUNTS_BAND, BLACK);
    canvas.fillRect(vald::CONTROLS_BAND, LIGHT_BLUE);
    canvas.fillRect(vald::LIVE_STATUS_BAND, BLACK);
    canvas.fillRect(vald::MESSAGE_LINE_RECT, LIME_GREEN);
    canvas.line(0, 28, WIDTH, 28, WHITE);
    canvas.line(0, 113, WIDTH, 113, WHITE);
    canvas.line(0, 449, WIDTH, 449, WHITE);
    canvas.line(0, 392, WIDTH, 392, WHITE);

    lf_textOut(canvas, 3, 7, vald::format("Version {}", input.versionText), LIME_GREEN);
    lf_textOut(canvas, 390, 7, PROGRAM_ID, LIME_GREEN);
    lf_textOut(canvas, 632, 7, OWNERSHIP_NOTICE, LIME_GREEN);

    for (const int y : {140, 224, 308})
        canvas.line(0, y, WIDTH, y, BLACK);
    for (const int y : {168, 196, 252, 280})
        canvas.line(0, y, 642, y, BLACK);
    canvas.line(642, 140, 642, 308, BLACK);

    lf_paintCounts(canvas, input);
    lf_paintQnh(canvas, input);
    const vald::StatusDisplayValues& d = input.display;
    if (d.authenticated && (d.trafficLamp == vald::LAMP_RECEIVED || d.trafficLamp == vald::LAMP_WAITING))
        lf_textOut(canvas, 642, 91, vald::format("live: {:3}", d.liveCount), LIME_GREEN);
    lf_paintLabels(canvas, input);
    lf_paintLiveStatus(canvas, input);
    lf_paintMessageLine(canvas, input.messages);
}

void lf_paintCounts(Canvas& canvas, const PaintInput& input)
{
    const vald::StatusDisplayValues& d = input.display;
    Colour simColour = RED;
    if (d.simConnected)
        simColour = d.flightRunning && !d.userTitle.empty() ? LIME_GREEN : YELLOW;
    canvas.fillRect(PixelRect{397, 30, 425, 112}, simColour);
    lf_textOut(canvas, 398, 63, "Sim", LIME_GREEN);
    if (d.simConnected) {
        const std::string first = d.userStand.empty() ? d.simText : d.simText + ", user stand " + d.userStand;
        lf_textOut(canvas, 5, 35, first, simColour);
        lf_textOut(canvas, 5, 63, d.userTitle, simColour);
    }

    if (d.liveryCount != 0)
        lf_textOut(canvas, 5, 91, vald::format("# liveries: {}", d.liveryCount), LIME_GREEN);
    else
        lf_textOut(canvas, 5, 91, "# liveries: ...", RED);
    if (d.simaddonCount != 0)
        lf_textOut(canvas, 141, 91, vald::format("# {}: {}", "simaddon", d.simaddonCount), LIME_GREEN);
    else
        lf_textOut(canvas, 141, 91, "# simaddon: ...", YELLOW);
    if (d.thirdpCount != 0)
        lf_textOut(canvas, 278, 91, vald::format("# thirdp: {}", d.thirdpCount), LIME_GREEN);
    else
        lf_textOut(canvas, 278, 91, "# thirdp: ...", YELLOW);

    Colour serviceColour = d.authenticated ? LIME_GREEN : RED;
    if (d.serviceWaiting)
        serviceColour = BLACK;
    canvas.fillRect(PixelRect{425, 30, 453, 112}, serviceColour);
    lf_textOut(canvas, 430, 63, "RT", LIME_GREEN);
    if (d.authenticated) {
        if (d.weatherLamp != vald::LAMP_HIDDEN)
            lf_textOut(canvas, 458, 63, "Weather", d.weatherLamp == vald::LAMP_RECEIVED ? LIME_GREEN : YELLOW);
        if (d.trafficLamp != vald::LAMP_HIDDEN)
            lf_textOut(canvas, 458, 91, "Traffic", d.trafficLamp == vald::LAMP_RECEIVED ? LIME_GREEN : YELLOW);
    }
    canvas.line(425, 29, 425, 112, BLACK);
}

void lf_paintQnh(Canvas& canvas, const PaintInput& input)
{
    const vald::StatusDisplayValues& d = input.display;
    if (!d.authenticated || (d.weatherLamp != vald::LAMP_RECEIVED && d.weatherLamp != vald::LAMP_WAITING))
        return;
    if (d.qnhHpa >= 1)
        lf_textOut(canvas, 642, 63, vald::format("qnh: {:4}", d.qnhHpa), LIME_GREEN);
}

void lf_paintLabels(Canvas& canvas, const PaintInput& in)
{
    const bool time = in.display.timeControlsEnabled;
    lf_labelOut(canvas, 652, lf_row(TIME_SHIFT_DAYS), "Time shift:", time);
    lf_labelOut(canvas, 672, lf_row(KEEP_SIM_TIME_PAR), "Keep", time);
    lf_labelOut(canvas, 672, lf_row(TIME_SHIFT_HOURS), "Sim Time", time);
    lf_labelOut(canvas, 768, lf_row(ALWAYS_ON_TOP), "Stay on top", true);
    lf_labelOut(canvas, 768, lf_row(LEARN_SOFT), "Learn Soft", true);
    lf_labelOut(canvas, 672, lf_row(NAV_LIGHTS_WHILE_PARKED), "Nav lights", true);
    lf_textOut(canvas, 768, lf_row(GUID_CHANGES), "GUID changes", lf_highlight(!in.guidChanges));
    lf_labelOut(canvas, 798, lf_row(TIME_SHIFT_DAYS), vald::format("day{}", gf_plural(in.timeShiftDays)), time);
    lf_labelOut(canvas, 798, lf_row(TIME_SHIFT_HOURS), vald::format("hour{}", gf_plural(in.timeShiftHours)), time);
    lf_labelOut(canvas, 798, lf_row(TIME_SHIFT_MINS), vald::format("minute{}", gf_plural(in.timeShiftMins)), time);

    lf_labelOut(canvas, 5, lf_row(ALL_INSTALL_PATH), "Install path:", true);
    lf_textOut(canvas, 25, lf_row(SCAN_LIVERIES), "Scan for liveries", lf_highlight(in.scanLiveries));
    lf_labelOut(canvas, 556, lf_row(LIG_PRIORITIZE), "Prioritize", true);
    lf_textOut(canvas, 25, lf_row(SCAN_AIRPORTS), "Scan for addon airports", lf_highlight(in.scanAirports));
    if (in.display.tbloFileCount != 0)
        lf_textOut(canvas, 323, lf_row(SCAN_AIRPORTS), TBLO_HINT, RED);
    lf_labelOut(canvas, 5, lf_row(MATCHING_DEPTH), "Max aircraft matching depth", true);
    lf_labelOut(canvas, 258, lf_row(LIGHT_AIRCRAFT), "Optional:", true);
    lf_labelOut(canvas, 343, lf_row(LIGHT_AIRCRAFT), "Light aircraft", in.lightAircraftEnabled);
    lf_labelOut(canvas, 450, lf_row(HELICOPTERS), "Helicopters", in.helicoptersEnabled);
    lf_labelOut(canvas, 556, lf_row(HIGH_PERF_AIRCRAFT), "FighterJets", in.highPerfEnabled);

    lf_labelOut(canvas, 5, lf_row(RANGE), "Traffic injection", true);
    lf_labelOut(canvas, 163, lf_row(RANGE), "Radius:", true);
    lf_labelOut(canvas, 270, lf_row(RANGE), "nm, or", true);
    lf_labelOut(canvas, 343, lf_row(AUTO_RANGE), "Auto range", true);
    lf_labelOut(canvas, 430, lf_row(AR_ABOVE_HEIGHT), "Ah:", in.autoRange);
    lf_labelOut(canvas, 536, lf_row(AR_ABOVE_HEIGHT), "ft", in.autoRange);
    lf_textOut(canvas, 592, lf_row(AIRBORNE_ONLY), "AirOnly", lf_highlight(in.airborneOnly));
    lf_labelOut(canvas, 5, lf_row(BLOCK_CALLSIGN), "Block callsign:", true);
    lf_labelOut(canvas, 5, lf_row(COLLISION_USER_GND), "Collision avoidance", true);
    lf_labelOut(canvas, 237, lf_row(COLLISION_USER_GND), "User ground", true);
    lf_labelOut(canvas, 343, lf_row(COLLISION_USER_AIR), "User air", true);
    lf_labelOut(canvas, 450, lf_row(COLLISION_LIVE_PARKED_GND), "Live X parked", true);

    const bool equal = in.maxParkSel == in.maxLiveSel;
    lf_textOut(canvas, 5, lf_row(MAX_PARK_SEL), "Airport parking", lf_highlight(in.controlsLocked));
    lf_textOut(canvas, 171, lf_row(MAX_PARK_SEL), "Max park (static+live):",
               equal ? RED : (in.maxParkSel == 0 ? YELLOW : BLACK));
    lf_textOut(canvas, 401, lf_row(MAX_LIVE_SEL), "Max live (park incl):",
               equal ? RED : (in.maxLiveSel == 0 ? YELLOW : BLACK));
    lf_labelOut(canvas, 672, lf_row(STRAIGHT_PBS_ONLY), "Straight push backs only", in.straightPbsOnly);
    lf_labelOut(canvas, 137, lf_row(DESTINATION), "Destination:", true);
    lf_labelOut(canvas, 303, lf_row(AIRP_RANGE), "Range:", true);
    lf_labelOut(canvas, 403, lf_row(AIRP_RANGE), "nm", true);
    lf_labelOut(canvas, 440, lf_row(AIRP_HEIGHT), "Height above gnd:", true);
    lf_labelOut(canvas, 646, lf_row(AIRP_HEIGHT), "ft", true);
    if (in.display.parkAirportOpen && !in.controlsLocked) {
        if (in.initialLoadOnly)
            lf_labelOut(canvas, 5, lf_row(AIRP_RANGE), "(no next ... )", true);
        else if (in.display.paintedCountdown >= 1 && in.display.paintedCountdown < STATIC_PARKING_PERIOD_MINUTES)
            lf_labelOut(canvas, 5, lf_row(AIRP_RANGE), vald::format("(next in {} min)", in.display.paintedCountdown),
                        true);
    }

    lf_textOut(canvas, 25, lf_row(INITIAL_LOAD_ONLY), "ILO", lf_highlight(in.initialLoadOnly));
    const bool parkOptions = !in.rtParkTrafficOnly;
    lf_labelOut(canvas, 91, lf_row(WEEK), "Week", parkOptions);
    lf_labelOut(canvas, 171, lf_row(PARK_SOFT), "Soft", parkOptions);
    lf_labelOut(canvas, 264, lf_row(parking_percentage), "Target: ", parkOptions);
    lf_labelOut(canvas, 378, lf_row(parking_percentage), "%", parkOptions);
    lf_labelOut(canvas, 506, lf_row(MAX_FIT_FL), "Max fit:", parkOptions);
    lf_labelOut(canvas, 632, lf_row(MAX_FIT_FL), "hrs", true);
    lf_labelOut(canvas, 687, lf_row(RT_PARKTRAFFIC_ONLY), "PT only", true);
}

void lf_paintLiveStatus(Canvas& canvas, const PaintInput& input)
{
    const vald::StatusDisplayValues& d = input.display;
    if (!d.parkAirportSet)
        return;
    const int y1 = LIVE_STATUS_Y1;
    const int y2 = LIVE_STATUS_Y2;
    lf_textOut(canvas, 5, y1, d.airportLabel, d.parkFileRead ? LIME_GREEN : YELLOW);
    if (!d.parkFileRead)
        return;
    lf_textOut(canvas, 85, y1,
               vald::format(" {}, {}{}, wk={}", d.parkName, d.parkPublisher, d.handmade ? " (h)" : "", d.trafficWeek),
               LIME_GREEN);
    const char* marks = d.softPositions ? (d.weekData ? "*WS*" : "*S*") : (d.weekData ? "*W*" : nullptr);
    if (marks != nullptr)
        lf_textOut(canvas, 370, y1, marks, LIME_GREEN);
    if (!input.rtParkTrafficOnly)
        lf_textOut(canvas, 430, y1, vald::format("qf: {}", d.quality), LIME_GREEN);
    if (!d.reservedStand.empty())
        lf_textOut(canvas, 571, y1, vald::format("reserved stand: {}", d.reservedStand),
                   d.reservedStandFound ? LIME_GREEN : RED);
    lf_textOut(canvas, 748, y1, vald::format("# updates: {:4}", d.learnedUpdates), LIME_GREEN);

    lf_textOut(canvas, 5, y2, vald::format("# stands: {:3}", d.standCount), LIME_GREEN);
    lf_textOut(canvas, 111, y2, vald::format("parked live: {:3}", d.parkedLiveCount), LIME_GREEN);
    if (d.liveAverageFit > 0.0F)
        lf_textOut(canvas, 249, y2, vald::format("average fit: {}", gf_formatNumber(d.liveAverageFit)), LIME_GREEN);
    if (d.wantedParkCount > 0) {
        lf_textOut(canvas, 430, y2, vald::format("static: {:3}", d.staticCount), LIME_GREEN);
        if (d.staticBeingCreated > 0)
            lf_textOut(canvas, 500, y2, vald::format(" ({})", d.staticBeingCreated), YELLOW);
        if (!d.weekData && d.staticAverageFit > 0.0F)
            lf_textOut(canvas, 571, y2, vald::format("average fit: {}", gf_formatNumber(d.staticAverageFit)),
                       LIME_GREEN);
    }
    if (!input.rtParkTrafficOnly) {
        if (d.wantedParkCount == 0)
            lf_textOut(canvas, 708, y2, "no max park live", LIME_GREEN);
        else
            lf_textOut(canvas, 708, y2,
                       vald::format("max park: {:3} (={} %)", d.wantedParkCount, d.wantedParkPercent), LIME_GREEN);
    }
}

void lf_paintMessageLine(Canvas& canvas, const MessageLines& lines)
{
    if (lines.errorText.empty()) {
        canvas.fillRect(vald::MESSAGE_LINE_RECT, LIME_GREEN);
        if (!lines.statusText.empty())
            lf_textOut(canvas, MESSAGE_TEXT_X, MESSAGE_TEXT_Y, lines.statusText, YELLOW);
        return;
    }
    canvas.fillRect(vald::MESSAGE_LINE_RECT, RED);
    lf_textOut(canvas, MESSAGE_TEXT_X, MESSAGE_TEXT_Y, lines.errorText, YELLOW);
}

void gf_repaintOnCountChange(std::uint64_t live, std::uint64_t parkedLive, std::uint64_t statics)
{
    const vald::StatusDisplayValues current = vald::gf_displaySnapshot();
    if (current.liveCount != live)
        vald::gf_updateDisplay([live](vald::StatusDisplayValues& v) { v.liveCount = live; }, vald::COUNTS_BAND);
    if (current.parkedLiveCount != parkedLive || current.staticCount != statics)
        vald::gf_updateDisplay(
            [parkedLive, statics](vald::StatusDisplayValues& v) {
                v.parkedLiveCount = parkedLive;
                v.staticCount = statics;
            },
            vald::LIVE_STATUS_BAND);
}
