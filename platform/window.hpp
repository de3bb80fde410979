#pragma once
// The main window as the program sees it: a UI port that runs the message loop on the UI thread
// and takes requests from any thread, and the window events that the program answers on the UI
// thread. Two backends implement it: FLTK when a display can be opened, and a headless one that
// runs the same logic without a display (message lines and message boxes go to standard error).
//
// Threads: only the UI thread (the one that calls runLoop) touches the toolkit. Any other thread
// posts messages, invalidates rectangles, changes the control model (platform/control_model.hpp)
// or asks for a message box; the port wakes the UI thread, which does the work.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/control_model.hpp"
#include "platform/window_canvas.hpp"

namespace vald {

// The private messages of the main window.
enum class UiMessage {
    StartRun,  // WM_APP+1: start a run on a new worker thread
    Quit,      // WM_APP+2: save the window position and end the message loop
};

// What the user did with a control.
enum class ControlEvent {
    Clicked,           // a push button or a check box (the box's check is left to the program)
    SelectionChanged,  // a new entry of a drop-down list
    EnterPressed,      // Enter in an edit field; its text is then in the control model
};

// One child control: where it sits (window coordinates) and, for a button, its label.
struct ControlSpec {
    ControlId id = 0;
    ControlKind kind = ControlKind::Button;
    PixelRect rect;
    std::string label;
};

struct WindowSpec {
    std::string title;
    int x = 0;  // screen position of the window
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<ControlSpec> controls;
};

// The program's answers to the window's events. Called on the UI thread only; an exception
// that escapes one is swallowed by the port, so handlers report their own failures.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    virtual void onPaint(Canvas& canvas) = 0;
    virtual void onClose() = 0;  // the close box, or SIGINT / SIGTERM
    virtual void onCommand(ControlId id, ControlEvent event) = 0;
    virtual void onStartRun() = 0;
    virtual void onQuit() = 0;
};

class UiPort {
public:
    virtual ~UiPort() = default;

    virtual bool headless() const = 0;

    // UI thread. Creates and shows the window with its controls; the controls themselves are
    // created in gf_controls() by the program before this call. False when it failed.
    [[nodiscard]] virtual bool createWindow(const WindowSpec& spec, WindowEvents& events) = 0;
    // Runs the message loop until endLoop; answers the code given to endLoop.
    [[nodiscard]] virtual int runLoop() = 0;
    virtual void endLoop(int exitCode) = 0;
    // The window's position and size on the screen; nullopt before it exists.
    virtual std::optional<PixelRect> windowFrame() const = 0;

    // Any thread.
    virtual void post(UiMessage message) = 0;
    // Asks for a repaint of a rectangle of the client area (the paint itself is asynchronous).
    virtual void invalidate(const PixelRect& rect) = 0;
    // A modal box with an OK button. From another thread the box is shown by the UI thread and
    // the caller waits for the OK; once the loop has ended it answers at once.
    virtual void messageBox(const std::string& text, const std::string& caption) = 0;
    virtual void setAlwaysOnTop(bool onTop) = 0;
    // The message line changed (an empty status text clears it). The window only repaints; the
    // headless port also writes the text to standard error.
    virtual void messageLineChanged(std::string_view text, bool error) = 0;
};

// FLTK when a display can be opened (DISPLAY set and reachable), else the headless port.
std::unique_ptr<UiPort> gf_makeUiPort();

// Makes SIGINT and SIGTERM act as the window's close box for the port that runs its loop.
// Called once by the process before its threads start; the port reads the signals in runLoop.
// The signals stay blocked in every thread of the process: one thread of its own takes them.
void gf_installCloseSignals();

// For a forked child before exec: the program it runs gets SIGINT and SIGTERM as usual.
// Async-signal-safe.
void gf_unblockCloseSignalsInChild();

}  // namespace vald
