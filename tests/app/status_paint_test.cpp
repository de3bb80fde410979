// Display lists of the status display: lamps and their colours by state, the counts, the labels
// that follow the settings, the park-airport band and the message line.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "app/status_paint.hpp"
#include "foundation/parameters.hpp"
#include "tests/app/app_test_support.hpp"

using vald::DrawOp;
using vald::PixelRect;
using vald::RecordingCanvas;
using namespace colours;

namespace {

RecordingCanvas lf_paint(const PaintInput& input)
{
    RecordingCanvas canvas;
    lf_paintWindow(canvas, input);
    return canvas;
}

// The colour of the fill of exactly this rectangle; -1 when there is none.
std::int64_t lf_fillOf(const RecordingCanvas& canvas, const PixelRect& rect)
{
    std::int64_t colour = -1;
    for (const DrawOp& op : canvas.ops())
        if (op.kind == DrawOp::Kind::Fill && op.rect == rect)
            colour = op.colour;
    return colour;
}

std::vector<std::string> lf_textsIn(const RecordingCanvas& canvas, const PixelRect& band)
{
    std::vector<std::string> texts;
    for (const DrawOp& op : canvas.ops())
        if (op.kind == DrawOp::Kind::Text && op.rect.top >= band.top && op.rect.top < band.bottom)
            texts.push_back(op.text);
    return texts;
}

// The one text drawn at (x, y); fails the test when there is not exactly one.
DrawOp lf_textAt(const RecordingCanvas& canvas, int x, int y)
{
    const std::vector<DrawOp> texts = canvas.textsAt(x, y);
    EXPECT_EQ(texts.size(), 1U) << "at (" << x << ", " << y << ")";
    return texts.empty() ? DrawOp{} : texts.front();
}

const PixelRect SIM_LAMP{397, 30, 425, 112};
const PixelRect SERVICE_LAMP{425, 30, 453, 112};

TEST(StatusPaintTest, BeforeTheSimulatorConnectsTheLampsAreRedAndBlackWithTheirNames)
{
    PaintInput input;
    const RecordingCanvas canvas = lf_paint(input);

    EXPECT_EQ(lf_fillOf(canvas, SIM_LAMP), RED);
    EXPECT_EQ(lf_fillOf(canvas, SERVICE_LAMP), BLACK);
    EXPECT_EQ(lf_textAt(canvas, 398, 63), (DrawOp{DrawOp::Kind::Text, {398, 63, 398, 63}, LIME_GREEN, "Sim"}));
    EXPECT_EQ(lf_textAt(canvas, 430, 63).text, "RT");
    EXPECT_EQ(lf_textAt(canvas, 5, 91), (DrawOp{DrawOp::Kind::Text, {5, 91, 5, 91}, RED, "# liveries: ..."}));
    EXPECT_EQ(lf_textAt(canvas, 141, 91).colour, YELLOW);
    EXPECT_EQ(lf_textAt(canvas, 141, 91).text, "# simaddon: ...");
    EXPECT_EQ(lf_textAt(canvas, 278, 91).text, "# thirdp: ...");
    EXPECT_TRUE(canvas.textsAt(5, 35).empty()) << "no simulator text before the connection";
    EXPECT_TRUE(canvas.textsAt(458, 63).empty()) << "no Weather before the login";
    // The bands, in order, and the message line lime green without a status.
    EXPECT_EQ(canvas.fillColourAt(10, 10), BLACK);
    EXPECT_EQ(canvas.fillColourAt(10, 200), LIGHT_BLUE);
    EXPECT_EQ(canvas.fillColourAt(10, 420), BLACK);
    EXPECT_EQ(canvas.fillColourAt(10, 460), LIME_GREEN);
}

TEST(StatusPaintTest, TheSimulatorLampTurnsYellowThenLimeAsTheFlightAndTitleBecomeKnown)
{
    PaintInput input;
    input.display.simConnected = true;
    input.display.simText = "Prepar3D v5.4";
    input.display.userStand = "D7";
    RecordingCanvas canvas = lf_paint(input);
    EXPECT_EQ(lf_fillOf(canvas, SIM_LAMP), YELLOW);
    EXPECT_EQ(lf_textAt(canvas, 5, 35), (DrawOp{DrawOp::Kind::Text, {5, 35, 5, 35}, YELLOW,
                                               "Prepar3D v5.4, user stand D7"}));

    input.display.flightRunning = true;
    EXPECT_EQ(lf_fillOf(lf_paint(input), SIM_LAMP), YELLOW) << "a running flight without a title";
    input.display.userTitle = "Boeing 737-800 KLM";
    input.display.userStand.clear();
    input.display.liveryCount = 1234;
    input.display.thirdpCount = 12;
    canvas = lf_paint(input);
    EXPECT_EQ(lf_fillOf(canvas, SIM_LAMP), LIME_GREEN);
    EXPECT_EQ(lf_textAt(canvas, 5, 91), (DrawOp{DrawOp::Kind::Text, {5, 91, 5, 91}, LIME_GREEN, "# liveries: 1234"}));
    EXPECT_EQ(lf_textAt(canvas, 278, 91).text, "# thirdp: 12");
    EXPECT_EQ(lf_textAt(canvas, 5, 35).text, "Prepar3D v5.4");
    EXPECT_EQ(lf_textAt(canvas, 5, 63), (DrawOp{DrawOp::Kind::Text, {5, 63, 5, 63}, LIME_GREEN, "Boeing 737-800 KLM"}));
}

TEST(StatusPaintTest, TheServiceLampAndItsIndicatorsFollowTheLoginAndTheReaders)
{
    PaintInput input;
    input.display.serviceWaiting = false;
    EXPECT_EQ(lf_fillOf(lf_paint(input), SERVICE_LAMP), RED) << "waiting over, not logged in";

    input.display.authenticated = true;
    input.display.weatherLamp = vald::LAMP_RECEIVED;
    input.display.trafficLamp = vald::LAMP_WAITING;
    input.display.qnhHpa = 1013;
    input.display.liveCount = 7;
    RecordingCanvas canvas = lf_paint(input);
    EXPECT_EQ(lf_fillOf(canvas, SERVICE_LAMP), LIME_GREEN);
    EXPECT_EQ(lf_textAt(canvas, 458, 63).colour, LIME_GREEN);
    EXPECT_EQ(lf_textAt(canvas, 458, 91), (DrawOp{DrawOp::Kind::Text, {458, 91, 458, 91}, YELLOW, "Traffic"}));
    EXPECT_EQ(lf_textAt(canvas, 642, 63).text, "qnh: 1013");
    EXPECT_EQ(lf_textAt(canvas, 642, 91).text, "live:   7");

    input.display.qnhHpa = 0;
    input.display.trafficLamp = vald::LAMP_HIDDEN;
    canvas = lf_paint(input);
    EXPECT_TRUE(canvas.textsAt(642, 63).empty()) << "a QNH of 0 prints nothing";
    EXPECT_TRUE(canvas.textsAt(458, 91).empty());
    EXPECT_TRUE(canvas.textsAt(642, 91).empty());
}

TEST(StatusPaintTest, TheParkingCountdownShowsOnlyBelowTwentyMinutesWhileAnAirportIsOpen)
{
    PaintInput input;
    const int row = AIRP_RANGE.y();
    input.display.parkAirportOpen = true;
    input.display.paintedCountdown = 20;
    EXPECT_TRUE(lf_paint(input).textsAt(5, row).empty());
    input.display.paintedCountdown = 19;
    EXPECT_EQ(lf_textAt(lf_paint(input), 5, row).text, "(next in 19 min)");
    input.controlsLocked = true;
    EXPECT_TRUE(lf_paint(input).textsAt(5, row).empty()) << "nothing while the update runs";
    input.controlsLocked = false;
    input.initialLoadOnly = true;
    EXPECT_EQ(lf_textAt(lf_paint(input), 5, row).text, "(no next ... )");
    input.display.parkAirportOpen = false;
    EXPECT_TRUE(lf_paint(input).textsAt(5, row).empty());
}

TEST(StatusPaintTest, LabelsWarnAboutTheParkAndLiveLimitsAndHighlightActiveOptions)
{
    PaintInput input;
    input.maxParkSel = 100;
    input.maxLiveSel = 100;
    RecordingCanvas canvas = lf_paint(input);
    EXPECT_EQ(lf_textAt(canvas, 171, MAX_PARK_SEL.y()).colour, RED);
    EXPECT_EQ(lf_textAt(canvas, 401, MAX_LIVE_SEL.y()).colour, RED);

    input.maxLiveSel = 0;
    input.scanLiveries = true;
    input.guidChanges = false;
    input.autoRange = false;
    input.timeShiftDays = 1;
    canvas = lf_paint(input);
    EXPECT_EQ(lf_textAt(canvas, 171, MAX_PARK_SEL.y()).colour, BLACK);
    EXPECT_EQ(lf_textAt(canvas, 401, MAX_LIVE_SEL.y()).colour, YELLOW);
    EXPECT_EQ(lf_textAt(canvas, 25, SCAN_LIVERIES.y()).colour, YELLOW);
    EXPECT_EQ(lf_textAt(canvas, 25, SCAN_AIRPORTS.y()).colour, BLACK);
    EXPECT_EQ(lf_textAt(canvas, 768, GUID_CHANGES.y()).colour, YELLOW);
    EXPECT_EQ(lf_textAt(canvas, 430, AR_ABOVE_HEIGHT.y()).colour, GREY) << "Ah: follows AUTO_RANGE";
    EXPECT_EQ(lf_textAt(canvas, 798, TIME_SHIFT_DAYS.y()).text, "day");
    EXPECT_EQ(lf_textAt(canvas, 798, TIME_SHIFT_HOURS.y()).text, "hours");

    input.rtParkTrafficOnly = true;
    input.display.timeControlsEnabled = false;
    canvas = lf_paint(input);
    EXPECT_EQ(lf_textAt(canvas, 91, WEEK.y()).colour, GREY);
    EXPECT_EQ(lf_textAt(canvas, 652, TIME_SHIFT_DAYS.y()).colour, GREY);
}

TEST(StatusPaintTest, TheParkAirportBandShowsTheAirportItsStandsAndTheParkingTargets)
{
    PaintInput input;
    EXPECT_TRUE(lf_textsIn(lf_paint(input), vald::LIVE_STATUS_BAND).empty()) << "no park airport";

    vald::StatusDisplayValues& d = input.display;
    d.parkAirportSet = true;
    d.airportLabel = "EHAM";
    RecordingCanvas canvas = lf_paint(input);
    EXPECT_EQ(lf_textsIn(canvas, vald::LIVE_STATUS_BAND), std::vector<std::string>{"EHAM"});
    EXPECT_EQ(lf_textAt(canvas, 5, 399).colour, YELLOW) << "park file not read yet";

    d.parkFileRead = true;
    d.parkName = "Schiphol";
    d.parkPublisher = "stock";
    d.handmade = true;
    d.trafficWeek = 12;
    d.softPositions = true;
    d.weekData = true;
    d.quality = "0.93";
    d.reservedStand = "D7";
    d.learnedUpdates = 5;
    d.standCount = 212;
    d.parkedLiveCount = 4;
    d.liveAverageFit = 2.5F;
    d.wantedParkCount = 120;
    d.wantedParkPercent = 30;
    d.staticCount = 88;
    d.staticBeingCreated = 2;
    d.staticAverageFit = 3.0F;
    canvas = lf_paint(input);
    EXPECT_EQ(lf_textAt(canvas, 5, 399).colour, LIME_GREEN);
    EXPECT_EQ(lf_textAt(canvas, 85, 399).text, " Schiphol, stock (h), wk=12");
    EXPECT_EQ(lf_textAt(canvas, 370, 399).text, "*WS*");
    EXPECT_EQ(lf_textAt(canvas, 430, 399).text, "qf: 0.93");
    EXPECT_EQ(lf_textAt(canvas, 571, 399), (DrawOp{DrawOp::Kind::Text, {571, 399, 571, 399}, RED, "reserved stand: D7"}));
    EXPECT_EQ(lf_textAt(canvas, 748, 399).text, "# updates:    5");
    EXPECT_EQ(lf_textAt(canvas, 5, 427).text, "# stands: 212");
    EXPECT_EQ(lf_textAt(canvas, 111, 427).text, "parked live:   4");
    EXPECT_EQ(lf_textAt(canvas, 249, 427).text, "average fit: 2.5");
    EXPECT_EQ(lf_textAt(canvas, 430, 427).text, "static:  88");
    EXPECT_EQ(lf_textAt(canvas, 500, 427), (DrawOp{DrawOp::Kind::Text, {500, 427, 500, 427}, YELLOW, " (2)"}));
    EXPECT_TRUE(canvas.textsAt(571, 427).empty()) << "no static average with week data";
    EXPECT_EQ(lf_textAt(canvas, 708, 427).text, "max park: 120 (=30 %)");

    d.wantedParkCount = 0;
    canvas = lf_paint(input);
    EXPECT_TRUE(canvas.textsAt(430, 427).empty()) << "no static count without a wanted count";
    EXPECT_EQ(lf_textAt(canvas, 708, 427).text, "no max park live");
    input.rtParkTrafficOnly = true;
    EXPECT_TRUE(lf_paint(input).textsAt(708, 427).empty());
}

TEST(StatusPaintTest, TheMessageLineIsYellowOnLimeForAStatusAndOnRedForAnError)
{
    PaintInput input;
    input.messages.statusText = "Waiting for Prepar3Dv5 ...";
    RecordingCanvas canvas = lf_paint(input);
    EXPECT_EQ(canvas.fillColourAt(10, 460), LIME_GREEN);
    EXPECT_EQ(lf_textAt(canvas, 3, 455), (DrawOp{DrawOp::Kind::Text, {3, 455, 3, 455}, YELLOW, "Waiting for Prepar3Dv5 ..."}));

    input.messages.statusText.clear();
    input.messages.errorText = "Corv_P3D must be run from the Corv_P3D folder!";
    canvas = lf_paint(input);
    EXPECT_EQ(canvas.fillColourAt(10, 460), RED);
    EXPECT_EQ(lf_textAt(canvas, 3, 455).text, "Corv_P3D must be run from the Corv_P3D folder!");
    // The message line is painted last: nothing covers it.
    EXPECT_EQ(canvas.ops().back().kind, DrawOp::Kind::Text);
}

TEST(StatusPaintTest, ATextThatIsNotUtf8IsSkippedAndThePaintGoesOn)
{
    PaintInput input;
    input.display.simConnected = true;
    input.display.simText = "Prepar3D";
    input.display.userTitle = "Cessna \xff\xfe";
    const RecordingCanvas canvas = lf_paint(input);
    EXPECT_TRUE(canvas.textsAt(5, 63).empty());
    EXPECT_EQ(lf_textAt(canvas, 5, 35).text, "Prepar3D");
    EXPECT_NE(canvas.findText("# liveries: ..."), nullptr);
}

TEST(StatusPaintTest, ChangedAircraftCountsRepaintOnlyTheirBand)
{
    corv_test::resetWindowState();
    corv_test::RecordingPort port;
    vald::gf_setWindowPort(&port);

    gf_repaintOnCountChange(0, 0, 0);
    EXPECT_TRUE(port.invalidated().empty()) << "nothing changed";
    gf_repaintOnCountChange(3, 0, 0);
    EXPECT_EQ(port.invalidated(), std::vector<PixelRect>{vald::COUNTS_BAND});
    port.clear();
    gf_repaintOnCountChange(3, 1, 5);
    EXPECT_EQ(port.invalidated(), std::vector<PixelRect>{vald::LIVE_STATUS_BAND});
    const vald::StatusDisplayValues values = vald::gf_displaySnapshot();
    EXPECT_EQ(values.liveCount, 3U);
    EXPECT_EQ(values.parkedLiveCount, 1U);
    EXPECT_EQ(values.staticCount, 5U);
    corv_test::resetWindowState();
}

}  // namespace

namespace {

TEST(StatusPaintTest, TextsWrittenByOtherThreadsArePaintedWholeWhileTheyChange)
{
    corv_test::resetWindowState();
    const std::string shortTitle = "B738";
    const std::string longTitle(300, 'A');  // beyond any small-string buffer
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i)
            vald::gf_updateDisplay(
                [&](vald::StatusDisplayValues& v) {
                    v.simConnected = true;
                    v.userTitle = (i % 2 == 0) ? longTitle : shortTitle;
                },
                vald::COUNTS_BAND);
        done = true;
    });
    int painted = 0;
    while (!done.load() || painted == 0) {
        RecordingCanvas canvas;
        lf_paintWindow(canvas, lf_collectPaintInput());
        for (const DrawOp& op : canvas.textsAt(5, 63))
            ASSERT_TRUE(op.text == shortTitle || op.text == longTitle) << "a torn title";
        ++painted;
    }
    writer.join();
    corv_test::resetWindowState();
}

}  // namespace
