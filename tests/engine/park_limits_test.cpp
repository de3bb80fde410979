// The limits on parked aircraft, the clock of park times, and the withdrawal of a waiting
// creation by the aircraft's key.
#include "engine/park_limits.hpp"

#include <algorithm>
#include <chrono>

#include "engine/removal.hpp"
#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/parameters.hpp"
#include "foundation/time_slots.hpp"
#include "tests/engine/engine_test_support.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/support/waiting_creations.hpp"

namespace {

using corv_test::EngineTest;

UtcSeconds clockNow = 1'700'000'000;

bool lf_logged(const corv_test::LogCapture& log, const std::string& text)
{
    const std::vector<std::string> lines = log.lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&text](const std::string& line) { return line.find(text) != std::string::npos; });
}
UtcSeconds lf_testClock() { return clockNow; }

class ParkLimitsTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        clockNow = 1'700'000'000;
        Clock clock;
        clock.utcNow = &lf_testClock;
        clock.steadyNow = [] { return SteadyTime{} + std::chrono::seconds(clockNow); };
        gf_setClockForTest(clock);
        initialLoadOnly_ = INITIAL_LOAD_ONLY.value();
        parkTrafficOnly_ = RT_PARKTRAFFIC_ONLY.value();
        INITIAL_LOAD_ONLY.setValue(false);
        RT_PARKTRAFFIC_ONLY.setValue(false);
    }
    void TearDown() override
    {
        INITIAL_LOAD_ONLY.setValue(initialLoadOnly_);
        RT_PARKTRAFFIC_ONLY.setValue(parkTrafficOnly_);
        gf_setShiftedTimeSource(nullptr);
        gf_resetClockForTest();
        EngineTest::TearDown();
    }

    // A live aircraft that came to stand secondsAgo on the program clock.
    static LiveAircraft& parkedLive(std::uint32_t hexid, const std::string& callsign, std::int64_t secondsAgo)
    {
        LiveAircraft& aircraft = addLive(hexid, callsign, SimState::active, hexid - 0x300000);
        aircraft.setPhase(FlightPhase::parked);
        aircraft.parkTime = gf_parkClockNow() - secondsAgo;
        return aircraft;
    }

private:
    bool initialLoadOnly_ = false;
    bool parkTrafficOnly_ = false;
};

// Park times and "now" come from the same steady park clock, so the seconds parked are what
// passed on it, whatever the time shift does to the program clock.
TEST_F(ParkLimitsTest, SecondsParkedAreMeasuredOnTheClockThatSetTheParkTime)
{
    gf_setShiftedTimeSource([] { return static_cast<double>(clockNow - 7200); });
    parkedLive(0x300010, "A", 0);
    parkedLive(0x300011, "B", 0).parkTime = gf_parkClockNow() + 50;  // the clock stepped back
    clockNow += 600;
    parkedLive(0x300012, "C", 120);
    addLive(0x300013, "D", SimState::active).setPhase(FlightPhase::taxi);

    std::vector<ParkedLiveSeconds> parked;
    lf_parkedLiveSeconds(parked);
    ASSERT_EQ(parked.size(), 3u);
    EXPECT_EQ(parked[0], (ParkedLiveSeconds{0x300010, 600}));
    EXPECT_EQ(parked[1], (ParkedLiveSeconds{0x300011, 550}));
    EXPECT_EQ(parked[2], (ParkedLiveSeconds{0x300012, 120}));

    // The shift ends (an empty poll): the program clock jumps two hours, the parked time does not.
    gf_setShiftedTimeSource(nullptr);
    lf_parkedLiveSeconds(parked);
    EXPECT_EQ(parked[0], (ParkedLiveSeconds{0x300010, 600}));
}

TEST_F(ParkLimitsTest, FullParkAirportRemovesTheLiveAircraftParkedLongestAndTheEarliestStatic)
{
    corv_test::LogCapture log;
    wantedParkCount = 5;
    for (std::uint32_t i = 0; i < 5; ++i)
        // Formatted, not "literal" + std::string: GCC 12 at -O3 reports a false -Wrestrict on that.
        parkedLive(0x300020 + i, vald::format("P{}", i), 100 * (i + 1));
    StaticAircraft& later = addStatic(1, "S1*", SimState::active, 91);
    later.parkedSlot = gf_weekSlotValue(WeekdayAndSlot{2, 10});
    StaticAircraft& earlier = addStatic(2, "S2*", SimState::active, 92);
    earlier.parkedSlot = gf_weekSlotValue(WeekdayAndSlot{1, 40});

    lf_checkMaxPark(1);
    EXPECT_EQ(liveAircraft[4].state, SimState::removingfromsim) << "parked 500 s, the longest";
    EXPECT_EQ(earlier.state, SimState::removingfromsim);
    EXPECT_EQ(later.state, SimState::active);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{0x24, 92}));
    EXPECT_TRUE(lf_logged(log, "sid==0? : P4 live max park exceeded, removed"));
    EXPECT_TRUE(lf_logged(log, "sid==?  : S2* static max park exceeded, removed"));
}

TEST_F(ParkLimitsTest, ParkLimitHonoursTheUsersChoices)
{
    wantedParkCount = 5;
    for (std::uint32_t i = 0; i < 5; ++i)
        parkedLive(0x300030 + i, vald::format("P{}", i), 100 * (i + 1));

    INITIAL_LOAD_ONLY.setValue(true);
    lf_checkMaxPark(1);
    EXPECT_TRUE(removalQueue.empty()) << "the first load stays";

    INITIAL_LOAD_ONLY.setValue(false);
    RT_PARKTRAFFIC_ONLY.setValue(true);
    lf_checkMaxPark(1);
    EXPECT_TRUE(removalQueue.empty());

    RT_PARKTRAFFIC_ONLY.setValue(false);
    lf_checkMaxPark(0);
    EXPECT_TRUE(removalQueue.empty()) << "five parked, five wanted";
    wantedParkCount = 0;
    lf_checkMaxPark(3);
    EXPECT_TRUE(removalQueue.empty()) << "nothing planned, nothing limited";
}

TEST_F(ParkLimitsTest, FreeingStandsRemovesTheLongestParkedFirst)
{
    corv_test::LogCapture log;
    parkedLive(0x300040, "A", 60);
    parkedLive(0x300041, "B", 600);
    parkedLive(0x300042, "C", 300);
    lf_removeLiveParked(2);
    EXPECT_EQ(liveAircraft[0].state, SimState::active);
    EXPECT_EQ(liveAircraft[1].state, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[2].state, SimState::removingfromsim);
    EXPECT_TRUE(lf_logged(log, "KLM A320 at sid==0? removed"));
    lf_removeLiveParked(10);
    EXPECT_EQ(liveAircraft[0].state, SimState::removingfromsim);
}

// Two flights with one callsign and different types are two aircraft: withdrawing the creation
// of one must leave the other's request in the queue.
TEST_F(ParkLimitsTest, WithdrawnCreationIsFoundByHexidNotByCallsign)
{
    LiveAircraft& first = addLive(0x300050, "KLM5", SimState::adding2sim);
    LiveAircraft& second = addLive(0x300051, "KLM5", SimState::adding2sim);
    second.identity.type = "B744";
    liveCreationQueue = {request("KLM5", 0x300050), request("KLM5", 0x300051)};

    removeAircraftFromSim(second);
    EXPECT_TRUE(second.dequeued);
    ASSERT_EQ(liveCreationQueue.size(), 1u);
    EXPECT_EQ(liveCreationQueue.front().hexid, 0x300050u);
    EXPECT_FALSE(first.dequeued || first.removeWhenCreated);
}

}  // namespace
