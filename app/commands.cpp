#include "app/commands.hpp"

#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "app/combo_boxes.hpp"
#include "app/edit_fields.hpp"
#include "app/main_window.hpp"
#include "app/message_lines.hpp"
#include "app/run_requests.hpp"
#include "app/run_state.hpp"
#include "app/time_shift.hpp"
#include "app/window_controls.hpp"
#include "engine/engine_state.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/strings.hpp"
#include "foundation/time_slots.hpp"
#include "parking/park_airport.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"

namespace {

using vald::ControlEvent;
using vald::ControlId;

constexpr std::int32_t PARKING_UPDATE_MINUTES = 20;
constexpr std::int32_t PARKING_SCHEDULE_SECONDS = 15;
constexpr std::int32_t SCAN_RESTART_DELAY_S = 2;
const char* const MESSAGE_BOX_CAPTION = "Corv";

// The enabled states of the time controls when the parking controls were locked; none while
// they are not locked.
struct TimeControlStates {
    bool simTime = false;
    bool keepSimTime = false;
    bool days = false;
    bool hours = false;
    bool mins = false;
};
std::mutex lockStateMutex;
std::optional<TimeControlStates> rememberedTimeControls;

bool lf_enabled(const ParameterControl& control) { return vald::gf_controls().enabled(control.controlId()); }

void lf_invalidateControls() { vald::gf_invalidateWindow(vald::CONTROLS_BAND); }

void lf_setPaintedCountdown(std::int32_t minutes)
{
    vald::gf_updateDisplay([minutes](vald::StatusDisplayValues& v) { v.paintedCountdown = minutes; },
                           vald::CONTROLS_BAND);
}

// ---- Buttons ----

void lf_unblockButton()
{
    if (BLOCK_CALLSIGN.value().empty())
        gf_showStatus("Nothing to block or unblock...", false);
    else
        lf_unblockCallsign();
    gf_setControlEnabled(BUTTON_BLOCK, !lf_getTextFromId(CALLSIGN_2_OBJECTID.controlId()).empty());
}

void lf_callsignToObjectIdButton()
{
    // The list is refilled, so an emptying still pending would only wipe the new list.
    clearCallsignListRequested.store(false);
    callsignToObjectIdRequested.store(true);
    gf_disableControl(BUTTON_BLOCK);
}

void lf_blockButton()
{
    lf_setBlockedCallsign(lf_getTextFromId(CALLSIGN_2_OBJECTID.controlId()));
    // The callsign list belongs to the worker, which empties it; the combo is out of use now.
    clearCallsignListRequested.store(true);
    gf_disableControl(CALLSIGN_2_OBJECTID);
    gf_disableControl(BUTTON_BLOCK);
}

void lf_reReadButton()
{
    reReadRequested.store(true);
    gf_disableControl(BUTTON_REREAD);
    gf_disableControl(DESTINATION);
}

void lf_flushStaticButton()
{
    gf_showStatus("All static parked aircraft will be removed ...", false);
    flushStaticRequested.store(true);
    gf_disableControl(BUTTON_FLUSH_STATIC);
}

bool lf_tbloButton()
{
    std::error_code error;
    const std::filesystem::path zip = std::filesystem::current_path(error) / "tblo" / "tblo.zip";
    if (!error && gf_openContainingFolder(zip))
        return true;
    gf_messageBox("Could not open File Explorer at tblo.zip.", MESSAGE_BOX_CAPTION);
    return false;
}

void lf_nowButton()
{
    if (!parkAirportOpen.load())
        return;
    if (INITIAL_LOAD_ONLY.value()) {
        gf_clearStatus();
        return;
    }
    lf_announceStaticParkingUpdate();
    parkingCountdownMinutes.store(PARKING_UPDATE_MINUTES);
    lf_setPaintedCountdown(PARKING_UPDATE_MINUTES);
    lf_invalidateControls();
}

// ---- Check boxes ----

void lf_statusOrClear(bool showStatus, const std::string& text)
{
    if (showStatus)
        gf_showStatus(text, false);
    else
        gf_clearStatus();
}

void lf_scanBox(bool liveries)
{
    const char* const what = liveries ? "liveries" : "airports";
    if (simConnectionPending.load()) {
        if (liveries)
            // The worker may be building the indexes now: it empties them before the next run.
            liveryResetRequested.store(true);
        gf_showStatus(vald::format("Your {} will be scanned", what), true);
        gf_requestStop(closing_reason::NEW_SETTINGS, SCAN_RESTART_DELAY_S);
    } else {
        gf_showStatus(vald::format("Your {} will be scanned at the next start of {}", what, PROGRAM_ID), false);
    }
}

void lf_autoRangeBox(bool on)
{
    gf_setControlEnabled(RANGE, !on);
    gf_setControlEnabled(AR_ABOVE_HEIGHT, on);
    if (on) {
        runStartRange.store(RANGE.value());
        autoRangeRequested.store(true);
        return;
    }
    autoRangeRequested.store(false);
    RANGE.setValue(runStartRange.load());
    gf_setRangeNm(RANGE.value());
    gf_setIntParamText(RANGE);
    gf_clearStatus();
}

void lf_alwaysOnTopBox(bool on)
{
    lf_statusOrClear(on, vald::format("{}'s window will remain visible", PROGRAM_ID));
    if (vald::UiPort* port = vald::gf_windowPort())
        port->setAlwaysOnTop(on);
    lf_invalidateControls();
}

// The box's own effect after its value was changed and saved.
void lf_checkBoxEffect(const CheckBoxParameter& box, bool on)
{
    if (&box == &LIG_PRIORITIZE) {
        lf_statusOrClear(on, "Liveries, for airl+model, in lower lfolders that are already available will be skipped");
    } else if (&box == &COLLISION_LIVE_PARKED_GND) {
        lf_statusOrClear(!on, "Be aware, live aircraft may collide with (run through) static parked on the ground");
    } else if (&box == &COLLISION_USER_GND) {
        lf_statusOrClear(!on, "Be aware, user aircraft may collide with (run through) live aircraft and static "
                              "parked on the ground");
    } else if (&box == &COLLISION_USER_AIR) {
        lf_statusOrClear(!on, "Be aware, user aircraft may collide with (run through) live aircraft in the air");
    } else if (&box == &INITIAL_LOAD_ONLY) {
        lf_statusOrClear(on, vald::format("Initial Load Only: static parked aircraft are generated once, no renewal "
                                          "every {} minutes",
                                          PARKING_UPDATE_MINUTES));
        gf_setControlEnabled(BUTTON_NOW, !on);
        lf_invalidateControls();
    } else if (&box == &RT_PARKTRAFFIC_ONLY) {
        gf_enableParkOptionControls();
        parkingForce.store(on);
        vald::gf_invalidateWindow(vald::LIVE_STATUS_BAND);
    } else if (&box == &ALWAYS_ON_TOP) {
        lf_alwaysOnTopBox(on);
    } else if (&box == &GUID_CHANGES) {
        lf_statusOrClear(!on, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
        lf_invalidateControls();
    } else if (&box == &SIM_TIME) {
        lf_enableTimeControls();
    } else if (&box == &AUTO_RANGE) {
        lf_autoRangeBox(on);
    } else if (&box == &SCAN_LIVERIES || &box == &SCAN_AIRPORTS) {
        if (on)
            lf_scanBox(&box == &SCAN_LIVERIES);
        else
            gf_clearStatus();
        lf_invalidateControls();
    } else if (&box == &AIRBORNE_ONLY) {
        lf_statusOrClear(on, "Be aware, airborne live traffic only!  (greater than 300 ft above ground ...)");
        lf_invalidateControls();
    } else if (&box == &NAV_LIGHTS_WHILE_PARKED) {
        // The aircraft lists belong to the worker, which queues the events.
        navLightsData.store(on ? 1U : 0U);
        navLightsRequested.store(true);
    }
    // PARK_SOFT, WEEK, LEARN_SOFT, KEEP_SIM_TIME_PAR, STRAIGHT_PBS_ONLY and the three aircraft
    // categories are read where they matter; saving them is all.
}

CheckBoxParameter* lf_checkBoxOf(ControlId id)
{
    for (CheckBoxParameter* box :
         {&LIG_PRIORITIZE, &COLLISION_LIVE_PARKED_GND, &COLLISION_USER_GND, &COLLISION_USER_AIR, &INITIAL_LOAD_ONLY,
          &RT_PARKTRAFFIC_ONLY, &ALWAYS_ON_TOP, &GUID_CHANGES, &SIM_TIME, &AUTO_RANGE, &SCAN_LIVERIES,
          &SCAN_AIRPORTS, &AIRBORNE_ONLY, &NAV_LIGHTS_WHILE_PARKED, &PARK_SOFT, &WEEK, &LEARN_SOFT,
          &KEEP_SIM_TIME_PAR, &STRAIGHT_PBS_ONLY, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
        if (box->controlId() == id)
            return box;
    return nullptr;
}

bool lf_isKnownControl(ControlId id)
{
    for (const ParameterControl* binding : gf_allControlBindings())
        if (binding->controlId() == id)
            return true;
    return false;
}

}  // namespace

bool lf_handleButton(ControlId id, ControlEvent event)
{
    if (event != ControlEvent::Clicked)
        return false;
    if (id == BUTTON_UNBLOCK.controlId())
        lf_unblockButton();
    else if (id == BUTTON_CS_OID.controlId())
        lf_callsignToObjectIdButton();
    else if (id == BUTTON_BLOCK.controlId())
        lf_blockButton();
    else if (id == BUTTON_REREAD.controlId())
        lf_reReadButton();
    else if (id == BUTTON_FLUSH_STATIC.controlId())
        lf_flushStaticButton();
    else if (id == BUTTON_TBLO.controlId())
        return lf_tbloButton();
    else if (id == BUTTON_NOW.controlId())
        lf_nowButton();
    else
        return false;
    return true;
}

bool lf_handleCheckBox(ControlId id, ControlEvent event)
{
    if (event != ControlEvent::Clicked)
        return false;
    CheckBoxParameter* box = lf_checkBoxOf(id);
    if (box == nullptr)
        return false;
    // The boxes are not automatic: a click asks for the opposite of what the box shows.
    const bool on = !vald::gf_controls().checked(id);
    vald::gf_controls().setChecked(id, on);
    box->setValue(on);
    gf_saveBoolParameter(*box);
    lf_checkBoxEffect(*box, on);
    return true;
}

bool lf_HandleWMCOMMAND(ControlId id, ControlEvent event)
{
    try {
        // A click queued before the program disabled the control is not acted on.
        if (lf_isKnownControl(id) && !vald::gf_controls().enabled(id)) {
            lf_invalidateControls();
            return false;
        }
        if (lf_handleButton(id, event) || lf_handleCheckBox(id, event) || lf_handleComboSelection(id, event))
            return true;
        if (const EditStringParameter* field = lf_editFieldOf(id))
            if (lf_editSubclassProc(*field, event))
                return true;
        lf_invalidateControls();
        return false;
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
        // The user asked for something that did not happen: the line tells why.
        gf_showStatus(e.what(), false);
        lf_invalidateControls();
        return false;
    }
}

void lf_announceStaticParkingUpdate()
{
    gf_lockParkingControls();
    const std::int32_t counter = secondCounter.load();
    const std::int32_t seconds = PARKING_SCHEDULE_SECONDS - counter % PARKING_SCHEDULE_SECONDS;
    if (seconds > 0)
        gf_showStatus(vald::format("{} will update static parking in {} second{} ...", PROGRAM_ID, seconds,
                                   gf_plural(seconds)),
                      false);
    // A whole update includes the parked traffic.
    parkedRetryOnly.store(false);
    parkingUpdateRequested.store(true);
}

void gf_lockParkingControls()
{
    const bool alreadyLocked = controlsLocked.exchange(true);
    for (const ParameterControl* control : std::initializer_list<const ParameterControl*>{
             &parking_percentage, &WEEK, &PARK_SOFT, &MAX_FIT_FL, &MAX_PARK_SEL, &MAX_LIVE_SEL, &BUTTON_FLUSH_STATIC})
        gf_disableControl(*control);
    if (!INITIAL_LOAD_ONLY.value())
        gf_disableControl(BUTTON_NOW);
    gf_disableControl(BUTTON_REREAD);
    {
        std::lock_guard lock(lockStateMutex);
        // A second lock before the unlock keeps the states of the first: they are the user's.
        if (!alreadyLocked || !rememberedTimeControls)
            rememberedTimeControls = TimeControlStates{lf_enabled(SIM_TIME), lf_enabled(KEEP_SIM_TIME_PAR),
                                                       lf_enabled(TIME_SHIFT_DAYS), lf_enabled(TIME_SHIFT_HOURS),
                                                       lf_enabled(TIME_SHIFT_MINS)};
    }
    for (const ParameterControl* control : std::initializer_list<const ParameterControl*>{
             &SIM_TIME, &KEEP_SIM_TIME_PAR, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS,
             &RT_PARKTRAFFIC_ONLY})
        gf_disableControl(*control);
    lf_invalidateControls();
}

void gf_unlockParkingControls()
{
    controlsLocked.store(false);
    lf_setPaintedCountdown(PARKING_UPDATE_MINUTES - 1);
    gf_enableControl(MAX_PARK_SEL);
    gf_enableControl(MAX_LIVE_SEL);
    std::optional<TimeControlStates> states;
    {
        std::lock_guard lock(lockStateMutex);
        states.swap(rememberedTimeControls);
    }
    if (states) {
        gf_setControlEnabled(SIM_TIME, states->simTime);
        gf_setControlEnabled(KEEP_SIM_TIME_PAR, states->keepSimTime);
        gf_setControlEnabled(TIME_SHIFT_DAYS, states->days);
        gf_setControlEnabled(TIME_SHIFT_HOURS, states->hours);
        gf_setControlEnabled(TIME_SHIFT_MINS, states->mins);
    }
    gf_enableControl(RT_PARKTRAFFIC_ONLY);
    if (!INITIAL_LOAD_ONLY.value())
        gf_enableControl(BUTTON_NOW);
    gf_enableControl(BUTTON_FLUSH_STATIC);
    gf_enableControl(BUTTON_REREAD);
    gf_enableParkOptionControls();
    lf_invalidateControls();
}

void lf_setParkedNavLights(std::uint32_t data)
{
    const auto queue = [data](std::uint32_t objectId) {
        gf_queueClientEvent(QueuedClientEvent{objectId, NAV_LIGHTS_SET, data});
    };
    for (const StaticAircraft& aircraft : staticAircraft)
        if (aircraft.state == SimState::active)
            queue(aircraft.objectId);
    for (const LiveAircraft& aircraft : liveAircraft)
        if (aircraft.state == SimState::active && aircraft.phase == FlightPhase::parked)
            queue(aircraft.objectId);
}

void gf_registerCommands()
{
    gf_setCommandHandler(&lf_HandleWMCOMMAND);
    gf_setShiftedTimeSource(&gf_shiftedDataTime);
}

void gf_resetCommandsForTest()
{
    std::lock_guard lock(lockStateMutex);
    rememberedTimeControls.reset();
}
