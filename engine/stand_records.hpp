#pragma once
// The stands of the park airport and their learned uses, as the park-position files hold them
// and as the stand search, the stand learning and the parking planner use them. The records live
// here, below the park-file code, because the engine searches and claims the stands.
//
// parkStands, handmadeAirport, learnedUpdateCount, parkQuality and parkApfInfo belong to the
// worker thread.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Metres to nautical miles, for the stand radii (back with METRES_PER_NM).
inline constexpr double STAND_METRES_TO_NM = 0.0005399568034557236;

// One use of a stand by an aircraft on one day of the week.
struct StandOption {
    std::string airline;         // ICAO airline code
    std::string type;            // ICAO aircraft type
    std::string registration;    // may be empty
    std::string callsign;
    std::string callsignSuffix;  // the second callsign form (after ":" in the file)
    std::uint64_t halfHours = 0; // bits 0..47: the half-hour slots of the day
    std::uint32_t number = 0;    // 1-based within the stand; 0 is never written
    std::uint32_t day = 0;       // 1..7, Sunday 7
    std::uint32_t origin = 0;    // 1 = read from a park-position file, 0 = learned
    std::uint32_t real = 1;      // 1 = real, 0 = soft
};

// Per flight (keyed by hexid): the option it learned last and in which week slot.
struct StandFlightEntry {
    std::uint32_t optionNumber = 0;
    std::uint64_t weekSlot = 0;
};
using StandFlightIndex = std::unordered_map<std::uint32_t, StandFlightEntry>;

// One parking position of the park airport.
struct Stand {
    std::vector<StandOption> options;
    StandFlightIndex realFlights;  // never written to a file
    StandFlightIndex softFlights;
    std::string id;                      // unique within a file
    std::vector<std::uint32_t> adjacent; // numbers of the stands that overlap this one
    double lat = 0.0;                    // degrees
    double lon = 0.0;
    double heading = 0.0;                // radians
    double radius = 0.0;                 // nautical miles
    std::uint32_t number = 0;            // 1-based position in the stand list; 0 until assigned
    std::uint8_t manual = 0;
    std::uint8_t radiusChanged = 0;
    std::uint8_t cargoChanged = 0;
    std::uint8_t planned = 0;
    std::uint8_t occupied = 0;
    std::uint8_t reserved = 0;
    std::uint8_t blocked = 0;
    std::uint8_t cargo = 0;
    std::uint8_t ramp = 0;
    std::uint8_t heli = 0;

    // Position and heading: lat, lon in degrees, heading in radians.
    struct Place {
        double lat = 0.0;
        double lon = 0.0;
        double heading = 0.0;
    };
    // The radius is given in metres and kept in nautical miles.
    Stand(std::vector<StandOption>&& standOptions, std::string standId, const Place& place, double radiusMetres,
          bool isCargo, bool isRamp, bool isHeli);
};

// What the park-position file writer is handed.
struct ApfAirport {
    std::string icao;
    std::string name;
    std::string bglPath;  // UTF-8
    std::string publisher;
    std::int32_t qfReal = 0;  // quality factors 0..100, or -1
    std::int32_t qfSoft = 0;
    std::int32_t altitude = 0;  // feet
    std::vector<Stand> stands;
};

// What the reader takes from a park file's parameters.
struct ApfInfo {
    std::string airportName;
    std::string publisher;
    std::int32_t altitude = 0;  // feet
};

enum class ApfWriteMode : std::int32_t {
    learned = 0,    // the learned file of an airport
    generated = 1,  // the generated park-position file of an add-on airport
};

extern std::vector<Stand> parkStands;
extern ApfInfo parkApfInfo;
// The park airport's stands come from a handmade learned file.
extern bool handmadeAirport;
// Learned stand updates since the learned file was last written.
extern std::int32_t learnedUpdateCount;
// Qf_real, Qf_soft of the park airport's stand data; -1 when unknown.
extern std::pair<std::int32_t, std::int32_t> parkQuality;

// Everything above back to its start values (a park airport closed; tests).
void gf_resetStandRecords();
