#pragma once
// Log.txt: one file per start, written by every thread. No levels, no per-line time stamps;
// one mutex keeps each line whole. Warnings carry "==> " and are flushed at once.
// Callers format first: gf_log(vald::format("x={}", x));
#include <fstream>
#include <mutex>
#include <string_view>

// Keeps up to three older generations of Log.txt, opens it anew and writes the header line.
// Throws std::runtime_error "Failed to write file Log.txt" when the file cannot be opened.
void gf_openLog();

void gf_log(std::string_view text);                // text
void gf_logWarn(std::string_view text);            // "==> " text, flushed
void gf_logAndFlush(std::string_view text);        // text, flushed
void gf_logIndented(std::string_view text);        // ten spaces, text
void gf_logUnlessStopping(std::string_view text);  // as gf_log, nothing once a stop is pending

// For the few writers of multi-part lines and explicit flushes: hold gf_logMutex() and test
// gf_logStream().is_open() before writing.
std::mutex& gf_logMutex();
std::ofstream& gf_logStream();

// Test only: closes the log stream so that the next test starts from the closed state.
void gf_closeLogForTest();
