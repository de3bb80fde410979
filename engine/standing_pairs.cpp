#include "engine/standing_pairs.hpp"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/data_clock.hpp"
#include "engine/engine_state.hpp"
#include "engine/motion_math.hpp"
#include "engine/pause_holds.hpp"
#include "engine/removal.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"

namespace {

// Shown standing still on the ground: parked, pushed back and waiting, or taxiing on a stationary
// stretch of its track (a stop, or holding at its end). One driving onto its stand moves.
bool lf_standsStill(const LiveAircraft& aircraft)
{
    if (aircraft.state != SimState::active || !aircraft.onGround)
        return false;
    if (aircraft.phase == FlightPhase::parked || aircraft.phase == FlightPhase::pushed_back)
        return true;
    return aircraft.phase == FlightPhase::taxi && (aircraft.track.size() < 2 || aircraft.track[1].stationary);
}

// The aircraft standing still, gathered anew by each call.
std::vector<LiveAircraft*> standingStill;

}  // namespace

void gf_clearStandingOverlaps()
{
    gf_assertEngineOwner();
    // The aircraft standing still, by latitude: a pair lies within their summed half spans only
    // when their latitudes do.
    std::vector<LiveAircraft*>& standing = standingStill;
    standing.clear();
    double widest = 0.0;
    for (LiveAircraft& aircraft : liveAircraft)
        if (lf_standsStill(aircraft)) {
            standing.push_back(&aircraft);
            widest = std::max(widest, aircraft.halfSpan);
        }
    if (standing.size() < 2)
        return;
    std::sort(standing.begin(), standing.end(),
              [](const LiveAircraft* a, const LiveAircraft* b) { return a->simPosition.lat < b->simPosition.lat; });
    const double latReachDeg = 2.0 * widest / 60.0;
    for (std::size_t i = 0; i < standing.size(); ++i) {
        LiveAircraft& one = *standing[i];
        for (std::size_t j = i + 1; j < standing.size(); ++j) {
            LiveAircraft& other = *standing[j];
            if (other.simPosition.lat - one.simPosition.lat > latReachDeg)
                break;
            if (one.state != SimState::active || other.state != SimState::active)
                continue;
            const bool oneEnded = gf_dataEnded(one);
            if (!oneEnded && !gf_dataEnded(other))
                continue;  // both still report: the two stand where their data has them
            if (!gf_wingsTouch(one.halfSpan, other.halfSpan,
                               gf_distanceNm(gf_latLonOf(one.simPosition), gf_latLonOf(other.simPosition))))
                continue;
            LiveAircraft& goes = !oneEnded || gf_dataEndedBefore(other, one) ? other : one;
            const LiveAircraft& stays = &goes == &one ? other : one;
            gf_log(vald::format("{:8}: {:8} removed, its data ended and {} stands in its wings",
                                goes.standNumber != 0 ? lf_standIdText(goes.standNumber) : std::string(),
                                goes.identity.callsign, stays.identity.callsign));
            gf_noteGone(goes);
            removeAircraftFromSim(goes);
        }
    }
}
