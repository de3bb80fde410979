#pragma once
// The window's status and error lines as the layers from the simulator link upwards reach them.
// The window lives in the top layer; it registers these at start. Until then a logged status
// text and every error text only go to the log.
//
// The hooks are published as an immutable snapshot: registration and calls may happen on any
// thread, and each call works on the snapshot it took.
#include <functional>
#include <string>

struct WindowHooks {
    std::function<void(const std::string& text, bool log)> showStatus;
    std::function<void()> clearStatus;
    std::function<void(const std::string& text)> showError;
};

// Replaces the members of hooks that are not empty.
void gf_setWindowHooks(WindowHooks hooks);
// Back to the defaults (tests).
void gf_resetWindowHooks();

// The calls of the lower layers.
void gf_statusLine(const std::string& text, bool log);
void gf_clearStatusLine();
void gf_errorLine(const std::string& text);
