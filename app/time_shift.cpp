#include "app/time_shift.hpp"

#include <algorithm>

#include "app/commands.hpp"
#include "app/message_lines.hpp"
#include "app/run_requests.hpp"
#include "app/window_controls.hpp"
#include "engine/engine_state.hpp"
#include "engine/removal.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameters.hpp"
#include "foundation/strings.hpp"
#include "simlink/sim_state.hpp"
#include "traffic/service_client.hpp"

std::atomic<bool> timeShiftActive{false};

namespace {

constexpr std::int32_t MINUTES_PER_DAY = 1440;
constexpr std::int32_t MINUTES_PER_HOUR = 60;

// The value clamped to the parameter's limits, saved, and its entry selected when it has one.
void lf_setTimePart(ComboParameter& parameter, std::int32_t value)
{
    parameter.setValue(value);
    gf_saveIntParameter(parameter);
    if (const auto index = parameter.optionIndex(parameter.value()))
        vald::gf_controls().setSelection(parameter.controlId(), static_cast<int>(*index));
}

}  // namespace

void lf_selectComboParam(std::int32_t minutes)
{
    const std::int32_t days = minutes / MINUTES_PER_DAY;
    lf_setTimePart(TIME_SHIFT_DAYS, days);
    lf_setTimePart(TIME_SHIFT_HOURS, (minutes - TIME_SHIFT_DAYS.value() * MINUTES_PER_DAY) / MINUTES_PER_HOUR);
    lf_setTimePart(TIME_SHIFT_MINS, minutes % MINUTES_PER_HOUR);
}

void lf_setTimeShift(std::int32_t minutes, bool quiet)
{
    // A shift into the future has no traffic to replay.
    minutes = std::max(minutes, 0);
    timeShiftActive.store(minutes > 0);
    if (minutes > MAX_TIME_SHIFT_MINUTES) {
        gf_log("Time shifting is limited to 2 weeks");
        minutes = MAX_TIME_SHIFT_MINUTES;
    }
    lf_selectComboParam(minutes);
    trafficReader.toffset.store(minutes);
    weatherReader.toffset.store(minutes);
    if (minutes != 0) {
        if (!quiet)
            gf_showStatus(vald::format("Time shifted {} minute{}", minutes, gf_plural(minutes)), true);
    } else {
        gf_showStatus("Time shift = 0", true);
    }
    if (quiet)
        return;
    // The live and static aircraft belong to the worker: it removes the old traffic.
    timeShiftRemovalRequested.store(true);
}

void lf_enableTimeControls()
{
    const bool simTime = SIM_TIME.value();
    if (!simTime) {
        lf_selectComboParam(0);
        lf_setTimeShift(0, false);
        lastSimUtcSeconds.store(simUtcSeconds.load());
    } else {
        lastSimUtcSeconds.store(0);
    }
    gf_setControlEnabled(TIME_SHIFT_DAYS, !simTime);
    gf_setControlEnabled(TIME_SHIFT_HOURS, !simTime);
    gf_setControlEnabled(TIME_SHIFT_MINS, !simTime);
}

void lf_removeTimeShiftedTraffic()
{
    // Withdrawn or removed the one way, which also frees the stand of one born on it.
    for (LiveAircraft& aircraft : liveAircraft)
        if (aircraft.state == SimState::active || (aircraft.state == SimState::adding2sim && !aircraft.dequeued))
            removeAircraftFromSim(aircraft);
    std::erase_if(liveAircraft, [](const LiveAircraft& aircraft) { return aircraft.dequeued; });
    lf_sweepStaticAircraft();
    lf_announceStaticParkingUpdate();
}

double gf_shiftedDataTime() { return timeShiftActive.load() ? trafficReader.dataTime.load() : 0.0; }
