#include "simlink/window_hooks.hpp"

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/hook_store.hpp"

namespace {

WindowHooks lf_defaultWindowHooks()
{
    WindowHooks hooks;
    hooks.showStatus = [](const std::string& text, bool log) {
        if (log && !text.empty())
            gf_logUnlessStopping(text);
    };
    hooks.clearStatus = [] {};
    hooks.showError = [](const std::string& text) { gf_logUnlessStopping(vald::format("Error {}", text)); };
    return hooks;
}

HookStore<WindowHooks>& lf_store()
{
    static HookStore<WindowHooks> store(&lf_defaultWindowHooks);
    return store;
}

}  // namespace

void gf_setWindowHooks(WindowHooks hooks)
{
    lf_store().update([&hooks](WindowHooks& current) {
        gf_takeHook(current.showStatus, hooks.showStatus);
        gf_takeHook(current.clearStatus, hooks.clearStatus);
        gf_takeHook(current.showError, hooks.showError);
    });
}

void gf_resetWindowHooks() { lf_store().reset(); }

void gf_statusLine(const std::string& text, bool log) { lf_store().get()->showStatus(text, log); }

void gf_clearStatusLine() { lf_store().get()->clearStatus(); }

void gf_errorLine(const std::string& text) { lf_store().get()->showError(text); }
