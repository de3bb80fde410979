// When and where an aircraft in buffer is placed: lead times, tracks with a landing in them, the
// hold near the user, the live limit, blocked and private flights, missing liveries, and birth on
// a stand of the park airport.
#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <random>
#include <vector>

#include "engine/data_clock.hpp"
#include "engine/engine_state.hpp"
#include "engine/live_creation.hpp"
#include "engine/park_limits.hpp"
#include "engine/removal.hpp"
#include "foundation/format.hpp"
#include "engine/sim_results.hpp"
#include "engine/stand_learning.hpp"
#include "engine/static_neighbours.hpp"
#include "engine/static_parking_step.hpp"
#include "simlink/sim_queues.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/spawn_support.hpp"
#include "tests/engine/traffic_script.hpp"
#include "tests/support/waiting_creations.hpp"

namespace {

using corv_test::EngineHarness;
using corv_test::point;
using corv_test::SpawnTest;

TEST_F(SpawnTest, MovingGroundStartLeads300TicksAirborneAndStandingOnes100)
{
    LiveAircraft& taxiing = buffered(0x500001, "KLM1", {point(1000, 0.0, 0.0, 12.0), point(1500, 0.02, 0.0, 12.0)});
    LiveAircraft& flying =
        buffered(0x500002, "KLM2", {point(1000, 10.0, 3000.0, 200.0), point(1500, 11.0, 3000.0, 200.0)});
    LiveAircraft& standing = buffered(0x500003, "KLM3", {point(1000, 20.0, 0.0, 0.0), point(1500, 20.001, 0.0, 0.0)});
    for (LiveAircraft* aircraft : {&taxiing, &flying, &standing})
        stepAt(699, *aircraft);
    EXPECT_TRUE(addingStack.empty());
    for (LiveAircraft* aircraft : {&taxiing, &flying, &standing})
        stepAt(700, *aircraft);
    EXPECT_EQ(addingStack, (std::vector<std::uint32_t>{0x500001}));
    for (LiveAircraft* aircraft : {&flying, &standing})
        stepAt(899, *aircraft);
    EXPECT_EQ(addingStack.size(), 1u);
    for (LiveAircraft* aircraft : {&flying, &standing})
        stepAt(900, *aircraft);
    EXPECT_EQ(addingStack, (std::vector<std::uint32_t>{0x500001, 0x500002, 0x500003}));

    EXPECT_EQ(taxiing.state, SimState::adding2sim);
    EXPECT_EQ(taxiing.phase, FlightPhase::taxi);
    EXPECT_EQ(flying.phase, FlightPhase::flying);
    EXPECT_EQ(flying.liveryTitle, "KLM A320 livery");
    EXPECT_EQ(flying.identity.airline, "KLM") << "taken from the callsign";
    EXPECT_NEAR(taxiing.simPosition.pitch, 0.6 * DEG_TO_RAD, 1e-12);
    EXPECT_NEAR(flying.simPosition.pitch, -3.0 * DEG_TO_RAD, 1e-12) << "level flight";
    EXPECT_NEAR(flying.simPosition.heading, 0.0, 1e-9) << "toward its second point, due north";
    EXPECT_DOUBLE_EQ(flying.simPosition.altitude, 3000.0);
    EXPECT_DOUBLE_EQ(flying.headingRate, 0.0);
    EXPECT_EQ(std::count(coupledCallsignQueue.begin(), coupledCallsignQueue.end(), 0x500002u), 1);
}

TEST_F(SpawnTest, TrackWithALandingLosesFrontPointsUntilOneIsLeftAndIsDropped)
{
    LiveAircraft& landing = buffered(
        0x500001, "KLM1", {point(0, 0.0, 500.0, 140.0), point(300, 0.5, 100.0, 130.0), point(600, 1.0, 0.0, 60.0)});
    stepAt(0, landing);
    EXPECT_EQ(landing.track.size(), 2u);
    stepAt(300, landing);
    EXPECT_EQ(landing.track.size(), 1u);
    EXPECT_FALSE(landing.skip);
    stepAt(600, landing);
    EXPECT_TRUE(landing.skip);
    EXPECT_TRUE(addingStack.empty());
}

TEST_F(SpawnTest, NewcomerOnACollisionCourseWithTheAirborneUserIsHeldUntilDropped)
{
    engineUserSnapshot.latitude = 52.0;
    engineUserSnapshot.longitude = 4.7;
    engineUserSnapshot.altitude = 3000.0;
    // Two miles north, flying south toward the user.
    LiveAircraft& head = buffered(0x500001, "KLM1",
                                  {point(0, 2.0, 3500.0, 200.0), point(100, 1.0, 3500.0, 200.0),
                                   point(200, 8.0, 3500.0, 200.0)});
    // Passing well to the side: placed.
    std::vector<TrackPoint> aside{point(0, 2.0, 3500.0, 200.0), point(100, 2.0, 3500.0, 200.0)};
    aside[1].lon = 4.8;
    LiveAircraft& passing = buffered(0x500002, "KLM2", aside);
    stepAt(0, head);
    EXPECT_TRUE(head.proximityHold);
    EXPECT_EQ(head.track.size(), 2u);
    stepAt(1, head);
    EXPECT_EQ(head.track.size(), 1u) << "held while the user flies, even when its next point is far";
    stepAt(200, head);
    EXPECT_TRUE(head.skip);
    stepAt(0, passing);
    EXPECT_EQ(passing.state, SimState::adding2sim) << "its course passes two miles from the user";
    EXPECT_FALSE(passing.proximityHold);

    COLLISION_USER_AIR.setValue(false);
    LiveAircraft& unchecked = buffered(0x500004, "KLM4", {point(0, 2.0, 3500.0, 200.0), point(100, 1.0, 3500.0, 200.0)});
    stepAt(0, unchecked);
    EXPECT_EQ(unchecked.state, SimState::adding2sim);
}

TEST_F(SpawnTest, LiveLimitMakesTheFarthestActiveAircraftGoOrDropsTheNewcomer)
{
    MAX_LIVE_SEL.setValue(0);
    LiveAircraft& none = buffered(0x500001, "KLM1", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    stepAt(0, none);
    EXPECT_TRUE(none.skip);

    MAX_LIVE_SEL.setValue(1);
    LiveAircraft& active = addLive(0x500002, "KLM2", SimState::active, 7);
    active.simPosition.lat = 41.0;  // nearer the user than the newcomer
    active.simPosition.lon = -30.0;
    LiveAircraft& dropped = buffered(0x500003, "KLM3", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    stepAt(0, dropped);
    EXPECT_TRUE(dropped.skip);
    EXPECT_TRUE(removalQueue.empty());

    active.simPosition.lat = -40.0;  // now far beyond it
    // A newcomer dropped for its own sake (here a blocked callsign) takes no one's place.
    BLOCK_CALLSIGN.setValue("KLM5");
    LiveAircraft& blocked = buffered(0x500005, "KLM5", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    stepAt(0, blocked);
    EXPECT_TRUE(blocked.skip);
    // Nor one that no livery fits, found only when it is placed.
    LiveAircraft& noLivery = buffered(0x500006, "KLM6", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    noLivery.identity.type = "B744";
    stepAt(0, noLivery);
    EXPECT_TRUE(noLivery.skip);
    EXPECT_TRUE(removalQueue.empty());
    EXPECT_EQ(active.state, SimState::active);

    // The far one keeps its place until the newcomer is shown.
    LiveAircraft& placed = buffered(0x500004, "KLM4", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    stepAt(0, placed);
    EXPECT_EQ(placed.state, SimState::adding2sim);
    EXPECT_TRUE(removalQueue.empty() && gf_givesWay(0x500002));
    const auto shown = [](std::uint32_t objectId, std::uint32_t hexid) {
        gf_pushSimResult(SimResult{objectId, hexid, 0, SIM_RESULT_LIVE_CREATED, 0.0, 3000.0});
        lf_processSimResults();
    };
    shown(17, 0x500004);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{7}));
    // One away for a respawn keeps its place: the newcomer takes a far active one's instead.
    MAX_LIVE_SEL.setValue(3);
    addLive(0x500008, "KLM8", SimState::active, 9).simPosition.lat = -40.0;
    LiveAircraft& away = buffered(0x500007, "KLM7", {point(0, 1.5, 3000.0, 200.0), point(100, 2.5, 3000.0, 200.0)});
    away.respawning = true;
    stepAt(0, buffered(0x500009, "KLM9", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)}));
    shown(19, 0x500009);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{7, 9}));
    stepAt(0, away);
    EXPECT_EQ(away.state, SimState::adding2sim) << "back without taking anyone's place";
}

// At the limit, newcomers nearer than the far aircraft take their places as they are shown, while
// creations go out two a second; places change hands ten at a time, the other newcomers wait and
// come in later, and the simulator never empties.
TEST_F(SpawnTest, AtTheLiveLimitNearerNewcomersReplaceFarAircraftNoFasterThanTheyAreCreated)
{
    constexpr std::int32_t MAX_LIVE = 20;
    constexpr std::int32_t WAITING_BOUND = 10;
    MAX_LIVE_SEL.setValue(MAX_LIVE);
    corv_test::HarnessOptions options;
    EngineHarness harness(options);
    const double start = options.startDataTime;
    std::vector<std::vector<LiveTrafficRecord>> flights;
    const auto fly = [&](std::uint32_t hexid, double northNm, double fromDataTime, int i) {
        const LatLon from{options.user.lat + northNm / 60.0, options.user.lon + 0.001 * i};
        flights.push_back(corv_test::gf_scriptReports(corv_test::gf_straightFlight(
            hexid, vald::format("KLM{}", hexid % 1000), "A320", from, 250.0, 5000.0, fromDataTime, start + 200.0)));
    };
    // Twenty far flights fill the simulator; twenty nearer ones appear together half a minute later.
    // All fly north, away from the user: a far one removed that reports again is farther than all.
    for (int i = 0; i < MAX_LIVE; ++i) {
        fly(0x500100 + i, 40.0, start - 40.0, i);
        fly(0x500200 + i, 3.0, start + 30.0, i);
    }
    harness.addReports(corv_test::gf_mergeReports(flights));
    const auto activeOf = [](std::uint32_t firstHexid) {
        return std::count_if(liveAircraft.begin(), liveAircraft.end(), [firstHexid](const LiveAircraft& aircraft) {
            return aircraft.state == SimState::active && aircraft.hexid >= firstHexid &&
                   aircraft.hexid < firstHexid + MAX_LIVE;
        });
    };

    bool full = false;
    std::int64_t fewestActive = MAX_LIVE;
    std::int64_t mostRemoving = 0;
    for (Tick tick = 0; tick < 13000; ++tick) {
        harness.run(1);
        const std::int64_t active = activeOf(0x500100) + activeOf(0x500200);
        full = full || active >= MAX_LIVE;
        if (!full)
            continue;
        fewestActive = std::min(fewestActive, active);
        const auto removing = std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& aircraft) {
            return aircraft.state == SimState::removingfromsim;
        });
        mostRemoving = std::max<std::int64_t>(mostRemoving, removing);
    }
    ASSERT_TRUE(full) << "the far flights filled the simulator";
    EXPECT_LE(mostRemoving, WAITING_BOUND);
    EXPECT_GE(fewestActive, MAX_LIVE - WAITING_BOUND);
    EXPECT_EQ(activeOf(0x500200), MAX_LIVE) << "every nearer flight came in";
    // A few far ones may stay: a creation the simulator is still making is not counted at the limit.
    EXPECT_LT(activeOf(0x500100), WAITING_BOUND) << "most far flights gave their places up";
}

// With a limit of four, eight flights come in over a minute. A loaded simulator answers each
// creation 45 s late: the creations sent and unanswered count toward the limit as aircraft shown
// do, so no more than four are ever in the simulator, as with a simulator that answers at once,
// where the same four are shown. A late answer to a creation given up is taken below the limit; at
// it, by the nearest-first rule: one that replaces the flight's creation waiting to be sent, or
// whose flight is nearer than the farthest shown, is taken and the farthest goes once it is shown
// (also when the flight's record was dropped for want of a place meanwhile: no removal), and one
// farther than all is removed.
TEST_F(SpawnTest, CreationsAwaitingTheirAnswerCountTowardTheLiveLimit)
{
    constexpr std::int32_t MAX_LIVE = 4;
    MAX_LIVE_SEL.setValue(MAX_LIVE);
    std::map<Tick, std::set<std::uint32_t>> shownBy;  // creation answer ticks -> flights shown at the end
    for (const Tick answerTicks : {Tick{0}, Tick{4500}}) {
        corv_test::HarnessOptions options;
        options.creationAnswerTicks = answerTicks;
        EngineHarness harness(options);
        const double start = options.startDataTime;
        std::vector<std::vector<LiveTrafficRecord>> flights;
        for (int i = 0; i < 2 * MAX_LIVE; ++i) {
            const LatLon from{options.user.lat + (3.0 + i) / 60.0, options.user.lon + 0.001 * i};
            flights.push_back(corv_test::gf_scriptReports(corv_test::gf_straightFlight(
                0x500300 + i, vald::format("KLM{}", 300 + i), "A320", from, 250.0, 5000.0, start + 8.0 * i,
                start + 300.0)));
        }
        harness.addReports(corv_test::gf_mergeReports(flights));
        std::size_t mostInSimulator = 0;
        for (Tick tick = 0; tick < 30000; tick += 50) {
            harness.run(50);
            mostInSimulator = std::max<std::size_t>(
                mostInSimulator, std::count_if(harness.objects().begin(), harness.objects().end(),
                                               [](const auto& entry) { return entry.second.removedTick < 0; }));
        }
        EXPECT_EQ(mostInSimulator, std::size_t{MAX_LIVE}) << "answered after " << answerTicks << " ticks";
        for (const LiveAircraft& aircraft : liveAircraft)
            if (aircraft.state == SimState::active)
                shownBy[answerTicks].insert(aircraft.hexid);
    }
    EXPECT_EQ(shownBy[0].size(), std::size_t{MAX_LIVE});
    EXPECT_EQ(shownBy[0], shownBy[4500]);

    // At the limit, four shown near the user (the last farthest), the late flights farther away but
    // for one.
    for (std::uint32_t i = 0; i < MAX_LIVE; ++i)
        addLive(0x500410 + i, "KLM5", SimState::active, 80 + i).simPosition = SimPosition{40.0 + 0.01 * i, -30.0};
    const std::uint32_t over = 0x500401, under = 0x500402, waiting = 0x500403, nearer = 0x500404;
    const auto nearUser = [](Tick tick) { return corv_test::trackPointAt(40.005, -30.0, tick, 3000.0, 200.0); };
    for (const std::uint32_t hexid : {over, under, waiting, nearer}) {
        addLive(hexid, "KLM4", SimState::adding2sim).track =
            hexid == nearer ? std::deque<TrackPoint>{nearUser(0), nearUser(100)}
                            : std::deque<TrackPoint>{point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)};
        gf_pushSimResult(SimResult{0, hexid, 0, SIM_RESULT_CREATION_FAILED, CREATION_NOT_ANSWERED, 0.0});
    }
    lf_processSimResults();
    removalQueue.clear();
    addLive(waiting, "KLM4", SimState::adding2sim);
    liveCreationQueue.push_back(request("KLM4", waiting));
    LiveAircraft& dropped = addLive(nearer, "KLM4", SimState::buffer);
    dropped.track = {nearUser(200)};
    dropped.skip = dropped.droppedForNow = true;
    lf_eraseDroppedLive();
    const auto late = [](std::uint32_t objectId, std::uint32_t hexid) {
        gf_pushSimResult(SimResult{objectId, hexid, 0, SIM_RESULT_LATE_CREATED, 0.0, 3000.0});
        lf_processSimResults();
    };
    late(90, over);
    late(93, nearer);
    late(91, waiting);
    MAX_LIVE_SEL.setValue(MAX_LIVE + 2);
    late(92, under);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{90, 83, 82}));
    ASSERT_TRUE(gf_liveByHexid(waiting) != nullptr && gf_liveByHexid(under) != nullptr && gf_liveByHexid(nearer));
    EXPECT_EQ(std::tuple(gf_liveByHexid(waiting)->objectId, gf_liveByHexid(under)->objectId,
                         gf_liveByHexid(nearer)->objectId),
              std::tuple(91u, 92u, 93u));
}

// What the simulator showed of a run at a live limit of four: from 200 s on, the mean of the places
// filled, the seconds with none shown and the longest stretch above the limit; the flights shown at
// the end, and the objects made.
struct PlacesFilled {
    double meanFilled = 0.0;
    int secondsWithNone = 0;
    Tick longestAbove = 0;
    std::set<std::uint32_t> shownAtEnd;
    std::size_t objectsMade = 0;
};

// Eight far flights from the start, four near ones at 150 s, four nearer ones from 200 s, 30 s
// apart, and four between the near and the far ones at 215 s.
PlacesFilled lf_runAtALimitOfFour(Tick answerTicks, Tick giveUpTicks)
{
    constexpr std::size_t LIMIT = 4;
    corv_test::HarnessOptions options;
    options.creationAnswerTicks = answerTicks;
    options.creationGiveUpTicks = giveUpTicks;
    EngineHarness harness(options);
    const double start = options.startDataTime;
    std::vector<std::vector<LiveTrafficRecord>> flights;
    for (std::uint32_t i = 0; i < 8; ++i)
        flights.push_back(corv_test::gf_circlingFlight(0x500500 + i, 20.0 + i, start - 40.0, options.user));
    for (std::uint32_t i = 0; i < LIMIT; ++i) {
        flights.push_back(corv_test::gf_circlingFlight(0x500600 + i, 8.0 + i, start + 150.0, options.user));
        flights.push_back(corv_test::gf_circlingFlight(0x500650 + i, 14.0 + i, start + 215.0, options.user));
        flights.push_back(corv_test::gf_circlingFlight(0x500700 + i, 3.0 + i, start + 200.0 + 30.0 * i, options.user));
    }
    harness.addReports(corv_test::gf_mergeReports(flights));
    PlacesFilled figures;
    std::size_t filled = 0;
    Tick above = 0;
    Tick lastNone = -TICKS_PER_SECOND;
    std::set<std::uint32_t> shown;
    for (Tick tick = 0; tick < 60000; ++tick) {
        harness.run(1);
        shown.clear();
        for (const auto& [objectId, object] : harness.objects())
            if (object.madeTick >= 0 && object.removedTick < 0)
                shown.insert(object.hexid);
        if (tick < 20000)
            continue;
        filled += std::min(shown.size(), LIMIT);
        above = shown.size() > LIMIT ? above + 1 : 0;
        figures.longestAbove = std::max(figures.longestAbove, above);
        if (shown.empty() && tick / TICKS_PER_SECOND != lastNone / TICKS_PER_SECOND) {
            lastNone = tick;
            ++figures.secondsWithNone;
        }
    }
    figures.meanFilled = static_cast<double>(filled) / 40000.0;
    figures.shownAtEnd = shown;
    for (const auto& [objectId, object] : harness.objects())
        figures.objectsMade += object.madeTick >= 0 ? 1 : 0;
    return figures;
}

// At the live limit a newcomer nearer than a shown aircraft takes its place once it is shown, not
// when its creation is sent: with a simulator that answers 45 or 90 s late, and whether or not the
// client gives each creation up after 5 s (the late object then taken by the nearest-first rule),
// the places stay filled and go to the nearest flights, with the objects a prompt simulator makes:
// a far aircraft promised to a near newcomer whose creation was given up stays promised, so the
// flights between them are not let in to be removed. Left alone: a simulator that answers at
// once shows the same flights with the same twelve objects (each flight shown made once, the far
// ones beyond the first four and those between never); above the limit only for the moment of a
// hand-over (the far aircraft's removal goes at the next removal slot).
TEST_F(SpawnTest, AtTheLiveLimitAPlaceChangesHandsWhenTheNewcomerIsShownSoASlowSimulatorKeepsThePlacesFilled)
{
    MAX_LIVE_SEL.setValue(4);
    const std::set<std::uint32_t> nearest{0x500700, 0x500701, 0x500702, 0x500703};
    const PlacesFilled prompt = lf_runAtALimitOfFour(0, 0);
    EXPECT_EQ(prompt.shownAtEnd, nearest);
    EXPECT_EQ(prompt.objectsMade, 12u);
    for (const Tick answer : {Tick{4500}, Tick{9000}}) {
        for (const Tick giveUp : {Tick{0}, Tick{500}}) {
            const PlacesFilled slow = lf_runAtALimitOfFour(answer, giveUp);
            const std::string run = vald::format("answered after {} ticks, given up after {}", answer, giveUp);
            EXPECT_GE(slow.meanFilled, 3.5) << run;
            EXPECT_EQ(slow.secondsWithNone, 0) << run;
            EXPECT_LE(slow.longestAbove, 10) << run;
            EXPECT_EQ(slow.shownAtEnd, nearest) << run;
            EXPECT_EQ(slow.objectsMade, prompt.objectsMade) << run;
        }
    }
}

// Held back at the limit (as many creations on their way as the limit has places), a newcomer is
// looked at again at the next whole second, not at each of its points: those held back are looked
// at together there, in their order in the list, their start moved on past the points that came
// due meanwhile. Each promises a far aircraft its place, another one each.
TEST_F(SpawnTest, NewcomersHeldBackAtTheLiveLimitAreLookedAtAgainAtTheNextWholeSecondInTheirOrder)
{
    MAX_LIVE_SEL.setValue(2);
    for (const auto& [hexid, lat] : {std::pair{0x500008u, -40.0}, std::pair{0x500009u, -41.0}}) {
        LiveAircraft& far = addLive(hexid, "KLM9", SimState::active, hexid & 0xFF);
        far.simPosition.lat = lat;
    }
    addingStack.assign(2, 1);  // two creations wait: places do not change hands
    const auto track = [](Tick first) {
        return std::vector<TrackPoint>{point(first, 1.0, 3000.0, 200.0), point(first + 40, 1.1, 3000.0, 200.0),
                                       point(200, 1.2, 3000.0, 200.0), point(600, 1.3, 3000.0, 200.0),
                                       point(700, 1.4, 3000.0, 200.0)};
    };
    LiveAircraft& first = buffered(0x500001, "KLM1", track(110));
    LiveAircraft& second = buffered(0x500002, "KLM2", track(130));
    const auto tickOfBoth = [&](Tick tick) {
        stepAt(tick, first);
        stepAt(tick, second);
    };
    for (Tick tick = 0; tick < 100; ++tick) {
        if (tick == 60)
            addingStack.pop_back();  // room for one
        tickOfBoth(tick);
    }
    EXPECT_EQ(first.state, SimState::buffer) << "not looked at again before the whole second";
    EXPECT_EQ(second.state, SimState::buffer);
    EXPECT_EQ(first.track.front().playTick, 150) << "only the point of its one look given up";
    EXPECT_EQ(second.track.front().playTick, 170);

    tickOfBoth(100);
    EXPECT_EQ(first.state, SimState::adding2sim) << "the first in the list takes the place";
    EXPECT_EQ(first.simPosition.lat, point(200, 1.2, 0.0, 0.0).lat) << "from the point due now";
    EXPECT_TRUE(gf_givesWay(0x500009) && removalQueue.empty()) << "the farthest stays until the newcomer is shown";
    EXPECT_EQ(second.state, SimState::buffer) << "the creations are crowded again";
    EXPECT_EQ(second.track.front().playTick, 600);
    addingStack.clear();
    for (Tick tick = 101; tick < 500; ++tick)
        stepAt(tick, second);
    EXPECT_EQ(second.state, SimState::buffer);
    stepAt(500, second);
    EXPECT_EQ(second.state, SimState::adding2sim);
    EXPECT_TRUE(gf_givesWay(0x500008) && removalQueue.empty());
}

TEST_F(SpawnTest, BlockedCallsignsPrivateFlightsRegistrationsAndMissingLiveries)
{
    BLOCK_CALLSIGN.setValue("KLM1");
    LiveAircraft& blocked = buffered(0x500001, "KLM1", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    stepAt(0, blocked);
    EXPECT_TRUE(blocked.skip);

    giveLivery("PVT", "C172", "Cessna 172 white");
    LiveAircraft& privateFlight = buffered(0x500002, "PHABC", {point(0, 1.0, 3000.0, 90.0), point(100, 2.0, 3000.0, 90.0)});
    privateFlight.identity.type = "C172";
    privateFlight.category = AircraftCategory::Light;
    stepAt(0, privateFlight);
    EXPECT_EQ(privateFlight.identity.airline, "PVT");
    EXPECT_EQ(privateFlight.liveryTitle, "Cessna 172 white");

    // The registration names the airline and type; with no usable callsign it becomes the callsign.
    dbaseRecords["D-AIAB"] = DbaseRecord{"DLH", "A320", "", false};
    giveLivery("DLH", "A320", "Lufthansa A320");
    LiveAircraft& known = buffered(0x500003, "", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    known.identity.registration = "D-AIAB";
    known.identity.type = "B744";
    stepAt(0, known);
    EXPECT_EQ(known.identity.callsign, "D-AIAB");
    EXPECT_EQ(known.identity.type, "A320");
    EXPECT_EQ(known.liveryTitle, "Lufthansa A320");

    LiveAircraft& invalid = buffered(0x500004, "@@@@@@@@", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    stepAt(0, invalid);
    EXPECT_TRUE(invalid.skip);

    // No livery of the type at all: the flight's key is noted, and the next flight of the key
    // is dropped before any choice.
    LiveAircraft& unmatched = buffered(0x500005, "KLM5", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    unmatched.identity.type = "B744";
    unmatched.identity.registration = "PH-BFA";
    stepAt(0, unmatched);
    EXPECT_TRUE(unmatched.skip);
    EXPECT_TRUE(unmatchedLiveryKeys.contains(gf_unmatchedLiveryKey(unmatched.identity)));
    giveLivery("KLM", "B744", "KLM 747");
    LiveAircraft& again = buffered(0x500006, "KLM6", {point(0, 1.0, 3000.0, 200.0), point(100, 2.0, 3000.0, 200.0)});
    again.identity.type = "B744";
    again.identity.registration = "PH-BFA";
    stepAt(0, again);
    EXPECT_TRUE(again.skip);
}

class StandBirthTest : public SpawnTest {
protected:
    void SetUp() override
    {
        SpawnTest::SetUp();
        for (const auto& [id, north] : {std::pair<std::string, double>{"A1", 0.0}, {"A2", 0.1}}) {
            Stand& stand = parkStands.emplace_back(std::vector<StandOption>{}, id,
                                                   Stand::Place{52.0 + north / 60.0, 4.7, 1.5}, 30.0, false, false,
                                                   false);
            stand.number = static_cast<std::uint32_t>(parkStands.size());
        }
        parkStands[0].adjacent = {2};
        EngineHooks hooks;
        hooks.parkAirport = [] { return ParkAirportSnapshot{"EHAM", LatLon{52.01, 4.72}, 0.0}; };
        hooks.reservedStandName = [] { return std::string("A2"); };
        gf_setEngineHooks(hooks);
    }

    // Standing still a few metres from the stand at northNm.
    static LiveAircraft& standingAt(std::uint32_t hexid, double northNm)
    {
        std::vector<TrackPoint> track{point(0, northNm + 0.005, 0.0, 0.0), point(1500, northNm + 0.005, 0.0, 0.0)};
        track[1].stationary = true;
        return buffered(hexid, "KLM" + std::to_string(hexid % 100), track);
    }
};

TEST_F(StandBirthTest, StandingAircraftIsBornParkedOnTheStandAndStaticsMakeWay)
{
    addStatic(1, "S1*", SimState::active, 40).standNumber = 1;
    StaticAircraft& queued = addStatic(2, "S2*", SimState::adding2sim);
    queued.standNumber = 1;
    staticCreationQueue.push_back(request("S2*", 2));
    addStatic(3, "S3*", SimState::active, 41).standNumber = 2;  // beside it, 185 m away

    LiveAircraft& parked = standingAt(0x500001, 0.0);
    stepAt(0, parked);
    ASSERT_EQ(parked.state, SimState::adding2sim);
    EXPECT_EQ(parked.phase, FlightPhase::parked);
    EXPECT_EQ(parked.standNumber, 1u);
    EXPECT_EQ(parkStands[0].occupied, 1) << "the stand is taken from birth on";
    EXPECT_DOUBLE_EQ(parked.simPosition.lat, 52.0);
    EXPECT_DOUBLE_EQ(parked.simPosition.heading, 1.5);
    EXPECT_EQ(parked.track.size(), 1u);
    EXPECT_TRUE(parked.track.front().stationary);
    ASSERT_EQ(parkStands[0].options.size(), 1u) << "found parked, its stand use is learned";
    EXPECT_EQ(parkStands[0].options[0].callsign, parked.identity.callsign);
    EXPECT_EQ(standUseList.size(), 1u);

    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{40})) << "the static on the stand goes, not the one beside";
    EXPECT_TRUE(staticCreationQueue.empty());
    ASSERT_EQ(staticAircraft.size(), 2u) << "the queued static is withdrawn and erased";
    EXPECT_EQ(staticAircraft[1].state, SimState::active);

    // The simulator refuses to create it: its stand is free again.
    SimResult refused;
    refused.kind = SIM_RESULT_CREATION_FAILED;
    refused.hexid = 0x500001;
    gf_pushSimResult(refused);
    lf_processSimResults();
    EXPECT_EQ(parkStands[0].occupied, 0);
}

// More aircraft stand at their gates than the park airport wants: the one parked longest makes room
// for a newcomer. Made again while its reports keep it there, it would push the next one out, round
// and round: it stays away while there is no room, and comes back once there is, or once it moves.
// One the parking update removes stays away the same way, until its data ends: a minute of the data
// clock, which a pause of the feed stops.
TEST_F(StandBirthTest, AnAircraftRemovedForTheParkCountStaysAwayUntilThereIsRoomOrItMoves)
{
    parkStands.emplace_back(std::vector<StandOption>{}, "A3", Stand::Place{52.0 + 0.3 / 60.0, 4.7, 1.5}, 30.0, false,
                            false, false).number = 3;
    wantedParkCount = 1;
    // The feed flows until the tick, the data clock running with it.
    const auto flowsUntil = [](Tick tick) {
        static_cast<void>(gf_clockTakesReport(true));
        while (tickCounter.load() < tick) {
            tickCounter.store(std::min(tick, tickCounter.load() + 200));
            static_cast<void>(gf_clockTakesReport(true));
        }
    };
    // A report of the flight after its earlier record left; made, it is in the simulator at once.
    const auto reported = [](std::uint32_t hexid, double northNm, std::vector<TrackPoint> moving = {}) -> LiveAircraft& {
        std::erase_if(liveAircraft, [hexid](const LiveAircraft& a) { return a.hexid == hexid; });
        LiveAircraft& aircraft = moving.empty() ? standingAt(hexid, northNm) : buffered(hexid, "KLM1", moving);
        stepAt(tickCounter.load(), aircraft);
        aircraft.state = aircraft.skip ? aircraft.state : SimState::active;
        aircraft.objectId = hexid & 0xFFu;
        return aircraft;
    };
    reported(0x500001, 0.0).parkTime -= 600;
    EXPECT_EQ(reported(0x500003, 0.3).phase, FlightPhase::parked);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{1})) << "a true excess still removes the one parked longest";
    EXPECT_TRUE(reported(0x500001, 0.0).skip) << "still reported on its stand, still no room";
    EXPECT_EQ(removalQueue.size() + parkStands[0].occupied, 1u) << "it pushes nobody out and holds no stand";
    EXPECT_EQ(reported(0x500001, 0.0, {point(0, 0.05, 0.0, 12.0), point(100, 0.06, 0.0, 12.0)}).phase, FlightPhase::taxi)
        << "moving, it is made again as any other";
    EXPECT_EQ(reported(0x500001, 0.0).phase, FlightPhase::parked) << "and parks again as any newcomer";
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{1, 3}));
    wantedParkCount = 2;
    EXPECT_EQ(reported(0x500003, 0.3).phase, FlightPhase::parked) << "with room it stands there again";
    EXPECT_EQ(removalQueue.size(), 2u);

    // The user lowers the parked share: the parking update removes the one parked longest.
    gf_liveByHexid(0x500001)->parkTime -= 600;
    wantedParkCount = 1;
    lf_removeLiveParked(1);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{1, 3, 1}));
    flowsUntil(5000);
    EXPECT_TRUE(reported(0x500001, 0.0).skip) << "removed by the parking update, it stays away too";
    flowsUntil(10900);
    EXPECT_TRUE(reported(0x500001, 0.0).skip) << "for as long as its reports come";
    EXPECT_EQ(removalQueue.size(), 3u) << "pushing nobody out";
    tickCounter.store(17000);  // the feed pauses: no record of anyone for a minute
    EXPECT_TRUE(reported(0x500001, 0.0).skip) << "a pause of the feed forgets nobody";
    flowsUntil(23200);
    EXPECT_EQ(reported(0x500001, 0.0).phase, FlightPhase::parked)
        << "a minute without a record of it, its data has ended: it is forgotten, and comes as any newcomer";

    // The one it pushed out (0x500003) stays off while its records are dropped at the live limit.
    engineUserSnapshot.latitude = 51.0;  // south of all: no flight is farther away than it
    engineUserSnapshot.longitude = 4.7;
    MAX_LIVE_SEL.setValue(1);
    flowsUntil(28200);
    EXPECT_TRUE(reported(0x500003, 0.3).skip);
    MAX_LIVE_SEL.setValue(maxLive_);
    flowsUntil(33200);
    EXPECT_TRUE(reported(0x500003, 0.3).skip) << "over a minute after its removal, it stays away";
    flowsUntil(39300);
    EXPECT_EQ(reported(0x500003, 0.3).phase, FlightPhase::parked) << "forgotten a minute after its last record";
}

TEST_F(StandBirthTest, ReservedStandAndFarAirportGiveNoStand)
{
    LiveAircraft& reserved = standingAt(0x500001, 0.1);
    stepAt(0, reserved);
    EXPECT_NE(reserved.phase, FlightPhase::parked);
    EXPECT_EQ(reserved.state, SimState::buffer) << "standing away from a stand it waits";
    EXPECT_EQ(reserved.track.size(), 1u);

    std::vector<TrackPoint> far{point(0, 30.0, 0.0, 0.0), point(100, 30.0, 0.0, 0.0)};
    parkStands[0].lat = far[0].lat;
    LiveAircraft& distant = buffered(0x500002, "KLM2", far);
    distant.track[1].lon = 4.7001;
    stepAt(0, distant);
    EXPECT_EQ(distant.phase, FlightPhase::taxi) << "more than 5 nm from the park airport";
}

}  // namespace

namespace {

using corv_test::EngineTest;

class AvoidStaticsTest : public EngineTest {};

TEST_F(AvoidStaticsTest, TaxiingAircraftRemovesTheFirstStaticItWouldTouchUnlessInItsLandingRoll)
{
    StaticAircraft& near = addStatic(1, "S1*", SimState::active, 30);
    near.standLat = 52.0;
    near.standLon = 4.7;
    near.halfSpan = 0.01;
    StaticAircraft& far = addStatic(2, "S2*", SimState::active, 31);
    far.standLat = 52.01;
    far.standLon = 4.7;
    far.halfSpan = 0.01;
    LiveAircraft& taxiing = addLive(0x500001, "KLM1", SimState::active, 40);
    taxiing.halfSpan = 0.01;
    taxiing.simPosition.lat = 52.0 + 0.02 / 60.0;  // 0.02 nm from the first static: 1.1 x 0.02 reaches it
    taxiing.simPosition.lon = 4.7;
    taxiing.landingRoll = true;
    lf_avoidStatics(taxiing);
    EXPECT_TRUE(removalQueue.empty());
    taxiing.landingRoll = false;
    lf_avoidStatics(taxiing);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{30}));
    EXPECT_DOUBLE_EQ(taxiing.lastCheckPosition.lat, taxiing.simPosition.lat);
    EXPECT_EQ(far.state, SimState::active);
}

// The grid answers as a plain pass over every static aircraft does, on a random field with
// other states, shared callsigns, wide spans, stands with no position and live aircraft far off.
TEST_F(AvoidStaticsTest, GridFindsTheSameFirstStaticAsAPassOverAll)
{
    std::mt19937 random(36);
    std::uniform_real_distribution<double> around(-0.02, 0.02);
    std::uniform_real_distribution<double> span(0.005, 0.04);
    std::uniform_int_distribution<int> pick(0, 9);
    for (std::uint32_t i = 0; i < 600; ++i) {
        // Formatted: "literal" + std::string draws a false -Wrestrict from GCC 12 at -O3.
        StaticAircraft& parked = addStatic(i + 1, vald::format("S{}*", i % 50),
                                           pick(random) == 0 ? SimState::removingfromsim : SimState::active, i + 100);
        parked.standLat = 52.3 + around(random);
        parked.standLon = 4.76 + around(random);
        parked.halfSpan = pick(random) == 0 ? 0.3 : span(random);
    }
    staticAircraft[7].standLat = std::numeric_limits<double>::quiet_NaN();
    const auto plainFirst = [](LatLon at, double halfSpan, const std::string& callsign) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < staticAircraft.size(); ++i) {
            const StaticAircraft& parked = staticAircraft[i];
            if (parked.state != SimState::active || parked.identity.callsign == callsign)
                continue;
            if (!(gf_distanceNm(LatLon{parked.standLat, parked.standLon}, at) > 1.1 * (parked.halfSpan + halfSpan)))
                return i;
        }
        return std::nullopt;
    };
    const StaticGrid grid;
    int touched = 0;
    for (int i = 0; i < 3000; ++i) {
        const double scale = i % 3 == 0 ? 50.0 : 1.5;
        const LatLon at{52.3 + scale * around(random), 4.76 + scale * around(random)};
        const double halfSpan = span(random);
        // Formatted: "literal" + std::string draws a false -Wrestrict from GCC 12 at -O3.
        const std::string callsign = vald::format("S{}*", pick(random));
        const auto expected = plainFirst(at, halfSpan, callsign);
        ASSERT_EQ(grid.firstTouched(at, halfSpan, callsign), expected) << at.lat << " " << at.lon;
        touched += expected ? 1 : 0;
    }
    EXPECT_GT(touched, 100) << "the field is dense enough to find statics";
    EXPECT_LT(touched, 2900) << "and sparse enough to miss some";
}

}  // namespace
