#pragma once
// One run of the worker after its data start-up: the simulator client is started, the run
// waits for the simulator and the user's aircraft, logs in to the traffic service, starts the
// weather and the traffic reader, waits for the first traffic and then drives the main loop
// until a stop is asked for.
#include <chrono>

// Waits for the first live traffic at most this long before the run ends with READER ERROR.
inline constexpr std::chrono::seconds FIRST_TRAFFIC_LIMIT{10};

void lf_runSession();
// Waits until the simulator runs a flight and the user aircraft's on-ground state and position
// are known; false when a stop or the user's close came first.
[[nodiscard]] bool lf_requestUserAcGndAir();
// Waits up to 15 s for the first traffic data; logs "No traffic in this region?" without any.
void lf_checkNoTraffic();
// Waits (100 ms steps) until the traffic reader receives; after 10 s the run ends with READER
// ERROR and a restart in 15 s. Answers whether it receives.
[[nodiscard]] bool lf_waitForFirstTraffic();
