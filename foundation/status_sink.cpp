#include "foundation/status_sink.hpp"

#include <utility>

#include "foundation/format.hpp"
#include "foundation/hook_store.hpp"
#include "foundation/log.hpp"

namespace {

StatusSink lf_defaultSink()
{
    StatusSink sink;
    sink.show = [](const std::string& text, bool log) {
        if (log && !text.empty())
            gf_log(text);
    };
    sink.clear = [] {};
    sink.error = [](const std::string& text) { gf_logWarn(vald::format("Error {}", text)); };
    return sink;
}

HookStore<StatusSink>& lf_store()
{
    static HookStore<StatusSink> store(&lf_defaultSink);
    return store;
}

}  // namespace

void gf_setStatusSink(StatusSink sink)
{
    lf_store().update([&sink](StatusSink& current) {
        gf_takeHook(current.show, sink.show);
        gf_takeHook(current.clear, sink.clear);
        gf_takeHook(current.error, sink.error);
    });
}

void gf_resetStatusSink() { lf_store().reset(); }

void gf_showStatus(const std::string& text, bool log) { lf_store().get()->show(text, log); }
void gf_clearStatus() { lf_store().get()->clear(); }
void gf_showError(const std::string& text) { lf_store().get()->error(text); }
