#pragma once
// The control functions that the program's logic uses on the main window's controls (through
// the control model, from any thread), the set-up of the controls at the start of a run, and
// the window's small shell services: message boxes and opening a folder in the file browser.
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "foundation/parameters.hpp"
#include "platform/window.hpp"

void gf_enableControl(const ParameterControl& binding);
void gf_disableControl(const ParameterControl& binding);
void gf_setControlEnabled(const ParameterControl& binding, bool enabled);

// The control's text (for a drop-down list, its selected entry); empty, and logged, when the
// control does not exist.
std::string lf_getTextFromId(vald::ControlId id);

// The selected index and text of the combo box `wanted` when the event is a selection change of
// that combo box; nothing for another control, another event or no selection.
[[nodiscard]] std::optional<std::pair<int, std::string>> lf_getComboText(vald::ControlId wanted, vald::ControlId id,
                                                                         vald::ControlEvent event);

// A drop-down list shows only its entries: when the program sets a combo box's text (a value
// shown with gf_setIntParamText, as after an automatic range change), the entry equal to that
// text is selected instead, or none when no entry is equal. Installed once by the window.
vald::ControlModel::ListenerToken gf_installComboTextRule();

// The controls at the start of each run (worker thread).
void lf_fillCombos();
// PARK_SOFT, WEEK, parking_percentage and MAX_FIT_FL usable exactly while RT_PARKTRAFFIC_ONLY
// is off.
void gf_enableParkOptionControls();
// The three time-shift combos, SIM_TIME and KEEP_SIM_TIME_PAR; disabling also greys their labels.
void lf_enableTimeShiftControls(bool enable);

// A modal box with an OK button, without owner. Headless it is also logged.
void gf_messageBox(const std::string& text, const std::string& caption);
// Opens the folder that holds path in the file browser: false when path does not exist, has no
// parent or the shell refuses.
[[nodiscard]] bool gf_openContainingFolder(const std::filesystem::path& path);
[[nodiscard]] bool gf_openParametersFolder();
[[nodiscard]] bool gf_openManual();
