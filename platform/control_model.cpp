#include "platform/control_model.hpp"

#include <algorithm>
#include <cctype>
#include <utility>

namespace vald {

namespace {

bool lf_startsWithNoCase(const std::string& text, const std::string& prefix)
{
    if (prefix.size() > text.size())
        return false;
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace

template <typename Change>
bool ControlModel::lf_change(ControlId id, ControlAspect aspect, Change&& change)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = controls_.find(id);
        if (it == controls_.end())
            return false;
        if (!change(it->second))
            return true;  // nothing differs: no repaint, no notification
        ++version_;
        dirty_.insert(id);
    }
    lf_notify(id, aspect);
    return true;
}

void ControlModel::lf_notify(ControlId id, ControlAspect aspect)
{
    std::vector<std::shared_ptr<Listener>> listeners;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listeners.reserve(listeners_.size());
        for (const auto& entry : listeners_)
            listeners.push_back(entry.second);
    }
    for (const auto& listener : listeners)
        (*listener)(id, aspect);
}

void ControlModel::create(ControlId id, ControlKind kind)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (controls_.count(id) != 0)
            return;
        ControlState state;
        state.kind = kind;
        state.enabled = kind == ControlKind::CheckBox || kind == ControlKind::Combo;
        controls_.emplace(id, std::move(state));
        ++version_;
        dirty_.insert(id);
    }
    lf_notify(id, ControlAspect::Created);
}

bool ControlModel::exists(ControlId id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return controls_.count(id) != 0;
}

std::optional<ControlState> ControlModel::state(ControlId id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find(id);
    if (it == controls_.end())
        return std::nullopt;
    return it->second;
}

bool ControlModel::setEnabled(ControlId id, bool enabled)
{
    return lf_change(id, ControlAspect::Enabled, [enabled](ControlState& s) {
        return std::exchange(s.enabled, enabled) != enabled;
    });
}

bool ControlModel::setChecked(ControlId id, bool checked)
{
    return lf_change(id, ControlAspect::Checked, [checked](ControlState& s) {
        return std::exchange(s.checked, checked) != checked;
    });
}

bool ControlModel::setText(ControlId id, std::string text)
{
    return lf_change(id, ControlAspect::Text, [&text](ControlState& s) {
        if (s.text == text)
            return false;
        s.text = std::move(text);
        return true;
    });
}

bool ControlModel::setItems(ControlId id, std::vector<std::string> items)
{
    return lf_change(id, ControlAspect::Items, [&items](ControlState& s) {
        if (s.items == items && s.selection == -1)
            return false;
        s.items = std::move(items);
        s.selection = -1;
        return true;
    });
}

bool ControlModel::setSelection(ControlId id, int index)
{
    bool inside = false;
    const bool found = lf_change(id, ControlAspect::Selection, [index, &inside](ControlState& s) {
        inside = index >= 0 && static_cast<std::size_t>(index) < s.items.size();
        const int wanted = inside ? index : -1;
        return std::exchange(s.selection, wanted) != wanted;
    });
    return found && inside;
}

int ControlModel::selectPrefix(ControlId id, const std::string& prefix)
{
    int chosen = -1;
    lf_change(id, ControlAspect::Selection, [&prefix, &chosen](ControlState& s) {
        for (std::size_t i = 0; i < s.items.size(); ++i) {
            if (lf_startsWithNoCase(s.items[i], prefix)) {
                chosen = static_cast<int>(i);
                return std::exchange(s.selection, chosen) != chosen;
            }
        }
        return false;
    });
    return chosen;
}

bool ControlModel::enabled(ControlId id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find(id);
    return it != controls_.end() && it->second.enabled;
}

bool ControlModel::checked(ControlId id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find(id);
    return it != controls_.end() && it->second.checked;
}

std::string ControlModel::text(ControlId id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find(id);
    return it == controls_.end() ? std::string() : it->second.text;
}

int ControlModel::selection(ControlId id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find(id);
    return it == controls_.end() ? -1 : it->second.selection;
}

std::optional<std::string> ControlModel::selectedItem(ControlId id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find(id);
    if (it == controls_.end() || it->second.selection < 0)
        return std::nullopt;
    return it->second.items[static_cast<std::size_t>(it->second.selection)];
}

std::uint64_t ControlModel::version() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return version_;
}

std::set<ControlId> ControlModel::takeDirty()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(dirty_, {});
}

ControlModel::ListenerToken ControlModel::addListener(Listener listener)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const ListenerToken token = nextToken_++;
    listeners_.emplace_back(token, std::make_shared<Listener>(std::move(listener)));
    return token;
}

void ControlModel::removeListener(ListenerToken token)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(listeners_, [token](const auto& entry) { return entry.first == token; });
}

void ControlModel::reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    controls_.clear();
    dirty_.clear();
    listeners_.clear();
    version_ = 0;
}

ControlModel& gf_controls()
{
    static ControlModel model;
    return model;
}

}  // namespace vald
