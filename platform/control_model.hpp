#pragma once
// The window's controls as data. Program logic on any thread reads and writes a control's state
// here, keyed by its control id; the window (FLTK, or the headless recorder) mirrors this model
// on the UI thread. A write to a control that the window has not created yet is ignored and
// answers false, as a message to a null window handle would be.
//
// Every change bumps a version number, marks the control dirty and then calls the listeners,
// outside the model's lock and on the writer's thread: a listener must be quick and must not
// block on the UI thread (it typically wakes the UI loop, which then calls takeDirty()).
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace vald {

using ControlId = std::uint16_t;

enum class ControlKind { Button, CheckBox, Edit, Combo };

// One aspect of a control that a write changed (what the window has to refresh).
enum class ControlAspect { Created, Enabled, Checked, Text, Items, Selection };

struct ControlState {
    ControlKind kind = ControlKind::Button;
    bool enabled = true;
    bool checked = false;
    std::string text;
    std::vector<std::string> items;  // combo entries in display order
    int selection = -1;              // index into items, -1 when nothing is selected
};

class ControlModel {
public:
    using Listener = std::function<void(ControlId, ControlAspect)>;
    using ListenerToken = std::uint64_t;

    // Creates the control (the window does this once per control); a second call leaves it.
    // Buttons and edit fields start disabled, check boxes and combo boxes enabled.
    void create(ControlId id, ControlKind kind);
    bool exists(ControlId id) const;
    std::optional<ControlState> state(ControlId id) const;

    bool setEnabled(ControlId id, bool enabled);
    bool setChecked(ControlId id, bool checked);
    bool setText(ControlId id, std::string text);
    // Replaces the entries and clears the selection (empty vector: the reset of a combo box).
    bool setItems(ControlId id, std::vector<std::string> items);
    // Selects an entry; an index outside the entries clears the selection. False when the
    // control is missing or the index was outside.
    bool setSelection(ControlId id, int index);
    // Selects the first entry that begins with prefix, comparing ASCII letters without case,
    // and answers its index; -1 (selection unchanged) when no entry matches.
    int selectPrefix(ControlId id, const std::string& prefix);

    bool enabled(ControlId id) const;
    bool checked(ControlId id) const;
    std::string text(ControlId id) const;
    int selection(ControlId id) const;
    std::optional<std::string> selectedItem(ControlId id) const;

    // Increases with every change; a painter compares it with the one it last drew.
    std::uint64_t version() const;
    // The ids changed since the last call, cleared by this call.
    std::set<ControlId> takeDirty();

    // A listener removed while another thread is notifying may still receive that one call.
    ListenerToken addListener(Listener listener);
    void removeListener(ListenerToken token);

    // Test only: forgets every control, listener and dirty mark.
    void reset();

private:
    template <typename Change>
    bool lf_change(ControlId id, ControlAspect aspect, Change&& change);
    void lf_notify(ControlId id, ControlAspect aspect);

    mutable std::mutex mutex_;
    std::unordered_map<ControlId, ControlState> controls_;
    std::set<ControlId> dirty_;
    std::uint64_t version_ = 0;
    std::vector<std::pair<ListenerToken, std::shared_ptr<Listener>>> listeners_;
    ListenerToken nextToken_ = 1;
};

// The one model of the main window's controls.
ControlModel& gf_controls();

}  // namespace vald
