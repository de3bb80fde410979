#pragma once
// What the stand logic needs of the main window: the parking controls' lock, the option controls
// that follow RT_PARKTRAFFIC_ONLY, the automatic range and the "Now" button, registered by the
// window's layer at start (until then the lock is a flag of its own and the rest does nothing);
// and the one place where the park-airport band of the status display is written.
#include <functional>
#include <memory>

#include "foundation/parameters.hpp"

struct ParkingWindowHooks {
    std::function<void()> lockParkingControls;
    std::function<void()> unlockParkingControls;
    std::function<bool()> controlsLocked;
    // PARK_SOFT, WEEK, parking_percentage and MAX_FIT_FL usable exactly while RT_PARKTRAFFIC_ONLY
    // is off.
    std::function<void()> enableParkOptionControls;
    // AUTO_RANGE was set from a learned file: on remembers the manual range and applies the
    // automatic one; off gives the remembered manual range back.
    std::function<void(bool on)> applyAutoRange;
    // INITIAL_LOAD_ONLY was set from a learned file: "Now" is disabled while it is on, otherwise it
    // takes the window's own enable state for it.
    std::function<void(bool initialLoadOnly)> followInitialLoadOnly;
};

// Replaces the members of hooks that are not empty.
void gf_setParkingWindowHooks(ParkingWindowHooks hooks);
void gf_resetParkingWindowHooks();
std::shared_ptr<const ParkingWindowHooks> gf_parkingWindowHooks();

void gf_parkLockControls();
void gf_parkUnlockControls();
bool gf_parkControlsLocked();

// A check box follows a value set by the park logic (not saved: per-airport settings).
void gf_parkSetCheckBox(CheckBoxParameter& parameter, bool value);
void gf_parkEnableControl(const ParameterControl& control, bool enabled);

// Writes the park-airport band of the status display from the park airport's state (worker).
void lf_publishParkBand();
