#include "app/control_table.hpp"

#include "foundation/status_display.hpp"

using vald::ControlKind;

namespace {

// The closed height of a drop-down list.
constexpr int COMBO_CLOSED_HEIGHT = 21;

template <typename P>
ControlRow lf_row(ControlKind kind, const P& parameter, int x, int width, int height)
{
    return ControlRow{kind, &parameter, &parameter, x, width, height};
}

ControlRow lf_check(const CheckBoxParameter& parameter, int x) { return lf_row(ControlKind::CheckBox, parameter, x, 12, 12); }

ControlRow lf_button(const ButtonControl& button, int x, int width)
{
    return lf_row(ControlKind::Button, button, x, width, 20);
}

ControlRow lf_edit(const EditStringParameter& parameter, int x, int width)
{
    return lf_row(ControlKind::Edit, parameter, x, width, 16);
}

template <typename P>
ControlRow lf_combo(const P& parameter, int x, int width, int listHeight)
{
    return lf_row(ControlKind::Combo, parameter, x, width, listHeight);
}

}  // namespace

const std::vector<ControlRow>& gf_controlTable()
{
    static const std::vector<ControlRow> table{
        lf_edit(ALL_INSTALL_PATH, 111, 1200),
        lf_check(SCAN_LIVERIES, 5),
        lf_check(LIG_PRIORITIZE, 536),
        lf_check(ALWAYS_ON_TOP, 748),
        lf_check(SCAN_AIRPORTS, 5),
        lf_button(BUTTON_TBLO, 217, 60),
        lf_check(NAV_LIGHTS_WHILE_PARKED, 652),
        lf_check(LEARN_SOFT, 748),
        lf_combo(MATCHING_DEPTH, 217, 40, 120),
        lf_check(LIGHT_AIRCRAFT, 323),
        lf_check(HELICOPTERS, 430),
        lf_check(HIGH_PERF_AIRCRAFT, 536),
        lf_check(GUID_CHANGES, 748),
        lf_combo(RANGE, 217, 50, 200),
        lf_check(AUTO_RANGE, 323),
        lf_combo(AR_ABOVE_HEIGHT, 455, 70, 230),
        lf_check(AIRBORNE_ONLY, 572),
        lf_combo(TIME_SHIFT_DAYS, 748, 45, 200),
        lf_check(COLLISION_USER_GND, 217),
        lf_check(COLLISION_USER_AIR, 323),
        lf_check(COLLISION_LIVE_PARKED_GND, 430),
        lf_check(SIM_TIME, 652),
        lf_combo(TIME_SHIFT_HOURS, 748, 45, 200),
        lf_edit(BLOCK_CALLSIGN, 107, 100),
        lf_button(BUTTON_UNBLOCK, 223, 60),
        lf_button(BUTTON_CS_OID, 305, 60),
        lf_combo(CALLSIGN_2_OBJECTID, 375, 100, 300),
        lf_button(BUTTON_BLOCK, 576, 60),
        lf_check(KEEP_SIM_TIME_PAR, 652),
        lf_combo(TIME_SHIFT_MINS, 748, 45, 300),
        lf_button(BUTTON_NOW, 111, 45),
        lf_combo(MAX_PARK_SEL, 323, 55, 144),
        lf_combo(MAX_LIVE_SEL, 536, 55, 144),
        lf_edit(DESTINATION, 217, 50),
        lf_combo(AIRP_RANGE, 353, 45, 144),
        lf_combo(AIRP_HEIGHT, 566, 70, 230),
        lf_check(STRAIGHT_PBS_ONLY, 652),
        lf_check(INITIAL_LOAD_ONLY, 5),
        lf_check(WEEK, 71),
        lf_check(PARK_SOFT, 151),
        lf_combo(parking_percentage, 323, 50, 200),
        lf_combo(MAX_FIT_FL, 566, 60, 300),
        lf_check(RT_PARKTRAFFIC_ONLY, 667),
        lf_button(BUTTON_REREAD, 758, 90),
        lf_button(BUTTON_FLUSH_STATIC, 758, 90),
    };
    return table;
}

vald::PixelRect gf_controlRect(const ControlRow& row)
{
    int top = row.binding->y();
    int height = row.height;
    if (row.kind == ControlKind::CheckBox)
        top += 2;
    if (row.kind == ControlKind::Combo) {
        top -= 5;
        height = COMBO_CLOSED_HEIGHT;
    }
    return vald::PixelRect{row.x, top, row.x + row.width, top + height};
}

std::vector<vald::ControlSpec> lf_createControls()
{
    vald::ControlModel& controls = vald::gf_controls();
    std::vector<vald::ControlSpec> specs;
    for (const ControlRow& row : gf_controlTable()) {
        const vald::ControlId id = row.binding->controlId();
        controls.create(id, row.kind);
        if (row.kind == ControlKind::CheckBox)
            controls.setChecked(id, dynamic_cast<const BoolParameter&>(*row.parameter).value());
        const std::string label = row.kind == ControlKind::Button ? row.parameter->name() : std::string();
        specs.push_back(vald::ControlSpec{id, row.kind, gf_controlRect(row), label});
    }
    vald::gf_invalidateWindow(vald::CONTROLS_BAND);
    return specs;
}
