// Ghosts, static duplicates of live flights, coupled callsigns, the reserved stand and the
// parked-live list with its time limits.
#include <chrono>

#include "engine/ghosts.hpp"
#include "engine/park_limits.hpp"
#include "foundation/clock.hpp"
#include "foundation/parameters.hpp"
#include "tests/engine/stand_test_support.hpp"

namespace {

UtcSeconds clockNow = 1'700'000'000;
UtcSeconds lf_testClock() { return clockNow; }

std::uint64_t weekSlot(int weekday, int halfHour) { return gf_weekSlotValue(WeekdayAndSlot{weekday, halfHour}); }

class GhostsTest : public corv_test::StandTest {
protected:
    void SetUp() override
    {
        StandTest::SetUp();
        Clock clock;
        clock.utcNow = &lf_testClock;
        clock.steadyNow = [] { return SteadyTime{} + std::chrono::seconds(clockNow); };
        gf_setClockForTest(clock);
        INITIAL_LOAD_ONLY.setValue(false);
    }
    void TearDown() override
    {
        INITIAL_LOAD_ONLY.setValue(INITIAL_LOAD_ONLY.defaultValue());
        gf_resetClockForTest();
        StandTest::TearDown();
    }
    static StaticAircraft& activeStatic(std::uint32_t hexid, const std::string& callsign)
    {
        StaticAircraft& parked = addStatic(hexid, callsign, SimState::active, 100 + hexid);
        return parked;
    }
};

TEST_F(GhostsTest, GhostOfALiveFlightIsRemovedAndRemembered)
{
    parkedOn(addStand("S1", 0.0, 20.0), 0x400001, "KLM12_");
    addLive(0x400002, "BAW1_", SimState::removingfromsim, 2);
    EXPECT_TRUE(lf_hasLiveCallsign("KLM12__"));
    lf_removeGhost("KLM12");
    lf_removeGhost("BAW1");  // already leaving
    lf_removeGhost("KLM1");  // KLM12 is no ghost of it
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(ghostList, (std::vector<std::string>{"KLM12_"}));
    EXPECT_EQ(removalQueue.size(), 1U);
    EXPECT_FALSE(lf_hasLiveCallsign("KLM12__")) << "its base flight is leaving";

    // The same ghost again, in another aircraft: remembered once.
    parkedOn(addStand("S2", 100.0, 20.0), 0x400003, "KLM12_");
    lf_removeGhost("KLM12");
    EXPECT_EQ(liveAircraft.back().state, SimState::removingfromsim);
    EXPECT_EQ(ghostList, (std::vector<std::string>{"KLM12_"}));
}

TEST_F(GhostsTest, FirstStaticOfTheSameFlightIsRemovedOnePerCall)
{
    LiveAircraft& live = addLive(0x400001, "KLM12", SimState::active, 1);
    live.identity.registration = "PH-BXA";
    StaticAircraft& waiting = addStatic(1, "KLM12*", SimState::adding2sim);
    waiting.sourceFlag = 0;
    waiting.sourceKey = 0x400001;
    activeStatic(2, "XYZ*").sourceKey = 0x400001;  // from the week data: sourceFlag 1
    activeStatic(3, "TRA5*").identity.registration = "PH-BXA";
    activeStatic(4, "KLM11*").identity.callsign2 = "KLM12";
    activeStatic(5, "KLM13*").identity.callsign3 = "KLM12";
    activeStatic(6, "ABC*").sourceFlag = 0;
    staticAircraft.back().sourceKey = 0x400001;

    const auto removedAfterCall = [&live](const std::string& callsign) {
        live.identity.callsign = callsign;
        lf_removeStaticDuplicates(live, true);
        std::vector<std::string> removed;
        for (const StaticAircraft& parked : staticAircraft)
            if (parked.state == SimState::removingfromsim)
                removed.push_back(parked.identity.callsign);
        return removed;
    };
    EXPECT_EQ(removedAfterCall("KLM12"), (std::vector<std::string>{"TRA5*"}));
    EXPECT_EQ(removedAfterCall("KLM12"), (std::vector<std::string>{"TRA5*", "KLM11*"}));
    live.identity.registration.clear();
    EXPECT_EQ(removedAfterCall("KLM12_"), (std::vector<std::string>{"TRA5*", "KLM11*", "KLM13*"})) << "a ghost";
    EXPECT_EQ(removedAfterCall(""), (std::vector<std::string>{"TRA5*", "KLM11*", "KLM13*"})) << "no callsign";
    EXPECT_EQ(removedAfterCall("KLM12"), (std::vector<std::string>{"TRA5*", "KLM11*", "KLM13*", "ABC*"}));
}

TEST_F(GhostsTest, CoupledCallsignsComeFromAnOptionOfTheAirlineWithinTheWindow)
{
    Stand& stand = addStand("S1", 0.0, 20.0);
    stand.options.push_back(optionFor("KLM641", "KLM642", 3, 1ULL << 19));
    const auto search = [](const std::string& callsign, AircraftCategory category, std::uint64_t slot) {
        LiveAircraft& live = addLive(0x400001, callsign, SimState::active, 1);
        live.category = category;
        lf_searchForCoupledCsAroundThisTime(slot, live);
        const std::string found = live.identity.callsign2 + "/" + live.identity.callsign3;
        liveAircraft.clear();
        return found;
    };
    // At half-hour 5 a Heavy looks at half-hours 0..19, any other aircraft at 0..15.
    EXPECT_EQ(search("KLM642", AircraftCategory::Heavy, weekSlot(3, 5)), "KLM641/KLM642");
    EXPECT_EQ(search("KLM642", AircraftCategory::Large, weekSlot(3, 5)), "/");
    EXPECT_EQ(search("KLM641_", AircraftCategory::Large, weekSlot(3, 20)), "KLM641/KLM642");
    EXPECT_EQ(search("KLM641", AircraftCategory::Large, weekSlot(4, 20)), "/") << "another day";
    stand.options.front().airline = "TRA";
    EXPECT_EQ(search("KLM641", AircraftCategory::Large, weekSlot(3, 20)), "/") << "another airline";
}

// Park times are set and read on one clock: 91 minutes on it are 91 minutes parked.
TEST_F(GhostsTest, ParkedLiveAircraftStay90MinutesAndAHeavy180)
{
    Stand& stand = addStand("S1", 0.0, 20.0);
    const auto parkedFor = [&stand](std::uint32_t hexid, const char* callsign, bool heavy, std::int64_t minutes) {
        LiveAircraft& aircraft = parkedOn(stand, hexid, callsign);
        aircraft.category = heavy ? AircraftCategory::Heavy : AircraftCategory::Large;
        aircraft.parkTime = gf_parkClockNow() - minutes * 60;
        return &aircraft;
    };
    parkedFor(0x400001, "LONG", false, 91);
    parkedFor(0x400002, "SHORT", false, 89);
    parkedFor(0x400003, "HEAVY1", true, 179);
    parkedFor(0x400004, "HEAVY2", true, 181);
    parkedFor(0x400005, "LEAVING", false, 300)->leaveStand = true;

    INITIAL_LOAD_ONLY.setValue(true);
    lf_collectParkedLive();
    EXPECT_EQ(parkedLiveList.size(), 5U) << "nobody leaves for the time with the initial load only";
    INITIAL_LOAD_ONLY.setValue(false);
    lf_collectParkedLive();
    std::vector<std::pair<std::string, std::uint32_t>> listed;
    for (const ParkedLiveEntry& entry : parkedLiveList)
        listed.emplace_back(entry.callsign, entry.parkedMinutes);
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::uint32_t>>{{"LEAVING", 0}, {"SHORT", 89}, {"HEAVY1", 179}}));
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[3].state, SimState::removingfromsim);
    clockNow += 2 * 60;
    lf_collectParkedLive();
    EXPECT_EQ(parkedLiveList.size(), 1U);
}

TEST_F(GhostsTest, ReservedStandIsClearedOfItsStaticFirstThenOfItsParkedLive)
{
    Stand& reserved = addStand("S1", 0.0, 20.0);
    parkedOn(reserved, 0x400001, "KLM12");
    addLive(0x400002, "EZY3", SimState::active, 2).setPhase(FlightPhase::parked);  // on no stand
    activeStatic(1, "S1*").standNumber = reserved.number;
    setReservedStand("S9");
    lf_clearReservedStand();
    EXPECT_EQ(liveAircraft[1].state, SimState::active) << "an unknown stand is not stand 0";
    setReservedStand("S1");
    lf_clearReservedStand();
    EXPECT_EQ(staticAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[0].state, SimState::active);
    lf_clearReservedStand();
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
}

}  // namespace
