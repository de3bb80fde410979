#include "engine/ghost_calls.hpp"

#include <algorithm>

#include "engine/engine_state.hpp"
#include "engine/removal.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

void lf_removeGhost(const std::string& callsign)
{
    const std::string ghost = callsign + '_';
    const auto found = std::find_if(liveAircraft.begin(), liveAircraft.end(), [&ghost](const LiveAircraft& aircraft) {
        return aircraft.identity.callsign == ghost && aircraft.state != SimState::removingfromsim;
    });
    if (found == liveAircraft.end())
        return;
    if (found->phase == FlightPhase::parked)
        gf_log(vald::format("{:8}: {:8} is a ghost and will be removed, continue with {}",
                            lf_standIdText(found->standNumber), ghost, callsign));
    else
        gf_log(vald::format("          {:8} is a ghost and will be removed, continue with {}", ghost, callsign));
    ghostList.push_back(ghost);
    removeAircraftFromSim(*found);
}

bool lf_hasLiveCallsign(const std::string& callsign)
{
    if (callsign.empty())
        return false;
    const std::string base = callsign.substr(0, callsign.size() - 1);
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&base](const LiveAircraft& aircraft) {
        return aircraft.state != SimState::removingfromsim && aircraft.identity.callsign == base;
    });
}
