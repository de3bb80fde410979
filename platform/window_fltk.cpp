#include "platform/window_fltk.hpp"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>

namespace vald {

namespace {

// The controls' own background, as the program's edit fields and check boxes have it.
constexpr Colour CONTROL_BACKGROUND = 0xFFCC99;
constexpr Fl_Fontsize TEXT_SIZE = 12;
constexpr Fl_Fontsize CONTROL_TEXT_SIZE = 11;

Fl_Color lf_flColour(Colour colour)
{
    return fl_rgb_color(gf_redOf(colour), gf_greenOf(colour), gf_blueOf(colour));
}

class FltkCanvas : public Canvas {
public:
    void fillRect(const PixelRect& rect, Colour colour) override
    {
        fl_rectf(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, lf_flColour(colour));
    }

    void line(int x1, int y1, int x2, int y2, Colour colour) override
    {
        fl_color(lf_flColour(colour));
        fl_line_style(FL_SOLID, 1);
        fl_line(x1, y1, x2, y2);
    }

    void text(int x, int y, std::string_view utf8, Colour colour) override
    {
        fl_color(lf_flColour(colour));
        fl_font(FL_HELVETICA, TEXT_SIZE);
        // (x, y) is the top of the text cell; FLTK draws at the base line.
        fl_draw(utf8.data(), static_cast<int>(utf8.size()), x, y + fl_height() - fl_descent());
    }
};

struct FltkControl {
    ControlId id = 0;
    ControlKind kind = ControlKind::Button;
    Fl_Widget* widget = nullptr;
    std::vector<std::string> itemTexts;
    std::vector<Fl_Menu_Item> menu;  // points into itemTexts; ends with an empty item
};

}  // namespace

class CorvWindow;

struct FltkUiPort::Widgets {
    FltkUiPort* port = nullptr;
    CorvWindow* window = nullptr;  // owns the child widgets
    std::map<ControlId, FltkControl> controls;
    std::map<Fl_Widget*, ControlId> ids;
};

class CorvWindow : public Fl_Double_Window {
public:
    CorvWindow(int x, int y, int w, int h) : Fl_Double_Window(x, y, w, h) {}

    std::function<void(Canvas&)> painter;

protected:
    void draw() override
    {
        // With only a child to update, the painted display underneath stays as it was.
        if ((damage() & ~FL_DAMAGE_CHILD) != 0 && painter) {
            FltkCanvas canvas;
            painter(canvas);
        }
        draw_children();
    }
};

Display* gf_openDisplay()
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0')
        return nullptr;
    return XOpenDisplay(nullptr);
}

FltkUiPort::FltkUiPort(Display* display) : widgets_(std::make_unique<Widgets>())
{
    widgets_->port = this;
    fl_open_display(display);
    // Enables Fl::awake from other threads; the UI thread holds the lock except while waiting.
    Fl::lock();
    startListening();
}

FltkUiPort::~FltkUiPort()
{
    stopListening();
    if (gf_closeSignalFd() >= 0)
        Fl::remove_fd(gf_closeSignalFd());
    delete widgets_->window;
    widgets_->window = nullptr;
}

namespace {

void lf_onControl(Fl_Widget* widget, void* data)
{
    auto* widgets = static_cast<FltkUiPort::Widgets*>(data);
    const auto found = widgets->ids.find(widget);
    if (found == widgets->ids.end())
        return;
    const ControlId id = found->second;
    ControlModel& model = gf_controls();
    ControlEvent event = ControlEvent::Clicked;
    switch (widgets->controls.at(id).kind) {
    case ControlKind::CheckBox:
        // The program decides the check (the boxes are not automatic): show the model's state
        // until it has answered.
        static_cast<Fl_Check_Button*>(widget)->value(model.checked(id) ? 1 : 0);
        break;
    case ControlKind::Edit:
        model.setText(id, static_cast<Fl_Input*>(widget)->value());
        event = ControlEvent::EnterPressed;
        break;
    case ControlKind::Combo:
        model.setSelection(id, static_cast<Fl_Choice*>(widget)->value());
        event = ControlEvent::SelectionChanged;
        break;
    case ControlKind::Button:
        break;
    }
    widgets->port->dispatchCommand(id, event);
}

void lf_onWindowClose(Fl_Widget*, void* data)
{
    // FLTK also calls this for the Escape key; only the close box closes.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape)
        return;
    static_cast<FltkUiPort::Widgets*>(data)->port->dispatchClose();
}

Fl_Widget* lf_makeWidget(const ControlSpec& spec, FltkControl& control)
{
    const PixelRect& r = spec.rect;
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    switch (spec.kind) {
    case ControlKind::Button: {
        auto* button = new Fl_Button(r.left, r.top, w, h);
        button->copy_label(spec.label.c_str());
        button->labelsize(TEXT_SIZE);
        return button;
    }
    case ControlKind::CheckBox: {
        auto* box = new Fl_Check_Button(r.left, r.top, w, h);
        box->box(FL_FLAT_BOX);
        box->color(lf_flColour(CONTROL_BACKGROUND));
        box->labelsize(CONTROL_TEXT_SIZE);
        return box;
    }
    case ControlKind::Edit: {
        auto* input = new Fl_Input(r.left, r.top, w, h);
        input->textsize(CONTROL_TEXT_SIZE);
        input->color(lf_flColour(CONTROL_BACKGROUND));
        input->when(FL_WHEN_ENTER_KEY_ALWAYS);
        return input;
    }
    case ControlKind::Combo: {
        auto* choice = new Fl_Choice(r.left, r.top, w, h);
        choice->textsize(CONTROL_TEXT_SIZE);
        control.menu.assign(1, Fl_Menu_Item{});
        choice->menu(control.menu.data());
        return choice;
    }
    }
    return nullptr;
}

void lf_setItems(FltkControl& control, const std::vector<std::string>& items)
{
    auto* choice = static_cast<Fl_Choice*>(control.widget);
    if (items == control.itemTexts)
        return;
    control.itemTexts = items;
    control.menu.assign(items.size() + 1, Fl_Menu_Item{});
    for (std::size_t i = 0; i < items.size(); ++i) {
        // Plain texts: no menu syntax ('/', '&', '_') is interpreted.
        Fl_Menu_Item& item = control.menu[i];
        item.text = control.itemTexts[i].c_str();
        item.labeltype_ = FL_NORMAL_LABEL;
        item.labelfont_ = FL_HELVETICA;
        item.labelsize_ = CONTROL_TEXT_SIZE;
        item.labelcolor_ = FL_FOREGROUND_COLOR;
    }
    choice->menu(control.menu.data());
}

void lf_applyState(FltkControl& control, const ControlState& state)
{
    Fl_Widget* widget = control.widget;
    if (state.enabled)
        widget->activate();
    else
        widget->deactivate();
    switch (control.kind) {
    case ControlKind::CheckBox:
        static_cast<Fl_Check_Button*>(widget)->value(state.checked ? 1 : 0);
        break;
    case ControlKind::Edit: {
        auto* input = static_cast<Fl_Input*>(widget);
        if (state.text != input->value())
            input->value(state.text.c_str());
        break;
    }
    case ControlKind::Combo: {
        lf_setItems(control, state.items);
        auto* choice = static_cast<Fl_Choice*>(widget);
        if (state.selection >= 0 && state.selection < static_cast<int>(state.items.size()))
            choice->value(state.selection);
        else
            choice->value(static_cast<const Fl_Menu_Item*>(nullptr));
        break;
    }
    case ControlKind::Button:
        break;
    }
    widget->redraw();
}

}  // namespace

void FltkUiPort::dispatchCommand(ControlId id, ControlEvent event)
{
    if (events() != nullptr)
        guarded([&] { events()->onCommand(id, event); });
}

void FltkUiPort::dispatchClose()
{
    if (events() != nullptr)
        guarded([&] { events()->onClose(); });
}

bool FltkUiPort::createWindow(const WindowSpec& spec, WindowEvents& events)
{
    setEvents(events);
    fl_close = "OK";
    auto* window = new CorvWindow(spec.x, spec.y, spec.width, spec.height);
    widgets_->window = window;
    window->copy_label(spec.title.c_str());
    window->color(FL_BLACK);
    window->size_range(spec.width, spec.height, spec.width, spec.height);
    window->painter = [this](Canvas& canvas) {
        if (this->events() != nullptr)
            guarded([&] { this->events()->onPaint(canvas); });
    };
    window->callback(lf_onWindowClose, widgets_.get());
    for (const ControlSpec& controlSpec : spec.controls) {
        FltkControl control;
        control.id = controlSpec.id;
        control.kind = controlSpec.kind;
        control.widget = lf_makeWidget(controlSpec, control);
        if (control.widget == nullptr)
            continue;
        control.widget->callback(lf_onControl, widgets_.get());
        widgets_->ids[control.widget] = control.id;
        auto& stored = widgets_->controls[control.id] = std::move(control);
        if (stored.kind == ControlKind::Combo)
            static_cast<Fl_Choice*>(stored.widget)->menu(stored.menu.data());
        if (const auto state = gf_controls().state(stored.id))
            lf_applyState(stored, *state);
    }
    window->end();
    window->position(spec.x, spec.y);
    window->show();
    // FLTK nudges a new window so that a frame would fit on the screen; the saved place is kept as
    // it is (a window manager may still place it by its own rules).
    XMoveWindow(fl_display, fl_xid(window), spec.x, spec.y);
    if (alwaysOnTop_)
        applyAlwaysOnTop(true);
    return window->shown() != 0;
}

int FltkUiPort::runLoop()
{
    beginLoop();
    if (gf_closeSignalFd() >= 0)
        Fl::add_fd(gf_closeSignalFd(), FL_READ, &FltkUiPort::lf_closeSignal, this);
    dispatchPending();
    while (!loopEnded()) {
        Fl::wait(1.0);
        // Requests queued while an awake message was already pending are taken here too.
        dispatchPending();
    }
    if (widgets_->window != nullptr)
        widgets_->window->hide();
    Fl::flush();
    return exitCode();
}

std::optional<PixelRect> FltkUiPort::windowFrame() const
{
    const CorvWindow* window = widgets_->window;
    if (window == nullptr)
        return std::nullopt;
    return PixelRect{window->x(), window->y(), window->x() + window->w(), window->y() + window->h()};
}

void FltkUiPort::lf_awake(void* data)
{
    auto* port = static_cast<FltkUiPort*>(data);
    port->awakePending_ = false;
    port->dispatchPending();
}

void FltkUiPort::lf_closeSignal(int, void* data) { static_cast<FltkUiPort*>(data)->dispatchCloseSignals(); }

void FltkUiPort::wakeUiThread()
{
    if (!awakePending_.exchange(true))
        Fl::awake(&FltkUiPort::lf_awake, this);
}

void FltkUiPort::repaint(const PixelRect& rect)
{
    CorvWindow* window = widgets_->window;
    if (window == nullptr)
        return;
    window->damage(FL_DAMAGE_ALL, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void FltkUiPort::syncControls()
{
    ControlModel& model = gf_controls();
    for (ControlId id : model.takeDirty()) {
        const auto found = widgets_->controls.find(id);
        if (found == widgets_->controls.end())
            continue;
        if (const auto state = model.state(id))
            lf_applyState(found->second, *state);
    }
}

void FltkUiPort::showBox(const std::string& text, const std::string& caption)
{
    fl_message_title(caption.c_str());
    fl_message("%s", text.c_str());
}

void FltkUiPort::applyAlwaysOnTop(bool onTop)
{
    alwaysOnTop_ = onTop;
    CorvWindow* window = widgets_->window;
    if (window == nullptr || !window->shown() || fl_display == nullptr)
        return;
    // Ask the window manager (EWMH) to move the window into or out of the layer above the rest.
    Display* display = fl_display;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = fl_xid(window);
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = onTop ? 1 : 0;  // _NET_WM_STATE_ADD or _REMOVE
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_ABOVE", False));
    event.xclient.data.l[2] = 0;
    event.xclient.data.l[3] = 1;  // a normal application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(display);
}

}  // namespace vald
