#pragma once
// Process-wide run state that every layer reads. Set by the window (close) and by the closing
// logic (stop request); read by the log and by every loop that must end promptly.
#include <atomic>

extern std::atomic<bool> stopRequested;
extern std::atomic<bool> userClosing;
