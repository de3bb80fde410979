#pragma once
// Shared by the command tests: the window's controls in the control model as a run sets them
// up, a private parameters.xml and program folder, the user's actions sent through the command
// dispatcher as the window sends them, and the worker's serving on a thread of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include <pugixml.hpp>

#include "app/commands.hpp"
#include "app/control_table.hpp"
#include "app/run_requests.hpp"
#include "app/time_shift.hpp"
#include "app/window_controls.hpp"
#include "foundation/constants.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "parking/park_airport.hpp"
#include "simlink/sim_state.hpp"
#include "tests/app/app_test_support.hpp"
#include "tests/engine/engine_test_support.hpp"
#include "tests/support/temp_dir.hpp"
#include "traffic/service_client.hpp"

namespace corv_test {

// The engine test's containers and aircraft helpers, with the window on top.
class CommandsTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        resetAll();
        std::filesystem::create_directories(gf_dataFolder());
        vald::gf_setWindowPort(&port_);
        (void)lf_createControls();
        lf_fillCombos();
        // The data start-up fills the time-shift combos.
        for (const ComboParameter* part : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS})
            gf_fillIntOptionCombo(*part);
    }
    void TearDown() override
    {
        resetAll();
        EngineTest::TearDown();
    }

    static void resetAll()
    {
        resetWindowState();
        gf_resetParametersForTest();
        gf_resetRunRequestsForTest();
        gf_resetCommandsForTest();
        gf_parkAirports().clear();
        parkAirportOpen = false;
        simConnectionPending = true;
        secondCounter = 0;
        timeShiftActive = false;
        trafficReader.toffset = 0;
        weatherReader.toffset = 0;
    }

    static bool click(const ParameterControl& control)
    {
        return lf_HandleWMCOMMAND(control.controlId(), vald::ControlEvent::Clicked);
    }
    // Selects the entry with this text, as the user does in the drop-down list.
    static bool select(const ParameterControl& combo, const std::string& entry)
    {
        const std::vector<std::string> items = vald::gf_controls().state(combo.controlId())->items;
        const auto found = std::find(items.begin(), items.end(), entry);
        EXPECT_NE(found, items.end()) << entry;
        vald::gf_controls().setSelection(combo.controlId(), static_cast<int>(found - items.begin()));
        return lf_HandleWMCOMMAND(combo.controlId(), vald::ControlEvent::SelectionChanged);
    }
    static bool enter(const EditStringParameter& field, const std::string& text)
    {
        enable(field);
        vald::gf_controls().setText(field.controlId(), text);
        return lf_HandleWMCOMMAND(field.controlId(), vald::ControlEvent::EnterPressed);
    }
    static void enable(const ParameterControl& control) { vald::gf_controls().setEnabled(control.controlId(), true); }
    static bool enabled(const ParameterControl& control) { return vald::gf_controls().enabled(control.controlId()); }
    static std::string status() { return gf_messageLines().statusText; }

    // The value that parameters.xml holds for name; none without an entry.
    static std::optional<std::string> saved(const std::string& name)
    {
        pugi::xml_document document;
        if (!gf_loadParametersDocument(document))
            return std::nullopt;
        return gf_paramAsString(document, name);
    }

    // A worker of its own that owns the worker's lists while it runs, as a run's worker does.
    static void serveOnWorker()
    {
        gf_releaseParkAirports();
        std::thread worker(lf_serveCommandRequests);
        worker.join();
        gf_releaseParkAirports();
    }

    TempDir programFolder_{true};
    TempDir config_;
    ScopedEnv env_{"XDG_CONFIG_HOME", config_.path().string()};
    RecordingPort port_;
};

}  // namespace corv_test
