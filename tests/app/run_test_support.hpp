#pragma once
// Shared by the run tests: a simulated run clock (a sleep advances it at once), a window port
// that also records the posted WM_APP messages, and a private program folder and parameters.xml
// with the process-wide run state back at its start.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <vector>

#include <pugixml.hpp>

#include "app/collision_rules.hpp"
#include "app/main_loop.hpp"
#include "foundation/clock.hpp"
#include "app/run_requests.hpp"
#include "app/time_shift.hpp"
#include "engine/engine_state.hpp"
#include "engine/traffic_driver.hpp"
#include "foundation/constants.hpp"
#include "foundation/parameter_store.hpp"
#include "parking/park_airport.hpp"
#include "simlink/sim_state.hpp"
#include "tests/app/app_test_support.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

// Used by the worker's calls on the test's own thread only.
class SimulatedRunClock {
public:
    SimulatedRunClock()
    {
        Clock clock;
        clock.steadyNow = [this] { return now_; };
        clock.sleepFor = [this](SteadyDuration duration) {
            sleeps_.push_back(duration);
            now_ += duration;
            if (onSleep)
                onSleep();
        };
        gf_setClockForTest(std::move(clock));
    }
    ~SimulatedRunClock() { gf_resetClockForTest(); }

    SteadyTime now() const { return now_; }
    void advance(SteadyDuration duration) { now_ += duration; }
    const std::vector<SteadyDuration>& sleeps() const { return sleeps_; }
    SteadyDuration slept() const
    {
        SteadyDuration total{};
        for (const SteadyDuration d : sleeps_)
            total += d;
        return total;
    }

    // Runs after every sleep: the world changes while the run waits.
    std::function<void()> onSleep;

private:
    SteadyTime now_{std::chrono::hours(1000)};
    std::vector<SteadyDuration> sleeps_;
};

class PostRecordingPort : public RecordingPort {
public:
    void post(vald::UiMessage message) override
    {
        std::lock_guard<std::mutex> lock(postMutex_);
        posted_.push_back(message);
    }
    std::vector<vald::UiMessage> posted() const
    {
        std::lock_guard<std::mutex> lock(postMutex_);
        return posted_;
    }
    void clear()
    {
        RecordingPort::clear();
        std::lock_guard<std::mutex> lock(postMutex_);
        posted_.clear();
    }

private:
    mutable std::mutex postMutex_;
    std::vector<vald::UiMessage> posted_;
};

class RunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetAll();
        std::filesystem::create_directories(gf_dataFolder());
        vald::gf_setWindowPort(&port_);
    }
    void TearDown() override { resetAll(); }

    static void resetAll()
    {
        resetWindowState();
        gf_resetParametersForTest();
        gf_resetRunRequestsForTest();
        gf_resetMainLoopForTest();
        gf_resetCollisionRulesForTest();
        lf_resetTraffic();
        gf_resetSimClientState();
        gf_parkAirports().clear();
        parkAirportOpen = false;
        parkingCountdownMinutes = 20;
        secondCounter = 0;
        timeShiftActive = false;
    }

    // What parameters.xml holds for name; none without an entry.
    static std::optional<std::string> saved(const std::string& name)
    {
        pugi::xml_document document;
        if (!gf_loadParametersDocument(document))
            return std::nullopt;
        return gf_paramAsString(document, name);
    }

    // Half span 0.02 nm.
    static AircraftInstance instance(std::uint32_t hexid, const std::string& callsign)
    {
        AircraftInstance made;
        made.identity.callsign = callsign;
        made.hexid = hexid;
        made.halfSpan = 0.02;
        return made;
    }
    static LiveAircraft& addLive(std::uint32_t hexid, const std::string& callsign, SimState state, LatLon at = {},
                                 bool onGround = true)
    {
        LiveAircraft& aircraft = liveAircraft.emplace_back(TrackPoint{}, instance(hexid, callsign), 0.0);
        aircraft.state = state;
        // An aircraft the simulator knows has its object id (the engine removes one without).
        if (state != SimState::buffer && state != SimState::adding2sim)
            aircraft.objectId = hexid;
        aircraft.onGround = onGround;
        aircraft.simPosition.lat = at.lat;
        aircraft.simPosition.lon = at.lon;
        return aircraft;
    }
    static StaticAircraft& addStatic(std::uint32_t hexid, const std::string& callsign, SimState state, LatLon at = {})
    {
        StaticAircraft& aircraft =
            staticAircraft.emplace_back(instance(hexid, callsign), 1, StandPlacement{at.lat, at.lon, 0.0}, false);
        aircraft.state = state;
        aircraft.objectId = hexid;
        return aircraft;
    }

    TempDir programFolder_{true};
    TempDir config_;
    ScopedEnv env_{"XDG_CONFIG_HOME", config_.path().string()};
    PostRecordingPort port_;
};

}  // namespace corv_test
