#pragma once
// The process: one instance per user session, the log, the command line, the per-user data
// folder, the main window (on a display when one opens, else headless) and its message loop.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.hpp"

class MainWindow;

// The program's entry: -1 at once when another instance runs (nothing else is touched).
[[nodiscard]] int gf_main(int argc, char** argv);
// The process body after the log is open; answers the exit code.
[[nodiscard]] int gf_runApplication(const std::vector<std::string>& arguments);

// The production switch of the command line (arguments after the program name): true for
// "--production" or "/production", false for "--no-production" or "/no-production", compared
// without case; the last switch decides, other arguments are ignored.
[[nodiscard]] std::optional<bool> lf_productionSwitch(const std::vector<std::string>& arguments);

// The roaming application-data folder; empty, with a warning, when there is none.
std::filesystem::path gf_appDataPath();

struct WindowPosition {
    std::int32_t x = 0;
    std::int32_t y = 0;
};
// The saved window position from parameters.xml. A file that does not load is set aside as
// parameters0.xml and removed (the run creates it anew), and the defaults are used.
WindowPosition lf_readWindowPosition();

// Creates and shows the main window at its saved position with all its controls.
[[nodiscard]] bool initInstance(vald::UiPort& port, MainWindow& window, const std::string& title);
