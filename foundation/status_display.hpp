#pragma once
// The values that the main window's status display paints, written by many threads (the
// simulator client, the readers, the worker, the park and scan code) and read by the UI thread
// when it paints. They are kept together under one mutex: a writer changes them in one short
// locked step and then asks for a repaint of its band; the paint works on a copy taken in one
// locked step, so it never reads a string while another thread assigns it.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/window_display.hpp"

namespace vald {

// States of the Weather and Traffic indicators.
inline constexpr std::int32_t LAMP_RECEIVED = 1;
inline constexpr std::int32_t LAMP_WAITING = 2;
inline constexpr std::int32_t LAMP_HIDDEN = 3;

struct StatusDisplayValues {
    // The simulator (written by the simulator client).
    bool simConnected = false;
    bool flightRunning = false;
    std::string simText;    // the simulator's name and version
    std::string userTitle;  // the user aircraft's title, at most 48 characters
    std::string userStand;  // the stand under the user aircraft, empty when none

    // The traffic service.
    bool serviceWaiting = true;  // until the run has the user aircraft's data
    bool authenticated = false;
    std::int32_t weatherLamp = LAMP_HIDDEN;
    std::int32_t trafficLamp = LAMP_HIDDEN;
    std::int32_t qnhHpa = 0;  // 0 until known

    // Counts of the scans and data.
    std::uint64_t liveryCount = 0;
    std::uint64_t simaddonCount = 0;  // files in airports/my_ORBX
    std::uint64_t thirdpCount = 0;    // files in airports/my_thirdparty
    std::uint64_t tbloFileCount = 0;

    // Aircraft counts as last painted (changed only when they change, see the count repaint).
    std::uint64_t liveCount = 0;
    std::uint64_t parkedLiveCount = 0;
    std::uint64_t staticCount = 0;

    // The park airport (written by the park code).
    bool parkAirportSet = false;
    bool parkAirportOpen = false;
    std::string airportLabel;  // the airport's label: code, or "?" without one
    bool parkFileRead = false;
    std::string parkName;
    std::string parkPublisher;
    bool handmade = false;
    std::int32_t trafficWeek = 0;
    bool softPositions = false;
    bool weekData = false;
    std::string quality;
    std::string reservedStand;
    bool reservedStandFound = false;
    std::uint64_t learnedUpdates = 0;
    std::uint64_t standCount = 0;
    float liveAverageFit = 0.0F;    // half hours
    float staticAverageFit = 0.0F;  // half hours
    std::int32_t wantedParkCount = 0;
    std::int32_t wantedParkPercent = 0;
    std::uint64_t staticBeingCreated = 0;

    // The time-shift controls are usable (from a run's reset until the run start locks them).
    bool timeControlsEnabled = true;
    // Minutes to the next static-parking update as painted.
    std::int32_t paintedCountdown = 20;
};

// Changes the values in one locked step, then invalidates band. The change must be quick and
// must not call back into the display.
void gf_updateDisplay(const std::function<void(StatusDisplayValues&)>& change, const PixelRect& band);
// A copy of all values, taken in one locked step.
StatusDisplayValues gf_displaySnapshot();
// Back to the start values of the lamps, indicators, texts and aircraft counts, as before a
// new run; the scan counts stay (their owners recount them). Repaints the whole window.
void gf_resetDisplayForRun();
// Test only: every value back to its start value.
void gf_resetDisplayForTest();

}  // namespace vald
