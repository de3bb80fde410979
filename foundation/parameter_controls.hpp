#pragma once
// Showing parameters in their window controls (the control model of the platform layer). Each
// call is a no-op for a control the window has not created; the text setters then log
// "GetDlgItem failed for ID {}".
#include "foundation/parameters.hpp"

// The decimal text of the current value becomes the control's text.
void gf_setIntParamText(const ComboParameter& parameter);
// The current value becomes the field's text; a value that is not valid UTF-8 is logged and
// leaves the field unchanged.
void gf_setStringParamText(const EditStringParameter& parameter);
void gf_showStringParameter(const EditStringParameter& parameter);
// Sets the current value, saves it and ticks or clears the check box.
void gf_setBoolParamChecked(CheckBoxParameter& parameter, bool value);
// Fills the combo box with the option values and selects the current value when it is one.
void gf_fillIntOptionCombo(const ComboParameter& parameter);
// Fills the callsign combo box from the callsign list and selects the first entry that begins
// with CALLSIGN_2_OBJECTID's value.
void gf_fillCallsignCombo();
