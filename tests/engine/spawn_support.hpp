#pragma once
// Aircraft in buffer with a hand-made track, for the spawn and respawn tests; parameters and hooks
// that those tests change are put back afterwards.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/spawn_step.hpp"
#include "engine/stand_records.hpp"
#include "foundation/parameters.hpp"
#include "simlink/sim_state.hpp"
#include "tests/engine/engine_test_support.hpp"
#include "engine/engine_hooks.hpp"

namespace corv_test {

// A point due at playTick, north of 52.0/4.7 by northNm; airborne above 0 ft.
inline TrackPoint point(Tick playTick, double northNm, double altitudeFt, double groundSpeedKt)
{
    return trackPointAt(52.0 + northNm / 60.0, 4.7, playTick, altitudeFt, groundSpeedKt);
}

class SpawnTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        knowTypes();
        giveLivery("KLM", "A320", "KLM A320 livery");
        gf_assertEngineOwner();
        liveAircraft.reserve(16);  // references to the records stay valid in a test
        farUser();
    }
    void TearDown() override
    {
        MAX_LIVE_SEL.setValue(maxLive_);
        BLOCK_CALLSIGN.setValue("");
        GUID_CHANGES.setValue(guid_);
        COLLISION_USER_GND.setValue(true);
        COLLISION_USER_AIR.setValue(true);
        gf_resetEngineHooks();
        gf_resetStandRecords();
        gf_resetSimClientState();
        dbaseRecords.clear();
        EngineTest::TearDown();
    }

    // The user far away in the air: no proximity hold.
    static void farUser()
    {
        engineUserSnapshot = UserAircraftSnapshot{};
        engineUserSnapshot.latitude = 40.0;
        engineUserSnapshot.longitude = -30.0;
        engineUserSnapshot.altitude = 30000.0;
        engineUserSnapshot.altAboveGround = 30000.0;
        userOnGround.store(false);
    }

    static LiveAircraft& buffered(std::uint32_t hexid, const std::string& callsign, const std::vector<TrackPoint>& track)
    {
        AircraftInstance made = instance(hexid, callsign);
        made.identity.airline.clear();
        LiveAircraft& aircraft = liveAircraft.emplace_back(track.front(), made, 0.0);
        aircraft.track.insert(aircraft.track.end(), track.begin() + 1, track.end());
        return aircraft;
    }

    static void stepAt(Tick tick, LiveAircraft& aircraft)
    {
        tickCounter.store(tick);
        lf_spawnStep(aircraft);
    }

    const std::int32_t maxLive_ = MAX_LIVE_SEL.value();
    const bool guid_ = GUID_CHANGES.value();
};

}  // namespace corv_test
