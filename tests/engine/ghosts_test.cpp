// Ghosts, static duplicates of live flights, coupled callsigns, the reserved stand, the parked
// live list with its time limits, and the per-second check of new live aircraft.
#include "engine/ghosts.hpp"

#include <algorithm>

#include "engine/park_limits.hpp"
#include "engine/removal.hpp"
#include "foundation/parameters.hpp"
#include "foundation/time_slots.hpp"
#include "tests/engine/stand_test_support.hpp"
#include "tests/foundation/log_capture.hpp"

namespace {

using corv_test::StandTest;

UtcSeconds clockNow = 1'700'000'000;
UtcSeconds lf_testClock() { return clockNow; }

bool logged(const std::vector<std::string>& lines, const std::string& text)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&text](const std::string& line) { return line.find(text) != std::string::npos; });
}

std::uint64_t weekSlot(int weekday, int halfHour) { return gf_weekSlotValue(WeekdayAndSlot{weekday, halfHour}); }

class GhostsTest : public StandTest {
protected:
    void SetUp() override
    {
        StandTest::SetUp();
        clockNow = 1'700'000'000;
        gf_setRealClockForTest(&lf_testClock);
        initialLoadOnly_ = INITIAL_LOAD_ONLY.value();
        INITIAL_LOAD_ONLY.setValue(false);
        parkedLiveList.clear();
    }
    void TearDown() override
    {
        INITIAL_LOAD_ONLY.setValue(initialLoadOnly_);
        gf_setRealClockForTest(nullptr);
        ghostList.clear();
        StandTest::TearDown();
    }

    static StaticAircraft& activeStatic(std::uint32_t hexid, const std::string& callsign, std::uint32_t standNumber)
    {
        StaticAircraft& parked = addStatic(hexid, callsign, SimState::active, 100 + hexid);
        parked.standNumber = standNumber;
        return parked;
    }

private:
    bool initialLoadOnly_ = false;
};

TEST_F(GhostsTest, GhostOfALiveFlightIsRemovedAndRemembered)
{
    corv_test::LogCapture log;
    Stand& stand = addStand("S1", 0.0, 20.0);
    parkedOn(stand, 0x400001, "KLM12_");
    addLive(0x400002, "EZY3_", SimState::active, 2).setPhase(FlightPhase::taxi);
    addLive(0x400003, "BAW1_", SimState::removingfromsim, 3);

    EXPECT_TRUE(lf_hasLiveCallsign("KLM12__"));
    lf_removeGhost("KLM12");
    lf_removeGhost("EZY3");
    lf_removeGhost("BAW1");  // already on its way out
    lf_removeGhost("DLH4");  // no ghost

    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[1].state, SimState::removingfromsim);
    EXPECT_EQ(ghostList, (std::vector<std::string>{"KLM12_", "EZY3_"}));
    EXPECT_EQ(removalQueue.size(), 2U);
    // A flight whose base flight is still live; none once it is being removed.
    addLive(0x400004, "DLH4", SimState::active, 4);
    EXPECT_TRUE(lf_hasLiveCallsign("DLH4_"));
    EXPECT_FALSE(lf_hasLiveCallsign("KLM12__")) << "removing";
    EXPECT_FALSE(lf_hasLiveCallsign(""));
    const std::vector<std::string> lines = log.lines();
    EXPECT_TRUE(logged(lines, "S1      : KLM12_   is a ghost and will be removed, continue with KLM12"));
    EXPECT_TRUE(logged(lines, "          EZY3_    is a ghost and will be removed, continue with EZY3"));
}

TEST_F(GhostsTest, FirstStaticOfTheSameFlightIsRemovedOnePerCall)
{
    corv_test::LogCapture log;
    addStand("S1", 0.0, 20.0);
    LiveAircraft& live = addLive(0x400001, "KLM12", SimState::active, 1);
    live.identity.registration = "PH-BXA";
    StaticAircraft& waiting = addStatic(1, "KLM12*", SimState::adding2sim);
    waiting.sourceFlag = 0;
    waiting.sourceKey = 0x400001;
    StaticAircraft& sameHexidOld = activeStatic(2, "XYZ*", 1);
    sameHexidOld.sourceKey = 0x400001;  // planned from the week data: sourceFlag stays 1
    activeStatic(3, "TRA5*", 1).identity.registration = "PH-BXA";
    activeStatic(4, "KLM11*", 1).identity.callsign2 = "KLM12";
    activeStatic(5, "KLM13*", 1).identity.callsign3 = "KLM12";

    lf_removeStaticDuplicates(live, true);
    EXPECT_EQ(staticAircraft[1].state, SimState::active);
    EXPECT_EQ(staticAircraft[2].state, SimState::removingfromsim);
    EXPECT_EQ(staticAircraft[3].state, SimState::active) << "one per call";
    lf_removeStaticDuplicates(live, false);
    EXPECT_EQ(staticAircraft[3].state, SimState::removingfromsim);
    EXPECT_EQ(staticAircraft[4].state, SimState::active);

    // A ghost finds the static of its base flight through the coupled callsigns.
    live.identity.callsign = "KLM12_";
    live.identity.registration.clear();
    lf_removeStaticDuplicates(live, false);
    EXPECT_EQ(staticAircraft[4].state, SimState::removingfromsim);
    // Planned from the parked traffic with this hexid.
    activeStatic(6, "ABC*", 1).sourceFlag = 0;
    staticAircraft.back().sourceKey = 0x400001;
    live.identity.callsign.clear();
    lf_removeStaticDuplicates(live, false);
    EXPECT_EQ(staticAircraft.back().state, SimState::active) << "no callsign, no check";
    live.identity.callsign = "KLM12";
    lf_removeStaticDuplicates(live, true);
    EXPECT_EQ(staticAircraft.back().state, SimState::removingfromsim);

    const std::vector<std::string> lines = log.lines();
    EXPECT_TRUE(logged(lines, "S1      : TRA5*    PH-BXA removed, new on ground 'KLM12' has same regcode PH-BXA"));
    EXPECT_TRUE(logged(lines, "S1      : KLM11*   'KLM12' '' removed, new airborne KLM12 '' '' has same callsign"));
    EXPECT_TRUE(logged(lines, "has coupled callsign"));
    EXPECT_TRUE(logged(lines, "S1      : ABC*     removed, new on ground 'KLM12' has same hexid"));
}

TEST_F(GhostsTest, CoupledCallsignsComeFromAnOptionOfTheAirlineWithinTheWindow)
{
    Stand& stand = addStand("S1", 0.0, 20.0);
    stand.options.push_back(corv_test::StandTest::optionFor("KLM641", "KLM642", 3, 1ULL << 19));
    const auto search = [](const std::string& callsign, AircraftCategory category, std::uint64_t slot) {
        LiveAircraft& live = addLive(0x400001, callsign, SimState::active, 1);
        live.category = category;
        lf_searchForCoupledCsAroundThisTime(slot, live);
        const std::string found = live.identity.callsign2 + "/" + live.identity.callsign3;
        liveAircraft.clear();
        return found;
    };
    // Half-hour 5: a Heavy looks at 0..19, any other aircraft at 0..15.
    EXPECT_EQ(search("KLM642", AircraftCategory::Heavy, weekSlot(3, 5)), "KLM641/KLM642");
    EXPECT_EQ(search("KLM642", AircraftCategory::Large, weekSlot(3, 5)), "/");
    EXPECT_EQ(search("KLM641_", AircraftCategory::Large, weekSlot(3, 20)), "KLM641/KLM642");
    EXPECT_EQ(search("KLM641", AircraftCategory::Large, weekSlot(4, 20)), "/") << "another day";
    EXPECT_EQ(search("KLM643", AircraftCategory::Large, weekSlot(3, 20)), "/");
    stand.options.front().airline = "TRA";
    EXPECT_EQ(search("KLM641", AircraftCategory::Large, weekSlot(3, 20)), "/") << "another airline";
    stand.options.front().airline = "KLM";
    stand.options.front().callsignSuffix.clear();
    EXPECT_EQ(search("KLM641", AircraftCategory::Large, weekSlot(3, 20)), "/") << "no coupled callsign";
}

// Park times are set and read on the program clock: 91 minutes on it are 91 minutes parked.
TEST_F(GhostsTest, ParkedLiveAircraftStay90MinutesAndAHeavy180)
{
    Stand& stand = addStand("S1", 0.0, 20.0);
    const auto parkedFor = [&stand](std::uint32_t hexid, const std::string& callsign, AircraftCategory category,
                                    std::int64_t minutes) -> LiveAircraft& {
        LiveAircraft& aircraft = parkedOn(stand, hexid, callsign);
        aircraft.category = category;
        aircraft.parkTime = gf_parkClockNow() - minutes * 60;
        return aircraft;
    };
    parkedFor(0x400001, "LONG", AircraftCategory::Large, 91);
    parkedFor(0x400002, "SHORT", AircraftCategory::Large, 89);
    parkedFor(0x400003, "HEAVY1", AircraftCategory::Heavy, 179);
    parkedFor(0x400004, "HEAVY2", AircraftCategory::Heavy, 181);
    parkedFor(0x400005, "LEAVING", AircraftCategory::Large, 300).leaveStand = true;
    addLive(0x400006, "TAXI", SimState::active, 6).setPhase(FlightPhase::taxi);

    INITIAL_LOAD_ONLY.setValue(true);
    lf_collectParkedLive();
    EXPECT_EQ(parkedLiveList.size(), 5U) << "nobody leaves for the time with the initial load only";
    EXPECT_TRUE(removalQueue.empty());

    INITIAL_LOAD_ONLY.setValue(false);
    lf_collectParkedLive();
    std::vector<std::pair<std::string, std::uint32_t>> listed;
    for (const ParkedLiveEntry& entry : parkedLiveList) {
        listed.emplace_back(entry.callsign, entry.parkedMinutes);
        EXPECT_EQ(entry.standNumber, stand.number);
    }
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::uint32_t>>{
                          {"LEAVING", 0}, {"SHORT", 89}, {"HEAVY1", 179}}));
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[3].state, SimState::removingfromsim);

    clockNow += 2 * 60;
    lf_collectParkedLive();
    EXPECT_EQ(parkedLiveList.size(), 1U) << "SHORT and HEAVY1 have passed their limits";
}

TEST_F(GhostsTest, ReservedStandIsClearedOfTheStaticFirstThenOfTheParkedLive)
{
    addStand("S1", 0.0, 20.0);
    Stand& reserved = addStand("S2", 50.0, 20.0);
    parkedOn(reserved, 0x400001, "KLM12");
    LiveAircraft& wanderer = addLive(0x400002, "EZY3", SimState::active, 2);
    wanderer.setPhase(FlightPhase::parked);  // parked without a stand number
    activeStatic(1, "S1*", 1);
    activeStatic(2, "S2*", 2);

    lf_clearReservedStand();
    EXPECT_EQ(staticAircraft[1].state, SimState::active) << "no reserved stand";
    setReservedStand("S9");
    lf_clearReservedStand();
    EXPECT_EQ(wanderer.state, SimState::active) << "an unknown stand is no stand 0";

    setReservedStand("S2");
    lf_clearReservedStand();
    EXPECT_EQ(staticAircraft[0].state, SimState::active);
    EXPECT_EQ(staticAircraft[1].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[0].state, SimState::active);
    lf_clearReservedStand();
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
}

TEST_F(GhostsTest, NewLiveAircraftAreCheckedOneASecondAndAGoneOneHoldsNobodyUp)
{
    addStand("S1", 0.0, 20.0).options.push_back(corv_test::StandTest::optionFor("KLM641", "KLM642", 3, 1ULL << 20));
    LiveAircraft& live = addLive(0x400002, "KLM642", SimState::active, 2);
    live.onGround = true;
    StaticAircraft& weekStatic = activeStatic(1, "KLM641*", 1);
    weekStatic.identity.callsign2 = "KLM641";
    weekStatic.identity.callsign3 = "KLM642";
    coupledCallsignQueue = {0x400001, 0x400002};  // the first was erased meanwhile

    lf_checkNewLiveAircraft(weekSlot(3, 20));
    EXPECT_EQ(coupledCallsignQueue.size(), 1U);
    lf_checkNewLiveAircraft(weekSlot(3, 20));
    EXPECT_TRUE(coupledCallsignQueue.empty());
    EXPECT_EQ(live.identity.callsign2, "KLM641");
    EXPECT_TRUE(live.identity.coupledSearched);
    EXPECT_EQ(staticAircraft[0].state, SimState::removingfromsim) << "the static of the coupled flight";
}

}  // namespace
