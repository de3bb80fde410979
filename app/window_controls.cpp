#include "app/window_controls.hpp"

#include <system_error>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_update.hpp"
#include "platform/shell.hpp"
#include "foundation/status_display.hpp"

using vald::ControlKind;

namespace {

// Caption of the program's message boxes.
const char* const MESSAGE_BOX_CAPTION = "Corv";
// parking_percentage is not read back at start: each run begins with this.
constexpr std::int32_t START_PARKING_PERCENTAGE = 30;

vald::ControlModel& lf_controls() { return vald::gf_controls(); }

void lf_selectEntryEqualTo(vald::ControlId id)
{
    const std::optional<vald::ControlState> state = lf_controls().state(id);
    if (!state || state->kind != ControlKind::Combo)
        return;
    int index = -1;
    for (std::size_t i = 0; i < state->items.size(); ++i)
        if (state->items[i] == state->text) {
            index = static_cast<int>(i);
            break;
        }
    if (index != state->selection)
        lf_controls().setSelection(id, index);
}

bool lf_openFolderOrSay(const std::filesystem::path& path, const char* refusal)
{
    if (gf_openContainingFolder(path))
        return true;
    gf_messageBox(refusal, MESSAGE_BOX_CAPTION);
    return false;
}

}  // namespace

void gf_enableControl(const ParameterControl& binding) { lf_controls().setEnabled(binding.controlId(), true); }

void gf_disableControl(const ParameterControl& binding) { lf_controls().setEnabled(binding.controlId(), false); }

void gf_setControlEnabled(const ParameterControl& binding, bool enabled)
{
    lf_controls().setEnabled(binding.controlId(), enabled);
}

std::string lf_getTextFromId(vald::ControlId id)
{
    const std::optional<vald::ControlState> state = lf_controls().state(id);
    if (!state) {
        gf_log(vald::format("GetDlgItem failed for ID {}", id));
        return std::string();
    }
    if (state->kind == ControlKind::Combo)
        return lf_controls().selectedItem(id).value_or(std::string());
    return state->text;
}

std::optional<std::pair<int, std::string>> lf_getComboText(vald::ControlId wanted, vald::ControlId id,
                                                           vald::ControlEvent event)
{
    if (id != wanted || event != vald::ControlEvent::SelectionChanged)
        return std::nullopt;
    const std::optional<vald::ControlState> state = lf_controls().state(id);
    if (!state || state->selection < 0 || state->selection >= static_cast<int>(state->items.size()))
        return std::nullopt;
    return std::make_pair(state->selection, state->items[static_cast<std::size_t>(state->selection)]);
}

vald::ControlModel::ListenerToken gf_installComboTextRule()
{
    return lf_controls().addListener([](vald::ControlId id, vald::ControlAspect aspect) {
        if (aspect == vald::ControlAspect::Text)
            lf_selectEntryEqualTo(id);
    });
}

void gf_enableParkOptionControls()
{
    const bool enable = !RT_PARKTRAFFIC_ONLY.value();
    gf_setControlEnabled(PARK_SOFT, enable);
    gf_setControlEnabled(WEEK, enable);
    gf_setControlEnabled(parking_percentage, enable);
    gf_setControlEnabled(MAX_FIT_FL, enable);
    vald::gf_invalidateWindow(vald::CONTROLS_BAND);
}

void lf_enableTimeShiftControls(bool enable)
{
    for (const ParameterControl* control : std::initializer_list<const ParameterControl*>{
             &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME, &KEEP_SIM_TIME_PAR})
        gf_setControlEnabled(*control, enable);
    if (!enable)
        // The labels of these controls lie in the controls band.
        vald::gf_updateDisplay([](vald::StatusDisplayValues& v) { v.timeControlsEnabled = false; },
                               vald::CONTROLS_BAND);
}

void lf_fillCombos()
{
    gf_enableControl(ALWAYS_ON_TOP);
    gf_disableControl(LEARN_SOFT);
    for (const ParameterControl* box : std::initializer_list<const ParameterControl*>{
             &NAV_LIGHTS_WHILE_PARKED, &GUID_CHANGES, &SCAN_LIVERIES, &LIG_PRIORITIZE, &SCAN_AIRPORTS})
        gf_enableControl(*box);
    gf_disableControl(BUTTON_TBLO);

    gf_enableControl(MATCHING_DEPTH);
    gf_fillIntOptionCombo(MATCHING_DEPTH);
    gf_enableControl(LIGHT_AIRCRAFT);
    gf_enableControl(HELICOPTERS);
    gf_enableControl(HIGH_PERF_AIRCRAFT);

    const bool autoRange = AUTO_RANGE.value();
    gf_setControlEnabled(RANGE, !autoRange);
    gf_fillIntOptionCombo(RANGE);
    gf_enableControl(AUTO_RANGE);
    gf_setControlEnabled(AR_ABOVE_HEIGHT, autoRange);
    gf_fillIntOptionCombo(AR_ABOVE_HEIGHT);

    for (const ParameterControl* box : std::initializer_list<const ParameterControl*>{
             &AIRBORNE_ONLY, &COLLISION_USER_GND, &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND})
        gf_enableControl(*box);
    gf_disableControl(BUTTON_BLOCK);
    gf_enableControl(BLOCK_CALLSIGN);
    gf_setControlEnabled(BUTTON_UNBLOCK, !BLOCK_CALLSIGN.value().empty());
    if (!INITIAL_LOAD_ONLY.value())
        gf_disableControl(BUTTON_NOW);

    gf_enableControl(MAX_PARK_SEL);
    gf_fillIntOptionCombo(MAX_PARK_SEL);
    gf_enableControl(MAX_LIVE_SEL);
    gf_fillIntOptionCombo(MAX_LIVE_SEL);
    gf_enableControl(STRAIGHT_PBS_ONLY);
    gf_disableControl(BUTTON_CS_OID);
    gf_disableControl(CALLSIGN_2_OBJECTID);
    gf_disableControl(DESTINATION);
    gf_enableControl(AIRP_RANGE);
    gf_fillIntOptionCombo(AIRP_RANGE);
    gf_enableControl(AIRP_HEIGHT);
    gf_fillIntOptionCombo(AIRP_HEIGHT);
    gf_disableControl(BUTTON_REREAD);

    gf_fillIntOptionCombo(parking_percentage);
    gf_disableControl(parking_percentage);
    parking_percentage.setValue(START_PARKING_PERCENTAGE);
    if (const auto index = parking_percentage.optionIndex(START_PARKING_PERCENTAGE))
        lf_controls().setSelection(parking_percentage.controlId(), static_cast<int>(*index));

    if (MAX_FIT_FL.windowExists()) {
        std::vector<std::string> items;
        for (const float hours : MAX_FIT_FL.options())
            items.push_back(vald::format("{:.1f}", hours));
        lf_controls().setItems(MAX_FIT_FL.controlId(), std::move(items));
        if (const auto index = MAX_FIT_FL.optionIndex(MAX_FIT_FL.value()))
            lf_controls().setSelection(MAX_FIT_FL.controlId(), static_cast<int>(*index));
        MAX_FIT_FL.setValue(gf_halfHoursToHours(MAX_FIT.value()));
        const auto index = MAX_FIT_FL.optionIndex(MAX_FIT_FL.value());
        lf_controls().setSelection(MAX_FIT_FL.controlId(), index ? static_cast<int>(*index) : -1);
        gf_disableControl(MAX_FIT_FL);
    }

    gf_enableControl(WEEK);
    gf_enableControl(PARK_SOFT);
    gf_disableControl(BUTTON_FLUSH_STATIC);
    gf_enableControl(RT_PARKTRAFFIC_ONLY);
    gf_enableParkOptionControls();
    gf_enableControl(INITIAL_LOAD_ONLY);
}

void gf_messageBox(const std::string& text, const std::string& caption)
{
    vald::UiPort* port = vald::gf_windowPort();
    if (port == nullptr || port->headless())
        gf_logWarn(vald::format("{}: {}", caption, text));
    if (port != nullptr)
        port->messageBox(text, caption);
}

bool gf_openContainingFolder(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return false;
    const std::filesystem::path folder = path.parent_path();
    if (folder.empty())
        return false;
    return vald::gf_shellOpen(folder);
}

bool gf_openParametersFolder()
{
    return lf_openFolderOrSay(gf_parametersPath(), "Could not open folder with parameters.xml");
}

bool gf_openManual()
{
    std::error_code error;
    const std::filesystem::path manual = std::filesystem::current_path(error) / DOCS_FOLDER / "Manual.pdf";
    return lf_openFolderOrSay(manual, "Could not open local folder with Manual");
}
