#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "engine/engine_hooks.hpp"
#include "engine/live_creation.hpp"
#include "foundation/format.hpp"
#include "parking/parking_hooks.hpp"
#include "simlink/simlink_hooks.hpp"
#include "traffic/traffic_hooks.hpp"
#include "tests/parking/static_test_support.hpp"

namespace {

using corv_test::weekOption;

class StaticPlanningTest : public corv_test::StaticParkingTest {
protected:
    static bool logged(const std::vector<std::string>& lines, const std::string& part)
    {
        return std::any_of(lines.begin(), lines.end(),
                           [&part](const std::string& line) { return line.find(part) != std::string::npos; });
    }
};

// With parked traffic only, every record that finds a free stand is planned: not those flying
// live, not one too far from any stand, not a heavy whose span reaches a planned neighbour.
TEST_F(StaticPlanningTest, ParkedTrafficIsMatchedToFreeStands)
{
    RT_PARKTRAFFIC_ONLY.setValue(true);
    Stand& s1 = addStand("S1", 0);
    Stand& s2 = addStand("S2", 1);
    addStand("S3", 3);
    addStand("S4", 5);
    addStand("S5", 7);
    makeAdjacent(s1, s2);
    s2.lon = s1.lon + 0.0003;  // 20 m from S1: two spans do not fit side by side
    LiveAircraft& live = liveAircraft.emplace_back(TrackPoint{}, AircraftInstance{}, 0.0);
    live.hexid = 0x400003;
    live.identity.callsign = "KLM3";
    live.state = SimState::active;
    parked = {parkedAt(0x400001, "KLM1", 0, 1),
              parkedAt(0x400002, "KLM2", 1, 2, "B744"),  // next to KLM1, spans overlap
              parkedAt(0x400003, "KLM3", 3, 3),          // a live aircraft of the program
              parkedAt(0x484506, "KLM1234", 5, 4),       // flying live, seen by the reader
              parkedAt(0x400005, "N123AB", 7, 5, "C172", ""),
              parkedAt(0x400006, "KLM6", 20, 6)};  // no stand within 110 m
    lf_startStaticCalculation();
    corv_test::StaticParkingTest::seenLive("484506", "KLM1234");
    lf_buildParkPositions();

    EXPECT_FALSE(parkingBusy.load());
    EXPECT_EQ(parkingLiveHexids.count(0x484506u), 1u);
    ASSERT_EQ(parkPositions.size(), 2u);
    EXPECT_EQ(plannedStands(), (std::vector<std::uint32_t>{1, 5}));
    // Youngest at the back, where the step takes first.
    EXPECT_EQ(parkPositions.back().callsign, "KLM1");
    EXPECT_EQ(parkPositions.front().callsign, "N123AB");
    EXPECT_EQ(parkPositions.front().airline, "PVT");
    EXPECT_EQ(parkPositions.back().sourceKey, 0x400001u);
    EXPECT_EQ(parkPositions.back().age, 1u);
    EXPECT_EQ(parkStands[1].blocked, 1) << "S1's neighbour is blocked";
    const std::vector<std::string> lines = log_.lines();
    EXPECT_TRUE(logged(lines, "===> no stand for PT")) << "the record far from every stand is logged";
    EXPECT_TRUE(logged(lines, "2 positions from RT parktraffic only"));

    // A live aircraft created parked on S1 takes it from the plan, and S1's neighbour is free
    // again; the other planned stand stays.
    gf_registerParkingHooks();
    LiveAircraft& arrived = liveAircraft.emplace_back(TrackPoint{}, AircraftInstance{}, 0.0);
    arrived.hexid = 0x400007;
    arrived.identity.callsign = "KLM7";
    arrived.standNumber = 1;
    arrived.setPhase(FlightPhase::parked);
    lf_onCreatedOnGround(arrived);
    gf_resetEngineHooks();
    gf_resetTrafficHooks();
    gf_resetSimlinkHooks();
    EXPECT_EQ(plannedStands(), (std::vector<std::uint32_t>{5}));
    EXPECT_EQ(parkStands[0].planned, 0);
    EXPECT_EQ(parkStands[1].blocked, 0);
}

// Without parked traffic only, the wanted count limits the plan and the week data fills up.
TEST_F(StaticPlanningTest, TheWantedCountLimitsParkedTrafficAndWeekDataFillsUp)
{
    for (int i = 0; i < 4; ++i)
        addStand("S" + std::to_string(i), 2 * i, {weekOption("KLM" + std::to_string(20 + i), 1, {20})});
    parking_percentage.setValue(50);  // wants 2 of 4
    parked = {parkedAt(0x400001, "KLM1", 0, 1)};
    lf_buildParkPositions();
    ASSERT_EQ(parkPositions.size(), 2u);
    EXPECT_EQ(parkPositions.front().callsign, "KLM1") << "parked an hour ago: placed after the week's";
    EXPECT_EQ(parkPositions.front().sourceFlag, 0u);
    EXPECT_EQ(parkPositions.back().sourceFlag, 1u);
    EXPECT_EQ(parkPositions.back().age, 0u);
    EXPECT_EQ(standsMarkedPlanned(), 2u);

    // The reserved stand of the user gets nothing.
    gf_resetStaticPlanningForTest();
    RT_PARKTRAFFIC_ONLY.setValue(true);
    gf_setParkedTrafficSource([](std::vector<ParkedTrafficRecord>& records) {
        records = {parkedAt(0x400001, "KLM1", 0, 1)};
        return true;
    });
    parkPositions.clear();
    lf_clearStandMarks();
    ASSERT_TRUE(lf_fetchParkedForPlanning());
    parkStands.front().reserved = 1;
    lf_matchParkedTraffic();
    EXPECT_TRUE(parkPositions.empty()) << "a reserved stand takes no new position";
    parkStands.front().reserved = 0;
    lf_matchParkedTraffic();
    EXPECT_EQ(parkPositions.size(), 1u);
}

// Leaving the park airport: the plan goes, every static leaves, and live aircraft at its stands
// leave with them; a live aircraft still in the air keeps flying.
TEST_F(StaticPlanningTest, ResettingTheParkAirportClearsPlanStaticsAndLiveStands)
{
    addStand("S1", 0);
    addStand("S2", 2);
    parkPositions.resize(2);
    activeStatic("KLM1*", 1, 0, 61);
    LiveAircraft& parkedLive = liveAircraft.emplace_back(TrackPoint{}, AircraftInstance{}, 0.0);
    parkedLive.phase = FlightPhase::parked;
    parkedLive.state = SimState::active;
    parkedLive.objectId = 62;
    parkedLive.standNumber = 2;
    parkedLive.hexid = 0x400002;
    LiveAircraft& flying = liveAircraft.emplace_back(TrackPoint{}, AircraftInstance{}, 0.0);
    flying.phase = FlightPhase::flying;
    flying.state = SimState::active;
    flying.objectId = 63;
    flying.hexid = 0x400003;
    maxLiveSelection.store(MAX_LIVE_SEL.value());
    lf_resetParkAirport();
    EXPECT_TRUE(parkPositions.empty());
    EXPECT_TRUE(parkStands.empty());
    EXPECT_EQ(std::vector<std::uint32_t>(removalQueue.begin(), removalQueue.end()),
              (std::vector<std::uint32_t>{61, 62}));
    EXPECT_EQ(liveAircraft[0].standNumber, 0u);
    EXPECT_EQ(liveAircraft[1].state, SimState::active);

}

// The traffic reader adds the live flights it sees while the worker takes them over: no set is
// torn and no flight is handed over twice.
TEST_F(StaticPlanningTest, LiveFlightsSeenDuringCalculationsAreHandedOverWhole)
{
    constexpr std::uint32_t COUNT = 4000;
    std::atomic<bool> done{false};
    std::vector<std::uint32_t> handed;
    parkingBusy.store(true);
    trafficReader.startCollectingSeen();
    // One seen before the race, so that at least one is due however the threads are scheduled.
    corv_test::StaticParkingTest::seenLive(vald::format("{:x}", 0x500000), "");
    std::thread reader([&] {
        for (std::uint32_t i = 1; i <= COUNT; ++i)
            corv_test::StaticParkingTest::seenLive(vald::format("{:x}", 0x500000 + i), "");
        done.store(true);
    });
    while (!done.load()) {
        lf_endParkingBusy();
        handed.insert(handed.end(), parkingLiveHexids.begin(), parkingLiveHexids.end());
        parkingBusy.store(true);
        trafficReader.startCollectingSeen();
    }
    reader.join();
    lf_endParkingBusy();
    handed.insert(handed.end(), parkingLiveHexids.begin(), parkingLiveHexids.end());
    std::sort(handed.begin(), handed.end());
    EXPECT_TRUE(std::adjacent_find(handed.begin(), handed.end()) == handed.end()) << "handed over twice";
    EXPECT_FALSE(parkingBusy.load());
    EXPECT_LE(handed.size(), COUNT + 1);
    EXPECT_TRUE(std::binary_search(handed.begin(), handed.end(), 0x500000u)) << "seen while collecting";

    // A new run forgets what the last one saw while collecting.
    trafficReader.startCollectingSeen();
    corv_test::StaticParkingTest::seenLive("484506", "KLM1234");
    trafficReader.resetForRun();
    trafficReader.startCollectingSeen();
    lf_endParkingBusy();
    EXPECT_TRUE(parkingLiveHexids.empty());
    EXPECT_TRUE(parkingLiveCallsigns.empty());
}

}  // namespace

namespace {

// A parked-traffic fetch refused once at the start (the service's single 500) is tried again at
// the next minute of the countdown, not twenty minutes later, and only a few times in a row.
TEST_F(StaticPlanningTest, AFailedParkedFetchIsTriedAgainWithinAMinuteAFewTimes)
{
    RT_PARKTRAFFIC_ONLY.setValue(true);
    addStand("S1", 0);
    addStand("S2", 2);
    parked = {parkedAt(0x400001, "KLM1", 0, 1)};
    fetchSucceeds = false;
    parkingCountdownMinutes.store(20);
    lf_buildParkPositions();
    EXPECT_TRUE(parkPositions.empty());
    EXPECT_EQ(parkingCountdownMinutes.load(), 1);
    EXPECT_TRUE(gf_parkedRetryPending()) << "due even when only the initial load was asked for";

    // The minute has passed: the adjustment fetches again and plans the parked aircraft.
    fetchSucceeds = true;
    parkingCountdownMinutes.store(20);
    lf_adjustParking(false);
    EXPECT_EQ(parkPositions.size(), 1u);
    EXPECT_FALSE(gf_parkedRetryPending());
    EXPECT_EQ(parkingCountdownMinutes.load(), 20);

    // A service that keeps refusing is asked a few times a minute apart, then at the usual period.
    fetchSucceeds = false;
    std::vector<std::int32_t> countdowns;
    for (int attempt = 0; attempt < PARKED_FETCH_RETRIES + 2; ++attempt) {
        parkingCountdownMinutes.store(20);
        lf_adjustParking(false);
        countdowns.push_back(parkingCountdownMinutes.load());
    }
    EXPECT_EQ(countdowns, (std::vector<std::int32_t>{1, 1, 1, 20, 20}));
    EXPECT_FALSE(gf_parkedRetryPending());

    // Only the initial load wanted: the parked traffic goes to the free stand, the load's static stays.
    RT_PARKTRAFFIC_ONLY.setValue(false);
    parking_percentage.setValue(100);
    const StaticAircraft& week = activeStatic("KLM77*", 2, 1, 77);
    parkStands[1].planned = 1;
    addStand("S3", 4);
    parked.push_back(parkedAt(0x400077, "KLM77", 4, 2));  // the static's flight: shown already
    fetchSucceeds = true;
    lf_retryParkedTraffic();
    ASSERT_EQ(parkPositions.size(), 1u);
    EXPECT_EQ(parkPositions.front().callsign, "KLM1");
    EXPECT_TRUE(parkRemovals.empty());
    EXPECT_EQ(week.state, SimState::active);
}

}  // namespace
