// The simulator's messages, built by hand and handed to the dispatch as the client thread would:
// the open reply and its checks, objects added and removed, the matching of created aircraft,
// refused creations, foreign aircraft, and the replies about the user aircraft.
#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/geodesy.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "foundation/user_error.hpp"
#include "platform/control_model.hpp"
#include "foundation/status_display.hpp"
#include "refdata/dbase.hpp"
#include "simlink/sim_dispatch.hpp"
#include "simlink/sim_flush.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/simlink_hooks.hpp"
#include "simlink/user_stand.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/simlink/simclient_test_support.hpp"

namespace corv_test {
namespace {

constexpr std::uint32_t USER_OBJECT = 1;

Bytes openMessage(const std::string& name, std::uint32_t major, std::uint32_t minor = 0)
{
    ByteWriter body;
    body.text(name, 256).u32(major).u32(minor).u32(17).u32(28160).u32(5).u32(3).u32(0).u32(0);
    return simMessage(2, body.bytes());
}

Bytes eventMessage(std::uint32_t eventId, std::uint32_t data)
{
    return simMessage(4, ByteWriter().u32(301).u32(eventId).u32(data).bytes());
}

Bytes objectEvent(std::uint32_t eventId, std::uint32_t objectId, std::uint32_t objectType = 2)
{
    return simMessage(5, ByteWriter().u32(0).u32(eventId).u32(objectId).u32(objectType).bytes());
}

Bytes exceptionMessage(std::uint32_t code, std::uint32_t sendId, std::uint32_t index = 1)
{
    return simMessage(1, ByteWriter().u32(code).u32(sendId).u32(index).bytes());
}

// A reply to the aircraft-in-range request.
Bytes inRange(std::uint32_t objectId, const std::string& atcId, double heightFt, std::int64_t onGround = 1,
              double groundAltFt = -11.0, std::uint32_t requestId = 101)
{
    const Bytes data = ByteWriter().f64(heightFt).f64(groundAltFt).i64(onGround).text(atcId, 32).bytes();
    return objectData(9, requestId, objectId, data);
}

Bytes userPosition(double lat, double lon, double altitudeFt = 100.0, std::uint32_t objectId = USER_OBJECT,
                   double groundSpeedKt = 0.0)
{
    ByteWriter data;
    data.f64(lat).f64(lon).f64(0.01).f64(0.0).f64(4.2).f64(altitudeFt).f64(3.0).f64(groundSpeedKt);
    data.i64(3600).i64(60).i64(2024).i64(3);
    return objectData(8, 109, objectId, data.bytes());
}

Bytes textReply(std::uint32_t requestId, const std::string& text)
{
    return objectData(8, requestId, USER_OBJECT, ByteWriter().text(text, text.size() + 4).bytes());
}

std::vector<QueuedClientEvent> queuedEvents()
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    return gf_simSendQueues().clientEvents;
}

std::string userErrorOf(const Bytes& message)
{
    try {
        dispatch(message);
    } catch (const vald::UserErrorException& e) {
        return e.what();
    }
    return "no user error";
}

class SimDispatchTest : public SimClientTest {};

TEST_F(SimDispatchTest, OpenReplyShowsTheFilteredNameAndChecksTheSimulator)
{
    dispatch(openMessage("Lockheed Martin\xC2\xAE Prepar3D\xC2\xAE v5", 5, 3));
    const vald::StatusDisplayValues shown = vald::gf_displaySnapshot();
    EXPECT_TRUE(shown.simConnected);
    EXPECT_EQ(shown.simText, "Lockheed Martin Prepar3D v5 (5.3.17.28160)");
    EXPECT_EQ(window->clears, 1);

    // A v6 simulator is accepted when the installation path says v6, whatever version was stored.
    SIM_INSTALL_PATH.setValue("D:\\Prepar3D V6");
    EXPECT_EQ(userErrorOf(openMessage("Lockheed Martin Prepar3D v6", 6)), "no user error");

    // Neither the path nor the stored version agree: the install path field opens for a correction.
    vald::gf_controls().create(ALL_INSTALL_PATH.controlId(), vald::ControlKind::Edit);
    SIM_INSTALL_PATH.setValue("C:\\Prepar3D v5");
    EXPECT_EQ(userErrorOf(openMessage("Lockheed Martin Prepar3D v6", 6)),
              "78: wrong P3D version 'Lockheed Martin Prepar3D v6 (6.0.17.28160)' connects ... ?)");
    EXPECT_TRUE(vald::gf_controls().enabled(ALL_INSTALL_PATH.controlId()));

    EXPECT_EQ(userErrorOf(openMessage("Kitty-Hawk", 1)), "78: KittyHawk, (MSFS) not being P3D connects ... ?");
    EXPECT_EQ(gf_filteredSimName("\xFF\x80\t3D"), "\t3D");
}

TEST_F(SimDispatchTest, CreatedAircraftAreMatchedByTheirAtcIdAndFrozen)
{
    userObjectId.store(USER_OBJECT);
    gf_pendingCreations() = {{7, 4660, "KLM12*"}, {8, 10001, "KLM1234"}, {9, 10000, "AFR1*"}, {10, 20000, "KLM1234"}};
    for (const std::uint32_t objectId : {100u, 101u, 102u, USER_OBJECT})
        dispatch(objectEvent(202, objectId));

    dispatch(inRange(101, "KLM1234", 1.5, 1));
    dispatch(inRange(102, "AFR1*", 0.0, 1));
    std::vector<SimResult> results = drainResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].kind, SIM_RESULT_LIVE_CREATED);
    EXPECT_EQ(results[0].objectId, 101u);
    EXPECT_EQ(results[0].hexid, 10001u);  // the first of two pending with that callsign
    EXPECT_EQ(results[0].value2, 1.5);
    EXPECT_EQ(results[1].kind, SIM_RESULT_STATIC_CREATED);
    EXPECT_EQ(results[1].hexid, 10000u);

    const std::vector<QueuedClientEvent> events = queuedEvents();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].objectId, 101u);
    EXPECT_EQ(events[0].eventId, FREEZE_LATITUDE_LONGITUDE_SET);
    EXPECT_EQ(events[1].eventId, FREEZE_ALTITUDE_SET);
    EXPECT_EQ(events[2].eventId, FREEZE_ATTITUDE_SET);
    EXPECT_EQ(events[2].data, 1u);
    EXPECT_EQ(events[3].objectId, 102u);

    std::vector<std::uint32_t> pendingHexids;
    for (const PendingCreation& entry : gf_pendingCreations())
        pendingHexids.push_back(entry.hexid);
    EXPECT_EQ(pendingHexids, (std::vector<std::uint32_t>{4660, 20000}));
}

TEST_F(SimDispatchTest, AnnouncedObjectOfSomeoneElseIsOnlyLoggedOnceThenSeenAsForeign)
{
    LogCapture log;
    userObjectId.store(USER_OBJECT);
    gf_pendingCreations() = {{8, 10001, "KLM1234"}};
    dispatch(objectEvent(202, 100));
    dispatch(inRange(100, "DLH9", 12.0, 0, 30.0));
    EXPECT_TRUE(drainResults().empty());
    EXPECT_EQ(gf_pendingCreations().size(), 1u);

    dispatch(inRange(100, "DLH9", 12.0, 0, 30.0));
    const std::vector<SimResult> results = drainResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].kind, SIM_RESULT_FOREIGN_NEAR_GROUND);
    EXPECT_EQ(results[0].hexid, 0u);  // its SIM ON GROUND
    EXPECT_EQ(results[0].value1, 30.0);
    EXPECT_EQ(results[0].value2, 12.0);
    const std::vector<std::string> lines = log.lines();
    EXPECT_EQ(lines, (std::vector<std::string>{"just spawned, but not by Corv_P3D, oid: 100, callsign 'DLH9', "
                                               "altaboveGnd:12 ft, onground:0, gnd_alt:30 ft"}));
}

TEST_F(SimDispatchTest, ForeignAircraftAreReportedUpTo2500FeetWithAnAtcIdNotEndingInStar)
{
    userObjectId.store(USER_OBJECT);
    dispatch(inRange(200, "PHABC", 2500.0, 0, 12.0));
    dispatch(inRange(201, "PHABD", 2500.5));
    dispatch(inRange(202, "KLM12*", 0.0));
    dispatch(inRange(203, "", 0.0));
    dispatch(inRange(USER_OBJECT, "PH-SIM", 0.0));
    dispatch(inRange(204, "PHABE", 0.0, 1, 0.0, 102));  // another request
    const std::vector<SimResult> results = drainResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].objectId, 200u);
    EXPECT_EQ(results[0].kind, SIM_RESULT_FOREIGN_NEAR_GROUND);
}

TEST_F(SimDispatchTest, RemovedAircraftAreReportedEvenAtOrBelowTheUserObject)
{
    userObjectId.store(5);
    dispatch(objectEvent(203, 3));
    dispatch(objectEvent(203, 150, 3));  // not an aircraft
    dispatch(objectEvent(202, 4));       // not announced: at or below the user object
    dispatch(inRange(6, "X", 0.0));      // so object 6 was never announced either
    const std::vector<SimResult> results = drainResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].kind, SIM_RESULT_OBJECT_REMOVED);
    EXPECT_EQ(results[0].objectId, 3u);
    EXPECT_EQ(results[1].kind, SIM_RESULT_FOREIGN_NEAR_GROUND);
}

TEST_F(SimDispatchTest, RefusedCreationIsReportedForItsSendId)
{
    gf_pendingCreations() = {{7, 4660, "A*"}, {8, 10001, "B"}, {9, 0, "C*"}, {10, 10002, "D"}};
    dispatch(exceptionMessage(22, 8));
    dispatch(exceptionMessage(22, 99));  // not ours
    dispatch(exceptionMessage(22, 9));   // ours, but without an aircraft number
    dispatch(exceptionMessage(11, 10));  // no room for another object: not the title's fault
    const std::vector<SimResult> results = drainResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].kind, SIM_RESULT_CREATION_FAILED);
    EXPECT_EQ(results[0].hexid, 10001u);
    EXPECT_EQ(results[0].objectId, 0u);
    EXPECT_EQ(results[0].value1, CREATION_TITLE_REFUSED);
    EXPECT_EQ(results[1].kind, SIM_RESULT_CREATION_FAILED);
    EXPECT_EQ(results[1].hexid, 10002u);
    EXPECT_EQ(results[1].value1, CREATION_SIMULATOR_FULL);
    ASSERT_EQ(gf_pendingCreations().size(), 1u);
    EXPECT_EQ(gf_pendingCreations()[0].sendId, 7u);
}

// Objects are matched to creations by tail number only, the oldest unanswered first, pending or
// given up: with three creations of one flight given up, its late object is taken as the first,
// and each refusal that comes after all still reaches the engine, the object passed on to the next
// one under its send id; a flight with one creation given up is answered once. Of two flights with
// one callsign, the object passes from the first, refused, to the second, unless the simulator
// removed it before the refusal: then nothing is passed on and the second creation is answered by
// an object of its own; an object taken as a
// creation given up before the flight's pending one leaves that one pending, whose refusal still
// reaches the engine, and refused itself passes on to it, answered in time.
TEST_F(SimDispatchTest, LateRefusalsOfAFlightWithSeveralCreationsGivenUpEachReachTheEngine)
{
    userObjectId.store(USER_OBJECT);
    gf_pendingCreations() = {{7, 0x484C5A, "KLM7"}, {8, 0x484C5A, "KLM7"}, {9, 0x484C5A, "KLM7"}, {10, 0x484C5B, "KLM8"}};
    gf_ageOutPendingCreations(gf_steadyNow());
    ASSERT_EQ(drainResults().size(), 4u);
    const auto lateObject = [](std::uint32_t objectId, const std::string& atcId) {
        dispatch(objectEvent(202, objectId));
        dispatch(inRange(objectId, atcId, 1.5));
    };
    using Late = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, double, double>;
    std::vector<Late> late;
    const auto takeResults = [&late] {
        for (const SimResult& r : drainResults())
            late.emplace_back(r.kind, r.objectId, r.hexid, r.value1, r.value2);
    };

    lateObject(100, "KLM7");
    dispatch(exceptionMessage(22, 7));
    dispatch(exceptionMessage(22, 8));
    lateObject(101, "KLM7");  // the object was the third creation's: this one is nobody's
    takeResults();
    EXPECT_EQ(late, (std::vector<Late>{{SIM_RESULT_LATE_CREATED, 100, 0x484C5A, 7.0, 1.5},
                                       {SIM_RESULT_LATE_REFUSED, 0, 0x484C5A, CREATION_TITLE_REFUSED, 7.0},
                                       {SIM_RESULT_OBJECT_PASSED_ON, 100, 0x484C5A, 8.0, 1.0},
                                       {SIM_RESULT_LATE_REFUSED, 0, 0x484C5A, CREATION_TITLE_REFUSED, 8.0},
                                       {SIM_RESULT_OBJECT_PASSED_ON, 100, 0x484C5A, 9.0, 1.0}}));

    late.clear();
    lateObject(102, "KLM8");
    dispatch(exceptionMessage(22, 10));  // answered already
    dispatch(exceptionMessage(22, 9));   // made as object 100
    takeResults();
    EXPECT_EQ(late, (std::vector<Late>{{SIM_RESULT_LATE_CREATED, 102, 0x484C5B, 10.0, 1.5}}));

    // Two flights, one callsign, both given up.
    const auto twoFlightsGivenUp = [](const std::string& callsign, std::uint32_t firstSendId) {
        gf_pendingCreations() = {{firstSendId, 0x484D00 + firstSendId, callsign, gf_steadyNow()},
                                 {firstSendId + 1, 0x484D01 + firstSendId, callsign, gf_steadyNow()}};
        gf_ageOutPendingCreations(gf_steadyNow() + std::chrono::hours(1));
        drainResults();
    };
    late.clear();
    twoFlightsGivenUp("KLM9", 20);
    lateObject(103, "KLM9");
    dispatch(exceptionMessage(22, 20));
    takeResults();
    EXPECT_EQ(late, (std::vector<Late>{{SIM_RESULT_LATE_CREATED, 103, 0x484D14, 20.0, 1.5},
                                       {SIM_RESULT_LATE_REFUSED, 0, 0x484D14, CREATION_TITLE_REFUSED, 20.0},
                                       {SIM_RESULT_OBJECT_PASSED_ON, 103, 0x484D15, 21.0, 1.0}}));

    late.clear();
    twoFlightsGivenUp("KLM10", 22);
    lateObject(106, "KLM10");
    dispatch(objectEvent(203, 106));
    dispatch(exceptionMessage(22, 22));
    lateObject(107, "KLM10");
    takeResults();
    EXPECT_EQ(late, (std::vector<Late>{{SIM_RESULT_LATE_CREATED, 106, 0x484D16, 22.0, 1.5},
                                       {SIM_RESULT_OBJECT_REMOVED, 106, 0, 0.0, 0.0},
                                       {SIM_RESULT_LATE_REFUSED, 0, 0x484D16, CREATION_TITLE_REFUSED, 22.0},
                                       {SIM_RESULT_LATE_CREATED, 107, 0x484D17, 23.0, 1.5}}));

    // A creation given up and a pending one of the same flight, sent again because the one given up
    // was lost: the object answers the pending one, and the lost one only once nothing else waits
    // (a refusal of the pending one passes the object on to it).
    late.clear();
    const auto givenUpThenPending = [](std::uint32_t hexid, std::uint32_t givenUp, std::uint32_t sent) {
        gf_pendingCreations() = {{givenUp, hexid, "KLM11", gf_steadyNow()}};
        gf_ageOutPendingCreations(gf_steadyNow() + std::chrono::hours(1));
        drainResults();
        gf_pendingCreations() = {{sent, hexid, "KLM11", gf_steadyNow()}};
    };
    givenUpThenPending(0x484D03, 30, 31);
    lateObject(104, "KLM11");
    dispatch(exceptionMessage(11, 31));  // the pending one, no room: it still reaches the engine
    takeResults();
    givenUpThenPending(0x484D04, 32, 33);
    lateObject(105, "KLM11");
    dispatch(exceptionMessage(22, 32));  // the one given up, refused after all
    takeResults();
    EXPECT_EQ(late, (std::vector<Late>{{SIM_RESULT_LIVE_CREATED, 104, 0x484D03, 0.0, 1.5},
                                       {SIM_RESULT_CREATION_FAILED, 0, 0x484D03, CREATION_SIMULATOR_FULL, 31.0},
                                       {SIM_RESULT_OBJECT_PASSED_ON, 104, 0x484D03, 30.0, 1.0},
                                       {SIM_RESULT_LIVE_CREATED, 105, 0x484D04, 0.0, 1.5},
                                       {SIM_RESULT_LATE_REFUSED, 0, 0x484D04, CREATION_TITLE_REFUSED, 32.0}}));
    EXPECT_TRUE(gf_pendingCreations().empty());

    // The one sent again is given up too before its answer comes: the answer is still its own.
    late.clear();
    givenUpThenPending(0x484D05, 34, 35);
    gf_ageOutPendingCreations(gf_steadyNow() + std::chrono::hours(1));
    drainResults();
    lateObject(108, "KLM11");
    takeResults();
    EXPECT_EQ(late, (std::vector<Late>{{SIM_RESULT_LATE_CREATED, 108, 0x484D05, 35.0, 1.5}}));
}

TEST_F(SimDispatchTest, ExceptionsThatConcernTheUserOrTheWindow)
{
    EXPECT_EQ(userErrorOf(exceptionMessage(5, 3, 4)), "95: SimConnect Version Mismatch, dwIndex: 4");
    dispatch(exceptionMessage(11, 3));
    EXPECT_TRUE(window->hasStatus("SimConnect: too many objects (max 1000)"));

    LogCapture log;
    dispatch(exceptionMessage(3, 3));  // before the user position is known: quiet
    dispatch(userPosition(52.3, 4.76));
    dispatch(exceptionMessage(3, 3));
    dispatch(exceptionMessage(42, 3));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"==> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID", "==> SIMCONNECT_EXCEPTION #42"}));
}

TEST_F(SimDispatchTest, UserPositionBecomesTheSnapshotWithTheSimulatorClock)
{
    dispatch(userPosition(52.3086, 4.7639, -11.0, 7, 1.5));
    const UserAircraftSnapshot user = gf_userSnapshot();
    EXPECT_EQ(user.latitude, 52.3086);
    EXPECT_EQ(user.heading, 4.2);
    EXPECT_EQ(user.altitude, 0.0);  // below sea level is stored as 0
    EXPECT_EQ(user.groundSpeed, 1.5);
    EXPECT_EQ(user.lightStates, 3);
    EXPECT_EQ(userObjectId.load(), 7u);
    // 2024, day 60 (29 February), 01:00:00.
    EXPECT_EQ(simUtcSeconds.load(), 1709164800 + 3600);
    EXPECT_EQ(gf_simUtcSeconds(1969, 365, 86399), -1);
    EXPECT_EQ(gf_simUtcSeconds(2100, 60, 43200), 4107585600);  // 2100 is no leap year
    EXPECT_FALSE(stopRequested.load());
}

TEST_F(SimDispatchTest, ZuluDateOutOfRangeKeepsTheLastGoodClock)
{
    dispatch(userPosition(52.3086, 4.7639));
    const std::int64_t good = simUtcSeconds.load();
    const std::int64_t huge = std::numeric_limits<std::int64_t>::max();
    // (seconds of day, day of year, year): each out of its range once.
    for (const auto& [seconds, day, year] : std::vector<std::array<std::int64_t, 3>>{
             {3600, 60, huge}, {3600, huge, 2024}, {huge, 60, 2024}, {-1, 60, 2024}, {3600, 0, 2024}, {3600, 60, 0}}) {
        ByteWriter data;
        data.f64(52.3086).f64(4.7639).f64(0.0).f64(0.0).f64(0.0).f64(100.0).f64(0.0).f64(0.0);
        data.i64(seconds).i64(day).i64(year).i64(0);
        dispatch(objectData(8, 109, USER_OBJECT, data.bytes()));
        EXPECT_EQ(simUtcSeconds.load(), good) << year << " day " << day << " " << seconds << " s";
    }
    EXPECT_FALSE(gf_simUtcSeconds(10000, 1, 0).has_value());
    EXPECT_EQ(gf_simUtcSeconds(2024, 366, 86400), 1735689600);  // the end of the last day still counts
}

TEST_F(SimDispatchTest, JumpOfMoreThanTenMilesIsANewFlight)
{
    const LatLon start{52.3, 4.76};
    const LatLon near = gf_destinationPoint(start, 0.0, 9.9 * 6076.11549);
    const LatLon far = gf_destinationPoint(near, 0.0, 10.1 * 6076.11549);
    dispatch(userPosition(start.lat, start.lon));
    dispatch(userPosition(near.lat, near.lon));
    EXPECT_FALSE(stopRequested.load());
    // An unknown position in between forgets the previous one.
    dispatch(userPosition(0.0, 0.0));
    dispatch(userPosition(far.lat, far.lon));
    EXPECT_FALSE(stopRequested.load());

    const LatLon further = gf_destinationPoint(far, 0.0, 10.1 * 6076.11549);
    dispatch(userPosition(further.lat, further.lon));
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(closingReason.load(), closing_reason::NEW_FLIGHT);
    EXPECT_EQ(restartDelaySeconds.load(), 30);
}

TEST_F(SimDispatchTest, OnGroundCountsOnlyOnceThePositionIsKnown)
{
    const Bytes onGround = objectData(8, 108, USER_OBJECT, ByteWriter().i64(1).bytes());
    dispatch(onGround);
    EXPECT_TRUE(newUserDatum.load());
    EXPECT_FALSE(userOnGroundKnown.load());

    newUserDatum.store(false);
    dispatch(userPosition(52.3, 4.76));
    dispatch(onGround);
    EXPECT_TRUE(newUserDatum.load());
    EXPECT_TRUE(userOnGroundKnown.load());
    EXPECT_TRUE(userOnGround.load());
}

TEST_F(SimDispatchTest, UserStandIsLookedUpOnTheWorkerAndShown)
{
    std::vector<LatLon> asked;
    SimlinkHooks hooks;
    hooks.standNameAt = [&asked](const LatLon& position) {
        asked.push_back(position);
        return std::string(position.lat > 52.0 ? "G4" : "");
    };
    gf_setSimlinkHooks(std::move(hooks));

    dispatch(userPosition(52.3, 4.76));
    EXPECT_TRUE(asked.empty());  // the client thread does not look at the stands
    gf_serveUserStand();
    EXPECT_EQ(gf_userStandName(), "");  // not known to be on the ground
    dispatch(objectData(8, 108, USER_OBJECT, ByteWriter().i64(1).bytes()));
    EXPECT_EQ(gf_userStandName(), "G4");
    EXPECT_EQ(vald::gf_displaySnapshot().userStand, "G4");
    gf_serveUserStand();
    EXPECT_EQ(asked.size(), 1u);  // nothing new to look up

    dispatch(userPosition(51.9, 4.76));
    gf_serveUserStand();
    EXPECT_EQ(gf_userStandName(), "");
    EXPECT_EQ(vald::gf_displaySnapshot().userStand, "");
}

TEST_F(SimDispatchTest, NewFlightRemembersTheStandWhereTheUserStandsStill)
{
    std::vector<std::string> remembered;
    SimlinkHooks hooks;
    hooks.standNameAt = [](const LatLon&) { return std::string("D7"); };
    hooks.rememberUserStand = [&remembered](const std::string& stand) { remembered.push_back(stand); };
    gf_setSimlinkHooks(std::move(hooks));

    // Not known to be on the ground yet: nothing to remember.
    dispatch(eventMessage(206, 0));
    gf_serveUserStand();
    EXPECT_TRUE(remembered.empty());
    EXPECT_EQ(closingReason.load(), closing_reason::NEW_FLIGHT);

    dispatch(userPosition(52.3, 4.76, 0.0, USER_OBJECT, 2.5));
    dispatch(objectData(8, 108, USER_OBJECT, ByteWriter().i64(1).bytes()));
    dispatch(simMessage(6, ByteWriter().u32(0).u32(206).u32(0).text("x.fxml", 260).bytes()));
    gf_serveUserStand();
    EXPECT_TRUE(remembered.empty());  // still rolling

    dispatch(userPosition(52.3, 4.76, 0.0, USER_OBJECT, 2.0));
    dispatch(eventMessage(206, 0));
    gf_serveUserStand();
    EXPECT_EQ(remembered, (std::vector<std::string>{"D7"}));
}

TEST_F(SimDispatchTest, UserTitleIsCutTo48Characters)
{
    const std::string title(60, 'T');
    dispatch(textReply(106, title));
    EXPECT_EQ(vald::gf_displaySnapshot().userTitle, std::string(48, 'T'));
    EXPECT_EQ(gf_lastUserTitle(), std::string(48, 'T'));
    // A cut never splits a character.
    dispatch(textReply(106, std::string(47, 'A') + "\xC3\xA9xyz"));
    EXPECT_EQ(gf_lastUserTitle(), std::string(47, 'A'));
}

class UserModelTest : public SimDispatchTest {
protected:
    UserModelTest()
    {
        gf_clearDbaseTables();
        halfWingspans["B738"] = 0.0096;
        halfWingspans["A320"] = 0.0096;
        halfWingspans["E190"] = 0.0078;
        largeTypes.insert("A320");
        largeTypes.insert("B738");
        maxHalfWingspan = 0.0215;
    }
    ~UserModelTest() override { gf_clearDbaseTables(); }
};

TEST_F(UserModelTest, ShortModelTakesItsOwnHalfSpan)
{
    LogCapture log;
    dispatch(textReply(107, "B738"));
    EXPECT_EQ(gf_userHalfSpanNm(), 0.0096);
    EXPECT_TRUE(userWingSpanKnown.load());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "          model raw: B738",
                               "          SimConnect: User aircraft model: B738, half wing span: 17.8 meter, "
                               "category: Large"}));
    EXPECT_EQ(userErrorOf(textReply(107, "")),
              "71: atc_model= in [General] section of your aircraft.cfg is empty or missing");
}

TEST_F(UserModelTest, LongModelIsDeducedFromAnAerosoftTitleOrFallsBackToTheLargestSpan)
{
    dispatch(textReply(106, "Aerosoft A320 CFM Air Berlin"));
    dispatch(textReply(107, "AIRBUS A320-214"));
    EXPECT_EQ(gf_userHalfSpanNm(), 0.0096);
    EXPECT_TRUE(userWingSpanKnown.load());

    dispatch(textReply(106, "PMDG 737-800 KLM"));
    dispatch(textReply(107, "Boeing 737-800"));
    EXPECT_EQ(gf_userHalfSpanNm(), 0.0215);
    EXPECT_FALSE(userWingSpanKnown.load());
    EXPECT_TRUE(window->hasStatus("User aircraft wing span unknown, max is taken instead, please report in my Forum!"));

    dispatch(textReply(107, "Orbx camerapod"));
    EXPECT_EQ(gf_userHalfSpanNm(), 0.0078);
}

TEST_F(SimDispatchTest, SimEventsQuitAndFrames)
{
    dispatch(eventMessage(201, 1));
    EXPECT_TRUE(simConnected.load());
    EXPECT_TRUE(vald::gf_displaySnapshot().flightRunning);
    dispatch(eventMessage(201, 0));
    EXPECT_FALSE(simConnected.load());
    EXPECT_FALSE(vald::gf_displaySnapshot().flightRunning);
    dispatch(eventMessage(201, 1));
    dispatch(simMessage(3, {}));
    EXPECT_FALSE(simConnected.load());
    EXPECT_FALSE(stopRequested.load());

    // The frame rate is taken from every 30th frame.
    const auto frame = [](float rate) { return simMessage(7, ByteWriter().u32(0).u32(204).u32(0).f32(rate).bytes()); };
    for (int i = 0; i < 29; ++i)
        dispatch(frame(40.0F));
    EXPECT_EQ(simFrameRate.load(), 0.0F);
    dispatch(frame(55.0F));
    EXPECT_EQ(simFrameRate.load(), 55.0F);

    dispatch(eventMessage(205, 0));
    EXPECT_EQ(closingReason.load(), closing_reason::NEW_FLIGHT);
}

}  // namespace
}  // namespace corv_test
