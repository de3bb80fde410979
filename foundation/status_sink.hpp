#pragma once
// The window's status and error lines as every layer reaches them. The window lives in the top
// layer and registers itself as the sink once at start; until then a logged status text and every
// error text only go to the log. Any thread may call these.
#include <functional>
#include <string>

struct StatusSink {
    std::function<void(const std::string& text, bool log)> show;
    std::function<void()> clear;
    std::function<void(const std::string& text)> error;
};

// Replaces the members of sink that are not empty.
void gf_setStatusSink(StatusSink sink);
// Back to the log-only defaults (tests).
void gf_resetStatusSink();

// Sets the status line (an empty text clears it); logged when log is true.
void gf_showStatus(const std::string& text, bool log = true);
void gf_clearStatus();
// Sets the error line; logged as "Error {}".
void gf_showError(const std::string& text);
