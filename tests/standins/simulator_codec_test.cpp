// The simulator stand-in's codec against hand-built bytes of the packet and message tables.
#include "standins/simulator/data_definitions.hpp"
#include "standins/simulator/messages.hpp"
#include "standins/simulator/requests.hpp"
#include "standins/simulator/wire.hpp"
#include "tests/standins/simulator_wire_helpers.hpp"

#include <gtest/gtest.h>
#include <numbers>

namespace {

using namespace standin_sim;
using namespace sim_wire;

template <typename Body>
Body decodeAs(const Bytes& packet) {
    auto decoded = decodeRequest(packet);
    if (auto* bad = std::get_if<MalformedPacket>(&decoded)) {
        ADD_FAILURE() << "malformed: " << bad->reason;
        return Body{};
    }
    const auto& request = std::get<Request>(decoded);
    EXPECT_TRUE(std::holds_alternative<Body>(request.body));
    return std::holds_alternative<Body>(request.body) ? std::get<Body>(request.body) : Body{};
}

MalformedPacket malformed(const Bytes& packet) {
    auto decoded = decodeRequest(packet);
    EXPECT_TRUE(std::holds_alternative<MalformedPacket>(decoded));
    return std::holds_alternative<MalformedPacket>(decoded) ? std::get<MalformedPacket>(decoded) : MalformedPacket{};
}

TEST(SimulatorCodec, DecodesRequestPacketsAtTheirTableOffsets) {
    Bytes create = createPacket(17, "Airbus A320 KLM", "KLM1234", 52.5, 4.75, 1200.0, false);
    putF64(create, 308, 2.5);  // pitch
    putF64(create, 316, -3.0);  // bank
    putU32(create, 336, 140);   // airspeed
    const auto c = decodeAs<CreateAircraftRequest>(create);
    EXPECT_EQ(c.containerTitle, "Airbus A320 KLM");
    EXPECT_EQ(c.tailNumber, "KLM1234");
    EXPECT_DOUBLE_EQ(c.position.latitude, 52.5);
    EXPECT_DOUBLE_EQ(c.position.longitude, 4.75);
    EXPECT_DOUBLE_EQ(c.position.altitude, 1200.0);
    EXPECT_DOUBLE_EQ(c.position.pitch, 2.5);
    EXPECT_DOUBLE_EQ(c.position.bank, -3.0);
    EXPECT_DOUBLE_EQ(c.position.heading, 90.0);
    EXPECT_EQ(c.position.onGround, 0u);
    EXPECT_EQ(c.position.airspeed, 140u);
    EXPECT_EQ(c.requestId, 104u);
    EXPECT_EQ(std::get<Request>(decodeRequest(create)).header.sendId, 17u);

    const auto datum = decodeAs<AddToDataDefinitionRequest>(addDatumPacket(3, 402, "Plane Latitude", "degree", 4));
    EXPECT_EQ(datum.defineId, 402u);
    EXPECT_EQ(datum.datumName, "Plane Latitude");
    EXPECT_EQ(datum.unitsName, "degree");
    EXPECT_EQ(datum.dataType, 4u);
    EXPECT_EQ(datum.datumId, 0xFFFFFFFFu);

    Bytes data = requestDataPacket(4, 108, 409, 0, 4);
    putU32(data, 32, 1);
    putU32(data, 44, 7);
    const auto r = decodeAs<RequestDataRequest>(data);
    EXPECT_EQ(r.requestId, 108u);
    EXPECT_EQ(r.defineId, 409u);
    EXPECT_EQ(r.period, 4u);
    EXPECT_EQ(r.flags, 1u);
    EXPECT_EQ(r.limit, 7u);

    const auto t = decodeAs<TransmitClientEventRequest>(transmitPacket(5, 123, 218, 16383));
    EXPECT_EQ(t.objectId, 123u);
    EXPECT_EQ(t.eventId, 218u);
    EXPECT_EQ(t.data, 16383u);
    EXPECT_EQ(t.groupId, 301u);

    Bytes plan = request(0x2D, 6, 284);
    putU32(plan, 16, 150);
    putText(plan, 20, "/tmp/orig_dest/150.pln");
    putU32(plan, 280, 110);
    const auto f = decodeAs<SetFlightPlanRequest>(plan);
    EXPECT_EQ(f.objectId, 150u);
    EXPECT_EQ(f.path, "/tmp/orig_dest/150.pln");
    EXPECT_EQ(f.requestId, 110u);
}

TEST(SimulatorCodec, SetDataCarriesCountTimesUnitSizeBytes) {
    const std::vector<double> values{52.1, 4.2, 0.01, 0.02, 1.5, 300.0, -5.0, 140.0};
    const Bytes packet = setDataPacket(9, 402, 101, values);
    ASSERT_EQ(packet.size(), 100u);
    const auto set = decodeAs<SetDataRequest>(packet);
    EXPECT_EQ(set.defineId, 402u);
    EXPECT_EQ(set.objectId, 101u);
    EXPECT_EQ(set.count, 1u);
    EXPECT_EQ(set.unitSize, 64u);
    ASSERT_EQ(set.data.size(), 64u);
    EXPECT_DOUBLE_EQ(f64(set.data, 40), 300.0);

    Bytes wrongCount = packet;
    putU32(wrongCount, 28, 2);  // 2 x 64 would need 164 bytes
    EXPECT_EQ(malformed(wrongCount).index, 4u);
}

TEST(SimulatorCodec, RefusesPacketsThatBreakTheirLayout) {
    Bytes longTail = createPacket(1, "Title", "", 0, 0, 0, true);
    putText(longTail, 272, "ABCDEFGHIJKL");  // 12 characters fill the field: no terminator
    const auto tail = malformed(longTail);
    EXPECT_EQ(tail.index, 2u);
    EXPECT_EQ(tail.header.sendId, 1u);

    Bytes shortOpen = openPacket(2, "Corv_P3D");
    shortOpen.resize(292);
    putU32(shortOpen, 0, 292);
    malformed(shortOpen);

    Bytes noMarker = openPacket(3, "Corv_P3D");
    putU32(noMarker, 8, 0x01);
    malformed(noMarker);

    malformed(request(0x33, 4, 16));  // a call this simulator does not serve
}

TEST(SimulatorCodec, FramerCutsTheStreamIntoPackets) {
    PacketFramer framer(kHeaderSize, kMaxRequestSize);
    const Bytes first = openPacket(1, "A");
    const Bytes second = subscribePacket(2, 201, "Sim");
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());

    // The second packet arrives in two pieces.
    framer.feed(std::span(both).first(first.size() + 100));
    auto one = framer.next();
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(*one, first);
    EXPECT_FALSE(framer.next().has_value());
    framer.feed(std::span(both).subspan(first.size() + 100));
    auto two = framer.next();
    ASSERT_TRUE(two.has_value());
    EXPECT_EQ(*two, second);
    EXPECT_FALSE(framer.broken());

    PacketFramer tiny(kHeaderSize, kMaxRequestSize);
    const Bytes sizeTwo{2, 0, 0, 0, 0, 0, 0, 0};
    tiny.feed(sizeTwo);
    EXPECT_FALSE(tiny.next().has_value());
    EXPECT_TRUE(tiny.broken());

    PacketFramer huge(kHeaderSize, kMaxRequestSize);
    Bytes oversize(16, 0);
    putU32(oversize, 0, static_cast<std::uint32_t>(kMaxRequestSize + 1));
    huge.feed(oversize);
    EXPECT_FALSE(huge.next().has_value());
    EXPECT_TRUE(huge.broken());
}

TEST(SimulatorCodec, MessagesPutFieldsWhereTheClientReadsThem) {
    const Bytes open = encodeOpen("Lockheed Martin Prepar3D v5", {5, 3, 17, 28160}, {5, 3, 0, 0});
    EXPECT_EQ(u32(open, 0), open.size());
    EXPECT_EQ(messageId(open), 2u);
    EXPECT_EQ(text(open, 12), "Lockheed Martin Prepar3D v5");
    EXPECT_EQ(u32(open, 268), 5u);
    EXPECT_EQ(u32(open, 272), 3u);
    EXPECT_EQ(u32(open, 276), 17u);
    EXPECT_EQ(u32(open, 280), 28160u);

    const Bytes ex = encodeException(22, 4711, 1);
    EXPECT_EQ(messageId(ex), 1u);
    EXPECT_EQ(u32(ex, 12), 22u);
    EXPECT_EQ(u32(ex, 16), 4711u);
    EXPECT_EQ(u32(ex, 20), 1u);

    const Bytes added = encodeObjectAddRemove(202, 105, 2);
    EXPECT_EQ(messageId(added), 5u);
    EXPECT_EQ(u32(added, 16), 202u);
    EXPECT_EQ(u32(added, 20), 105u);
    EXPECT_EQ(u32(added, 24), 2u);

    const Bytes event = encodeEvent(kNoGroup, 201, 1);
    EXPECT_EQ(u32(event, 16), 201u);
    EXPECT_EQ(u32(event, 20), 1u);

    EXPECT_FLOAT_EQ(f32(encodeFrame(204, 40.0f, 1.0f), 24), 40.0f);

    ObjectDataHeader header;
    header.messageId = message::ObjectDataByType;
    header.requestId = 101;
    header.objectId = 105;
    const Bytes block{1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes data = encodeObjectData(header, block);
    EXPECT_EQ(messageId(data), 9u);
    EXPECT_EQ(u32(data, 12), 101u);
    EXPECT_EQ(u32(data, 16), 105u);
    EXPECT_EQ(data.size(), 48u);
    EXPECT_EQ(data[40], 1);
    EXPECT_EQ(data[47], 8);
}

TEST(SimulatorCodec, DefinitionsLayOutDatumsInOrderTypeAndUnits) {
    DefinitionTable table;
    auto add = [&table](std::uint32_t define, const char* name, const char* units, std::uint32_t type) {
        const Bytes packet = addDatumPacket(1, define, name, units, type);
        return table.add(std::get<AddToDataDefinitionRequest>(std::get<Request>(decodeRequest(packet)).body));
    };
    EXPECT_FALSE(add(404, "Plane Alt Above Ground", "feet", 4));
    EXPECT_FALSE(add(404, "Ground Altitude", "feet", 4));
    EXPECT_FALSE(add(404, "SIM ON GROUND", "Bool", 2));
    EXPECT_FALSE(add(404, "ATC ID", "", 6));
    EXPECT_FALSE(add(403, "Plane Heading degrees true", "radians", 4));
    EXPECT_FALSE(add(403, "Plane Latitude", "degree", 4));
    EXPECT_FALSE(add(403, "ZULU TIME", "Seconds", 2));
    EXPECT_FALSE(add(407, "TITLE", "", 11));

    SimObject object;
    object.latitudeDeg = 52.25;
    object.altitudeFt = 1011.0;
    object.headingRad = 1.25;
    object.atcId = "PH-BXA";
    object.title = "Boeing 737-800 KLM Royal Dutch Airlines";
    const DatumContext context{11.0, ZuluTime{43200.75, 100, 2024}};

    const Bytes around = encodeDatums(*table.find(404), object, context);
    ASSERT_EQ(around.size(), 8u + 8u + 8u + 32u);
    EXPECT_DOUBLE_EQ(f64(around, 0), 1000.0);
    EXPECT_DOUBLE_EQ(f64(around, 8), 11.0);
    EXPECT_EQ(i64(around, 16), 0);
    EXPECT_EQ(text(around, 24), "PH-BXA");

    const Bytes user = encodeDatums(*table.find(403), object, context);
    ASSERT_EQ(user.size(), 24u);
    EXPECT_DOUBLE_EQ(f64(user, 0), 1.25);
    EXPECT_NEAR(f64(user, 8), 52.25, 1e-12);
    EXPECT_EQ(i64(user, 16), 43200);  // whole seconds

    const Bytes title = encodeDatums(*table.find(407), object, context);
    EXPECT_EQ(text(title, 0), object.title);
    EXPECT_EQ(title.size() % 4, 0u);
    EXPECT_GT(title.size(), object.title.size());

    const auto badUnits = add(405, "Plane Latitude", "feet", 4);
    ASSERT_TRUE(badUnits);
    EXPECT_EQ(badUnits->code, exception::NameUnrecognized);
    EXPECT_EQ(badUnits->index, 3u);
    const auto unknown = add(405, "PLANE WARP FACTOR", "number", 4);
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->index, 2u);
    EXPECT_TRUE(add(405, "ATC ID", "", 4));  // a text cannot be a float
    EXPECT_EQ(table.find(405), nullptr);
}

TEST(SimulatorCodec, SetDataConvertsFromTheDefinitionsUnits) {
    DefinitionTable table;
    for (const auto& [name, units] : std::vector<std::pair<const char*, const char*>>{
             {"Plane Latitude", "degree"}, {"Plane Heading degrees true", "radians"}, {"Vertical Speed", "feet per second"}}) {
        const Bytes packet = addDatumPacket(1, 402, name, units, 4);
        ASSERT_FALSE(table.add(std::get<AddToDataDefinitionRequest>(std::get<Request>(decodeRequest(packet)).body)));
    }
    ASSERT_EQ(fixedUnitSize(*table.find(402)), 24u);
    Bytes unit(24);
    putF64(unit, 0, 51.5);
    putF64(unit, 8, std::numbers::pi);
    putF64(unit, 16, -10.0);
    SimObject object;
    const auto values = applyDatums(*table.find(402), unit, object);
    EXPECT_NEAR(object.latitudeDeg, 51.5, 1e-12);
    EXPECT_DOUBLE_EQ(object.headingRad, std::numbers::pi);
    EXPECT_NEAR(object.verticalSpeedFps, -10.0, 1e-9);
    EXPECT_DOUBLE_EQ(values["Plane Latitude"].get<double>(), 51.5);
}

TEST(SimulatorCodec, ZuluTimeFollowsTheCalendar) {
    const ZuluTime november = zuluFromUnixSeconds(1700000000.5);  // 2023-11-14 22:13:20.5 UTC
    EXPECT_EQ(november.year, 2023);
    EXPECT_EQ(november.dayOfYear, 318);
    EXPECT_DOUBLE_EQ(november.secondsOfDay, 80000.5);
    const ZuluTime leapEnd = zuluFromUnixSeconds(1735603200.0);  // 2024-12-31 00:00:00 UTC
    EXPECT_EQ(leapEnd.year, 2024);
    EXPECT_EQ(leapEnd.dayOfYear, 366);
    EXPECT_DOUBLE_EQ(leapEnd.secondsOfDay, 0.0);
}

}  // namespace
