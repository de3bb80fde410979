// The simulator's reports of the program's aircraft: a created live aircraft through its light
// toggles to its activation, its flight plan, the ground and centre-of-gravity reports, refused
// creations, removal asked while creating, and deferred reports of aircraft that have gone.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "engine/creation_queue.hpp"
#include "engine/flight_plans.hpp"
#include "engine/live_creation.hpp"
#include "engine/removal.hpp"
#include "engine/respawn_check.hpp"
#include "engine/sim_results.hpp"
#include "foundation/format.hpp"
#include "liveries/matching_summary.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/spawn_support.hpp"
#include "tests/engine/traffic_script.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/waiting_creations.hpp"

namespace {

using corv_test::EngineHarness;
using corv_test::SpawnTest;

class SimResultsTest : public SpawnTest {
protected:
    corv_test::TempDir config_;
    corv_test::ScopedEnv env_{"XDG_CONFIG_HOME", config_.path().string()};

    static void push(std::uint32_t kind, std::uint32_t objectId, std::uint32_t hexid, double value1 = 0.0,
                     double value2 = 0.0)
    {
        gf_pushSimResult(SimResult{objectId, hexid, 0, kind, value1, value2});
    }

    // Event id -> data of what was queued for the object, the last one of each id.
    static std::map<std::uint32_t, std::uint32_t> eventsOf(std::uint32_t objectId)
    {
        std::map<std::uint32_t, std::uint32_t> events;
        for (const QueuedClientEvent& event : sentToSimulator().clientEvents)
            if (event.objectId == objectId)
                events[event.eventId] = event.data;
        return events;
    }
};

TEST_F(SimResultsTest, CreatedFlightTogglesLightsTwiceIsActiveAfter200TicksAndGetsItsFlightPlan)
{
    ASSERT_TRUE(gf_createFlightPlanFolder());
    corv_test::HarnessOptions options;
    EngineHarness harness(options);
    corv_test::FlightScript script = corv_test::gf_straightFlight(
        0x4840A1, "KLM601", "A320", LatLon{52.2, 4.7}, 250.0, 3000.0, options.startDataTime - 40.0,
        options.startDataTime + 60.0);
    script.flight.origin = "AMS";
    script.flight.destination = "LHR";
    corv_test::FlightScript noRoute = corv_test::gf_straightFlight(
        0x4840A2, "KLM602", "A320", LatLon{52.1, 4.9}, 250.0, 4000.0, options.startDataTime - 40.0,
        options.startDataTime + 60.0);
    noRoute.flight.origin = "AMS";
    harness.addReports(corv_test::gf_mergeReports({corv_test::gf_scriptReports(script),
                                                   corv_test::gf_scriptReports(noRoute)}));
    harness.run(600);

    const corv_test::SimObject* object = harness.objectOf(0x4840A1);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->tailNumber, "KLM601");
    EXPECT_EQ(object->title, "KLM A320 livery");
    EXPECT_EQ(object->created.onGround, 0u);
    ASSERT_FALSE(object->events.empty());
    const Tick reported = object->events.front().first;  // released and frozen as it is reported
    std::vector<Tick> toggles;
    Tick started = -1;
    for (const auto& [tick, event] : object->events) {
        if (event.eventId == ALL_LIGHTS_TOGGLE)
            toggles.push_back(tick - reported);
        if (event.eventId == ENGINE_AUTO_START)
            started = tick - reported;
    }
    EXPECT_EQ(toggles, (std::vector<Tick>{49, 99})) << "after half a second and after one";
    EXPECT_EQ(started, 200) << "active two seconds after the report";
    EXPECT_FALSE(object->flightPlan.empty());
    EXPECT_TRUE(std::filesystem::exists(object->flightPlan));
    EXPECT_EQ(std::filesystem::path(object->flightPlan).filename().string(), std::to_string(object->objectId) + ".pln");
    const corv_test::SimObject* without = harness.objectOf(0x4840A2);
    ASSERT_NE(without, nullptr);
    EXPECT_TRUE(without->flightPlan.empty()) << "a flight plan needs both ends of the route";
    for (const LiveAircraft& aircraft : liveAircraft)
        EXPECT_EQ(aircraft.state, SimState::active);
    EXPECT_TRUE(deferredResults.empty());
    EXPECT_TRUE(gf_removeFlightPlanFolder());
}

TEST_F(SimResultsTest, ActivationSetsLightsEnginesFlapsAndThrottleByPhase)
{
    LiveAircraft& flying = addLive(0x500001, "KLM1", SimState::adding2sim, 11);
    flying.track.front().airborne = true;
    flying.simPosition.altitude = 12000.0;
    flying.heightAboveGround = 11000.0;
    LiveAircraft& taxiing = addLive(0x500002, "KLM2", SimState::adding2sim, 12);
    taxiing.phase = FlightPhase::taxi;
    LiveAircraft& parked = addLive(0x500003, "KLM3", SimState::adding2sim, 13);
    parked.phase = FlightPhase::parked;
    NAV_LIGHTS_WHILE_PARKED.setValue(false);
    for (LiveAircraft* aircraft : {&flying, &taxiing, &parked})
        lf_activateLiveAc(*aircraft);
    NAV_LIGHTS_WHILE_PARKED.setValue(true);

    using Events = std::map<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(eventsOf(11), (Events{{NAV_LIGHTS_SET, 1}, {BEACON_LIGHTS_SET, 1}, {LANDING_LIGHTS_SET, 0},
                                    {TAXI_LIGHTS_SET, 0}, {STROBES_SET, 1}, {LOGO_LIGHTS_SET, 0},
                                    {CABIN_LIGHTS_SET, 1}, {ENGINE_AUTO_START, 0}, {SPOILERS_SET, 0}}));
    Events taxi = eventsOf(12);
    EXPECT_EQ(taxi[TAXI_LIGHTS_SET], 1u);
    EXPECT_EQ(taxi[BEACON_LIGHTS_SET], 1u);
    EXPECT_EQ(taxi[LANDING_LIGHTS_SET], 0u);
    EXPECT_TRUE(taxi.contains(ENGINE_AUTO_START));
    EXPECT_TRUE(taxi.contains(FLAPS_SET));
    EXPECT_EQ(taxiing.flapsIndex, 1u);
    EXPECT_EQ(taxiing.throttleStep, 0u);
    Events atStand = eventsOf(13);
    EXPECT_TRUE(atStand.contains(ENGINE_AUTO_SHUTDOWN));
    EXPECT_FALSE(atStand.contains(ENGINE_AUTO_START));
    EXPECT_EQ(atStand[NAV_LIGHTS_SET], 0u) << "as NAV_LIGHTS_WHILE_PARKED says";
    EXPECT_EQ(atStand[BEACON_LIGHTS_SET], 0u);
    EXPECT_EQ(parked.flapsIndex, 0u);
    for (LiveAircraft* aircraft : {&flying, &taxiing, &parked})
        EXPECT_EQ(aircraft->state, SimState::active);
}

TEST_F(SimResultsTest, GroundReportsTouchDownOnlyAirborneAircraftAndCgAndPitchAreClamped)
{
    LiveAircraft& flying = addLive(0x500001, "KLM1", SimState::active, 11);
    flying.staticCgHeight = 8.0;
    LiveAircraft& departing = addLive(0x500002, "KLM2", SimState::active, 12);
    departing.phase = FlightPhase::take_off;
    departing.simPosition.altitude = 300.0;
    push(SIM_RESULT_FOREIGN_NEAR_GROUND, 11, 1, 50.0, 0.5);
    push(SIM_RESULT_FOREIGN_NEAR_GROUND, 12, 1, 50.0, 0.5);
    push(SIM_RESULT_FOREIGN_NEAR_GROUND, 99, 1, 50.0, 0.5);  // not one of ours
    lf_processSimResults();
    EXPECT_TRUE(flying.onGround);
    EXPECT_DOUBLE_EQ(flying.simPosition.altitude, 58.0) << "ground plus the centre of gravity";
    EXPECT_FALSE(departing.onGround) << "a take-off is not a touchdown";
    EXPECT_DOUBLE_EQ(departing.simPosition.altitude, 300.0);
    EXPECT_DOUBLE_EQ(departing.heightAboveGround, 0.5);

    push(SIM_RESULT_STATIC_CG, 11, 0, 12.0, 1.0 * DEG_TO_RAD);
    push(SIM_RESULT_STATIC_CG, 12, 0, 12.0, 1.0 * DEG_TO_RAD);
    push(SIM_RESULT_STATIC_CG, 12, 0, 0.5, 3.0 * DEG_TO_RAD);
    push(SIM_RESULT_STATIC_CG, 11, 0, 40.0, -1.0 * DEG_TO_RAD);
    lf_processSimResults();
    EXPECT_DOUBLE_EQ(flying.staticCgHeight, 12.0) << "40 ft is no centre of gravity";
    EXPECT_DOUBLE_EQ(departing.staticCgHeight, 12.0) << "nor is 0.5 ft";
    EXPECT_DOUBLE_EQ(flying.staticPitch, 0.7 * DEG_TO_RAD);
    EXPECT_DOUBLE_EQ(departing.staticPitch, 0.7 * DEG_TO_RAD);
}

TEST_F(SimResultsTest, RefusedCreationErasesItsAircraftByHexidAndLowObjectIdsAreIgnored)
{
    addLive(0x500001, "KLM1", SimState::adding2sim).liveryTitle = "One";
    addLive(0x500002, "KLM2", SimState::adding2sim).liveryTitle = "Refused";
    addLive(0x500003, "KLM3", SimState::adding2sim).liveryTitle = "Three";
    addStatic(5, "S5*", SimState::adding2sim).liveryTitle = "Static refused";
    push(SIM_RESULT_CREATION_FAILED, 0, 0x500002, CREATION_TITLE_REFUSED);
    push(SIM_RESULT_CREATION_FAILED, 0, 5, CREATION_TITLE_REFUSED);
    push(SIM_RESULT_LIVE_CREATED, 2, 0x500001);  // the user's own number range
    lf_processSimResults();
    ASSERT_EQ(liveAircraft.size(), 2u);
    EXPECT_EQ(liveAircraft[1].identity.callsign, "KLM3") << "the last record takes the refused one's place";
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_TRUE(gf_isRefusedLivery("Refused"));
    EXPECT_EQ(liveAircraft[0].objectId, 0u);
    EXPECT_TRUE(deferredResults.empty());

    // A full simulator: the aircraft goes, its livery stays usable for the flight's return, and
    // the creations wait until an object goes, or for five seconds.
    tickCounter.store(1000);
    push(SIM_RESULT_CREATION_FAILED, 0, 0x500003, CREATION_SIMULATOR_FULL);
    lf_processSimResults();
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_FALSE(gf_isRefusedLivery("Three"));
    liveCreationQueue.push_back(request("KLM4", 0x500004));
    lf_handleSimQueues();
    EXPECT_EQ(liveCreationQueue.size(), 1u);
    push(SIM_RESULT_OBJECT_REMOVED, 77, 0);
    lf_processSimResults();
    lf_handleSimQueues();
    EXPECT_TRUE(liveCreationQueue.empty()) << "a removal makes room";
    push(SIM_RESULT_CREATION_FAILED, 0, 0x500004, CREATION_SIMULATOR_FULL);
    lf_processSimResults();
    liveCreationQueue.push_back(request("KLM5", 0x500005));
    for (const Tick tick : {1450, 1500}) {
        tickCounter.store(tick);
        lf_handleSimQueues();
    }
    EXPECT_TRUE(liveCreationQueue.empty()) << "asked again five seconds later";
    EXPECT_EQ(sentToSimulator().creations.size(), 2u);
}

TEST_F(SimResultsTest, RemovalAskedWhileCreatingFollowsTheActivationAtOnce)
{
    LiveAircraft& aircraft = addLive(0x500001, "KLM1", SimState::adding2sim);
    aircraft.removeWhenCreated = true;
    push(SIM_RESULT_LIVE_CREATED, 20, 0x500001, 0.0, 3000.0);
    for (int i = 0; i < CREATION_DELAY_TICKS; ++i)
        lf_processSimResults();
    EXPECT_EQ(aircraft.state, SimState::adding2sim);
    lf_processSimResults();
    EXPECT_EQ(aircraft.state, SimState::removingfromsim);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{20}));
    EXPECT_TRUE(eventsOf(20).contains(NAV_LIGHTS_SET)) << "activated first";
}

// A creation report waits 200 ticks; when its aircraft has gone meanwhile the report is dropped
// instead of being looked at again at every tick for the rest of the run.
TEST_F(SimResultsTest, DeferredReportOfAnAircraftThatHasGoneIsDropped)
{
    addLive(0x500001, "KLM1", SimState::adding2sim);
    push(SIM_RESULT_LIVE_CREATED, 20, 0x500001);
    addStatic(4, "S4*", SimState::adding2sim);
    push(SIM_RESULT_STATIC_CREATED, 21, 4);
    lf_processSimResults();
    ASSERT_EQ(deferredResults.size(), 2u);
    liveAircraft.clear();
    staticAircraft.clear();
    for (int i = 0; i < CREATION_DELAY_TICKS; ++i)
        lf_processSimResults();
    EXPECT_TRUE(deferredResults.empty());
}

TEST_F(SimResultsTest, StaticAircraftIsShutDownAndParkedWhenReleased)
{
    StaticAircraft& parked = addStatic(4, "S4*", SimState::adding2sim);
    parked.cargoStand = true;
    push(SIM_RESULT_STATIC_CREATED, 21, 4);
    for (int i = 0; i <= CREATION_DELAY_TICKS; ++i)
        lf_processSimResults();
    EXPECT_EQ(parked.state, SimState::active);
    EXPECT_EQ(parked.objectId, 21u);
    std::map<std::uint32_t, std::uint32_t> events = eventsOf(21);
    EXPECT_TRUE(events.contains(ENGINE_AUTO_SHUTDOWN));
    EXPECT_EQ(events[THROTTLE_SET], 0u);
    EXPECT_EQ(events[CABIN_LIGHTS_SET], 0u) << "dark at a cargo stand";
    EXPECT_EQ(events[LOGO_LIGHTS_SET], 1u);
    EXPECT_EQ(events[BEACON_LIGHTS_SET], 0u);
}

TEST_F(SimResultsTest, LiveAircraftCreatedParkedTakesTheStandFromTheStatic)
{
    std::vector<std::uint32_t> erasedPlans;
    EngineHooks hooks;
    hooks.erasePlannedStand = [&erasedPlans](std::uint32_t stand) { erasedPlans.push_back(stand); };
    gf_setEngineHooks(hooks);
    addStatic(1, "S1*", SimState::active, 30).standNumber = 3;
    LiveAircraft& aircraft = addLive(0x500001, "KLM1", SimState::adding2sim);
    aircraft.phase = FlightPhase::parked;
    aircraft.standNumber = 3;
    push(SIM_RESULT_LIVE_CREATED, 31, 0x500001);
    lf_processSimResults();
    EXPECT_TRUE(aircraft.onGround);
    EXPECT_EQ(erasedPlans, (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{30}));
    EXPECT_NE(aircraft.parkedSlot, 0u);
}

// A record given up leaves at once, as before; a late answer is the flight's aircraft while the
// flight still waits with no aircraft shown, as a prompt answer would have been, also in place of a
// creation of it sent since (whose own object is then one too many), and is removed where the
// flight was shown or removed meanwhile, or is not wanted. A creation given up while its flight is
// shown already is nobody's: nothing of the flight waits for its answer.
TEST_F(SimResultsTest, ALateAnswerToAGivenUpCreationIsTheFlightsAircraftUnlessItWasShownOrRemovedOrIsNotWanted)
{
    const std::uint32_t alone = 0x500001, madeAnew = 0x500002, queued = 0x500003, sentAgain = 0x500004,
                        removed = 0x500005, blocked = 0x500006;
    const std::vector<std::uint32_t> flights{alone, madeAnew, queued, sentAgain, removed, blocked};
    const auto at = [](Tick tick) { return corv_test::trackPointAt(52.0, 4.7, tick, 3000.0, 250.0); };
    for (const std::uint32_t hexid : flights) {
        addLive(hexid, "KLM1", SimState::adding2sim).track = {at(100), at(200)};
        push(SIM_RESULT_CREATION_FAILED, 0, hexid, CREATION_NOT_ANSWERED);
    }
    removeAircraftFromSim(liveAircraft[4]);  // while its creation was with the simulator
    lf_processSimResults();
    EXPECT_TRUE(liveAircraft.empty()) << "each may come back with its next record at once";

    addLive(madeAnew, "KLM2", SimState::buffer).track = {at(150), at(300)};
    addLive(queued, "KLM3", SimState::adding2sim);
    liveCreationQueue.push_back(request("KLM3", queued));
    addLive(sentAgain, "KLM1", SimState::adding2sim);
    liveCreationQueue.push_front(request("KLM1", alone));  // sent again, and given up in its turn below
    ASSERT_TRUE(gf_handOnCreation());
    lf_removeBlocked(blocked);
    for (const std::uint32_t hexid : flights)
        push(SIM_RESULT_LATE_CREATED, hexid % 16 + 40, hexid, 0.0, 3000.0);
    push(SIM_RESULT_LATE_CREATED, 47, queued);  // the creation it waited to send, answered too
    push(SIM_RESULT_CREATION_FAILED, 0, alone, CREATION_NOT_ANSWERED);  // one sent again: it has its object
    lf_processSimResults();
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{45, 46, 47}));
    EXPECT_TRUE(liveCreationQueue.empty()) << "the waiting creation is taken back";
    ASSERT_EQ(liveAircraft.size(), 4u);
    for (const std::uint32_t hexid : {alone, madeAnew, queued, sentAgain})
        EXPECT_EQ(gf_liveByHexid(hexid)->objectId, hexid % 16 + 40);
    push(SIM_RESULT_LIVE_CREATED, 49, sentAgain, 0.0, 3000.0);
    lf_processSimResults();
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{45, 46, 47, 49})) << "the creation sent again is one too many";
    EXPECT_EQ(gf_liveByHexid(sentAgain)->objectId, 44u);
    liveCreationQueue.push_back(request("KLM1", alone));  // its respawn
    EXPECT_TRUE(gf_handOnCreation()) << "not held back for the creation given up while it was shown";
    const std::deque<TrackPoint>& merged = gf_liveByHexid(madeAnew)->track;  // with what came since
    EXPECT_EQ(std::pair(merged.size(), merged.back().playTick), std::pair(std::size_t{3}, Tick{300}));

    // Taken for a flight renamed since (queued) or with another livery now, the object respawns once
    // when shown, the latter with a livery chosen anew; one showing the flight as it is stays.
    const std::uint32_t relivered = 0x500007;
    addLive(relivered, "KLM1", SimState::adding2sim).liveryTitle = "Old";
    push(SIM_RESULT_CREATION_FAILED, 0, relivered, CREATION_NOT_ANSWERED);
    lf_processSimResults();
    addLive(relivered, "KLM1", SimState::adding2sim).liveryTitle = "New";
    addingStack.push_back(relivered);
    push(SIM_RESULT_LATE_CREATED, 48, relivered, 0.0, 3000.0);
    for (int tick = 0; tick <= CREATION_DELAY_TICKS + 1; ++tick)
        lf_processSimResults();
    lf_startDueRespawns();
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{45, 46, 47, 49, 43, 48}));
    EXPECT_EQ(gf_liveByHexid(relivered)->liveryTitle, "");

    // Refused late, the title it was sent with is refused once, whether the flight waits to come back
    // or came back with it: its creation still waiting goes with its record, one sent again stays.
    const std::uint32_t waits = 0x500011, again = 0x500012, sent = 0x500013;
    for (const std::uint32_t hexid : {waits, again, sent}) {
        addLive(hexid, "KLM9", SimState::adding2sim).liveryTitle = hexid == waits ? "A" : "C";
        push(SIM_RESULT_CREATION_FAILED, 0, hexid, CREATION_NOT_ANSWERED);
        lf_processSimResults();
        if (hexid != waits)
            addLive(hexid, "KLM9", SimState::adding2sim).liveryTitle = "C";
    }
    liveCreationQueue.push_back(request("KLM9", again));
    for (const std::uint32_t hexid : {waits, again, sent})
        push(SIM_RESULT_LATE_REFUSED, 0, hexid, CREATION_TITLE_REFUSED);
    lf_processSimResults();
    EXPECT_TRUE(gf_isRefusedLivery("A") && gf_liveByHexid(again) == nullptr && liveCreationQueue.empty());
    EXPECT_EQ(std::count(failedLiveryTitles.begin(), failedLiveryTitles.end(), "C"), 1);
    EXPECT_NE(gf_liveByHexid(sent), nullptr) << "its own answer comes";

    // Once the flight is shown through another creation, or removed (its object, or its record
    // dropped), a late answer is one too many, also when the flight waits to be made again or is
    // between the two objects of a respawn; the give-up alone is no removal (madeAnew and queued
    // above, still taken).
    const std::uint32_t shownGone = 0x500021, shownWaits = 0x500022, dropped = 0x500023, respawns = 0x500024;
    for (const std::uint32_t hexid : {shownGone, shownWaits, dropped, respawns}) {
        addLive(hexid, "KLM5", SimState::adding2sim);
        push(SIM_RESULT_CREATION_FAILED, 0, hexid, CREATION_NOT_ANSWERED);
        lf_processSimResults();
        addLive(hexid, "KLM5", hexid == dropped ? SimState::buffer : SimState::adding2sim);
    }
    push(SIM_RESULT_LIVE_CREATED, 61, shownGone);
    push(SIM_RESULT_LIVE_CREATED, 62, shownWaits);
    push(SIM_RESULT_LIVE_CREATED, 64, respawns);
    lf_processSimResults();
    gf_liveByHexid(respawns)->state = SimState::liveryrespawn;
    push(SIM_RESULT_OBJECT_REMOVED, 64, 0);
    push(SIM_RESULT_OBJECT_REMOVED, 61, 0);
    push(SIM_RESULT_OBJECT_REMOVED, 62, 0);
    gf_liveByHexid(dropped)->skip = true;
    lf_processSimResults();
    lf_eraseDroppedLive();
    addLive(shownWaits, "KLM5", SimState::adding2sim);
    liveCreationQueue.push_back(request("KLM5", shownWaits));
    removalQueue.clear();
    for (const std::uint32_t hexid : {shownGone, shownWaits, dropped, respawns})
        push(SIM_RESULT_LATE_CREATED, hexid % 16 + 70, hexid, 0.0, 3000.0);
    lf_processSimResults();
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{71, 72, 73, 74}));
    EXPECT_EQ(gf_liveByHexid(respawns)->state, SimState::buffer) << "to be made again as it is now";
    EXPECT_TRUE(gf_liveByHexid(shownGone) == nullptr && gf_liveByHexid(dropped) == nullptr);
    EXPECT_EQ(liveCreationQueue.size(), 1u) << "its own creation still goes";
    EXPECT_EQ(gf_liveByHexid(shownWaits)->objectId, 0u);

    // A creation given up before the flight was shown stays one too many once a later creation
    // (here its respawn's) is given up and kept, whose own late answer is still taken. A flight
    // whose newest report came more than a minute ago on the data clock has ended: its late object
    // goes; one that came less than a minute ago is still taken.
    const std::uint32_t twice = 0x500031, ended = 0x500032, recent = 0x500033;
    engineUserSnapshot.latitude = 52.0;  // within range: the end of a track in the air is not its edge
    engineUserSnapshot.longitude = 4.7;
    for (const double sendId : {1.0, 2.0}) {
        addLive(twice, "KLM6", SimState::adding2sim).track = {at(100), at(4000)};
        push(SIM_RESULT_CREATION_FAILED, 0, twice, CREATION_NOT_ANSWERED, sendId);
        lf_processSimResults();
    }
    push(SIM_RESULT_LATE_CREATED, 81, twice, 1.0, 3000.0);
    lf_processSimResults();
    LiveAircraft& respawning = *gf_liveByHexid(twice);
    respawning.objectId = 0;  // removed to be made again, its creation sent
    push(SIM_RESULT_CREATION_FAILED, 0, twice, CREATION_NOT_ANSWERED, 3.0);
    for (const auto& [hexid, reportedTick] : {std::pair{ended, Tick{-6100}}, std::pair{recent, Tick{-5900}}}) {
        LiveAircraft& flight = addLive(hexid, "KLM7", SimState::adding2sim);
        flight.track = {at(100), at(4000)};
        flight.newest.clockTick = reportedTick;
        push(SIM_RESULT_CREATION_FAILED, 0, hexid, CREATION_NOT_ANSWERED, 4.0);
    }
    lf_processSimResults();
    tickCounter.store(7100);
    removalQueue.clear();
    push(SIM_RESULT_LATE_CREATED, 82, twice, 2.0, 3000.0);
    push(SIM_RESULT_LATE_CREATED, 83, twice, 3.0, 3000.0);
    push(SIM_RESULT_LATE_CREATED, 84, ended, 4.0, 3000.0);
    push(SIM_RESULT_LATE_CREATED, 85, recent, 4.0, 3000.0);
    lf_processSimResults();
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{82, 84}));
    EXPECT_EQ(gf_liveByHexid(twice)->objectId, 83u) << "the respawn's own answer";
    EXPECT_EQ(gf_liveByHexid(ended), nullptr);
    ASSERT_NE(gf_liveByHexid(recent), nullptr);
    EXPECT_EQ(gf_liveByHexid(recent)->objectId, 85u);

    // A late object is matched to the first creation given up under its tail number: the refusal of
    // that creation, coming after it, refuses its title, and the object shows the flight's next
    // creation given up (the client passes it on), here the flight as it is now, so it does not
    // respawn.
    const std::uint32_t refusedFirst = 0x500041;
    for (const char* livery : {"Old", "New"}) {
        LiveAircraft& aircraft = addLive(refusedFirst, "KLM8", SimState::adding2sim);
        aircraft.liveryTitle = livery;
        aircraft.track = {at(7000), at(8000)};
        push(SIM_RESULT_CREATION_FAILED, 0, refusedFirst, CREATION_NOT_ANSWERED, livery[0] == 'O' ? 7.0 : 8.0);
        lf_processSimResults();
    }
    removalQueue.clear();
    push(SIM_RESULT_LATE_CREATED, 50, refusedFirst, 7.0, 3000.0);
    push(SIM_RESULT_LATE_REFUSED, 0, refusedFirst, CREATION_TITLE_REFUSED, 7.0);
    push(SIM_RESULT_OBJECT_PASSED_ON, 50, refusedFirst, 8.0, 1.0);
    for (int tick = 0; tick <= CREATION_DELAY_TICKS + 1; ++tick)
        lf_processSimResults();
    lf_startDueRespawns();
    EXPECT_TRUE(gf_isRefusedLivery("Old"));
    ASSERT_NE(gf_liveByHexid(refusedFirst), nullptr);
    EXPECT_TRUE(removalQueue.empty() && !gf_liveByHexid(refusedFirst)->respawnDue) << "it shows the flight as it is";
    EXPECT_EQ(std::pair(gf_liveByHexid(refusedFirst)->objectId, gf_liveByHexid(refusedFirst)->liveryTitle),
              std::pair(50u, std::string("New")));
}

// At the live limit a late object in place of the flight's own waiting creation is judged again
// as a newcomer, the flights shown having moved on meanwhile: nearer than a shown aircraft it takes
// the farthest one's place; no nearer, or no longer to be placed (its data ended leaving the
// range), it goes and the flight's own creation with it, waiting or sent, whose object would
// otherwise push a nearer aircraft out or be made only to go. Left alone: a far flight's late
// object takes a free place, and the nearest shown aircraft stays throughout.
TEST_F(SimResultsTest, AtTheLiveLimitALateObjectTakesAPlaceOnlyWhereAPromptOneWould)
{
    engineUserSnapshot.latitude = 52.0;
    engineUserSnapshot.longitude = 4.7;
    MAX_LIVE_SEL.setValue(3);
    const std::uint32_t nearShown = 0x600001, farShown = 0x600002;
    for (const auto& [hexid, northNm] : {std::pair{nearShown, 2.0}, std::pair{farShown, 10.0}})
        addLive(hexid, "DLH1", SimState::active, hexid % 16 + 30).simPosition = {52.0 + northNm / 60.0, 4.7};
    // Each flight's creation given up; it waits with one of its own, sent already.
    const std::uint32_t leaving = 0x600011, free = 0x600012, nearer = 0x600013, farther = 0x600014, sent = 0x600015;
    const std::map<std::uint32_t, double> northNm{
        {leaving, rangeNm.load() - 0.2}, {free, 30.0}, {nearer, 5.0}, {farther, 12.0}, {sent, 14.0}};
    for (const bool givenUp : {true, false}) {
        for (const auto& [hexid, north] : northNm) {
            LiveAircraft& flight = addLive(hexid, "KLM1", SimState::adding2sim);
            flight.track = {corv_test::point(100, north, 3000.0, 250.0)};
            if (hexid != leaving)  // its data ended at the edge of the range
                flight.track.push_back(corv_test::point(4000, north + 1.0, 3000.0, 250.0));
            if (givenUp)
                push(SIM_RESULT_CREATION_FAILED, 0, hexid, CREATION_NOT_ANSWERED, 1.0);
            else if (hexid != sent)
                liveCreationQueue.push_back(request("KLM1", hexid));
        }
        lf_processSimResults();
    }
    tickCounter.store(200);
    for (const std::uint32_t hexid : {leaving, free, nearer, farther, sent})
        push(SIM_RESULT_LATE_CREATED, hexid % 16 + 40, hexid, 1.0, 3000.0);
    lf_processSimResults();
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{leaving % 16 + 40, farShown % 16 + 30, farther % 16 + 40,
                                                       sent % 16 + 40}))
        << "the farthest shown gives way to the nearer flight";
    EXPECT_TRUE(liveCreationQueue.empty()) << "taken, or withdrawn with the object";
    EXPECT_TRUE(gf_liveByHexid(sent)->removeWhenCreated) << "its own object goes as it comes";
    lf_eraseDroppedLive();
    EXPECT_TRUE(gf_liveByHexid(leaving) == nullptr && gf_liveByHexid(farther) == nullptr);
    EXPECT_EQ(gf_liveByHexid(free)->objectId, free % 16 + 40u) << "a free place is taken, however far";
    EXPECT_EQ(gf_liveByHexid(nearer)->objectId, nearer % 16 + 40u);
    EXPECT_EQ(gf_liveByHexid(nearShown)->state, SimState::active);
    EXPECT_EQ(gf_shownCount(), 3u);
}

// Objects are told apart by their tail number only; the client passes an object on to the next
// creation with its tail number when the one it was taken as is refused, and says which. Each late
// object and each refusal reaches the flight and creation it answers: of two flights with one
// callsign, the first, refused, loses the object to the second; a refusal of a creation whose
// flight shows an object taken as another of its creations still refuses its title; an object
// passed on in time is the waiting creation's answer. Left alone: the flight that keeps its object
// (its title refused is offered no more, the object stays).
TEST_F(SimResultsTest, EachLateObjectAndRefusalReachesTheFlightAndCreationItAnswers)
{
    const auto at = [](Tick tick) { return corv_test::trackPointAt(52.0, 4.7, tick, 3000.0, 250.0); };
    const std::uint32_t first = 0x500051, second = 0x500052, sentAgain = 0x500053, inTime = 0x500054,
                        waiting = 0x500055;
    for (const auto& [hexid, sendId] : {std::pair{first, 11.0}, std::pair{second, 12.0}, std::pair{sentAgain, 13.0}}) {
        LiveAircraft& aircraft = addLive(hexid, "KLM9", SimState::adding2sim);
        aircraft.liveryTitle = vald::format("Livery {:x}", hexid);
        aircraft.track = {at(100), at(4000)};
        push(SIM_RESULT_CREATION_FAILED, 0, hexid, CREATION_NOT_ANSWERED, sendId);
    }
    lf_processSimResults();
    addLive(sentAgain, "KLM9", SimState::adding2sim).liveryTitle = "Livery again";  // its creation with the simulator
    LiveAircraft& holder = addLive(inTime, "KLM10", SimState::active, 62);
    holder.liveryTitle = "Livery in time";
    addLive(waiting, "KLM10", SimState::adding2sim);
    push(SIM_RESULT_LATE_CREATED, 60, first, 11.0, 3000.0);  // the client's guess: the first given up
    push(SIM_RESULT_LATE_CREATED, 61, sentAgain, 13.0, 3000.0);
    lf_processSimResults();
    ASSERT_EQ(gf_liveByHexid(first)->objectId, 60u);
    push(SIM_RESULT_LATE_REFUSED, 0, first, CREATION_TITLE_REFUSED, 11.0);
    push(SIM_RESULT_OBJECT_PASSED_ON, 60, second, 12.0, 1.0);
    push(SIM_RESULT_CREATION_FAILED, 0, sentAgain, CREATION_TITLE_REFUSED, 14.0);
    push(SIM_RESULT_CREATION_FAILED, 0, inTime, CREATION_TITLE_REFUSED, 15.0);
    push(SIM_RESULT_OBJECT_PASSED_ON, 62, waiting, 16.0, 0.0);
    lf_processSimResults();
    EXPECT_EQ(gf_liveByHexid(first), nullptr) << "refused: no aircraft of it";
    ASSERT_NE(gf_liveByHexid(second), nullptr);
    EXPECT_EQ(gf_liveByHexid(second)->objectId, 60u);
    EXPECT_EQ(gf_liveByHexid(sentAgain)->objectId, 61u);
    EXPECT_EQ(gf_liveByHexid(inTime), nullptr);
    ASSERT_NE(gf_liveByHexid(waiting), nullptr);
    EXPECT_EQ(gf_liveByHexid(waiting)->objectId, 62u);
    for (const char* title : {"Livery 500051", "Livery again", "Livery in time"})
        EXPECT_TRUE(gf_isRefusedLivery(title)) << title;
    EXPECT_FALSE(gf_isRefusedLivery("Livery 500052"));
    EXPECT_TRUE(removalQueue.empty()) << "no object goes";
}

}  // namespace

namespace {

using corv_test::EngineHarness;
using corv_test::FlightScript;

// The same flights against a simulator that answers at once and against one that answers 90 s
// late, its client giving each creation up after 5 s. A late answer gives what a prompt one would
// have given: an arrival whose data ended standing on its stand is shown parked there, and a flight
// flying on is shown where it is now as soon as its object is frozen, not left where its creation
// was sent until it is released and then flown there in one frame; no object is given a position
// before its freeze events have gone. Left alone: a flight whose data ended in the air
// more than a minute before, or less leaving the range, and one the user blocked since, are not
// shown; with the prompt simulator the arrival parks on its stand as before.
class LateAnswerScenario : public corv_test::EngineTest {
protected:
    static constexpr std::uint32_t ARRIVAL = 0x484423, FLYING = 0x484424, ENDED = 0x484425, BLOCKED = 0x484426,
                                   EARLIER = 0x484427, LEFT = 0x484428;

    struct Run {
        std::set<std::uint32_t> alive;    // flights with an object at the end
        std::set<std::uint32_t> records;  // flights with a record at the end
        std::set<std::uint32_t> parked;   // flights parked on their stands (1, 2) at the end
        std::map<std::uint32_t, Tick> shownLongest;  // by flight, the longest an object of it was there
        corv_test::SimObject flying;      // the flying flight's object at the end
        // Objects given a position in or before the frame that sent their freeze events (a frame
        // sends positions first): the simulator refuses it on an object not yet frozen.
        std::set<std::uint32_t> placedUnfrozen;
    };

    // An arrival taxiing `metres` north onto the stand at 12 kt, slowing to a stop there.
    static FlightScript lf_taxiOnto(std::uint32_t hexid, LatLon stand, double metres, double from, double to)
    {
        FlightScript arrival = corv_test::gf_straightFlight(hexid, vald::format("KLM{:x}", hexid & 0xFFFF), "A320",
                                                            stand, 12.0, 0.0, from, to);
        arrival.path = {LatLon{stand.lat - metres / METRES_PER_NM / 60.0, stand.lon}, stand};
        arrival.profile = {corv_test::ProfileMark{0.0, 12.0, 0.0},
                           corv_test::ProfileMark{(metres - 20.0) / METRES_PER_NM, 12.0, 0.0},
                           corv_test::ProfileMark{metres / METRES_PER_NM, 0.0, 0.0}};
        return arrival;
    }

    static Run run(Tick answerTicks, Tick giveUpTicks)
    {
        knowTypes();
        giveLivery("KLM", "A320", "KLM A320 livery");
        corv_test::HarnessOptions options;
        options.creationAnswerTicks = answerTicks;
        options.creationGiveUpTicks = giveUpTicks;
        EngineHarness harness(options);
        // Two stands a mile north of the user, 300 m apart.
        const LatLon stands[] = {{52.3 + 1.0 / 60.0, 4.76}, {52.3 + 1.0 / 60.0, 4.7644}};
        for (const LatLon& at : stands)
            parkStands.emplace_back(std::vector<StandOption>{}, vald::format("D{}", parkStands.size() + 12),
                                    Stand::Place{at.lat, at.lon, 0.0}, 30.0, false, false, false)
                .number = static_cast<std::uint32_t>(parkStands.size() + 1);
        EngineHooks hooks;
        hooks.parkAirport = [at = stands[0]] { return ParkAirportSnapshot{"EHAM", at, 0.0}; };
        gf_setEngineHooks(hooks);
        const double start = options.startDataTime;
        const auto straight = [start](std::uint32_t hexid, LatLon from, double endSeconds) {
            const std::string callsign = vald::format("KLM{:x}", hexid & 0xFFFF);
            return corv_test::gf_scriptReports(corv_test::gf_straightFlight(hexid, callsign, "A320", from, 250.0, 3000.0,
                                                                            start - 40.0, start + endSeconds));
        };
        // The arrival's data ends standing on its stand at 75 s; the earlier one's at -5 s, more than
        // a minute before its late answer.
        harness.addReports(corv_test::gf_mergeReports(
            {corv_test::gf_scriptReports(lf_taxiOnto(ARRIVAL, stands[0], 200.0, start + 30.0, start + 75.0)),
             corv_test::gf_scriptReports(lf_taxiOnto(EARLIER, stands[1], 100.0, start - 30.0, start - 5.0)),
             straight(FLYING, LatLon{52.1, 4.9}, 400.0), straight(ENDED, LatLon{52.1, 4.6}, 20.0),
             straight(BLOCKED, LatLon{52.2, 4.6}, 400.0), straight(LEFT, LatLon{52.5, 4.76}, 60.0)}));
        const double range = rangeNm.load();
        rangeNm.store(15.0);  // LEFT's data ends beyond it, less than a minute before its late answer
        harness.run(6000);
        BLOCK_CALLSIGN.setValue(vald::format("KLM{:x}", BLOCKED & 0xFFFF));
        gf_pushSimResult(SimResult{0, BLOCKED, 0, SIM_RESULT_BLOCKED, 0.0, 0.0});
        harness.run(24000);
        BLOCK_CALLSIGN.setValue("");
        rangeNm.store(range);
        Run result;
        for (const auto& [objectId, object] : harness.objects()) {
            if (object.madeTick >= 0 && object.removedTick < 0)
                result.alive.insert(object.hexid);
            if (object.madeTick >= 0)
                result.shownLongest[object.hexid] =
                    std::max(result.shownLongest[object.hexid],
                             (object.removedTick < 0 ? harness.tick() : object.removedTick) - object.madeTick);
            if (object.hexid == FLYING && object.removedTick < 0)
                result.flying = object;
            Tick frozenTick = -1;
            for (const auto& [tick, event] : object.events)
                if (event.eventId >= FREEZE_LATITUDE_LONGITUDE_SET && event.eventId <= FREEZE_ATTITUDE_SET)
                    frozenTick = std::max(frozenTick, tick);
            if (!object.positions.empty() && (frozenTick < 0 || object.positions.front().first <= frozenTick))
                result.placedUnfrozen.insert(objectId);
        }
        for (const LiveAircraft& aircraft : liveAircraft) {
            result.records.insert(aircraft.hexid);
            if (aircraft.phase == FlightPhase::parked && aircraft.objectId != 0 &&
                aircraft.standNumber == (aircraft.hexid == ARRIVAL ? 1u : 2u))
                result.parked.insert(aircraft.hexid);
        }
        return result;
    }
};

TEST_F(LateAnswerScenario, ALateAnswerShowsWhatAPromptOneWouldHaveShownWhereItWouldBeShownNow)
{
    const Run prompt = run(0, 0);
    EXPECT_TRUE(prompt.parked.contains(ARRIVAL));
    EXPECT_TRUE(prompt.placedUnfrozen.empty());
    const Run late = run(9000, 500);
    EXPECT_TRUE(late.placedUnfrozen.empty()) << "a late object is frozen before it is put anywhere";
    EXPECT_EQ(late.parked, (std::set<std::uint32_t>{ARRIVAL, EARLIER})) << "their data ended standing on their stands";
    EXPECT_TRUE(late.alive.contains(ARRIVAL) && late.alive.contains(EARLIER));
    EXPECT_FALSE(late.alive.contains(ENDED) || late.records.contains(ENDED)) << "its data ended in the air";
    // Shown with a prompt answer until its data ended leaving the range, where it went at once: a
    // late object after that goes at once as well.
    EXPECT_GE(prompt.shownLongest.at(LEFT), 6000);
    EXPECT_LE(late.shownLongest.at(LEFT), 10);
    EXPECT_FALSE(late.alive.contains(BLOCKED) || late.records.contains(BLOCKED)) << "removed since";
    // The taken object is put where the flight is now at once: as near as the prompt one is then,
    // from the tick it is made, not where its creation was sent 90 s back; from there on it flies,
    // no step of more than a few metres.
    const std::vector<std::pair<Tick, SimPosition>>& shown = late.flying.positions;
    ASSERT_TRUE(late.alive.contains(FLYING) && !shown.empty());
    const auto [firstTick, first] = shown.front();
    EXPECT_LE(firstTick - late.flying.madeTick, 2);
    const auto promptThen = std::find_if(prompt.flying.positions.begin(), prompt.flying.positions.end(),
                                         [firstTick](const auto& at) { return at.first >= firstTick; });
    ASSERT_NE(promptThen, prompt.flying.positions.end());
    const auto apart = [](const SimPosition& a, const SimPosition& b) {
        return gf_distanceNm(LatLon{a.lat, a.lon}, LatLon{b.lat, b.lon});
    };
    EXPECT_LT(apart(first, promptThen->second), 0.6) << "a few seconds of flight";
    const LatLon sentAt{late.flying.created.latitude, late.flying.created.longitude};
    EXPECT_GT(gf_distanceNm(LatLon{first.lat, first.lon}, sentAt), 2.0);
    double longestStep = 0.0;
    for (std::size_t i = 1; i < shown.size(); ++i)
        longestStep = std::max(longestStep, apart(shown[i - 1].second, shown[i].second));
    EXPECT_LT(longestStep * METRES_PER_NM, 20.0);
}

}  // namespace
