#include "engine/callsign_list.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "engine/engine_state.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameters.hpp"
#include "foundation/status_display.hpp"

namespace {

void lf_showCallsigns(std::vector<std::string> callsigns, bool enabled)
{
    vald::gf_invalidateWindow(vald::CONTROLS_BAND);
    CALLSIGN_2_OBJECTID.setValue(callsigns.front());
    gf_callsignList()->assign(std::move(callsigns));
    gf_fillCallsignCombo();
    vald::gf_controls().setEnabled(CALLSIGN_2_OBJECTID.controlId(), enabled);
}

}  // namespace

void lf_clearCallsignList()
{
    lf_showCallsigns({std::string()}, false);
    vald::gf_controls().setEnabled(BUTTON_BLOCK.controlId(), false);
}

bool lf_fillCallsignList()
{
    std::vector<std::string> callsigns;
    for (const LiveAircraft& aircraft : liveAircraft)
        if (aircraft.state == SimState::active && aircraft.phase != FlightPhase::parked)
            callsigns.push_back(aircraft.identity.callsign);
    if (callsigns.empty()) {
        lf_clearCallsignList();
        return false;
    }
    std::sort(callsigns.begin(), callsigns.end());
    lf_showCallsigns(std::move(callsigns), true);
    return true;
}
