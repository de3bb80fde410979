// The engine on the harness's stage: scripted traffic through the intake, the queues towards the
// simulator at their rates, the simulator's answers, and the ownership of the engine's lists.
#include <algorithm>
#include <thread>

#include "foundation/run_state.hpp"
#include "foundation/thread_owner.hpp"
#include "simlink/sim_state.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/engine_test_support.hpp"
#include "tests/engine/traffic_script.hpp"
#include "tests/support/waiting_creations.hpp"

namespace {

using corv_test::EngineHarness;
using corv_test::EngineTest;
using corv_test::SentRecord;

class HarnessTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        knowTypes();
    }

    // Plays the spawn step: the aircraft is placed and waits on the adding stack.
    static LiveAircraft& placedLive(std::uint32_t hexid, const std::string& callsign, const std::string& title)
    {
        LiveAircraft& aircraft = addLive(hexid, callsign, SimState::adding2sim);
        aircraft.simPosition.lat = 52.31;
        aircraft.simPosition.lon = 4.76;
        aircraft.simPosition.altitude = 20.0;
        aircraft.liveryTitle = title;
        addingStack.push_back(hexid);
        return aircraft;
    }
};

TEST_F(HarnessTest, ScriptedFlightsEnterWithTracksInPlayOrderAndAreCreated)
{
    giveLivery("KLM", "A320", "KLM A320");
    giveLivery("KLM", "B744", "KLM B744");
    corv_test::HarnessOptions options;
    EngineHarness harness(options);
    const double start = options.startDataTime;
    corv_test::FlightScript airborne = corv_test::gf_straightFlight(0x4840A1, "KLM601", "A320", LatLon{52.0, 4.5},
                                                                    250.0, 5000.0, start - 40.0, start + 60.0);
    airborne.jitterSeconds = 0.4;
    corv_test::FlightScript standing = corv_test::gf_straightFlight(0x4840A2, "KLM602", "B744", LatLon{52.31, 4.76},
                                                                    0.0, 0.0, start - 40.0, start + 60.0);
    corv_test::FlightScript taxiing;
    taxiing.flight = corv_test::EngineTest::flight("KLM603");
    taxiing.hexId = 0x4840A3;
    taxiing.path = {LatLon{52.30, 4.75}, LatLon{52.30, 4.77}, LatLon{52.31, 4.77}};
    taxiing.profile = {{0.0, 15.0, 0.0}, {0.5, 15.0, 0.0}, {0.6, 0.0, 0.0}};
    taxiing.startDataTime = start - 20.0;
    taxiing.endDataTime = start + 60.0;
    taxiing.reportIntervalSeconds = 5.0;
    harness.addReports(corv_test::gf_mergeReports({corv_test::gf_scriptReports(airborne),
                                                   corv_test::gf_scriptReports(standing),
                                                   corv_test::gf_scriptReports(taxiing)}));

    const auto find = [](std::uint32_t hexid) -> const LiveAircraft* {
        const auto found = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                        [hexid](const LiveAircraft& aircraft) { return aircraft.hexid == hexid; });
        return found == liveAircraft.end() ? nullptr : &*found;
    };
    harness.run(1);
    ASSERT_NE(find(0x4840A1), nullptr) << "the history is in before the first tick's intake";
    ASSERT_NE(find(0x4840A3), nullptr);
    harness.run(2999);
    for (const std::uint32_t hexid : {0x4840A1u, 0x4840A3u}) {
        const LiveAircraft* aircraft = find(hexid);
        ASSERT_NE(aircraft, nullptr);
        EXPECT_EQ(aircraft->state, SimState::active) << aircraft->identity.callsign;
        ASSERT_GE(aircraft->track.size(), 2u) << aircraft->identity.callsign;
        for (std::size_t i = 1; i < aircraft->track.size(); ++i)
            EXPECT_GT(aircraft->track[i].playTick, aircraft->track[i - 1].playTick) << aircraft->identity.callsign;
        // Data time t plays about (t - start + 27) s into the run: history first, then the polls.
        EXPECT_GT(aircraft->track.back().playTick, 3000) << aircraft->identity.callsign;
        const corv_test::SimObject* object = harness.objectOf(hexid);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->tailNumber, aircraft->identity.callsign);
        EXPECT_EQ(object->title, "KLM A320");
    }
    const LiveAircraft& flying = *find(0x4840A1);
    EXPECT_EQ(flying.phase, FlightPhase::flying);
    EXPECT_EQ(find(0x4840A3)->phase, FlightPhase::taxi);
    // 30 s of history and 30 s of polls, a report every two seconds at 250 kt: every second one
    // is thinned out. What has played has left the track: after 30 s the data times up to about
    // start + 3 s are behind, the ~27 s of reports still ahead remain, one every four seconds.
    EXPECT_GE(flying.track.size(), 6u);
    EXPECT_LE(flying.track.size(), 9u);
    for (std::size_t i = 2; i < flying.track.size(); ++i)
        EXPECT_GE(flying.track[i].playTick - flying.track[i - 1].playTick, 3 * TICKS_PER_SECOND) << i;
    EXPECT_GE(find(0x4840A3)->track.size(), 4u);
    // Standing still away from any stand, an aircraft is not born: it waits until it moves.
    EXPECT_EQ(harness.objectOf(0x4840A2), nullptr);
    EXPECT_EQ(harness.objects().size(), 2u);
}

TEST_F(HarnessTest, SimulatorGetsOneCreationPer50TicksLiveFirstAndOneRemovalPer10)
{
    corv_test::HarnessOptions options;
    options.refusedTitles = {"Refused Livery"};
    EngineHarness harness(options);
    placedLive(0x500001, "L1", "Livery One");
    placedLive(0x500002, "L2", "Refused Livery");
    placedLive(0x500003, "L3", "Livery Three");
    for (std::uint32_t hexid : {1u, 2u}) {
        addStatic(hexid, "S" + std::to_string(hexid) + "*", SimState::adding2sim);
        CreationRequest creation = request("S" + std::to_string(hexid) + "*", hexid);
        creation.liveryTitle = "Static Livery";
        staticCreationQueue.push_back(creation);
    }

    harness.run(250);
    std::vector<std::pair<Tick, std::string>> created;
    for (const SentRecord& sent : harness.sent())
        created.emplace_back(sent.tick, sent.tailNumber);
    // The first slot comes before the adding stack is served; then the live ones, the last
    // placed first; the second static waits for a slot no live creation needs.
    EXPECT_EQ(created, (std::vector<std::pair<Tick, std::string>>{
                           {0, "S1*"}, {50, "L3"}, {100, "L2"}, {150, "L1"}, {200, "S2*"}}));
    ASSERT_EQ(harness.objects().size(), 4u) << "the refused title makes no object";
    for (const auto& [objectId, object] : harness.objects()) {
        EXPECT_GT(objectId, options.userObjectId);
        ASSERT_GE(object.events.size(), 3u) << "released and frozen once created";
        EXPECT_EQ(object.events.front().second.eventId, FREEZE_LATITUDE_LONGITUDE_SET);
        EXPECT_GE(object.events.front().first, object.createdTick + 1);
        EXPECT_LE(object.events.front().first, object.createdTick + 4);
    }
    const corv_test::SimObject* l3 = harness.objectOf(0x500003);
    ASSERT_NE(l3, nullptr);
    EXPECT_EQ(l3->title, "Livery Three");
    EXPECT_EQ(l3->created.onGround, 1u);
    EXPECT_DOUBLE_EQ(l3->created.altitude, 20.0);

    // Once active, an aircraft's position reaches its object every tick.
    ASSERT_EQ(liveAircraft.size(), 2u) << "the refused creation is erased";
    LiveAircraft& active = *std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                         [](const LiveAircraft& aircraft) { return aircraft.hexid == 0x500003; });
    EXPECT_EQ(active.objectId, l3->objectId) << "known from the simulator's first report";
    active.state = SimState::active;
    active.onGround = true;  // created on the ground
    for (const auto& [objectId, object] : harness.objects())
        removalQueue.push_back(objectId);
    harness.run(50);
    std::vector<Tick> removalTicks;
    for (const SentRecord& sent : harness.sent())
        if (sent.kind == SentRecord::removal)
            removalTicks.push_back(sent.tick);
    EXPECT_EQ(removalTicks, (std::vector<Tick>{250, 260, 270, 280}));
    const corv_test::SimObject* moved = harness.objectOf(0x500003);
    EXPECT_GE(moved->positions.size(), 1u);
    EXPECT_LE(moved->positions.size(), 50u);
    EXPECT_DOUBLE_EQ(moved->positions.front().second.lat, 52.31);
}

TEST_F(HarnessTest, AircraftAroundTheUserAreAskedForEverySecondAndFiveTimesASecondInAFlare)
{
    EngineHarness harness;
    harness.run(201);
    EXPECT_EQ(harness.inRangeRequests(), 3u);
    fastInRangeRequests = true;
    harness.run(100);
    EXPECT_EQ(harness.inRangeRequests(), 8u);
    simPaused.store(true);
    harness.run(100);
    simPaused.store(false);
    EXPECT_EQ(harness.inRangeRequests(), 8u) << "nothing is asked while the simulator is paused";
}

TEST_F(HarnessTest, FailedRangeRequestStopsTheRun)
{
    gf_clearStopRequest();
    {
        EngineHarness harness;
        gf_setEngineSimRequests(EngineSimRequests{[](std::uint32_t) { return false; }, {}, {}, {}});
        harness.run(1);
    }
    EXPECT_TRUE(simRequestErrorFlag.load());
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(closingReason.load(), closing_reason::SIMCONNECT_ERROR);
    simRequestErrorFlag.store(false);
    gf_clearStopRequest();
}

using HarnessDeathTest = HarnessTest;

// The lists belong to one worker; a new run's worker takes them after the reset.
TEST_F(HarnessDeathTest, EngineListsRefuseASecondThread)
{
    if (!CORV_OWNER_CHECKS)
        GTEST_SKIP() << "ownership is checked in debug and sanitizer builds";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    lf_handleAddingStack();
    EXPECT_DEATH(
        {
            std::thread intruder([] { lf_handleAddingStack(); });
            intruder.join();
        },
        "touched from a thread that does not own it");
    lf_resetTraffic();
    std::thread nextRun([] { lf_handleAddingStack(); });
    nextRun.join();
    lf_resetTraffic();
}

}  // namespace
