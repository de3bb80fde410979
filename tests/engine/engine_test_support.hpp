#pragma once
// Shared set-up of the engine tests: every engine container, the simulator send and result
// queues and the reference tables start empty and are emptied again after each test.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "engine/aircraft_records.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/sim_requests.hpp"
#include "engine/static_parking_step.hpp"
#include "engine/traffic_driver.hpp"
#include "liveries/livery_choice.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/matching_summary.hpp"
#include "refdata/dbase.hpp"
#include "simlink/sim_queues.hpp"

namespace corv_test {

// A track point due at playTick; airborne above 0 ft.
inline TrackPoint trackPointAt(double lat, double lon, Tick playTick, double altitudeFt, double groundSpeedKt)
{
    TrackPoint made;
    made.lat = lat;
    made.lon = lon;
    made.altitude = altitudeFt;
    made.airborne = altitudeFt > 0.0;
    made.groundSpeed = groundSpeedKt;
    made.speed = groundSpeedKt;
    made.playTick = playTick;
    return made;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetAll();
        // Tests keep references to the records they add, as the engine does within one step.
        liveAircraft.reserve(64);
        staticAircraft.reserve(64);
    }
    void TearDown() override { resetAll(); }

    static void resetAll()
    {
        lf_resetTraffic();
        lf_setBufferedIntake(false);
        gf_resetSimSendQueues();
        gf_clearSimResults();
        gf_clearDbaseTables();
        gf_resetEngineHooks();
        gf_resetEngineSimRequests();
        wantedParkCount = 0;
        gf_resetLiveryIndexes();
        gf_resetLiveryChoiceForTest();
        gf_resetMatchingSummaryForTest();
    }

    // An installed livery of the airline and type that the livery choice can give.
    static void giveLivery(const std::string& airline, const std::string& type, const std::string& title)
    {
        liveryIndex[airline][type].push_back(LiveryEntry{title, false});
        lf_buildAirlineModelIndexes();
        lf_buildModelIndexes();
    }

    // Types the reference data knows: A320 (Large), B744 (Heavy), C172 (Light).
    static void knowTypes()
    {
        aircraftTypes = {"A320", "B744", "C172"};
        largeTypes = {"A320"};
        heavyTypes = {"B744"};
    }

    static SimSendQueues sentToSimulator()
    {
        std::lock_guard<std::mutex> lock(simSendMutex);
        return gf_simSendQueues();
    }

    static FlightIdentity flight(const std::string& callsign, const std::string& type = "A320")
    {
        FlightIdentity identity;
        identity.airline = "KLM";
        identity.type = type;
        identity.callsign = callsign;
        return identity;
    }

    // A live or static aircraft at the end of its vector, in the given life state.
    static LiveAircraft& addLive(std::uint32_t hexid, const std::string& callsign, SimState state,
                                 std::uint32_t objectId = 0)
    {
        return placed(liveAircraft.emplace_back(TrackPoint{}, instance(hexid, callsign), 0.0), state, objectId);
    }

    static StaticAircraft& addStatic(std::uint32_t hexid, const std::string& callsign, SimState state,
                                     std::uint32_t objectId = 0)
    {
        return placed(staticAircraft.emplace_back(instance(hexid, callsign), 1, StandPlacement{}, false), state,
                      objectId);
    }

    static AircraftInstance instance(std::uint32_t hexid, const std::string& callsign)
    {
        AircraftInstance made;
        made.identity = flight(callsign);
        made.hexid = hexid;
        return made;
    }

    template <typename Aircraft>
    static Aircraft& placed(Aircraft& aircraft, SimState state, std::uint32_t objectId)
    {
        aircraft.state = state;
        aircraft.objectId = objectId;
        return aircraft;
    }

    static CreationRequest request(const std::string& tailNumber, std::uint32_t hexid = 0)
    {
        CreationRequest creation;
        creation.tailNumber = tailNumber;
        creation.hexid = hexid;
        return creation;
    }
};

}  // namespace corv_test
