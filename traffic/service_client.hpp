#pragma once
// The client of the traffic service: the session and reader state (RtApiClient, TrafficReader,
// WeatherReader), the transport of one request, the reply envelope and the request bodies.
//
// Every request is a POST of a form body to a path under the API endpoint; every reply is one
// JSON object: "status" (200 success; absent counts as 100), "message", "data", "rrl" and
// "wrrl" (request intervals in ms), "GUID", "server".
//
// Threads: the login runs on the worker before the reader threads exist, the logout after both
// have stopped. While they run, the traffic thread alone uses trcurl_, ptcurl_, readerReply,
// workLine, parkedLine, liveRecords and parkedRecords; the weather thread alone the weather
// reader's handles, readerReply, station and qnh. Everything else that crosses threads is an
// atomic or sits behind the reader's lock (the live box, the user position, the park elevation,
// the seen sets); the parked request travels through the parked exchange.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "foundation/geodesy.hpp"
#include "platform/http.hpp"
#include "traffic/parked_exchange.hpp"
#include "traffic/traffic_records.hpp"

inline constexpr std::string_view API_AUTH_PATH = "/v4/auth";
inline constexpr std::string_view API_DEAUTH_PATH = "/v4/deauth";
inline constexpr std::string_view API_TRAFFIC_PATH = "/v4/traffic";
inline constexpr std::string_view API_NEAREST_METAR_PATH = "/v4/nearestmetar";
inline constexpr std::string_view API_WEATHER_PATH = "/v4/weather";

// Request intervals that the service asks for are kept within these limits: a value of 0 or
// less would make the readers hammer the service, a huge one would keep a stop waiting.
inline constexpr std::int32_t DEFAULT_REQUEST_INTERVAL_MS = 2000;
inline constexpr std::int32_t MIN_REQUEST_INTERVAL_MS = 500;
inline constexpr std::int32_t MAX_REQUEST_INTERVAL_MS = 10000;

// How often a waiting reader looks at its stop flag.
inline constexpr std::int32_t STOP_POLL_MS = 50;

// ---- Reply envelope ----

// The integer "status" of a reply; 100 when the reply is no object or has no integer status.
std::int32_t gf_replyStatus(const nlohmann::json& reply);
// The text of a member, cut to a length fit for a log line; empty when the reply is no object or
// the member is absent or no text.
std::string gf_replyText(const nlohmann::json& reply, std::string_view key);
// The interval "rrl" or "wrrl" in ms: DEFAULT_REQUEST_INTERVAL_MS when absent or no integer,
// else clamped to [MIN_REQUEST_INTERVAL_MS, MAX_REQUEST_INTERVAL_MS].
std::int32_t gf_replyInterval(const nlohmann::json& reply, std::string_view key);

// ---- Request bodies (every value form-encoded) ----

std::string gf_loginBody(std::string_view serviceKey);
std::string gf_logoutBody(std::string_view guid);
std::string gf_historyBody(std::string_view guid, const QueryBox& box, std::int32_t toffset);
std::string gf_liveTrafficBody(std::string_view guid, const QueryBox& box, std::int32_t toffset);
std::string gf_parkedTrafficBody(std::string_view guid, const QueryBox& box, std::int32_t toffset);
std::string gf_nearestMetarBody(std::string_view guid, std::int32_t toffset, LatLon user);
std::string gf_weatherBody(std::string_view guid, std::int32_t toffset, LatLon user, double altitudeFt,
                           std::string_view station);

// ---- Client objects ----

class RtApiClient {
public:
    RtApiClient();
    virtual ~RtApiClient();
    RtApiClient(const RtApiClient&) = delete;
    RtApiClient& operator=(const RtApiClient&) = delete;

    std::string guid;                  // session GUID; empty when not logged in
    std::atomic<bool> stopped{false};  // a reader loop ended on stop
    // The reader's thread has ended, whichever way it left (or none was started): set last, so
    // closing may wait for it and then reuse the object.
    std::atomic<bool> ended{true};
    vald::HttpHandle aucurl_{"aucurl_"};  // login and logout
    nlohmann::json workLine;           // the live-traffic array processLine reads
    std::string replyBuffer;           // login and logout replies
    std::atomic<std::int32_t> toffset{0};  // time offset in minutes
    std::atomic<std::int32_t> rrl{DEFAULT_REQUEST_INTERVAL_MS};
    std::atomic<std::int32_t> wrrl{DEFAULT_REQUEST_INTERVAL_MS};
    std::atomic<bool> stop{false};  // stop request for this object's reader loop

    // The login on this object. True when a session was opened; status is written only when
    // the service refused the login (400, 405, 500). Never throws.
    [[nodiscard]] bool authenticate(std::uint32_t& status, std::string_view serviceKey);
    // The logout of guid. Never throws.
    void deauthenticate();
    // The login's reply in replyBuffer: false with status written when it refuses the login,
    // true when it opens the session. Throws std::runtime_error when it is no JSON object.
    [[nodiscard]] bool takeLoginReply(std::uint32_t& status);

    // Waits ms in two halves, each skipped when stop is set before it. On the real clock a half
    // also ends within STOP_POLL_MS of a stop.
    void sleepInterruptible(std::int32_t ms);
    // Waits ms whatever happens meanwhile (nothing for ms <= 0).
    void sleepPlain(std::int32_t ms) const;
    // Back to the start state for a new run; rrl and wrrl keep their values.
    void reset();

    // Sends body to path under the API endpoint on handle; the reply replaces reply. Throws
    // std::runtime_error when a handle option cannot be set and std::invalid_argument when the
    // endpoint may not be used.
    vald::HttpOutcome postRequest(vald::HttpHandle& handle, std::string_view path, const std::string& body,
                                  std::string& reply);
    // A reader's request by postRequest. False on a transport failure, warned with the text of
    // transportWarning (not once stop is set: the transfer was cut short on purpose), and on an
    // empty reply, warned with emptyWarning.
    [[nodiscard]] bool readerRequest(vald::HttpHandle& handle, std::string_view path, const std::string& body,
                                     std::string& reply,
                                     const std::function<std::string(const vald::HttpOutcome&)>& transportWarning,
                                     std::string_view emptyWarning);

    // Test seam: the transfer limits of every handle of the object.
    void setHttpLimits(const vald::HttpLimits& limits);

protected:
    // Our User-Agent and limits on a handle of this object; reader handles also end a transfer
    // when stop is set.
    void lf_configure(vald::HttpHandle& handle, bool abortOnStop);

private:
    std::vector<vald::HttpHandle*> handles_;
};

// Target settings that processLine applies to one live-traffic array, read once per reply so
// that one array sees one consistent value of each.
struct LiveFilterSettings {
    double rangeNm = 40.0;
    bool airborneOnly = false;
    std::string blockCallsign;
    std::string parkAirportIcao;  // empty: no park airport
    LatLon parkAirportPosition;
    double parkAirportElevationFt = 0.0;
    LatLon userPosition;
    std::optional<double> parkElevationFt;
    std::int32_t qnh = STANDARD_QNH_HPA;
};

// What processParkedTrafficLine needs besides the entry.
struct ParkedFilterSettings {
    std::string reservedStandName;
    std::string userStandName;
    std::array<bool, 6> categoryEnabled{true, true, true, true, true, true};  // by AircraftCategory
};
// The parked filter settings as they stand now, from the hooks.
ParkedFilterSettings gf_parkedFilterSettings();

// Callsigns and hexids of the accepted live targets while collecting.
struct SeenTargets {
    std::unordered_set<std::string> callsigns;
    std::unordered_set<std::uint32_t> hexIds;
};

class TrafficReader : public RtApiClient {
public:
    TrafficReader();

    // The records of the parked request under way (traffic thread); handed over through
    // parkedExchange.
    std::vector<ParkedTrafficRecord> parkedRecords;
    bool hasData = false;  // last state shown by the Traffic lamp (worker thread)
    vald::HttpHandle trcurl_{"trcurl_"};  // history and live requests
    vald::HttpHandle ptcurl_{"ptcurl_"};  // parked-traffic request
    std::string readerReply;
    nlohmann::json parkedLine;  // the parked entry processParkedTrafficLine reads
    std::vector<LiveTrafficRecord> liveRecords;
    LatLon lastBoxCentre;          // worker thread
    double lastRangeNm = -1.0;     // worker thread
    std::atomic<double> dataTime{0.0};  // seconds; 0 when there is no traffic data
    std::atomic<std::int32_t> qnh{STANDARD_QNH_HPA};
    std::atomic<std::int64_t> recordCount{0};
    ParkedExchange parkedExchange;
    std::atomic<bool> running{false};  // the live polling loop runs
    std::atomic<bool> announceBlocked{true};
    std::string lastBlockedCallsign;  // BLOCK_CALLSIGN last announced (traffic thread)

    QueryBox liveBox() const;
    void setLiveBox(const QueryBox& box);
    LatLon userPosition() const;
    void setUserPosition(LatLon position);
    std::optional<double> parkElevationFt() const;
    void setParkElevationFt(std::optional<double> elevationFt);

    // The seen sets. While collecting, every accepted live target is recorded; takeSeen stops
    // the collection and hands over what was collected, in one step under the lock.
    bool collectingSeen() const { return collectSeen_.load(); }
    void startCollectingSeen();
    SeenTargets takeSeen();

    // The filter settings as they stand now: parameters, the reader's shared values, the hooks.
    LiveFilterSettings liveFilterSettings() const;

    // Turns workLine into a LiveTrafficRecord appended to liveRecords, or drops it. Never throws.
    void processLine(const LiveFilterSettings& settings);
    // Turns parkedLine, the entry stored under key (the hexadecimal address), into a
    // ParkedTrafficRecord appended to parkedRecords, or skips it. Never throws.
    void processParkedTrafficLine(const std::string& key, const ParkedFilterSettings& settings);

    // The traffic reader's part of gf_resetReaders.
    void resetForRun();

    // The thread's work (traffic_reader_thread.cpp): the history step and the polling loop, false
    // when it ends, with the service's status or 9999 after a stop.
    [[nodiscard]] bool receive(std::uint32_t& status);
    // The history request and its replay; true when a history was replayed.
    [[nodiscard]] bool buffer(std::uint32_t& status);
    // One parked-traffic request, answered through parkedExchange (parked_fetch.cpp).
    void parkedtraffic(const ParkedRequest& request);

private:
    // Hands liveRecords to the engine with the play-out delay, leaving them empty.
    void lf_handOver(TrafficBatchKind kind, std::uint32_t delaySeconds);
    // Runs processLine on every 48-element array of data (an object member or an array element).
    void lf_processData(nlohmann::json& data);
    void lf_recordSeen(const std::string& callsign, std::uint32_t hexId);
    [[nodiscard]] bool lf_readCallsign(LiveTrafficRecord& record, const std::string& blockCallsign);

    mutable std::mutex sharedMutex_;
    QueryBox liveBox_;
    LatLon userPosition_;
    std::optional<double> parkElevationFt_;

    std::mutex seenMutex_;
    std::atomic<bool> collectSeen_{false};
    SeenTargets seen_;
};

class WeatherReader : public RtApiClient {
public:
    WeatherReader();

    bool hasData = false;  // last state shown by the Weather lamp (worker thread)
    vald::HttpHandle wrcurl_{"wrcurl_"};  // weather request
    vald::HttpHandle nmcurl_{"nmcurl_"};  // nearest-METAR request
    std::string readerReply;
    std::string station;  // ICAO code of the nearest METAR station
    std::int32_t qnh = STANDARD_QNH_HPA;
    std::atomic<bool> stationKnown{false};
    // A QNH was published in this run (the run start waits for the first one).
    std::atomic<bool> qnhPublished{false};

    // The weather reader's part of gf_resetReaders.
    void resetForRun();

    // The thread's work (weather_reader_thread.cpp): cycles of nearest-station and weather
    // requests, publishing each new QNH also to traffic; false when it ends, with the service's
    // status or 9999 after a stop.
    [[nodiscard]] bool receive(std::uint32_t& status, TrafficReader& traffic);
    // One nearest-station request; true when station holds a new code. Ends with a pause.
    [[nodiscard]] bool nearestmetar(std::uint32_t& status);

private:
    void lf_publishQnh(std::int32_t qnhHpa, TrafficReader& traffic);
};

// The QNH in hPa of the "data" value of a weather reply: 1013 when it holds none; an integer as
// it is, a float rounded, a text by its leading digits; a value of 1101 or more is inches of
// mercury times 100. Not clamped. Throws gsl::narrowing_error for a value outside 32 bits.
std::int32_t extractQNH(const nlohmann::json& data);

// The two readers of the process.
extern TrafficReader trafficReader;
extern WeatherReader weatherReader;

// Both readers back to their start state before a new run. Waits up to 2 s for the readers'
// threads to end; throws std::runtime_error when one has not (it would find its session and
// handles replaced under it).
void gf_resetReaders();

// Drops the parked records whose age (their slot field, in half hours) is above maxFitHalfHours,
// keeping the order of the others; answers how many were dropped.
std::int64_t lf_dropOldParked(std::vector<ParkedTrafficRecord>& records, std::int32_t maxFitHalfHours);
