// The simulator stand-in's protocol behaviour, fed hand-built packets without sockets.
#include "standins/simulator/simulator.hpp"
#include "tests/standins/simulator_wire_helpers.hpp"
#include "tests/support/temp_dir.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

using namespace standin_sim;
using namespace sim_wire;

constexpr std::uint32_t kSimEvent = 201, kAddedEvent = 202, kRemovedEvent = 203, kFrameEvent = 204,
                        kPositionEvent = 205, kLoadedEvent = 206;

class SimulatorSession : public ::testing::Test {
protected:
    explicit SimulatorSession(SimulatorConfig config = {})
        : journal_(dir_ / "journal.jsonl", [] { return 0.0; }), sim_(std::move(config), journal_) {
        conn_ = sim_.openSession("pipe");
    }

    void send(std::uint32_t conn, const Bytes& packet) { ASSERT_TRUE(sim_.receive(conn, packet)); }
    void send(const Bytes& packet) { send(conn_, packet); }

    std::vector<Bytes> take(std::uint32_t conn) {
        Bytes& out = sim_.session(conn)->out;
        auto messages = splitMessages(out);
        out.clear();
        return messages;
    }
    std::vector<Bytes> take() { return take(conn_); }

    // Opens and subscribes the system events the program subscribes, the replies discarded.
    void openAndSubscribe(std::uint32_t conn) {
        send(conn, openPacket(nextSend_++, "Corv_P3D"));
        const std::pair<std::uint32_t, const char*> events[] = {{kSimEvent, "Sim"},
                                                                {kAddedEvent, "ObjectAdded"},
                                                                {kRemovedEvent, "ObjectRemoved"},
                                                                {kPositionEvent, "PositionChanged"},
                                                                {kLoadedEvent, "FlightLoaded"},
                                                                {kFrameEvent, "Frame"}};
        for (const auto& [id, name] : events) send(conn, subscribePacket(nextSend_++, id, name));
        take(conn);
    }

    std::uint32_t createAircraft(const std::string& title, const std::string& tail) {
        send(createPacket(nextSend_++, title, tail, 52.31, 4.76, 0.0, true));
        for (const auto& m : take()) {
            if (messageId(m) == 12) return u32(m, 16);
        }
        ADD_FAILURE() << "no object id assigned";
        return 0;
    }

    void definePositionSet() {
        const std::pair<const char*, const char*> datums[] = {
            {"Plane Latitude", "degree"}, {"Plane Longitude", "degree"}, {"Plane Pitch degrees", "radians"},
            {"Plane Bank degrees", "radians"}, {"Plane Heading degrees true", "radians"}, {"Plane Altitude", "feet"},
            {"Vertical Speed", "feet per second"}, {"Airspeed True", "knots"}};
        for (const auto& [name, units] : datums) send(addDatumPacket(nextSend_++, 402, name, units, 4));
    }

    std::vector<nlohmann::json> journalLines(const std::string& kind) {
        std::istringstream in(corv_test::readFile(dir_ / "journal.jsonl"));
        std::vector<nlohmann::json> lines;
        for (std::string line; std::getline(in, line);) {
            auto parsed = nlohmann::json::parse(line);
            if (parsed["kind"] == kind) lines.push_back(parsed);
        }
        return lines;
    }

    static std::vector<Bytes> withId(const std::vector<Bytes>& messages, std::uint32_t id) {
        std::vector<Bytes> found;
        for (const auto& m : messages) {
            if (messageId(m) == id) found.push_back(m);
        }
        return found;
    }

    corv_test::TempDir dir_;
    Journal journal_;
    Simulator sim_;
    std::uint32_t conn_ = 0;
    std::uint32_t nextSend_ = 1;
};

TEST_F(SimulatorSession, OpenRepliesAsVersionFiveAndRequestsBeforeOpenAreRefused) {
    send(subscribePacket(41, kSimEvent, "Sim"));
    auto refused = take();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(messageId(refused[0]), 1u);
    EXPECT_EQ(u32(refused[0], 12), 4u);  // unopened
    EXPECT_EQ(u32(refused[0], 16), 41u);

    send(openPacket(42, "Corv_P3D"));
    auto replies = take();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(messageId(replies[0]), 2u);
    EXPECT_NE(text(replies[0], 12).find("v5"), std::string::npos);
    EXPECT_EQ(u32(replies[0], 268), 5u);
    ASSERT_EQ(journalLines("packet").size(), 2u);
    EXPECT_EQ(journalLines("packet")[1]["clientName"], "Corv_P3D");
}

TEST_F(SimulatorSession, SimEventReportsTheFlightStateAtOnceAndOnPause) {
    send(openPacket(1, "Corv_P3D"));
    send(subscribePacket(2, kSimEvent, "Sim"));
    auto now = withId(take(), 4);
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(u32(now[0], 16), kSimEvent);
    EXPECT_EQ(u32(now[0], 20), 1u);

    sim_.pause();
    auto paused = withId(take(), 4);
    ASSERT_EQ(paused.size(), 1u);
    EXPECT_EQ(u32(paused[0], 20), 0u);
    sim_.pause();  // already paused: nothing new
    EXPECT_TRUE(take().empty());
    sim_.unpause();
    EXPECT_EQ(u32(withId(take(), 4).at(0), 20), 1u);
}

TEST_F(SimulatorSession, CreatedAircraftIsAnnouncedAndReportsItsTailAsAtcId) {
    openAndSubscribe(conn_);
    send(addDatumPacket(10, 404, "Plane Alt Above Ground", "feet", 4));
    send(addDatumPacket(11, 404, "Ground Altitude", "feet", 4));
    send(addDatumPacket(12, 404, "SIM ON GROUND", "Bool", 2));
    send(addDatumPacket(13, 404, "ATC ID", "", 6));
    send(createPacket(14, "Airbus A320 KLM", "KLM1234", 52.3090, 4.7640, 0.0, true));
    const auto messages = take();
    const auto added = withId(messages, 5);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(u32(added[0], 16), kAddedEvent);
    const std::uint32_t objectId = u32(added[0], 20);
    EXPECT_GT(objectId, kUserObjectId);
    EXPECT_EQ(u32(added[0], 24), 2u);
    const auto assigned = withId(messages, 12);
    ASSERT_EQ(assigned.size(), 1u);
    EXPECT_EQ(u32(assigned[0], 12), 104u);
    EXPECT_EQ(u32(assigned[0], 16), objectId);

    send(requestByTypePacket(15, 101, 404, 10000));
    const auto replies = withId(take(), 9);
    ASSERT_EQ(replies.size(), 2u);  // the user aircraft and the new one
    EXPECT_EQ(u32(replies[0], 16), kUserObjectId);
    EXPECT_EQ(u32(replies[1], 12), 101u);
    EXPECT_EQ(u32(replies[1], 16), objectId);
    EXPECT_EQ(i64(replies[1], 40 + 16), 1);  // on the ground
    EXPECT_EQ(text(replies[1], 40 + 24), "KLM1234");

    // Only a request for aircraft gets them; the user aircraft alone, or nothing for other types.
    send(requestByTypePacket(16, 102, 404, 10000, 0));
    send(requestByTypePacket(17, 103, 404, 10000, 1));
    send(requestByTypePacket(18, 104, 404, 10000, 4));
    const auto others = withId(take(), 9);
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(u32(others[0], 12), 102u);
    EXPECT_EQ(u32(others[0], 16), kUserObjectId);
}

TEST_F(SimulatorSession, RefusedTitleGivesExceptionWithTheCreationsSendId) {
    sim_.refuseTitle("Boeing 747-8F Unknown Cargo");
    openAndSubscribe(conn_);
    send(createPacket(77, "Boeing 747-8F Unknown Cargo", "CLX123", 52.3, 4.7, 0.0, true));
    const auto messages = take();
    EXPECT_TRUE(withId(messages, 5).empty());
    const auto exceptions = withId(messages, 1);
    ASSERT_EQ(exceptions.size(), 1u);
    EXPECT_EQ(u32(exceptions[0], 12), 22u);
    EXPECT_EQ(u32(exceptions[0], 16), 77u);
    EXPECT_TRUE(sim_.objects().aiObjects().empty());
    ASSERT_EQ(journalLines("refused").size(), 1u);
    EXPECT_EQ(journalLines("refused")[0]["sendId"], 77);
}

TEST_F(SimulatorSession, ReleasedFrozenAircraftStaysWherePositionSetsPutIt) {
    openAndSubscribe(conn_);
    definePositionSet();
    send(mapEventPacket(20, 215, "FREEZE_LATITUDE_LONGITUDE_SET"));
    send(mapEventPacket(21, 216, "FREEZE_ALTITUDE_SET"));
    send(mapEventPacket(22, 217, "FREEZE_ATTITUDE_SET"));
    const std::uint32_t id = createAircraft("Airbus A320 KLM", "KLM1");
    send(objectCallPacket(0x2B, 30, id, 103));  // release
    for (std::uint32_t event : {215u, 216u, 217u}) send(transmitPacket(31, id, event, 1));
    send(setDataPacket(32, 402, id, {52.4, 4.9, 0.0, 0.0, 1.0, 2500.0, 0.0, 250.0}));
    EXPECT_TRUE(withId(take(), 1).empty());

    for (int i = 0; i < 80; ++i) sim_.frame(0.025);  // two seconds
    const SimObject& object = sim_.objects().aiObjects().at(id);
    EXPECT_DOUBLE_EQ(object.latitudeDeg, 52.4);
    EXPECT_DOUBLE_EQ(object.longitudeDeg, 4.9);
    EXPECT_DOUBLE_EQ(object.altitudeFt, 2500.0);
    EXPECT_FALSE(object.onGround);
    const auto sets = journalLines("packet");
    EXPECT_DOUBLE_EQ(sets.back()["values"]["Plane Altitude"].get<double>(), 2500.0);

    // Without the freezes the simulator's own AI flies it away at 250 kt.
    send(transmitPacket(33, id, 215, 0));
    for (int i = 0; i < 40; ++i) sim_.frame(0.025);
    EXPECT_NE(sim_.objects().aiObjects().at(id).longitudeDeg, 4.9);
}

TEST_F(SimulatorSession, WrongRequestsGetTheirExceptions) {
    openAndSubscribe(conn_);
    definePositionSet();
    const std::uint32_t id = createAircraft("Airbus A320 KLM", "KLM1");
    send(setDataPacket(50, 402, id, {52.4, 4.9, 0.0}));  // 24 bytes for a 64-byte definition
    send(objectCallPacket(0x2C, 51, kUserObjectId, 105));  // remove the user aircraft
    send(objectCallPacket(0x2C, 52, 99999, 105));         // remove an unknown object
    send(transmitPacket(53, id, 299, 1));                  // an event never mapped
    Bytes plan = request(0x2D, 54, 284);
    putU32(plan, 16, id);
    putText(plan, 20, (dir_ / "missing.pln").string());
    send(plan);
    const auto exceptions = withId(take(), 1);
    ASSERT_EQ(exceptions.size(), 5u);
    const std::pair<std::uint32_t, std::uint32_t> expected[] = {{19, 50}, {24, 51}, {3, 52}, {3, 53}, {23, 54}};
    for (std::size_t i = 0; i < exceptions.size(); ++i) {
        EXPECT_EQ(u32(exceptions[i], 12), expected[i].first) << i;
        EXPECT_EQ(u32(exceptions[i], 16), expected[i].second) << i;
    }
    EXPECT_EQ(sim_.objects().aiObjects().size(), 1u);
}

TEST_F(SimulatorSession, MalformedPacketIsRefusedAndTheStreamGoesOn) {
    send(openPacket(1, "Corv_P3D"));
    take();
    Bytes wrongSize = request(0x17, 2, 200);  // a subscription is 276 bytes
    send(wrongSize);
    send(subscribePacket(3, kSimEvent, "Sim"));
    const auto messages = take();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messageId(messages[0]), 1u);
    EXPECT_EQ(u32(messages[0], 16), 2u);
    EXPECT_EQ(messageId(messages[1]), 4u);

    const Bytes brokenFrame{2, 0, 0, 0};
    EXPECT_FALSE(sim_.receive(conn_, brokenFrame));
}

TEST_F(SimulatorSession, EverySecondRequestsFollowSimulatorTime) {
    openAndSubscribe(conn_);
    send(addDatumPacket(60, 409, "SIM ON GROUND", "Bool", 2));
    send(requestDataPacket(61, 108, 409, 0, 4));
    send(requestDataPacket(62, 108, 409, 0, 4));  // the same request id again replaces it
    for (int i = 0; i < 12; ++i) sim_.frame(0.25);  // three seconds
    const auto messages = take();
    EXPECT_EQ(withId(messages, 8).size(), 3u);
    EXPECT_EQ(withId(messages, 7).size(), 12u);
    EXPECT_EQ(u32(withId(messages, 7)[0], 16), kFrameEvent);

    sim_.pause();
    for (int i = 0; i < 12; ++i) sim_.frame(0.25);
    EXPECT_TRUE(withId(take(), 8).empty());  // paused: simulator time stands still

    sim_.unpause();
    send(requestDataPacket(63, 108, 409, 0, 0));  // never: the request ends
    for (int i = 0; i < 12; ++i) sim_.frame(0.25);
    EXPECT_TRUE(withId(take(), 8).empty());
}

TEST_F(SimulatorSession, ClosingAConnectionRemovesItsAircraftForTheOthers) {
    openAndSubscribe(conn_);
    const std::uint32_t other = sim_.openSession("ipv4");
    openAndSubscribe(other);
    const std::uint32_t id = createAircraft("Airbus A320 KLM", "KLM1");
    take(other);
    sim_.closeSession(conn_, "closed by the client");
    const auto removed = withId(take(other), 5);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(u32(removed[0], 16), kRemovedEvent);
    EXPECT_EQ(u32(removed[0], 20), id);
    EXPECT_TRUE(sim_.objects().aiObjects().empty());
}

TEST_F(SimulatorSession, ControlCommandsReachTheClient) {
    openAndSubscribe(conn_);
    send(addDatumPacket(70, 403, "Plane Latitude", "degree", 4));
    send(addDatumPacket(71, 403, "Plane Longitude", "degree", 4));

    sim_.teleport(50.0, 8.5, true);
    auto changed = withId(take(), 4);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(u32(changed[0], 16), kPositionEvent);
    send(requestDataPacket(72, 109, 403, 0, 1));
    const auto position = withId(take(), 8);
    ASSERT_EQ(position.size(), 1u);
    EXPECT_DOUBLE_EQ(f64(position[0], 40), 50.0);
    EXPECT_DOUBLE_EQ(f64(position[0], 48), 8.5);
    sim_.teleport(50.5, 8.5, false);
    EXPECT_TRUE(take().empty());

    sim_.loadFlight("C:\\Flights\\Schiphol.fxml");
    const auto loaded = withId(take(), 6);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(u32(loaded[0], 16), kLoadedEvent);
    EXPECT_EQ(text(loaded[0], 24), "C:\\Flights\\Schiphol.fxml");

    sim_.quit();
    const auto quit = take();
    ASSERT_EQ(quit.size(), 1u);
    EXPECT_EQ(messageId(quit[0]), 3u);
}

TEST_F(SimulatorSession, TheProgramsDeclarationsAreAllAccepted) {
    openAndSubscribe(conn_);
    struct D {
        std::uint32_t define;
        const char* name;
        const char* units;
        std::uint32_t type;
    };
    const D datums[] = {
        {407, "TITLE", "", 11}, {408, "ATC MODEL", "", 6}, {409, "SIM ON GROUND", "Bool", 2},
        {403, "Plane Latitude", "degree", 4}, {403, "Plane Longitude", "degree", 4},
        {403, "Plane Pitch degrees", "radians", 4}, {403, "Plane Bank degrees", "radians", 4},
        {403, "Plane Heading degrees true", "radians", 4}, {403, "Plane Altitude", "feet", 4},
        {403, "Plane Alt Above Ground", "feet", 4}, {403, "Ground Velocity", "knots", 4},
        {403, "ZULU TIME", "Seconds", 2}, {403, "ZULU DAY OF YEAR", "Number", 2}, {403, "ZULU YEAR", "Number", 2},
        {403, "LIGHT STATES", "Mask", 2}, {405, "Static CG to Ground", "feet", 4}, {405, "Static Pitch", "radians", 4},
        {406, "Light On States", "Mask", 2}, {401, "SPOILERS HANDLE POSITION", "percent", 4},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", 4},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", 4}};
    for (const auto& d : datums) send(addDatumPacket(nextSend_++, d.define, d.name, d.units, d.type));
    definePositionSet();
    const std::pair<std::uint32_t, const char*> events[] = {
        {220, "GEAR_SET"}, {221, "ENGINE_AUTO_START"}, {222, "ENGINE_AUTO_SHUTDOWN"}, {223, "THROTTLE_SET"},
        {218, "FLAPS_SET"}, {219, "SPOILERS_SET"}, {208, "NAV_LIGHTS_SET"}, {207, "BEACON_LIGHTS_SET"},
        {211, "LANDING_LIGHTS_SET"}, {209, "TAXI_LIGHTS_SET"}, {210, "STROBES_SET"}, {213, "LOGO_LIGHTS_SET"},
        {212, "CABIN_LIGHTS_SET"}, {214, "ALL_LIGHTS_TOGGLE"}, {215, "FREEZE_LATITUDE_LONGITUDE_SET"},
        {216, "FREEZE_ALTITUDE_SET"}, {217, "FREEZE_ATTITUDE_SET"}};
    for (const auto& [id, name] : events) {
        send(mapEventPacket(nextSend_++, id, name));
        if (id == 221) continue;
        Bytes group = request(0x07, nextSend_++, 28);
        putU32(group, 16, 301);
        putU32(group, 20, id);
        putU32(group, 24, 1);
        send(group);
    }
    Bytes priority = request(0x09, nextSend_++, 24);
    putU32(priority, 16, 301);
    putU32(priority, 20, 1);
    send(priority);
    send(requestDataPacket(nextSend_++, 109, 403, 0, 1));
    const auto messages = take();
    EXPECT_TRUE(withId(messages, 1).empty());
    EXPECT_TRUE(journalLines("exception").empty());
    const auto snapshot = withId(messages, 8);
    ASSERT_EQ(snapshot.size(), 1u);
    EXPECT_EQ(u32(snapshot[0], 16), kUserObjectId);
    ASSERT_EQ(snapshot[0].size(), 40u + 96u);
    EXPECT_NEAR(f64(snapshot[0], 40), 52.3086, 1e-9);  // parked at Schiphol
    EXPECT_DOUBLE_EQ(f64(snapshot[0], 40 + 48), 0.0);   // height above ground
}

class SimulatorSessionV6 : public SimulatorSession {
protected:
    SimulatorSessionV6() : SimulatorSession(configForMajorVersion(6)) {}
};

TEST_F(SimulatorSessionV6, OpenRepliesAsVersionSix) {
    send(openPacket(1, "Corv_P3D"));
    const auto replies = take();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_NE(text(replies[0], 12).find("v6"), std::string::npos);
    EXPECT_EQ(u32(replies[0], 268), 6u);
}

}  // namespace
