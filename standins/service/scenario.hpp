#pragma once
// The scenario that the traffic-service stand-in plays: flights with timed track points, parked
// aircraft, weather stations, the licence behaviour and what the download site publishes.
// Times are scenario seconds: 0 is the moment the scenario clock starts.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace service_standin {

struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TrackPoint {
    double t = 0;           // scenario seconds
    double lat = 0;         // degrees
    double lon = 0;         // degrees
    double altFt = 0;       // true altitude above mean sea level
    bool ground = false;    // the aircraft stands or rolls on the ground here
    std::optional<double> gsKt;      // given ground speed; else derived from the segment
    std::optional<double> trackDeg;  // given track; else the bearing of the segment
    double bankDeg = 0;              // 0 = no bank reported
};

struct Flight {
    std::string hex;          // transponder address as hexadecimal text
    std::string callsign;     // empty = reported as "null"
    std::string type;
    std::string registration;
    std::string origin;
    std::string destination;
    std::string category = "A3";       // emitter category; empty = reported as "null"
    std::string source = "adsb_icao";  // data source text
    std::vector<TrackPoint> track;     // strictly increasing times, at least two points
};

struct Stand {
    std::string id;
    double lat = 0;
    double lon = 0;
    double headingDeg = 0;
    double radiusM = 30;
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
};

struct Airport {
    std::string icao;
    std::string name;
    int elevationFt = 0;
    std::optional<int> qfReal;
    std::optional<int> qfSoft;
    std::vector<Stand> stands;
};

struct ParkedAircraft {
    std::string hex;
    std::string stand;        // stand name as the service reports it
    std::string type;
    std::string registration; // empty = "null"
    std::string callsign;     // empty = "null"
    double lat = 0;           // from the stand of the airport unless given
    double lon = 0;
    double ageMinutes = 0;    // how long before the query time the aircraft was reported
};

struct Station {
    std::string icao;
    double lat = 0;
    double lon = 0;
    nlohmann::json qnh = 1013;  // sent as given: integer, float or text
    std::string metar;
};

struct License {
    std::vector<std::string> keys;  // accepted keys; empty = every non-empty key
    std::string guid;               // fixed GUID for every login; empty = a new one per login
    std::string server = "standin-rt";
    int rrl = 2000;
    int wrrl = 2000;
    int badKeyStatus = 400;         // status answered to a key that is not accepted
    bool singleSession = false;     // a second login with a key in use gets 405
};

struct SiteVersions {
    std::string p3d = "11.9.2";
    std::string airports = "1.0.0";
    std::string aig = "1.0.0";
    std::string liveries = "1.0.0";
    std::string addons = "1.0.0";
    std::string dbase = "1.0.0";
};

struct Scenario {
    std::optional<std::int64_t> startEpoch;  // epoch seconds of scenario time 0; else wall clock
    bool clockFrozen = false;                // start with a frozen clock at 0
    License license;
    std::vector<Station> stations;
    std::optional<Airport> airport;
    std::vector<ParkedAircraft> parked;
    std::vector<Flight> flights;
    // The flights repeat every loopSeconds of scenario time: at t >= 0 they fly as at
    // t mod loopSeconds, each repetition under addresses and callsigns of its own (see loopedHex,
    // loopedCallsign).
    std::optional<double> loopSeconds;
    SiteVersions versions;
    int dataMajor = 11;                      // data files go to /downloads/<dataMajor>/
    nlohmann::json faults = nlohmann::json::array();  // fault rules active from the start
};

// Throws ScenarioError naming the offending member.
Scenario parseScenario(const nlohmann::json& root);
Scenario loadScenario(const std::filesystem::path& file);

// A transponder address of up to six hexadecimal digits as a number; nullopt for anything else.
std::optional<std::uint32_t> addressValue(const std::string& hex);
// The address a flight goes by in repetition n of a looping scenario: the address plus n, wrapped
// to 24 bits, so that each repetition shows new aircraft; repetition 0 keeps the text as written.
std::string loopedHex(const std::string& hex, std::int64_t repetition);
// The callsign a flight goes by in repetition n: a letter for the repetition ('A' for the first
// after the original) added, or in place of the last character of a callsign of seven, so that
// it is not taken for the same flight as an aircraft of an earlier repetition still parked.
std::string loopedCallsign(const std::string& callsign, std::int64_t repetition);

// The station nearest to a position; nullptr when the scenario has none.
const Station* nearestStation(const Scenario& scenario, double lat, double lon);

// A QNH value as given in a station, in hPa; texts are read as numbers, values above 1100 as
// hundredths of an inch of mercury; anything unreadable is standard pressure.
double qnhHpa(const nlohmann::json& qnh);

}  // namespace service_standin
