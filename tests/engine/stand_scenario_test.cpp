// On the harness's stage: aircraft that must leave their stands (a ghost whose real flight has
// come, the static copy of a new live flight) leave through the simulator, and the removal report
// erases their records, deletes their flight plans and frees their stands.
#include <filesystem>

#include "engine/flight_plans.hpp"
#include "engine/ghosts.hpp"
#include "engine/park_limits.hpp"
#include "engine/removal.hpp"
#include "simlink/sim_queues.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/stand_test_support.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/waiting_creations.hpp"

namespace {

class StandScenarioTest : public corv_test::StandTest {
protected:
    // Created by the simulator, then released and arrived: active and parked on the stand.
    static LiveAircraft& parkedLive(corv_test::EngineHarness& harness, std::uint32_t hexid, const std::string& callsign,
                                    const Stand& stand)
    {
        addLive(hexid, callsign, SimState::adding2sim).liveryTitle = "Livery";
        addingStack.push_back(hexid);
        harness.run(60);
        LiveAircraft& aircraft = liveAircraft.back();
        aircraft.state = SimState::active;
        aircraft.objectId = harness.objectOf(hexid)->objectId;
        aircraft.standNumber = stand.number;
        aircraft.setPhase(FlightPhase::parked);
        aircraft.parkTime = gf_parkClockNow();
        lf_occupyStand(stand.number);
        return aircraft;
    }
    static bool isLive(std::uint32_t hexid)
    {
        return std::any_of(liveAircraft.begin(), liveAircraft.end(), [hexid](const LiveAircraft& a) { return a.hexid == hexid; });
    }
};

TEST_F(StandScenarioTest, AircraftThatMustLeaveTheirStandsGoThroughTheSimulator)
{
    corv_test::TempDir config;
    corv_test::ScopedEnv env("XDG_CONFIG_HOME", config.path().string());
    ASSERT_TRUE(gf_createFlightPlanFolder());
    corv_test::EngineHarness harness;
    harness.perSecondStep = [] { lf_checkNewLiveAircraft(gf_weekSlotValue(gf_weekdayAndSlot())); };
    Stand& ghostStand = addStand("S1", 0.0, 20.0);
    LiveAircraft& ghost = parkedLive(harness, 0x500001, "BAW12_", ghostStand);
    const std::filesystem::path plan = gf_flightPlanPath(ghost.objectId);
    corv_test::writeFile(plan, "plan");
    ghost.flightPlanWritten = true;
    StaticAircraft& copy = addStatic(7, "BAW12*", SimState::active, 300);
    copy.sourceFlag = 0;
    copy.sourceKey = 0x500003;

    // The real flight is born: its ghost leaves, and its static copy within the next seconds
    // (a new aircraft erased meanwhile holds nobody up).
    // Its reports play minutes from now: until then it waits in the buffer.
    addLive(0x500003, "BAW12", SimState::buffer).track.front().playTick = tickCounter.load() + 600 * TICKS_PER_SECOND;
    lf_removeGhost("BAW12");
    coupledCallsignQueue = {0x5000FF, 0x500003};
    EXPECT_EQ(ghostStand.occupied, 0);
    EXPECT_TRUE(isLive(0x500001)) << "until the simulator reports it removed";
    harness.run(20);
    EXPECT_FALSE(isLive(0x500001));
    EXPECT_FALSE(std::filesystem::exists(plan));
    harness.run(200);
    EXPECT_EQ(staticAircraft[0].state, SimState::removingfromsim);
    EXPECT_TRUE(coupledCallsignQueue.empty());
    EXPECT_TRUE(isLive(0x500003));

    // The simulator removes a parked aircraft on its own: its stand is free again. One that the
    // engine removed gave its stand up at once, and a newcomer may stand there by the report.
    LiveAircraft& other = parkedOn(ghostStand, 0x400004, "EZY4");
    lf_occupyStand(ghostStand.number);
    SimResult removed;
    removed.objectId = other.objectId;
    removed.kind = SIM_RESULT_OBJECT_REMOVED;
    gf_pushSimResult(removed);
    lf_processSimResults();
    EXPECT_EQ(ghostStand.occupied, 0);
    LiveAircraft& leaving = parkedOn(ghostStand, 0x400005, "EZY5");
    removeAircraftFromSim(leaving);
    parkedOn(ghostStand, 0x400006, "EZY6");
    lf_occupyStand(ghostStand.number);
    removed.objectId = 5;
    gf_pushSimResult(removed);
    lf_processSimResults();
    EXPECT_EQ(ghostStand.occupied, 1);
}

}  // namespace
