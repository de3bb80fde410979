#pragma once
// The worker's side of the traffic reader: the live query box that follows the user aircraft,
// and the Traffic and Weather lamps. The thread procedure is gf_trafficReader
// (traffic/reader_thread.hpp).
#include "traffic/service_client.hpp"

// Recomputes the live box round the user aircraft's last position (from the hooks) with the
// range in nautical miles, once the aircraft has moved 0.00015 degrees or more in latitude or
// longitude or the range has changed; nothing before the first position. Worker thread.
void gf_updateTrafficBox(TrafficReader& reader = trafficReader);

// While logged in: the Weather lamp shows whether the nearest station is known, the Traffic
// lamp whether the last reply brought records; each is repainted only when it changes.
void gf_updateDataIndicators(TrafficReader& traffic = trafficReader, WeatherReader& weather = weatherReader);
