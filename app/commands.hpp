#pragma once
// What the user does with the main window's controls: the dispatcher of every control command,
// the seven push buttons and the check boxes, and the locking of the parking controls while a
// static-parking update runs. The handlers run on the UI thread; they change parameters, save
// them and show hints, and hand any work on the run's aircraft to the worker through the
// request flags of app/run_requests.hpp.
#include <cstdint>

#include "platform/window.hpp"

// Every command of a control. Tries the buttons, the check boxes, the combo boxes and the edit
// fields; answers whether one acted. An exception of a handler is logged as a warning, the
// controls band is repainted and the answer is false; otherwise, when nothing acted, the
// controls band is repainted.
[[nodiscard]] bool lf_HandleWMCOMMAND(vald::ControlId id, vald::ControlEvent event);

// A click of a push button; true when id is one of them and it acted (the tblo button answers
// false when the file browser could not be opened).
[[nodiscard]] bool lf_handleButton(vald::ControlId id, vald::ControlEvent event);
// A click of a check box: the box toggles, its parameter follows and is saved, and the box's
// own effect follows. True for every check box of the window.
[[nodiscard]] bool lf_handleCheckBox(vald::ControlId id, vald::ControlEvent event);

// Locks the parking controls, shows in how many seconds the update runs (the next multiple of
// 15 of the run's seconds) and requests the update. UI thread or worker.
void lf_announceStaticParkingUpdate();
// The parking controls are disabled while a static-parking update runs; the enabled states of
// the time controls are remembered at the lock and restored at the unlock. UI thread or worker.
void gf_lockParkingControls();
void gf_unlockParkingControls();

// Worker: queues NAV_LIGHTS_SET with data (1 on, 0 off) for every active static aircraft and
// every active parked live aircraft, taking the simulator send mutex per aircraft.
void lf_setParkedNavLights(std::uint32_t data);

// Registers the dispatcher with the main window and the time shift's clock source. Once, at
// the start of the process.
void gf_registerCommands();

// Test only: the parking-control lock state forgotten.
void gf_resetCommandsForTest();
