#include "engine/data_clock.hpp"

#include <algorithm>

#include "engine/engine_state.hpp"

namespace {

constexpr Tick STEP_TICKS = static_cast<Tick>(DATA_CLOCK_STEP_SECONDS * TICKS_PER_SECOND);
constexpr Tick ENDED_TICKS = static_cast<Tick>(DATA_ENDED_SECONDS * TICKS_PER_SECOND);
constexpr Tick RAN_OUT_TICKS = static_cast<Tick>(DATA_RAN_OUT_SECONDS * TICKS_PER_SECOND);

// The clock, and the tick at which new data last moved it (none yet: the first moves it nothing).
Tick clockTicks = 0;
Tick lastNewDataTick = -1;
// The clock's reading when new data last came after a pause; none yet.
Tick resumedAt = -1;

Tick lf_clockSince(const LiveAircraft& aircraft) { return clockTicks - aircraft.newest.clockTick; }

}  // namespace

Tick gf_clockTakesReport(bool newData)
{
    gf_assertEngineOwner();
    if (newData) {
        const Tick now = tickCounter.load();
        if (lastNewDataTick >= 0) {
            clockTicks += std::clamp<Tick>(now - lastNewDataTick, 0, STEP_TICKS);
            if (now - lastNewDataTick > STEP_TICKS)
                resumedAt = clockTicks;
        }
        lastNewDataTick = now;
    }
    return clockTicks;
}

bool gf_dataEnded(const LiveAircraft& aircraft) { return gf_endedSince(aircraft.newest.clockTick); }

bool gf_dataRanOut(const LiveAircraft& aircraft)
{
    // Without any report taken nothing says that its data goes on.
    return !(aircraft.newest.dataTime > 0.0) || lf_clockSince(aircraft) > RAN_OUT_TICKS;
}

bool gf_dataEndedBefore(const LiveAircraft& first, const LiveAircraft& second)
{
    return first.newest.clockTick < second.newest.clockTick;
}

bool gf_feedPaused() { return lastNewDataTick >= 0 && tickCounter.load() - lastNewDataTick > STEP_TICKS; }

Tick gf_dataClockNow() { return clockTicks; }

bool gf_endedSince(Tick clockReading) { return clockTicks - clockReading > ENDED_TICKS; }

bool gf_inDoubtAfterPause(const LiveAircraft& holder, const LiveAircraft& arrival)
{
    return resumedAt >= 0 && !gf_endedSince(resumedAt) && holder.newest.dataTime > 0.0 && !gf_dataEnded(holder) &&
           arrival.newest.dataTime - holder.newest.dataTime > DATA_ENDED_SECONDS;
}

void gf_resetDataClock()
{
    clockTicks = 0;
    lastNewDataTick = -1;
    resumedAt = -1;
}
