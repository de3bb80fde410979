#include "engine/position_stream.hpp"

#include <algorithm>
#include <exception>

#include "engine/removal.hpp"
#include "engine/spawn_step.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "simlink/sim_queues.hpp"

namespace {

bool lf_toBeErased(const LiveAircraft& aircraft) { return aircraft.skip || aircraft.dequeued; }

void lf_queuePosition(LiveAircraft& aircraft)
{
    if (aircraft.objectId != 0) {
        gf_positionFillBuffer().push_back(PositionSetRecord{aircraft.simPosition, aircraft.objectId});
        return;
    }
    gf_logWarn(vald::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc", aircraft.hexid,
                            aircraft.identity.callsign, aircraft.identity.registration,
                            gf_typeKeyText(aircraft.identity), aircraft.track.size()));
    removeAircraftFromSim(aircraft);
}

void lf_streamEmpty(LiveAircraft& aircraft)
{
    const SimPosition& at = aircraft.simPosition;
    gf_logWarn(vald::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                            "updateLiveAc", gf_flightKeyText(aircraft.identity), aircraft.hexid, aircraft.objectId,
                            at.altitude, vald::format("{:.6f},{:.6f}", at.lat, at.lon), at.speed));
    removeAircraftFromSim(aircraft);
}

}  // namespace

bool updateLiveAc(LiveAircraft& aircraft)
{
    try {
        if (aircraft.state == SimState::buffer)
            lf_spawnStep(aircraft);
        else if (aircraft.state == SimState::active && aircraft.track.empty())
            lf_streamEmpty(aircraft);
        else if (aircraft.state == SimState::active)
            lf_queuePosition(aircraft);
        return lf_toBeErased(aircraft);
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(),
                                gf_flightKeyText(aircraft.identity), aircraft.track.size(),
                                gf_phaseName(aircraft.phase), gf_simStateName(aircraft.state)));
        return aircraft.skip;
    }
}

void decodeExisting(LiveAircraft& aircraft, TrackPoint& point)
{
    if (aircraft.track.size() > MAX_TRACK_POINTS) {
        removeAircraftFromSim(aircraft);
        return;
    }
    if (!aircraft.track.empty())
        point.playTick = std::max(point.playTick, aircraft.track.back().playTick + 1);
    aircraft.track.push_back(point);
}
