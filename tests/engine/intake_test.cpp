// Which received flights the engine takes: new aircraft, new points of known ones, and the
// reports it passes over.
#include "engine/traffic_intake.hpp"

#include "foundation/parameters.hpp"
#include "tests/engine/engine_test_support.hpp"

namespace {

using corv_test::EngineTest;

constexpr std::uint32_t HEX = 0x484C10;

class IntakeTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        knowTypes();
    }

    static LiveTrafficRecord report(double dataTime, double groundSpeedKt, double altitudeFt = 0.0,
                                    std::uint32_t hexId = HEX, const std::string& callsign = "KLM1",
                                    const std::string& type = "A320")
    {
        LiveTrafficRecord r;
        r.hexId = hexId;
        r.dataTime = dataTime;
        r.flight = flight(callsign, type);
        r.flight.callsign2 = "OLD2";
        r.flight.callsign3 = "OLD3";
        r.flight.coupledSearched = true;
        r.groundSpeedKt = groundSpeedKt;
        r.altitudeFt = altitudeFt;
        r.airborne = altitudeFt > 0.0;
        r.lat = 52.3 + dataTime * 1e-4;
        r.lon = 4.7;
        r.playTick = static_cast<Tick>(dataTime * 100.0);
        return r;
    }

    static std::size_t trackSize() { return liveAircraft.empty() ? 0 : liveAircraft.front().track.size(); }
};

TEST_F(IntakeTest, NewFlightBecomesABufferedAircraftReadyForSpawn)
{
    LiveTrafficRecord first = report(100.0, 150.0, 3000.0);
    first.flight.registration = "PH-BXA";
    dbaseRecords["PH-BXA"] = DbaseRecord{"KLM", "B744", "KLM", false};  // the registration knows better
    lf_handleReceivedFlight(first);

    ASSERT_EQ(liveAircraft.size(), 1u);
    const LiveAircraft& aircraft = liveAircraft.front();
    EXPECT_EQ(aircraft.hexid, HEX);
    EXPECT_EQ(aircraft.identity.type, "B744");
    EXPECT_EQ(aircraft.category, AircraftCategory::Heavy);
    EXPECT_EQ(aircraft.identity.callsign2, "KLM1");
    EXPECT_TRUE(aircraft.identity.callsign3.empty());
    EXPECT_FALSE(aircraft.identity.coupledSearched);
    EXPECT_EQ(aircraft.state, SimState::buffer);
    EXPECT_EQ(aircraft.phase, FlightPhase::birth);
    EXPECT_DOUBLE_EQ(aircraft.recordTime, 100.0);
    EXPECT_EQ(aircraft.currentTurnRate, aircraft.turnRate);
    EXPECT_DOUBLE_EQ(aircraft.maxClimbStep, 0.5);
    EXPECT_DOUBLE_EQ(aircraft.pushSpeed, 3.0);
    ASSERT_EQ(aircraft.track.size(), 1u);
    EXPECT_EQ(aircraft.track.front().playTick, 10000);

    // Unknown types and switched-off categories are passed over.
    lf_handleReceivedFlight(report(100.0, 150.0, 3000.0, HEX + 1, "X1", "ZZZZ"));
    const bool light = LIGHT_AIRCRAFT.value();
    LIGHT_AIRCRAFT.setValue(false);
    aircraftTypes.insert("C172");
    lf_handleReceivedFlight(report(100.0, 90.0, 3000.0, HEX + 2, "PHABC", "C172"));
    LIGHT_AIRCRAFT.setValue(light);
    EXPECT_EQ(liveAircraft.size(), 1u);
}

TEST_F(IntakeTest, KnownFlightTakesOnlyNewerReportsWithoutSpeedJumps)
{
    lf_handleReceivedFlight(report(100.0, 100.0, 3000.0));
    // Not newer by more than a second: the same, older, exactly one second later.
    for (double time : {100.0, 90.0, 101.0})
        lf_handleReceivedFlight(report(time, 100.0, 3000.0));
    EXPECT_EQ(trackSize(), 1u);

    lf_handleReceivedFlight(report(110.0, 1000.0, 3000.0));  // ten times as fast
    EXPECT_EQ(trackSize(), 1u);
    lf_handleReceivedFlight(report(110.0, 105.0, 3000.0));
    EXPECT_EQ(trackSize(), 2u);
    EXPECT_DOUBLE_EQ(liveAircraft.front().recordTime, 110.0);
    EXPECT_EQ(liveAircraft.front().track.back().playTick, 11000);

    // From standing to 85 kt is a jump; from 4 kt to 40 kt is not.
    lf_handleReceivedFlight(report(200.0, 3.0, 0.0, HEX + 1, "KLM2"));
    lf_handleReceivedFlight(report(220.0, 85.0, 0.0, HEX + 1, "KLM2"));
    lf_handleReceivedFlight(report(200.0, 4.0, 0.0, HEX + 2, "KLM3"));
    lf_handleReceivedFlight(report(220.0, 40.0, 0.0, HEX + 2, "KLM3"));
    ASSERT_EQ(liveAircraft.size(), 3u);
    EXPECT_EQ(liveAircraft[1].track.size(), 1u);
    EXPECT_EQ(liveAircraft[2].track.size(), 2u);

    // Nothing more is taken once the aircraft is being removed.
    liveAircraft[2].state = SimState::removingfromsim;
    lf_handleReceivedFlight(report(240.0, 40.0, 0.0, HEX + 2, "KLM3"));
    EXPECT_EQ(liveAircraft[2].track.size(), 2u);
}

TEST_F(IntakeTest, ReportsOnAStraightLineAreThinnedUntilTheAircraftHasMovedFarEnough)
{
    // 200 kt covers 450 m in 4.37 s.
    lf_handleReceivedFlight(report(100.0, 200.0, 5000.0));
    lf_handleReceivedFlight(report(104.0, 200.0, 5000.0));
    EXPECT_EQ(trackSize(), 1u);
    LiveTrafficRecord turning = report(104.0, 200.0, 5000.0);
    turning.trackDeg = 5.0;
    lf_handleReceivedFlight(turning);
    EXPECT_EQ(trackSize(), 2u);
    LiveTrafficRecord later = report(109.0, 200.0, 5000.0);
    later.trackDeg = 5.0;
    lf_handleReceivedFlight(later);
    EXPECT_EQ(trackSize(), 3u);

    // Standing on the ground: one report in 15 s is enough; 3 kt covers 20 m in 13 s.
    lf_handleReceivedFlight(report(100.0, 0.0, 0.0, HEX + 1, "KLM2"));
    lf_handleReceivedFlight(report(114.0, 0.0, 0.0, HEX + 1, "KLM2"));
    lf_handleReceivedFlight(report(116.0, 3.0, 0.0, HEX + 1, "KLM2"));
    lf_handleReceivedFlight(report(130.0, 3.0, 0.0, HEX + 1, "KLM2"));
    EXPECT_EQ(liveAircraft[1].track.size(), 3u);

    // While the track end is being dead-reckoned every report counts.
    liveAircraft[1].trackEndWait = 2;
    lf_handleReceivedFlight(report(132.0, 3.0, 0.0, HEX + 1, "KLM2"));
    EXPECT_EQ(liveAircraft[1].track.size(), 4u);
}

TEST_F(IntakeTest, NewFlightJustAboveTheParkAirportIsTakenForAGroundReport)
{
    EngineHooks hooks;
    hooks.parkAirport = [] { return ParkAirportSnapshot{"EHAM", LatLon{52.3, 4.76}, -11.0}; };
    gf_setEngineHooks(std::move(hooks));

    lf_handleReceivedFlight(report(100.0, 20.0, 39.0, HEX, "KLM1"));
    EXPECT_TRUE(liveAircraft.empty());
    lf_handleReceivedFlight(report(100.0, 20.0, 0.0, HEX + 1, "KLM2"));
    lf_handleReceivedFlight(report(100.0, 140.0, 500.0, HEX + 2, "KLM3"));
    ASSERT_EQ(liveAircraft.size(), 2u);

    // While still in buffer a known flight's report in that band is passed over too.
    lf_handleReceivedFlight(report(110.0, 20.0, 50.0, HEX + 1, "KLM2"));
    EXPECT_EQ(liveAircraft[0].track.size(), 1u);
    liveAircraft[0].state = SimState::active;
    lf_handleReceivedFlight(report(110.0, 20.0, 50.0, HEX + 1, "KLM2"));
    EXPECT_EQ(liveAircraft[0].track.size(), 2u);
}

TEST_F(IntakeTest, SameCallsignAndTypeUnderAnotherHexidIsTheSameFlight)
{
    lf_handleReceivedFlight(report(100.0, 200.0, 5000.0, HEX, "KLM1", "A320"));
    lf_handleReceivedFlight(report(100.0, 200.0, 5000.0, HEX + 1, "KLM1", "A320"));
    EXPECT_EQ(liveAircraft.size(), 1u);
    lf_handleReceivedFlight(report(100.0, 200.0, 5000.0, HEX + 2, "KLM1", "B744"));
    EXPECT_EQ(liveAircraft.size(), 2u);
}

}  // namespace
