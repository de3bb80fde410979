// The program Corv_P3D as a user starts it: headless without a display (status lines on standard
// error, SIGTERM / SIGINT as the close box), one instance at a time, --production, a broken
// parameters.xml, and, under the test display, its window with the red simulator lamp.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "tests/e2e/program_folder.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using corv_test::ChildProcess;

namespace {

// Generous bounds for things that happen at once on a healthy machine; no test waits for them
// to pass, only for the event.
constexpr auto EVENT_LIMIT = 60s;

template <typename Condition>
bool lf_waitFor(Condition condition)
{
    return corv_test::waitUntil(condition, EVENT_LIMIT);
}

// One run of the program in its own prepared program folder, with its own user folders.
corv_test::ChildOptions lf_runOptions(const fs::path& folder, const fs::path& runtime,
                                      std::vector<std::string> arguments = {},
                                      std::optional<std::string> display = std::nullopt)
{
    corv_test::prepareProgramFolder(folder);
    return corv_test::programOptions(folder, runtime, std::move(arguments), std::move(display));
}

fs::path lf_parameters(const fs::path& folder) { return folder / "config" / "Corv_P3D" / "parameters.xml"; }

// The run has prepared its parameters (the worker's start-up is done).
bool lf_startedUp(const fs::path& folder)
{
    std::error_code error;
    return fs::exists(lf_parameters(folder), error) && fs::exists(folder / "Log.txt", error);
}

TEST(WindowProgramTest, HeadlessTheProgramRunsUntilSigtermAndThenEndsWithCodeZero)
{
    corv_test::TempDir folder;
    ChildProcess run(lf_runOptions(folder.path(), folder.path()));
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(lf_waitFor([&] { return lf_startedUp(folder.path()); }));

    run.signal(SIGTERM);
    EXPECT_EQ(run.waitForExit(EVENT_LIMIT), 0);
    EXPECT_NE(run.errorOutput().find("Close window button clicked, closing Corv_P3D ...\n"), std::string::npos)
        << run.errorOutput();
}

TEST(WindowProgramTest, ASecondInstanceEndsWithMinusOneAtOnceAndTouchesNothing)
{
    corv_test::TempDir first;
    corv_test::TempDir second;
    corv_test::TempDir runtime;
    ChildProcess running(lf_runOptions(first.path(), runtime.path()));
    ASSERT_TRUE(lf_waitFor([&] { return lf_startedUp(first.path()); }));

    ChildProcess again(lf_runOptions(second.path(), runtime.path()));
    const std::string prepared = corv_test::readFile(lf_parameters(second.path()));
    EXPECT_EQ(again.waitForExit(EVENT_LIMIT), 255) << "exit code -1";
    EXPECT_FALSE(fs::exists(second / "Log.txt"));
    EXPECT_EQ(corv_test::readFile(lf_parameters(second.path())), prepared);
    EXPECT_EQ(again.errorOutput(), "");

    running.signal(SIGINT);
    EXPECT_EQ(running.waitForExit(EVENT_LIMIT), 0);
    // Once the first one has gone, a new start runs.
    ChildProcess later(lf_runOptions(second.path(), runtime.path(), {"--production"}));
    EXPECT_EQ(later.waitForExit(EVENT_LIMIT), 0);
    EXPECT_TRUE(fs::exists(second / "Log.txt"));
}

TEST(WindowProgramTest, ABrokenParametersFileIsKeptAndTheWindowOpensAtTheDefaultPlace)
{
    corv_test::TempDir folder;
    const std::string broken = "<parameters>\n  <parameter name=\"MAIN_WINDOW_X\" value=\"123\"/>\n  <parameter";
    corv_test::writeFile(folder / "config" / "Corv_P3D" / "parameters.xml", broken);

    ChildProcess run(lf_runOptions(folder.path(), folder.path(), {"/PRODUCTION"}));
    EXPECT_EQ(run.waitForExit(EVENT_LIMIT), 0) << "production mode ends the program after the start-up";
    EXPECT_EQ(corv_test::readFile(folder / "config" / "Corv_P3D" / "parameters0.xml"), broken);
    // The window stood at (400, 20): that is the position saved when the program ended.
    const std::string saved = corv_test::readFile(lf_parameters(folder.path()));
    EXPECT_NE(saved.find("name=\"MAIN_WINDOW_X\" value=\"400\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("name=\"MAIN_WINDOW_Y\" value=\"20\""), std::string::npos) << saved;
    EXPECT_NE(corv_test::readFile(folder / "Log.txt").find("failed to load, syntax error?"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Under the test display.

int lf_ignoreXErrors(Display*, XErrorEvent*) { return 0; }

// The top-level window titled Corv_P3D, or 0.
Window lf_findWindow(Display* display)
{
    Window root = DefaultRootWindow(display);
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count) == 0)
        return 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes{};
        if (XFetchName(display, children[i], &name) != 0 && name != nullptr) {
            if (std::string(name) == "Corv_P3D" && XGetWindowAttributes(display, children[i], &attributes) != 0 &&
                attributes.map_state == IsViewable)
                found = children[i];
            XFree(name);
        }
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

// The colour at a point of the window's client area as 0xRRGGBB.
unsigned long lf_pixel(Display* display, Window window, int x, int y)
{
    XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr)
        return 0xFFFFFFFFUL;
    const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFFUL;
    XDestroyImage(image);
    return pixel;
}

TEST(WindowProgramTest, UnderADisplayTheWindowShowsItsControlsAndARedSimLampWithoutASimulator)
{
    const char* testDisplay = std::getenv("CORV_TEST_DISPLAY");
    if (testDisplay == nullptr || *testDisplay == '\0') {
        // scripts/test always provides a display: there a missing one is a failure.
        if (std::getenv("CORV_REQUIRE_TEST_DISPLAY") != nullptr)
            FAIL() << "no test display (CORV_TEST_DISPLAY) although CORV_REQUIRE_TEST_DISPLAY is set";
        GTEST_SKIP() << "no test display (CORV_TEST_DISPLAY)";
    }
    XSetErrorHandler(lf_ignoreXErrors);
    Display* display = XOpenDisplay(testDisplay);
    ASSERT_NE(display, nullptr);

    corv_test::TempDir folder;
    ChildProcess run(lf_runOptions(folder.path(), folder.path(), {}, std::string(testDisplay)));
    constexpr unsigned long RED = 0xFF0000;
    constexpr unsigned long LIGHT_BLUE = 0x99CCFF;
    Window window = 0;
    // The window is there once the lamp has been painted red where it belongs.
    EXPECT_TRUE(lf_waitFor([&] {
        window = lf_findWindow(display);
        return window != 0 && lf_startedUp(folder.path()) && lf_pixel(display, window, 411, 100) == RED;
    }));
    ASSERT_NE(window, 0UL);

    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, window, &attributes), 0);
    EXPECT_EQ(attributes.width, 880);
    EXPECT_EQ(attributes.height, 516);
    Window child = 0;
    int x = 0;
    int y = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    EXPECT_EQ(x, 400);
    EXPECT_EQ(y, 20);

    EXPECT_EQ(lf_pixel(display, window, 411, 35), RED) << "the lamp's top";
    EXPECT_NE(lf_pixel(display, window, 435, 100), RED) << "the service lamp beside it";
    EXPECT_EQ(lf_pixel(display, window, 2, 146), LIGHT_BLUE) << "the controls band";
    // Controls drawn on the band: the tblo button, a drop-down list, a check box.
    EXPECT_NE(lf_pixel(display, window, 247, 185), LIGHT_BLUE);
    EXPECT_NE(lf_pixel(display, window, 230, 231), LIGHT_BLUE);
    EXPECT_NE(lf_pixel(display, window, 11, 155), LIGHT_BLUE);

    // The close box: the window manager's delete request.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &close);
    XFlush(display);
    EXPECT_EQ(run.waitForExit(EVENT_LIMIT), 0);
    XCloseDisplay(display);
}

}  // namespace
