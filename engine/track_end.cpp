#include "engine/track_end.hpp"

namespace {

constexpr Tick HOLD_TICKS = 300;

}  // namespace

// An aircraft on the ground holds its place, its front point repeated 3 s later; an airborne one
// has nothing more to do.
bool lf_trackEndStep(LiveAircraft& aircraft)
{
    if (!aircraft.onGround || aircraft.track.empty())
        return false;
    TrackPoint hold = aircraft.track.front();
    hold.playTick += HOLD_TICKS;
    hold.groundSpeed = 0.0;
    hold.stationary = true;
    aircraft.track.push_back(hold);
    return true;
}

void lf_learnStandAtTrackEnd(LiveAircraft&, bool) {}

bool lf_atStandTest(LiveAircraft&, TrackPoint&) { return false; }
