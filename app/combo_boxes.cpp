#include "app/combo_boxes.hpp"

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "app/run_requests.hpp"
#include "app/time_shift.hpp"
#include "app/window_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "parking/park_airport.hpp"
#include "foundation/status_display.hpp"

namespace {

constexpr std::int32_t MINUTES_PER_HOUR = 60;
constexpr std::int32_t HOURS_PER_DAY = 24;

using Selection = std::pair<int, std::string>;

// The option at the selected index; none when the index lies outside the options (a list that
// does not show this parameter's options).
template <typename T>
std::optional<T> lf_optionAt(const BasicComboParameter<T>& parameter, const Selection& selection)
{
    const auto& options = parameter.options();
    if (selection.first < 0 || static_cast<std::size_t>(selection.first) >= options.size())
        return std::nullopt;
    return options[static_cast<std::size_t>(selection.first)];
}

// The option becomes the value (clamped) and is saved.
void lf_takeOption(ComboParameter& parameter, const Selection& selection)
{
    if (const std::optional<std::int32_t> option = lf_optionAt(parameter, selection)) {
        parameter.setValue(*option);
        gf_saveIntParameter(parameter);
    }
}

void lf_selectCallsign(const Selection& selection)
{
    if (selection.second != CALLSIGN_2_OBJECTID.value()) {
        CALLSIGN_2_OBJECTID.setValue(selection.second);
        vald::gf_invalidateWindow(vald::CONTROLS_BAND);
    }
    gf_setControlEnabled(BUTTON_BLOCK, !vald::gf_controls().enabled(BUTTON_UNBLOCK.controlId()));
}

void lf_selectMaxFit(const Selection& selection)
{
    const std::optional<float> hours = lf_optionAt(MAX_FIT_FL, selection);
    if (!hours)
        return;
    MAX_FIT_FL.setValue(*hours);
    // Half hours, counted from 0 for the first half hour.
    MAX_FIT.setValue(static_cast<std::int32_t>(std::lround(2.0 * static_cast<double>(*hours))) - 1);
    gf_saveIntParameter(MAX_FIT);
}

void lf_selectMaxLive(const Selection& selection)
{
    lf_takeOption(MAX_LIVE_SEL, selection);
    if (!parkAirportOpen.load())
        maxLiveSelection.store(MAX_LIVE_SEL.value());
    // The live aircraft belong to the worker: it removes those above the new limit.
    limitLiveCountRequested.store(true);
}

void lf_selectTimePart(ComboParameter& part, const Selection& selection)
{
    if (const std::optional<std::int32_t> option = lf_optionAt(part, selection))
        part.setValue(*option);
    lf_setTimeShift((TIME_SHIFT_HOURS.value() + TIME_SHIFT_DAYS.value() * HOURS_PER_DAY) * MINUTES_PER_HOUR +
                        TIME_SHIFT_MINS.value(),
                    false);
}

}  // namespace

bool lf_handleComboSelection(vald::ControlId id, vald::ControlEvent event)
{
    const auto selected = [&](const ParameterControl& combo) { return lf_getComboText(combo.controlId(), id, event); };

    if (const auto selection = selected(CALLSIGN_2_OBJECTID)) {
        lf_selectCallsign(*selection);
        return true;
    }
    for (ComboParameter* plain :
         {&MATCHING_DEPTH, &MAX_PARK_SEL, &parking_percentage, &AIRP_RANGE, &AR_ABOVE_HEIGHT, &AIRP_HEIGHT}) {
        if (const auto selection = selected(*plain)) {
            lf_takeOption(*plain, *selection);
            return true;
        }
    }
    if (const auto selection = selected(RANGE)) {
        lf_takeOption(RANGE, *selection);
        gf_setRangeNm(RANGE.value());
        return true;
    }
    if (const auto selection = selected(MAX_FIT_FL)) {
        lf_selectMaxFit(*selection);
        return true;
    }
    if (const auto selection = selected(MAX_LIVE_SEL)) {
        lf_selectMaxLive(*selection);
        return true;
    }
    for (ComboParameter* part : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        if (const auto selection = selected(*part)) {
            lf_selectTimePart(*part, *selection);
            return true;
        }
    }
    return false;
}
