// On the harness's stage: parked live aircraft that must leave (a ghost whose real flight has
// come, a Heavy at the end of its time) leave through the simulator, and only the simulator's
// removal report erases their records, deletes their flight plans and frees their stands.
#include <filesystem>

#include "engine/flight_plans.hpp"
#include "engine/ghosts.hpp"
#include "engine/park_limits.hpp"
#include "engine/removal.hpp"
#include "simlink/sim_queues.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/stand_test_support.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using corv_test::EngineHarness;
using corv_test::SentRecord;

class StandScenarioTest : public corv_test::StandTest {
protected:
    // Plays the spawn step: the aircraft waits on the adding stack to be created.
    static void placedLive(std::uint32_t hexid, const std::string& callsign)
    {
        LiveAircraft& aircraft = addLive(hexid, callsign, SimState::adding2sim);
        aircraft.simPosition.lat = corv_test::BASE_LAT;
        aircraft.simPosition.lon = corv_test::BASE_LON;
        aircraft.liveryTitle = "Livery";
        addingStack.push_back(hexid);
    }

    // Plays the creation finish and the arrival: active, parked on the stand, stand occupied.
    static LiveAircraft& parkedAt(const EngineHarness& harness, std::uint32_t hexid, const Stand& stand)
    {
        LiveAircraft& aircraft = *std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                               [hexid](const LiveAircraft& a) { return a.hexid == hexid; });
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
        return std::any_of(liveAircraft.begin(), liveAircraft.end(),
                           [hexid](const LiveAircraft& aircraft) { return aircraft.hexid == hexid; });
    }
};

TEST_F(StandScenarioTest, AircraftThatMustLeaveTheirStandsGoThroughTheSimulator)
{
    corv_test::TempDir config;
    corv_test::ScopedEnv env("XDG_CONFIG_HOME", config.path().string());
    ASSERT_TRUE(gf_createFlightPlanFolder());
    EngineHarness harness;
    harness.perSecondStep = [] {
        lf_checkNewLiveAircraft(gf_weekSlotValue(gf_weekdayAndSlot()));
        lf_collectParkedLive();
    };
    Stand& ghostStand = addStand("S1", 0.0, 20.0);
    Stand& heavyStand = addStand("S2", 100.0, 40.0);
    placedLive(0x500001, "BAW12_");
    placedLive(0x500002, "KLM7");
    harness.run(120);
    ASSERT_NE(harness.objectOf(0x500001), nullptr);
    ASSERT_NE(harness.objectOf(0x500002), nullptr);

    LiveAircraft& ghost = parkedAt(harness, 0x500001, ghostStand);
    const std::uint32_t ghostObject = ghost.objectId;
    const std::filesystem::path plan = gf_flightPlanPath(ghostObject);
    corv_test::writeFile(plan, "plan");
    ghost.flightPlanWritten = true;
    LiveAircraft& heavy = parkedAt(harness, 0x500002, heavyStand);
    heavy.category = AircraftCategory::Heavy;
    heavy.parkTime = gf_parkClockNow() - ((MAX_PARKED_MINUTES_HEAVY + 1) * 60 - 3);

    // The real flight is born: its ghost leaves.
    addLive(0x500003, "BAW12", SimState::buffer);
    lf_removeGhost("BAW12");
    EXPECT_EQ(ghostStand.occupied, 0) << "a removed aircraft no longer stands there";
    EXPECT_TRUE(isLive(0x500001)) << "until the simulator reports it removed";
    EXPECT_TRUE(std::filesystem::exists(plan));
    harness.run(20);
    EXPECT_FALSE(isLive(0x500001));
    EXPECT_FALSE(std::filesystem::exists(plan));
    EXPECT_EQ(ghostList, (std::vector<std::string>{"BAW12_"}));
    EXPECT_TRUE(isLive(0x500002));
    EXPECT_EQ(heavyStand.occupied, 1);

    // Three seconds short of three hours and a minute: the Heavy leaves once its time is over.
    harness.run(500);
    EXPECT_FALSE(isLive(0x500002));
    EXPECT_EQ(heavyStand.occupied, 0);
    std::vector<std::uint32_t> removed;
    for (const SentRecord& sent : harness.sent())
        if (sent.kind == SentRecord::removal)
            removed.push_back(sent.hexid);
    EXPECT_EQ(removed, (std::vector<std::uint32_t>{0x500001, 0x500002}));
    EXPECT_TRUE(isLive(0x500003));
}

TEST_F(StandScenarioTest, StandIsFreedOnlyForAnAircraftTheSimulatorRemovedOnItsOwn)
{
    Stand& stand = addStand("S1", 0.0, 20.0);
    LiveAircraft& gone = parkedOn(stand, 0x400001, "KLM12");
    lf_occupyStand(stand.number);
    const auto reportRemoved = [](std::uint32_t objectId) {
        SimResult removed;
        removed.objectId = objectId;
        removed.kind = SIM_RESULT_OBJECT_REMOVED;
        gf_pushSimResult(removed);
        lf_processSimResults();
    };
    reportRemoved(gone.objectId);
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_EQ(stand.occupied, 0);

    // Removed by the engine, it gave the stand up at once; a newcomer stands there by the time
    // the report comes.
    LiveAircraft& leaving = parkedOn(stand, 0x400002, "EZY3");
    lf_occupyStand(stand.number);
    removeAircraftFromSim(leaving);
    parkedOn(stand, 0x400003, "DLH4");
    lf_occupyStand(stand.number);
    reportRemoved(2);
    ASSERT_EQ(liveAircraft.size(), 1U);
    EXPECT_EQ(stand.occupied, 1);
}

}  // namespace
