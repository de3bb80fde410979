#pragma once
// The child controls of the main window, in creation (tab) order: which parameter or button each
// shows, its kind, and its x, width and height. Its id and row y are the parameter's own.
#include <string>
#include <vector>

#include "foundation/parameters.hpp"
#include "platform/window.hpp"

struct ControlRow {
    vald::ControlKind kind = vald::ControlKind::Button;
    const Parameter* parameter = nullptr;        // the parameter, or the button (its name is the label)
    const ParameterControl* binding = nullptr;  // the same object's control id and row
    int x = 0;
    int width = 0;
    int height = 0;  // for a combo box, the height of its dropped-down list
};

const std::vector<ControlRow>& gf_controlTable();

// Where the control sits in the window: a check box 2 pixels below its row, a combo box 5
// above it (showing one entry's height), buttons and edit fields on it.
vald::PixelRect gf_controlRect(const ControlRow& row);

// Creates every control in the control model, check boxes ticked from their parameters, and
// answers their places for the window. Buttons and edit fields start disabled, check boxes and
// combo boxes enabled and empty.
std::vector<vald::ControlSpec> lf_createControls();
