#pragma once
// Set-up of the stand tests: a row of stands north of one point, aircraft of known half spans,
// the park airport's reserved stand and the user's place.
#include <string>

#include "engine/stand_marks.hpp"
#include "engine/stand_records.hpp"
#include "engine/stand_search.hpp"
#include "refdata/dbase.hpp"
#include "simlink/sim_state.hpp"
#include "tests/engine/engine_test_support.hpp"
#include "traffic/traffic_hooks.hpp"

namespace corv_test {

inline constexpr double BASE_LAT = 52.3;
inline constexpr double BASE_LON = 4.76;
inline constexpr double A320_HALF_SPAN_M = 17.9;
inline constexpr double B744_HALF_SPAN_M = 32.2;

// A point the given metres north of the base point (one minute of latitude is one nautical mile).
inline LatLon northOf(double metres) { return LatLon{BASE_LAT + metres / METRES_PER_NM / 60.0, BASE_LON}; }

class StandTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        resetStands();
        knowTypes();
        halfWingspans["A320"] = A320_HALF_SPAN_M / METRES_PER_NM;
        halfWingspans["B744"] = B744_HALF_SPAN_M / METRES_PER_NM;
        // References into the lists stay valid while a test adds aircraft.
        liveAircraft.reserve(32);
        parkStands.reserve(32);
        staticAircraft.reserve(32);
    }
    void TearDown() override
    {
        resetStands();
        EngineTest::TearDown();
    }

    static void resetStands()
    {
        gf_resetStandRecords();
        gf_resetTrafficHooks();
        userOnGround.store(false);
        gf_setUserSnapshot(UserAircraftSnapshot{});
    }

    // Appends a stand metres north of the base point; its number is its place in the list.
    static Stand& addStand(const std::string& id, double metresNorth, double radiusM, bool ramp = false,
                           bool cargo = false, bool heli = false)
    {
        const LatLon at = northOf(metresNorth);
        Stand& stand = parkStands.emplace_back(std::vector<StandOption>{}, id, Stand::Place{at.lat, at.lon, 0.0},
                                               radiusM, cargo, ramp, heli);
        stand.number = static_cast<std::uint32_t>(parkStands.size());
        return stand;
    }

    static StandOption optionFor(const std::string& callsign, const std::string& suffix, std::uint32_t day,
                                 std::uint64_t halfHours, const std::string& airline = "KLM",
                                 const std::string& type = "A320")
    {
        StandOption option;
        option.airline = airline;
        option.type = type;
        option.callsign = callsign;
        option.callsignSuffix = suffix;
        option.halfHours = halfHours;
        option.number = 1;
        option.day = day;
        return option;
    }

    static AircraftInstance aircraftOf(const std::string& callsign, double halfSpanM,
                                       AircraftCategory category = AircraftCategory::Large)
    {
        AircraftInstance made = instance(0x480000, callsign);
        made.halfSpan = halfSpanM / METRES_PER_NM;
        made.category = category;
        return made;
    }

    // An active live aircraft standing parked on the stand.
    static LiveAircraft& parkedOn(const Stand& stand, std::uint32_t hexid, const std::string& callsign,
                                  const std::string& type = "A320")
    {
        LiveAircraft& aircraft = addLive(hexid, callsign, SimState::active, hexid - 0x400000);
        aircraft.identity.type = type;
        aircraft.standNumber = stand.number;
        aircraft.setPhase(FlightPhase::parked);
        return aircraft;
    }

    static void setReservedStand(const std::string& name)
    {
        TrafficHooks hooks;
        hooks.reservedStandName = [name] { return name; };
        gf_registerTrafficHooks(std::move(hooks));
    }

    static void setParkAirport(const std::string& icao)
    {
        TrafficHooks hooks;
        hooks.parkAirport = [icao] { return ParkAirportSnapshot{icao, LatLon{BASE_LAT, BASE_LON}, 0.0}; };
        gf_registerTrafficHooks(std::move(hooks));
    }
};

}  // namespace corv_test
