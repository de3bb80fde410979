#include "foundation/parameter_controls.hpp"

#include <exception>
#include <string>
#include <vector>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/text.hpp"
#include "platform/control_model.hpp"

namespace {

void lf_setControlText(vald::ControlId id, const std::string& text)
{
    try {
        (void)utf8_to_wide(text);  // the window shows only valid text
    } catch (const std::exception& e) {
        gf_log(vald::format("utf8_to_wide failed for '{}': {}", text, e.what()));
        return;
    }
    if (!vald::gf_controls().setText(id, text))
        gf_log(vald::format("GetDlgItem failed for ID {}", id));
}

}  // namespace

void gf_setIntParamText(const ComboParameter& parameter)
{
    lf_setControlText(parameter.controlId(), vald::format("{}", parameter.value()));
}

void gf_setStringParamText(const EditStringParameter& parameter)
{
    lf_setControlText(parameter.controlId(), parameter.value());
}

void gf_showStringParameter(const EditStringParameter& parameter) { gf_setStringParamText(parameter); }

void gf_setBoolParamChecked(CheckBoxParameter& parameter, bool value)
{
    parameter.setValue(value);
    gf_saveBoolParameter(parameter);
    vald::gf_controls().setChecked(parameter.controlId(), value);
}

void gf_fillIntOptionCombo(const ComboParameter& parameter)
{
    if (!parameter.windowExists())
        return;
    std::vector<std::string> items;
    items.reserve(parameter.options().size());
    for (std::int32_t option : parameter.options())
        items.push_back(vald::format("{}", option));
    vald::ControlModel& controls = vald::gf_controls();
    controls.setItems(parameter.controlId(), std::move(items));
    if (auto index = parameter.optionIndex(parameter.value()))
        controls.setSelection(parameter.controlId(), static_cast<int>(*index));
}

void gf_fillCallsignCombo()
{
    if (!CALLSIGN_2_OBJECTID.windowExists())
        return;
    vald::ControlModel& controls = vald::gf_controls();
    controls.setItems(CALLSIGN_2_OBJECTID.controlId(), CALLSIGN_2_OBJECTID.callsignList()->snapshot());
    (void)controls.selectPrefix(CALLSIGN_2_OBJECTID.controlId(), CALLSIGN_2_OBJECTID.value());
}
