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

Tick lf_clockSince(const LiveAircraft& aircraft) { return clockTicks - aircraft.newest.clockTick; }

}  // namespace

Tick gf_clockTakesReport(bool newData)
{
    gf_assertEngineOwner();
    if (newData) {
        const Tick now = tickCounter.load();
        if (lastNewDataTick >= 0)
            clockTicks += std::clamp<Tick>(now - lastNewDataTick, 0, STEP_TICKS);
        lastNewDataTick = now;
    }
    return clockTicks;
}

bool gf_dataEnded(const LiveAircraft& aircraft) { return lf_clockSince(aircraft) > ENDED_TICKS; }

bool gf_dataRanOut(const LiveAircraft& aircraft)
{
    // Without any report taken nothing says that its data goes on.
    return !(aircraft.newest.dataTime > 0.0) || lf_clockSince(aircraft) > RAN_OUT_TICKS;
}

bool gf_dataEndedBefore(const LiveAircraft& first, const LiveAircraft& second)
{
    return first.newest.clockTick < second.newest.clockTick;
}

void gf_resetDataClock()
{
    clockTicks = 0;
    lastNewDataTick = -1;
}
