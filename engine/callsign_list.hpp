#pragma once
// The callsigns offered by the window's CALLSIGN_2_OBJECTID combo box.

// The list holds one empty entry, CALLSIGN_2_OBJECTID becomes empty, the combo box is refreshed
// and disabled together with the Block button.
void lf_clearCallsignList();
// The sorted callsigns of the live aircraft that are active and not parked replace the list;
// CALLSIGN_2_OBJECTID becomes the first; the combo box is refreshed and enabled when the list is
// not empty. True when it is not.
bool lf_fillCallsignList();
