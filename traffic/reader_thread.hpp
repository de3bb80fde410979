#pragma once
// The two reader threads of a run ("Weather Reader", "Traffic Reader") as the run drives them:
// start each detached, ask both to stop, wait a bounded time for both to end. Each thread marks
// its reader's ended flag on every way out (a stop, a refused reply, an exception), so the
// closing never waits for a reader that is gone; a reader never started counts as ended.
//
// Also the frame that both thread procedures share: the "connected" line, the lamps, and on an
// error end the warning, the stop of the other reader and the report that ends the run.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

#include "traffic/service_client.hpp"

// Thread procedures (also usable by a caller that runs its own threads). Never throw.
void gf_weatherReader(WeatherReader& weather = weatherReader, TrafficReader& traffic = trafficReader);
void gf_trafficReader(TrafficReader& traffic = trafficReader, WeatherReader& weather = weatherReader);

// Start the reader's thread, detached. False (with a warning) while its previous thread has
// not ended: two threads must never share one reader. Throws std::system_error when no thread
// can be created.
[[nodiscard]] bool gf_startWeatherReader(WeatherReader& weather = weatherReader,
                                         TrafficReader& traffic = trafficReader);
[[nodiscard]] bool gf_startTrafficReader(TrafficReader& traffic = trafficReader,
                                         WeatherReader& weather = weatherReader);

// Sets stop on both readers: each ends within about a second (its pause and its transfer
// under way are cut short).
void gf_stopReaders(TrafficReader& traffic = trafficReader, WeatherReader& weather = weatherReader);

// Waits in 100 ms steps until both readers' threads have ended, at most bound. True when both
// ended; otherwise each reader still running is logged as a warning.
[[nodiscard]] bool gf_waitReadersEnded(std::chrono::milliseconds bound, TrafficReader& traffic = trafficReader,
                                       WeatherReader& weather = weatherReader);

// ---- Shared by the two thread procedures ----

// The status a reader's loop reports when it ended on a stop request.
inline constexpr std::uint32_t READER_STOPPED_STATUS = 9999;

struct ReaderThreadNames {
    std::string_view thread;     // "Traffic Reader"
    std::string_view service;    // "Traffic", in the warnings
    std::string_view procedure;  // "gf_trafficReader", in the exception warning
    bool trafficLamp = false;    // the lamp of the thread: traffic or weather
};

// One reader thread from start to end: marks self ended on every way out.
void lf_runReaderThread(RtApiClient& self, RtApiClient& other, const ReaderThreadNames& names,
                        const std::function<bool(std::uint32_t&)>& receive);

// Sets the Traffic or Weather lamp (vald::LAMP_RECEIVED, LAMP_WAITING, LAMP_HIDDEN) and repaints.
void lf_setReaderLamp(bool trafficLamp, std::int32_t state);
