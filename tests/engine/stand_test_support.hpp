#pragma once
// Set-up of the stand tests: stands in a row north of one point, live aircraft parked on them,
// the reserved stand; A320 and B744 with their half spans.
#include <string>

#include "engine/stand_marks.hpp"
#include "engine/stand_search.hpp"
#include "simlink/sim_state.hpp"
#include "tests/engine/engine_test_support.hpp"
#include "engine/engine_hooks.hpp"

namespace corv_test {

// A point the given metres north of 52.3 N 4.76 E (a minute of latitude is a nautical mile).
inline LatLon northOf(double metres) { return LatLon{52.3 + metres / METRES_PER_NM / 60.0, 4.76}; }

class StandTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        resetStands();
        knowTypes();
        halfWingspans = {{"A320", 17.9 / METRES_PER_NM}, {"B744", 32.2 / METRES_PER_NM}};
        // References into the lists stay valid while a test adds to them.
        liveAircraft.reserve(32);
        staticAircraft.reserve(32);
        parkStands.reserve(32);
    }
    void TearDown() override
    {
        resetStands();
        EngineTest::TearDown();
    }
    static void resetStands()
    {
        gf_resetStandRecords();
        gf_resetEngineHooks();
        userOnGround.store(false);
        gf_setUserSnapshot(UserAircraftSnapshot{});
    }

    // Numbered by its place in the list, as the park file reader numbers them.
    static Stand& addStand(const std::string& id, double metresNorth, double radiusM, bool heli = false)
    {
        const LatLon at = northOf(metresNorth);
        Stand& stand = parkStands.emplace_back(std::vector<StandOption>{}, id, Stand::Place{at.lat, at.lon, 0.0},
                                               radiusM, false, false, heli);
        stand.number = static_cast<std::uint32_t>(parkStands.size());
        return stand;
    }

    static StandOption optionFor(const std::string& callsign, const std::string& suffix, std::uint32_t day,
                                 std::uint64_t halfHours)
    {
        StandOption option;
        option.airline = "KLM";
        option.type = "A320";
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

    // An active live aircraft parked on the stand; its object id is its hexid less 0x400000.
    static LiveAircraft& parkedOn(const Stand& stand, std::uint32_t hexid, const std::string& callsign)
    {
        LiveAircraft& aircraft = addLive(hexid, callsign, SimState::active, hexid - 0x400000);
        aircraft.standNumber = stand.number;
        aircraft.setPhase(FlightPhase::parked);
        return aircraft;
    }

    static void setReservedStand(const std::string& name)
    {
        EngineHooks hooks;
        hooks.reservedStandName = [name] { return name; };
        gf_setEngineHooks(std::move(hooks));
    }
};

}  // namespace corv_test
