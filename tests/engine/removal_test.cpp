// Removal by life state, the simulator's removal reports, the blocked callsign, the static
// sweep and the live-count limit, and how the per-tick step serves the queues.
#include "engine/removal.hpp"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "engine/creation_queue.hpp"
#include "engine/flight_plans.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/parameters.hpp"
#include "simlink/sim_queues.hpp"
#include "tests/engine/engine_test_support.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/waiting_creations.hpp"

namespace {

using corv_test::EngineTest;

class RemovalTest : public EngineTest {};

std::vector<std::string> tailNumbers(const CreationQueue& queue)
{
    std::vector<std::string> names;
    for (const CreationRequest& request : queue)
        names.push_back(request.tailNumber);
    return names;
}

TEST_F(RemovalTest, BufferedAircraftIsOnlySkippedAndErasedAtTheNextTick)
{
    LiveAircraft& aircraft = addLive(0x400001, "KLM1", SimState::buffer);
    removeAircraftFromSim(aircraft);
    EXPECT_TRUE(aircraft.skip);
    EXPECT_EQ(aircraft.state, SimState::buffer);
    EXPECT_TRUE(removalQueue.empty());
    addLive(0x400002, "KLM2", SimState::active, 50);

    lf_handleAddingStack();
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].identity.callsign, "KLM2");
}

TEST_F(RemovalTest, WaitingCreationIsWithdrawnKeepingTheOtherRequestsInOrder)
{
    liveCreationQueue = {request("A1", 0x400001), request("KLM7", 0x400003), request("B2", 0x400002),
                         request("KLM7", 0x400003), request("C3", 0x400004)};
    LiveAircraft& aircraft = addLive(0x400003, "KLM7", SimState::adding2sim);
    removeAircraftFromSim(aircraft);
    EXPECT_TRUE(aircraft.dequeued);
    EXPECT_FALSE(aircraft.removeWhenCreated);
    EXPECT_EQ(tailNumbers(liveCreationQueue), (std::vector<std::string>{"A1", "B2", "C3"}));

    // Placed and its request not made yet: withdrawn from the adding stack as well, not made and
    // then removed; the others placed stay.
    addingStack = {0x400001, 0x400005, 0x400002};
    LiveAircraft& placed = addLive(0x400005, "KLM5", SimState::adding2sim);
    removeAircraftFromSim(placed);
    EXPECT_TRUE(placed.dequeued);
    EXPECT_FALSE(placed.removeWhenCreated);
    EXPECT_EQ(addingStack, (std::vector<std::uint32_t>{0x400001, 0x400002}));
}

TEST_F(RemovalTest, StaticCreationQueueIsSearchedWhenTheLiveOneHasNoRequest)
{
    staticCreationQueue = {request("ST9*", 9)};
    StaticAircraft& aircraft = addStatic(9, "ST9*", SimState::adding2sim);
    removeAircraftFromSim(aircraft);
    EXPECT_TRUE(aircraft.dequeued);
    EXPECT_TRUE(staticCreationQueue.empty());
}

TEST_F(RemovalTest, CreationAlreadyWithTheSimulatorIsRemovedOnceCreated)
{
    LiveAircraft& aircraft = addLive(0x400004, "KLM8", SimState::adding2sim);
    removeAircraftFromSim(aircraft);
    EXPECT_TRUE(aircraft.removeWhenCreated);
    EXPECT_FALSE(aircraft.dequeued);

    // Created meanwhile: a second removal changes nothing while the mark stands.
    aircraft.state = SimState::active;
    aircraft.objectId = 61;
    removeAircraftFromSim(aircraft);
    EXPECT_EQ(aircraft.state, SimState::active);
    EXPECT_TRUE(removalQueue.empty());
}

TEST_F(RemovalTest, AircraftInTheSimulatorIsQueuedForRemovalByObjectId)
{
    LiveAircraft& aircraft = addLive(0x400005, "KLM9", SimState::active, 62);
    removeAircraftFromSim(aircraft);
    EXPECT_EQ(aircraft.state, SimState::removingfromsim);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{62}));

    LiveAircraft& withoutObject = addLive(0x400006, "KLM10", SimState::active);
    removeAircraftFromSim(withoutObject);
    EXPECT_EQ(withoutObject.state, SimState::removingfromsim);
    EXPECT_EQ(removalQueue.size(), 1u);
}

TEST_F(RemovalTest, RemovalReportErasesTheRecordOrRespawnsALiveryChange)
{
    addLive(0x400007, "KLM11", SimState::removingfromsim, 70);
    LiveAircraft& respawn = addLive(0x400008, "KLM12", SimState::liveryrespawn, 71);
    respawn.throttleStep = 2;
    respawn.flapsIndex = 1;
    addStatic(1, "S1*", SimState::removingfromsim, 80);
    addStatic(2, "S2*", SimState::active, 81);
    addStatic(3, "S3*", SimState::active, 82);

    for (std::uint32_t objectId : {70u, 71u, 80u, 99u}) {
        SimResult removed;
        removed.objectId = objectId;
        removed.kind = SIM_RESULT_OBJECT_REMOVED;
        gf_pushSimResult(removed);
    }
    lf_processSimResults();

    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].state, SimState::buffer);
    EXPECT_EQ(liveAircraft[0].objectId, 0u);
    EXPECT_EQ(liveAircraft[0].throttleStep, THROTTLE_STEP_NONE);
    EXPECT_EQ(liveAircraft[0].flapsIndex, FLAPS_INDEX_NONE);
    // The last static takes the place of the erased one.
    ASSERT_EQ(staticAircraft.size(), 2u);
    EXPECT_EQ(staticAircraft[0].identity.callsign, "S3*");
    EXPECT_EQ(staticAircraft[1].identity.callsign, "S2*");

    lf_processSimResults();  // the queue was emptied
    EXPECT_EQ(liveAircraft.size(), 1u);
}

TEST_F(RemovalTest, FlightPlanThatCannotBeRemovedDoesNotStopTheRemovalReports)
{
    corv_test::TempDir config;
    corv_test::ScopedEnv env("XDG_CONFIG_HOME", config.path().string());
    ASSERT_TRUE(gf_createFlightPlanFolder());
    // A folder with content in place of the plan file: removing it fails.
    const std::filesystem::path stuck = gf_flightPlanPath(72);
    std::filesystem::create_directories(stuck / "held");
    const std::filesystem::path removable = gf_flightPlanPath(73);
    corv_test::writeFile(removable, "plan");
    addLive(0x400009, "KLM13", SimState::removingfromsim, 72).flightPlanWritten = true;
    addLive(0x40000A, "KLM14", SimState::removingfromsim, 73).flightPlanWritten = true;
    addStatic(4, "S4*", SimState::removingfromsim, 83);

    for (std::uint32_t objectId : {72u, 73u, 83u}) {
        SimResult removed;
        removed.objectId = objectId;
        removed.kind = SIM_RESULT_OBJECT_REMOVED;
        gf_pushSimResult(removed);
    }
    ASSERT_NO_THROW(lf_processSimResults());

    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_FALSE(std::filesystem::exists(removable));
    EXPECT_TRUE(std::filesystem::exists(stuck));
}

// Dropped, a respawn waiting on its stand frees it; a record withdrawn earlier leaves the next occupant.
TEST_F(RemovalTest, BlockedFlightLeavesTheBufferOrTheSimulator)
{
    addLive(0x400009, "KLM13", SimState::buffer);
    addLive(0x40000A, "KLM14", SimState::active, 90);
    addLive(0x40000B, "KLM15", SimState::adding2sim);
    for (std::uint32_t n : {1u, 2u}) {
        parkStands.emplace_back(std::vector<StandOption>{}, "S", Stand::Place{}, 30.0, false, false, false).number = n;
        LiveAircraft& parked = n == 1 ? liveAircraft[0] : addLive(0x40000C, "KLM16", SimState::adding2sim);
        parked.standNumber = n;
        parked.setPhase(FlightPhase::parked);
        lf_occupyStand(n);
    }
    liveCreationQueue = {request("KLM16", 0x40000C)};
    removeAircraftFromSim(liveAircraft[3]);
    lf_occupyStand(2);  // a newcomer arrives at the stand it gave up
    for (std::uint32_t hexid : {0x400009u, 0x40000Au, 0x40000Bu}) {
        SimResult blocked;
        blocked.hexid = hexid;
        blocked.kind = SIM_RESULT_BLOCKED;
        gf_pushSimResult(blocked);
    }
    lf_processSimResults();
    EXPECT_TRUE(liveAircraft[0].skip);
    EXPECT_EQ(liveAircraft[1].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[2].state, SimState::adding2sim);
    EXPECT_FALSE(liveAircraft[2].dequeued || liveAircraft[2].removeWhenCreated);
    lf_handleAddingStack();
    EXPECT_EQ(parkStands[0].occupied, 0);
    EXPECT_EQ(parkStands[1].occupied, 1);
}

TEST_F(RemovalTest, SweepEmptiesTheStaticsByTheirLifeState)
{
    staticCreationQueue = {request("S2*", 2)};
    addStatic(1, "S1*", SimState::active, 11);
    addStatic(2, "S2*", SimState::adding2sim);
    addStatic(3, "S3*", SimState::adding2sim);
    addStatic(4, "S4*", SimState::buffer);

    lf_sweepStaticAircraft();
    EXPECT_TRUE(staticCreationQueue.empty());
    ASSERT_EQ(staticAircraft.size(), 3u);
    EXPECT_EQ(staticAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(staticAircraft[1].identity.callsign, "S3*");
    EXPECT_TRUE(staticAircraft[1].removeWhenCreated);
    EXPECT_EQ(staticAircraft[2].state, SimState::buffer);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{11}));
}

TEST_F(RemovalTest, LiveCountLimitRemovesTheFarthestFirst)
{
    const std::int32_t chosen = MAX_LIVE_SEL.value();
    MAX_LIVE_SEL.setValue(10);
    engineUserSnapshot.latitude = 52.0;
    engineUserSnapshot.longitude = 4.0;
    // One minute of latitude is one nautical mile: aircraft i stands i nm north of the user.
    for (std::uint32_t i = 1; i <= 13; ++i) {
        // Formatted, not "literal" + std::string: GCC 12 at -O3 reports a false -Wrestrict on that.
        LiveAircraft& aircraft = addLive(0x500000 + i, vald::format("X{}", i), SimState::active, 100 + i);
        aircraft.simPosition.lat = 52.0 + i / 60.0;
        aircraft.simPosition.lon = 4.0;
    }
    addLive(0x500100, "FAR", SimState::buffer).simPosition.lat = 60.0;

    lf_limitLiveCount();
    MAX_LIVE_SEL.setValue(chosen);

    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{113, 112, 111}));
    EXPECT_EQ(liveAircraft.back().state, SimState::buffer);
}

// Lowered below what is shown and on its way, the limit counts as it does for a newcomer: the
// creations that wait to be sent are withdrawn, and the place kept for a far flight's creation given
// up let go, the farthest first, all in one pass, until the count holds; a newcomer promised the
// place of a far aircraft shown frees none when it goes (the far one counts again). As those sent
// already are shown the farthest go, until three are left; the far flight's late object is one too
// many. Left alone: the creations and the aircraft shown within the limit stay.
TEST_F(RemovalTest, ALoweredLiveLimitCountsTheCreationsOnTheirWayAndHoldsOnceTheyAreShown)
{
    const std::int32_t chosen = MAX_LIVE_SEL.value();
    engineUserSnapshot.latitude = 52.0;
    engineUserSnapshot.longitude = 4.0;
    const auto at = [](LiveAircraft& aircraft, double northNm) {
        aircraft.simPosition = SimPosition{52.0 + northNm / 60.0, 4.0};
    };
    for (std::uint32_t i = 1; i <= 3; ++i) {
        at(addLive(0x500000 + i, vald::format("A{}", i), SimState::active, 100 + i), i);  // shown, 1 to 3 nm out
        at(addLive(0x500010 + i, vald::format("S{}", i), SimState::adding2sim), 0.5 * i);  // sent, nearer
    }
    const std::uint32_t far = 0x500031;
    at(addLive(far, "K1", SimState::adding2sim), 8.0);
    liveCreationQueue.push_back(request("K1", far));
    ASSERT_TRUE(gf_handOnCreation());
    gf_resetSimSendQueues();
    for (std::uint32_t i = 1; i <= 4; ++i) {
        at(addLive(0x500020 + i, vald::format("W{}", i), SimState::adding2sim), 3.0 + i);  // waiting to be sent
        liveCreationQueue.push_back(request(vald::format("W{}", i), 0x500020 + i));
    }
    at(addLive(0x500004, "A4", SimState::active, 104), 10.0);  // shown far out, promised to W4
    gf_noteHandOver(0x500024, 0x500004);
    gf_pushSimResult(SimResult{0, far, 0, SIM_RESULT_CREATION_FAILED, CREATION_NOT_ANSWERED, 1.0});
    lf_processSimResults();
    ASSERT_TRUE(gf_holdsKeptPlace(far));
    ASSERT_EQ(gf_liveCount(), 11u);
    const auto withdrawn = [](std::uint32_t first, std::uint32_t last) {
        return std::all_of(liveAircraft.begin(), liveAircraft.end(), [first, last](const LiveAircraft& a) {
            return a.dequeued == (a.hexid >= first && a.hexid <= last);
        });
    };
    MAX_LIVE_SEL.setValue(9);
    lf_limitLiveCount();
    EXPECT_FALSE(gf_holdsKeptPlace(far));
    EXPECT_TRUE(withdrawn(0x500023, 0x500024)) << "W4 and W3, the count falling by one for W3 alone";
    EXPECT_EQ(gf_liveCount(), 9u);
    MAX_LIVE_SEL.setValue(3);
    lf_limitLiveCount();
    EXPECT_TRUE(liveCreationQueue.empty());
    EXPECT_TRUE(withdrawn(0x500021, 0x500024));
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{104})) << "three shown within the limit stay";
    for (std::uint32_t i = 1; i <= 3; ++i) {
        gf_pushSimResult(SimResult{200 + i, 0x500010 + i, 0, SIM_RESULT_LIVE_CREATED, 0.0, 3000.0});
        lf_processSimResults();
    }
    gf_pushSimResult(SimResult{300, far, 0, SIM_RESULT_LATE_CREATED, 1.0, 3000.0});
    lf_processSimResults();
    MAX_LIVE_SEL.setValue(chosen);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{104, 103, 102, 101, 300}));
}

TEST_F(RemovalTest, FarthestMustLieMoreThanATenthOfAMileBeyondTheBestSoFar)
{
    engineUserSnapshot.latitude = 52.0;
    LiveAircraft& first = addLive(0x500001, "A", SimState::active, 201);
    first.simPosition.lat = 52.0 + 5.0 / 60.0;
    LiveAircraft& slightlyFarther = addLive(0x500002, "B", SimState::active, 202);
    slightlyFarther.simPosition.lat = 52.0 + 5.05 / 60.0;

    EXPECT_TRUE(lf_removeFarthest(4.99)) << "nobody lies beyond 5.09 nm";
    EXPECT_FALSE(lf_removeFarthest(-1.0));
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[1].state, SimState::active);
}

TEST_F(RemovalTest, QueuesReachTheSimulatorAtTheirRates)
{
    removalQueue = {1, 2, 3};
    liveCreationQueue = {request("L1")};
    staticCreationQueue = {request("S1*"), request("S2*")};
    for (int tick = 0; tick < 101; ++tick)
        lf_handleAddingStack();

    const SimSendQueues sent = sentToSimulator();
    EXPECT_EQ(sent.removals, (std::vector<std::uint32_t>{1, 2, 3}));
    std::vector<std::string> created;
    for (const CreationRequest& creation : sent.creations)
        created.push_back(creation.tailNumber);
    // Ticks 0, 50 and 100: the live creation goes first, one creation per slot.
    EXPECT_EQ(created, (std::vector<std::string>{"L1", "S1*", "S2*"}));
    EXPECT_EQ(tickCounter.load(), 101);
}

TEST_F(RemovalTest, AddingStackTurnsTheLastHexidIntoACreationRequest)
{
    LiveAircraft& aircraft = addLive(0x600001, "TRA6", SimState::adding2sim);
    aircraft.simPosition.lat = 52.3;
    aircraft.simPosition.heading = 3.141592653589793;
    aircraft.liveryTitle = "Boeing 737-800 Transavia";
    addLive(0x600002, "", SimState::adding2sim);
    addingStack = {0x600001, 0x600002, 0x7FFFFF};

    tickCounter.store(1);  // no queue slot
    for (int i = 0; i < 3; ++i)
        lf_handleAddingStack();

    EXPECT_TRUE(addingStack.empty());
    ASSERT_EQ(liveCreationQueue.size(), 1u);
    const CreationRequest& creation = liveCreationQueue.front();
    EXPECT_EQ(creation.tailNumber, "TRA6");
    EXPECT_EQ(creation.hexid, 0x600001u);
    EXPECT_EQ(creation.position.latitude, 52.3);
    EXPECT_DOUBLE_EQ(creation.position.heading, 180.0);
    EXPECT_EQ(creation.position.onGround, 1u);
    EXPECT_EQ(creation.liveryTitle, "Boeing 737-800 Transavia");
}

}  // namespace
