// New identity data of a known flight: taken in buffer; for an aircraft in the simulator a new
// callsign, route or airframe removes it and creates it again where it is, when GUID_CHANGES
// allows it.
#include <algorithm>
#include <cmath>
#include <string>

#include "engine/motion_math.hpp"
#include "engine/respawn_check.hpp"
#include "foundation/format.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/spawn_support.hpp"
#include "tests/engine/traffic_script.hpp"
#include "tests/support/waiting_creations.hpp"

namespace {

using corv_test::EngineHarness;
using corv_test::SpawnTest;

class RespawnTest : public SpawnTest {
protected:
    static LiveTrafficRecord report(const std::string& callsign, const std::string& origin = "",
                                    const std::string& destination = "", const std::string& registration = "")
    {
        LiveTrafficRecord record;
        record.flight.callsign = callsign;
        record.flight.origin = origin;
        record.flight.destination = destination;
        record.flight.registration = registration;
        return record;
    }

    static LiveAircraft& flying(std::uint32_t hexid, const std::string& callsign)
    {
        LiveAircraft& aircraft = addLive(hexid, callsign, SimState::active, hexid % 100);
        aircraft.phase = FlightPhase::flying;
        aircraft.identity.origin = "AMS";
        aircraft.identity.destination = "LHR";
        aircraft.liveryTitle = "KLM A320 livery";
        aircraft.simPosition.lat = 52.5;
        aircraft.simPosition.lon = 4.5;
        aircraft.simPosition.heading = 2.0;
        return aircraft;
    }

    // The flight in the simulator, its callsign changing at changeAfter seconds of data time.
    static std::vector<const corv_test::SimObject*> runCallsignChange(EngineHarness& harness, double start)
    {
        corv_test::FlightScript script = corv_test::gf_straightFlight(0x4840A1, "KLM601", "A320", LatLon{52.2, 4.7},
                                                                      250.0, 3000.0, start - 40.0, start + 30.0);
        std::vector<LiveTrafficRecord> reports = corv_test::gf_scriptReports(script);
        for (LiveTrafficRecord& record : reports)
            if (record.dataTime > start + 5.0)
                record.flight.callsign = "KLM9";
        harness.addReports(reports);
        harness.run(2000);
        std::vector<const corv_test::SimObject*> objects;
        for (const auto& [objectId, object] : harness.objects())
            objects.push_back(&object);
        return objects;
    }
};

TEST_F(RespawnTest, NewCallsignRecreatesTheAircraftWhereItIsWithGuidChangesOn)
{
    corv_test::HarnessOptions options;
    EngineHarness harness(options);
    GUID_CHANGES.setValue(true);
    const std::vector<const corv_test::SimObject*> objects = runCallsignChange(harness, options.startDataTime);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]->tailNumber, "KLM601");
    EXPECT_GE(objects[0]->removedTick, 0);
    EXPECT_EQ(objects[1]->tailNumber, "KLM9");
    EXPECT_EQ(objects[1]->title, objects[0]->title) << "the livery stays";
    EXPECT_LT(objects[1]->removedTick, 0);
    EXPECT_DOUBLE_EQ(objects[1]->created.heading, objects[0]->created.heading) << "it keeps its heading";
    EXPECT_NEAR(objects[1]->created.latitude, objects[0]->positions.back().second.lat, 1e-9);
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].state, SimState::active);
    EXPECT_EQ(liveAircraft[0].objectId, objects[1]->objectId);
}

TEST_F(RespawnTest, NewCallsignIsTakenInPlaceWithGuidChangesOff)
{
    corv_test::HarnessOptions options;
    EngineHarness harness(options);
    GUID_CHANGES.setValue(false);
    const std::vector<const corv_test::SimObject*> objects = runCallsignChange(harness, options.startDataTime);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_LT(objects[0]->removedTick, 0);
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].identity.callsign, "KLM9");
}

TEST_F(RespawnTest, RouteChangeRespawnsAndAnUnchangedRecordIsTaken)
{
    LiveAircraft& aircraft = flying(0x500011, "KLM1");
    EXPECT_TRUE(lf_respawnCheck(aircraft, report("KLM1", "AMS", "LHR")));
    EXPECT_TRUE(lf_respawnCheck(aircraft, report("KLM1", "", "")));
    EXPECT_TRUE(removalQueue.empty());

    EXPECT_FALSE(lf_respawnCheck(aircraft, report("KLM1", "CDG", "FRA")));
    EXPECT_EQ(aircraft.identity.origin, "CDG");
    EXPECT_EQ(aircraft.identity.destination, "FRA");
    EXPECT_EQ(aircraft.state, SimState::liveryrespawn);
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{aircraft.objectId}));
    ASSERT_TRUE(aircraft.keptHeading);
    EXPECT_DOUBLE_EQ(*aircraft.keptHeading, 2.0);
    EXPECT_DOUBLE_EQ(aircraft.track.front().lat, 52.5) << "reborn where it is";
    EXPECT_EQ(aircraft.track.front().playTick, tickCounter.load() + 1);

    // One end of the route only fills what is missing, and that is a change too.
    LiveAircraft& noRoute = flying(0x500012, "KLM2");
    noRoute.identity.destination.clear();
    GUID_CHANGES.setValue(false);
    EXPECT_TRUE(lf_respawnCheck(noRoute, report("KLM2", "AMS", "BCN")));
    EXPECT_EQ(noRoute.identity.destination, "BCN");
    EXPECT_EQ(noRoute.state, SimState::active) << "GUID_CHANGES off";
}

TEST_F(RespawnTest, NewAirframeOfAnotherAirlineChangesTheLiveryAndASameAirlineOneDoesNot)
{
    dbaseRecords["D-AIAB"] = DbaseRecord{"DLH", "A320", "", false};
    LiveAircraft& aircraft = flying(0x500011, "KLM1");
    gf_rememberLivery(0x500011, "KLM A320 livery");
    // Parked on a stand, which it leaves: it chooses a stand again when it is made anew.
    Stand& stand = parkStands.emplace_back(std::vector<StandOption>{}, "A1", Stand::Place{52.5, 4.5, 0.0}, 30.0,
                                           false, false, false);
    stand.number = 1;
    stand.occupied = 1;
    aircraft.standNumber = 1;
    aircraft.phase = FlightPhase::parked;
    EXPECT_FALSE(lf_respawnCheck(aircraft, report("KLM1", "AMS", "LHR", "D-AIAB")));
    EXPECT_EQ(aircraft.identity.airline, "DLH");
    EXPECT_EQ(aircraft.identity.registration, "D-AIAB");
    EXPECT_TRUE(aircraft.liveryTitle.empty());
    EXPECT_TRUE(gf_rememberedLivery(0x500011).empty());
    EXPECT_EQ(aircraft.phase, FlightPhase::birth) << "the next spawn chooses a livery again";
    EXPECT_EQ(aircraft.state, SimState::liveryrespawn);
    EXPECT_EQ(stand.occupied, 0);
    EXPECT_EQ(aircraft.standNumber, 0U);

    LiveAircraft& same = flying(0x500012, "KLM2");
    same.identity.registration = "PH-BXA";
    EXPECT_TRUE(lf_respawnCheck(same, report("KLM2", "AMS", "LHR", "PH-BXB")));
    EXPECT_EQ(same.identity.registration, "PH-BXB");
    EXPECT_EQ(same.liveryTitle, "KLM A320 livery");
    // A callsign equal to the registration is no new callsign.
    EXPECT_TRUE(lf_respawnCheck(same, report("PH-BXB", "AMS", "LHR", "PH-BXB")));
    EXPECT_EQ(same.identity.callsign, "KLM2");
    EXPECT_EQ(same.state, SimState::active);
}

// With GUID_CHANGES off a southbound taxiing flight that turns out to be another airline's
// airframe is not recreated: it keeps its livery and its phase and taxis on without a turn.
TEST_F(RespawnTest, ANewAirframeWithGuidChangesOffTaxisOnAsItIsShown)
{
    corv_test::HarnessOptions options;
    EngineHarness harness(options);
    GUID_CHANGES.setValue(false);
    dbaseRecords["D-AIAB"] = DbaseRecord{"DLH", "A320", "", false};
    const double start = options.startDataTime;
    std::vector<LiveTrafficRecord> reports = corv_test::gf_scriptReports(
        corv_test::gf_straightFlight(0x4840A2, "KLM602", "A320", LatLon{52.2, 4.7}, 15.0, 0.0, start - 40.0, start + 40.0));
    for (LiveTrafficRecord& record : reports) {
        record.lat = 2.0 * 52.2 - record.lat;  // southbound
        record.trackDeg = 180.0;
        if (record.dataTime > start + 5.0)
            record.flight.registration = "D-AIAB";
    }
    harness.addReports(reports);
    harness.run(7000);

    ASSERT_EQ(harness.objects().size(), 1u);
    const corv_test::SimObject& object = harness.objects().begin()->second;
    EXPECT_LT(object.removedTick, 0);
    ASSERT_GT(object.positions.size(), 5000u);
    double largestTurn = 0.0;
    for (std::size_t i = 1; i < object.positions.size(); ++i)
        largestTurn = std::max(largestTurn, std::fabs(gf_wrapPi(object.positions[i].second.heading -
                                                                 object.positions[i - 1].second.heading)));
    EXPECT_LT(largestTurn * RAD_TO_DEG, 1.0);
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].identity.registration, "D-AIAB");
    EXPECT_EQ(liveAircraft[0].phase, FlightPhase::taxi);
    EXPECT_EQ(liveAircraft[0].liveryTitle, object.title);
}

// With 120 newcomers waiting to be created, renamed flights respawn at once, two away at a time:
// a respawn's creation goes ahead of theirs, and the third starts within a second of one's return.
TEST_F(RespawnTest, RenamedFlightsRespawnAheadOfNewcomersTwoAtATime)
{
    GUID_CHANGES.setValue(true);
    for (std::uint32_t i = 0; i < 120; ++i)
        liveCreationQueue.push_back(request("NEW", 0x600000 + i));
    LiveAircraft* renamed[] = {&flying(0x500021, "KLM20"), &flying(0x500022, "KLM21"), &flying(0x500023, "KLM22")};
    for (LiveAircraft* aircraft : renamed) {
        aircraft->track.front().playTick = 100000;  // it flies on quietly meanwhile
        static_cast<void>(lf_respawnCheck(*aircraft, report(aircraft->identity.callsign + "0")));
    }
    EXPECT_EQ(removalQueue.size(), 2u);
    gf_pushSimResult(SimResult{renamed[0]->objectId, 0, 0, SIM_RESULT_OBJECT_REMOVED, 0.0, 0.0});
    const auto run = [](int ticks) { while (ticks-- > 0) lf_handleAddingStack(); };
    run(100);
    EXPECT_EQ(sentToSimulator().creations[1].tailNumber, "KLM200") << "the next slot, ahead of 119 newcomers";
    EXPECT_EQ(renamed[2]->state, SimState::active);
    renamed[0]->identity.destination.clear();  // no flight plan to write
    gf_pushSimResult(SimResult{1000, renamed[0]->hexid, 0, SIM_RESULT_LIVE_CREATED, 0.0, 0.0});
    run(100);
    EXPECT_EQ(renamed[2]->state, SimState::liveryrespawn) << "without a record of its own";
    EXPECT_EQ(sentToSimulator().creations[2].hexid, 0x600001u) << "the newcomers follow";
}

// Renamed onto another airline's airframe while waiting to be created, with GUID_CHANGES on: a
// queued request takes the new name and livery in its place; once sent, the aircraft respawns
// once, as soon as it is shown. With it off a waiting creation goes as it was placed.
TEST_F(RespawnTest, ACreationStillWaitingTakesTheNewIdentityAndOneAlreadySentRespawnsOnceShown)
{
    GUID_CHANGES.setValue(true);
    dbaseRecords["D-AIAB"] = DbaseRecord{"DLH", "A320", "", false};
    giveLivery("DLH", "A320", "DLH A320 livery");
    LiveAircraft* waiting[] = {&addLive(0x500031, "KLM31", SimState::adding2sim),
                               &addLive(0x500032, "KLM32", SimState::adding2sim),  // not renamed
                               &addLive(0x500033, "KLM33", SimState::adding2sim, 33)};  // sent
    liveCreationQueue = {request("NEW", 0x600000), request("KLM31", 0x500031), request("KLM32", 0x500032)};
    for (LiveAircraft* aircraft : {waiting[0], waiting[2]})
        EXPECT_TRUE(lf_respawnCheck(*aircraft, report(aircraft->identity.callsign + "0", "", "", "D-AIAB")));
    ASSERT_EQ(liveCreationQueue.size(), 3u);
    EXPECT_EQ(liveCreationQueue[1].tailNumber + " " + liveCreationQueue[1].liveryTitle, "KLM310 DLH A320 livery");
    EXPECT_EQ(liveCreationQueue[2].tailNumber + " " + liveCreationQueue[2].liveryTitle, "KLM32 ");
    for (int shown = 0; shown < 2; ++shown) {  // as it was asked for, then made again
        waiting[2]->state = SimState::active;
        lf_startDueRespawns();
        EXPECT_TRUE(lf_respawnCheck(*waiting[2], report("KLM330", "", "", "D-AIAB")));
    }
    EXPECT_EQ(removalQueue, (std::deque<std::uint32_t>{33})) << "it respawned once";

    // Off: no new livery, the queued request not renamed, and none withdrawn for want of a livery
    // for the new airframe (a Boeing nobody has one of), queued or still on the adding stack.
    GUID_CHANGES.setValue(false);
    dbaseRecords["N-BOEING"] = DbaseRecord{"XYZ", "B738", "", false};
    LiveAircraft* placed[] = {&addLive(0x500034, "KLM34", SimState::adding2sim),
                              &addLive(0x500035, "KLM35", SimState::adding2sim)};
    liveCreationQueue = {request("KLM34", 0x500034)};
    liveCreationQueue.back().liveryTitle = "KLM A320 livery";
    addingStack = {0x500035};
    for (LiveAircraft* aircraft : placed) {
        aircraft->liveryTitle = "KLM A320 livery";
        EXPECT_TRUE(lf_respawnCheck(*aircraft, report(aircraft->identity.callsign + "0", "", "", "N-BOEING")));
        EXPECT_EQ(aircraft->liveryTitle + (aircraft->skip ? " skip" : ""), "KLM A320 livery");
    }
    ASSERT_EQ(liveCreationQueue.size(), 1u);
    EXPECT_EQ(liveCreationQueue[0].tailNumber + " " + liveCreationQueue[0].liveryTitle, "KLM34 KLM A320 livery");
    EXPECT_EQ(addingStack, (std::vector<std::uint32_t>{0x500035}));
    EXPECT_EQ(removalQueue.size(), 1u);
}

TEST_F(RespawnTest, GhostCallsignIsRefusedWhileItsFlightIsLiveAndBufferTakesNewStrings)
{
    flying(0x500011, "KLM1");
    LiveAircraft& other = flying(0x500012, "KLM2");
    EXPECT_FALSE(lf_respawnCheck(other, report("KLM1_", "AMS", "LHR")));
    EXPECT_EQ(other.identity.callsign, "KLM2");
    EXPECT_EQ(other.state, SimState::active);

    LiveAircraft& waiting = addLive(0x500013, "KLM3", SimState::buffer);
    EXPECT_TRUE(lf_respawnCheck(waiting, report("KLM33", "AMS", "", "PH-AAA")));
    EXPECT_EQ(waiting.identity.callsign, "KLM33");
    EXPECT_EQ(waiting.identity.origin, "AMS");
    EXPECT_EQ(waiting.identity.registration, "PH-AAA");
    EXPECT_TRUE(removalQueue.empty());
}

}  // namespace
