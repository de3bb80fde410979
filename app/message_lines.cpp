#include "app/message_lines.hpp"

#include <mutex>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/text.hpp"
#include "foundation/status_display.hpp"
#include "traffic/traffic_hooks.hpp"

namespace {

// The age at which a status text leaves the line.
constexpr std::int64_t STATUS_LIFETIME_SECONDS = 25;

std::mutex& lf_messageMutex()
{
    static std::mutex mutex;
    return mutex;
}

MessageLines& lf_lines()
{
    static MessageLines lines;
    return lines;
}

// Under the message mutex: the window repaints the line; the headless port also prints it.
void lf_lineChanged(const std::string& text, bool error)
{
    vald::gf_windowMessageLine(text, error);
    vald::gf_invalidateWindow(vald::MESSAGE_LINE_RECT);
}


void lf_showStatusLine(const std::string& text, bool log)
{
    std::lock_guard<std::mutex> lock(lf_messageMutex());
    MessageLines& lines = lf_lines();
    if (!lines.errorText.empty())
        return;
    lines.statusText = text;
    lines.statusSecond = text.empty() ? 0 : std::max<std::int64_t>(lines.secondCounter, 1);
    if (log && !text.empty() && !gf_stopPending())
        gf_log(text);
    lf_lineChanged(text, false);
}

void lf_showErrorLine(const std::string& text)
{
    std::lock_guard<std::mutex> lock(lf_messageMutex());
    MessageLines& lines = lf_lines();
    lines.statusText.clear();
    lines.statusSecond = 0;
    lines.errorText = text;
    if (!gf_stopPending())
        gf_log(vald::format("Error {}", text));
    lf_lineChanged(text, true);
}

}  // namespace

void gf_clearErrorLine()
{
    std::lock_guard<std::mutex> lock(lf_messageMutex());
    lf_lines().errorText.clear();
    lf_lineChanged(std::string(), false);
}

void gf_ageStatusLine()
{
    bool expired = false;
    {
        std::lock_guard<std::mutex> lock(lf_messageMutex());
        MessageLines& lines = lf_lines();
        ++lines.secondCounter;
        expired = lines.statusSecond >= 1 && lines.secondCounter - lines.statusSecond >= STATUS_LIFETIME_SECONDS;
    }
    if (expired)
        gf_clearStatus();
}

void gf_resetMessageLines()
{
    std::lock_guard<std::mutex> lock(lf_messageMutex());
    lf_lines() = MessageLines{};
    lf_lineChanged(std::string(), false);
}

MessageLines gf_messageLines()
{
    std::lock_guard<std::mutex> lock(lf_messageMutex());
    return lf_lines();
}

void gf_paintStatusLine()
{
    // Only the UI thread paints: the line is shown at the window's next paint, which follows
    // at once when the UI thread is free.
    vald::gf_invalidateWindow(vald::MESSAGE_LINE_RECT);
}

void gf_registerMessageLineHooks()
{
    StatusSink sink;
    sink.show = &lf_showStatusLine;
    sink.clear = [] { lf_showStatusLine(std::string(), true); };
    sink.error = &lf_showErrorLine;
    gf_setStatusSink(std::move(sink));
    TrafficHooks hooks;
    hooks.setAuthenticated = [](bool authenticated) {
        vald::gf_updateDisplay([authenticated](vald::StatusDisplayValues& v) { v.authenticated = authenticated; },
                               vald::COUNTS_BAND);
    };
    gf_registerTrafficHooks(std::move(hooks));
}
