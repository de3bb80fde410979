#include "parking/parking_window.hpp"

#include <atomic>

#include "engine/stand_records.hpp"
#include "foundation/hook_store.hpp"
#include "parking/park_airport.hpp"
#include "parking/park_file.hpp"
#include "platform/control_model.hpp"
#include "foundation/status_display.hpp"

namespace {

std::atomic<bool> ownLock{false};

ParkingWindowHooks lf_defaultHooks()
{
    ParkingWindowHooks hooks;
    hooks.lockParkingControls = [] { ownLock.store(true); };
    hooks.unlockParkingControls = [] { ownLock.store(false); };
    hooks.controlsLocked = [] { return ownLock.load(); };
    hooks.enableParkOptionControls = [] {};
    hooks.applyAutoRange = [](bool) {};
    hooks.followInitialLoadOnly = [](bool) {};
    return hooks;
}

HookStore<ParkingWindowHooks>& lf_store()
{
    static HookStore<ParkingWindowHooks> store(&lf_defaultHooks);
    return store;
}

}  // namespace

void gf_setParkingWindowHooks(ParkingWindowHooks hooks)
{
    lf_store().update([&hooks](ParkingWindowHooks& current) {
        gf_takeHook(current.lockParkingControls, hooks.lockParkingControls);
        gf_takeHook(current.unlockParkingControls, hooks.unlockParkingControls);
        gf_takeHook(current.controlsLocked, hooks.controlsLocked);
        gf_takeHook(current.enableParkOptionControls, hooks.enableParkOptionControls);
        gf_takeHook(current.applyAutoRange, hooks.applyAutoRange);
        gf_takeHook(current.followInitialLoadOnly, hooks.followInitialLoadOnly);
    });
}

void gf_resetParkingWindowHooks()
{
    ownLock.store(false);
    lf_store().reset();
}

std::shared_ptr<const ParkingWindowHooks> gf_parkingWindowHooks() { return lf_store().get(); }

void gf_parkLockControls() { gf_parkingWindowHooks()->lockParkingControls(); }
void gf_parkUnlockControls() { gf_parkingWindowHooks()->unlockParkingControls(); }
bool gf_parkControlsLocked() { return gf_parkingWindowHooks()->controlsLocked(); }

void gf_parkSetCheckBox(CheckBoxParameter& parameter, bool value)
{
    parameter.setValue(value);
    vald::gf_controls().setChecked(parameter.controlId(), value);
}

void gf_parkEnableControl(const ParameterControl& control, bool enabled)
{
    vald::gf_controls().setEnabled(control.controlId(), enabled);
}

void lf_publishParkBand()
{
    const bool set = !parkIcao.empty();
    const std::string label = set ? gf_airportLabel(parkAirportRecord) : std::string();
    const bool open = parkAirportOpen.load();
    const std::string name = parkApfInfo.airportName;
    const std::string publisher = parkApfInfo.publisher;
    const bool handmade = handmadeAirport;
    const std::int32_t week = rtTrafficWeek;
    const std::string quality = open ? lf_formatCountPair(parkQuality) : std::string();
    const std::uint64_t stands = open ? parkStands.size() : 0;
    const std::uint64_t updates = learnedUpdateCount > 0 ? static_cast<std::uint64_t>(learnedUpdateCount) : 0;
    const std::string reserved = gf_reservedStandName();
    vald::gf_updateDisplay(
        [&](vald::StatusDisplayValues& values) {
            values.parkAirportSet = set;
            values.parkAirportOpen = open;
            values.airportLabel = label;
            values.parkFileRead = open;
            values.parkName = name;
            values.parkPublisher = publisher;
            values.handmade = handmade;
            values.trafficWeek = week;
            values.quality = quality;
            values.standCount = stands;
            values.learnedUpdates = updates;
            values.reservedStand = reserved;
            values.reservedStandFound = !reserved.empty();
        },
        vald::LIVE_STATUS_BAND);
}
