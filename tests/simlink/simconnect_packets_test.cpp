// The request packets as the simulator receives them, byte for byte, over a real socket.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "simlink/simconnect/connection.hpp"
#include "simlink/simconnect/send_buffer.hpp"
#include "simlink/simconnect/simconnect.hpp"
#include "tests/simlink/simconnect_test_peer.hpp"

using namespace corv_test;

namespace {

// The header of a request packet, written from the wire layout.
ByteWriter header(std::uint32_t size, std::uint32_t id, std::uint32_t sendId)
{
    ByteWriter w;
    w.u32(size).u32(35).u32(0xF0000000u | id).u32(sendId);
    return w;
}

using PacketTest = ConnectedClientTest;

TEST_F(PacketTest, everyRequestGoesOutAsItsWireLayout)
{
    ByteWriter open = header(296, 0x01, 1);
    open.text("Corv_P3D", 256).u32(0).u32(0x50334400u).u32(5).u32(3).u32(0).u32(0);
    EXPECT_EQ(openPacket, open.bytes());

    std::uint32_t id = 1;
    auto expectNext = [&](const ByteWriter& expected, const char* what) {
        EXPECT_EQ(peer->read(expected.bytes().size()), expected.bytes()) << what;
    };

    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(handle, 220, "GEAR_SET"), S_OK);
    expectNext(header(276, 0x04, ++id).u32(220).text("GEAR_SET", 256), "map client event");

    ASSERT_EQ(SimConnect_TransmitClientEvent(handle, 77, 218, 16383, 301, 0), S_OK);
    expectNext(header(36, 0x05, ++id).u32(77).u32(218).u32(16383).u32(301).u32(0), "transmit");

    ASSERT_EQ(SimConnect_AddClientEventToNotificationGroup(handle, 301, 208, true), S_OK);
    expectNext(header(28, 0x07, ++id).u32(301).u32(208).u32(1), "add to group");

    ASSERT_EQ(SimConnect_SetNotificationGroupPriority(handle, 301, 1), S_OK);
    expectNext(header(24, 0x09, ++id).u32(301).u32(1), "group priority");

    ASSERT_EQ(SimConnect_AddToDataDefinition(handle, 402, "Plane Latitude", "degree", 4, 0.5f, 0xFFFFFFFFu), S_OK);
    expectNext(header(544, 0x0C, ++id)
                   .u32(402)
                   .text("Plane Latitude", 256)
                   .text("degree", 256)
                   .u32(4)
                   .f32(0.5f)
                   .u32(0xFFFFFFFFu),
               "add to data definition");

    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 109, 403, 0, 1, 2, 3, 4, 5), S_OK);
    expectNext(header(48, 0x0E, ++id).u32(109).u32(403).u32(0).u32(1).u32(2).u32(3).u32(4).u32(5), "data on object");

    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(handle, 101, 404, 84080, 2), S_OK);
    expectNext(header(32, 0x0F, ++id).u32(101).u32(404).u32(84080).u32(2), "data on object type");

    const double position[8] = {47.5, 8.25, 0.01, -0.02, 1.5, 1200.0, -3.0, 140.0};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 9001, 0, 1, 64, position), S_OK);
    ByteWriter setData = header(100, 0x10, ++id).u32(402).u32(9001).u32(0).u32(1).u32(64);
    for (const double value : position)
        setData.f64(value);
    expectNext(setData, "set data");

    // A count of 0 still sends one unit of data.
    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 9001, 0, 0, 64, position), S_OK);
    ByteWriter countZero = header(100, 0x10, ++id).u32(402).u32(9001).u32(0).u32(1).u32(64);
    for (const double value : position)
        countZero.f64(value);
    expectNext(countZero, "set data with count 0");

    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(handle, 204, "Frame"), S_OK);
    expectNext(header(276, 0x17, ++id).u32(204).text("Frame", 256), "subscribe");

    const SimInitPosition init{51.47, -0.4543, 83.0, 1.0, 2.0, 270.0, 1, 0};
    std::uint32_t creationId = 0;
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Airbus A320 BAW", "BAW123", init, 104, &creationId), S_OK);
    EXPECT_EQ(creationId, id + 1);
    expectNext(header(344, 0x29, ++id)
                   .text("Airbus A320 BAW", 256)
                   .text("BAW123", 12)
                   .f64(51.47)
                   .f64(-0.4543)
                   .f64(83.0)
                   .f64(1.0)
                   .f64(2.0)
                   .f64(270.0)
                   .u32(1)
                   .u32(0)
                   .u32(104),
               "create aircraft");

    ASSERT_EQ(SimConnect_AIReleaseControl(handle, 9001, 103), S_OK);
    expectNext(header(24, 0x2B, ++id).u32(9001).u32(103), "release control");

    ASSERT_EQ(SimConnect_AIRemoveObject(handle, 9001, 105), S_OK);
    expectNext(header(24, 0x2C, ++id).u32(9001).u32(105), "remove object");

    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(handle, 9001, "/data/orig_dest/BAW123", 110), S_OK);
    expectNext(header(284, 0x2D, ++id).u32(9001).text("/data/orig_dest/BAW123", 260).u32(110), "flight plan");

    std::uint32_t last = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(handle, &last), S_OK);
    EXPECT_EQ(last, id);
    EXPECT_EQ(SimConnect_GetLastSentPacketID(handle, nullptr), E_FAIL);
}

// A title or tail number that does not fit is that creation's own failure: nothing is sent, the
// result is told apart from a broken link, and the connection goes on.
TEST_F(PacketTest, creationWithTooLongTextIsRefusedWithoutHarmingTheConnection)
{
    const SimInitPosition init{};
    const std::string title255(255, 'T');
    const std::string title256(256, 'T');
    std::uint32_t sendId = 0;

    const HRESULT longTitle = SimConnect_AICreateNonATCAircraft(handle, title256.c_str(), "AB", init, 104, &sendId);
    EXPECT_EQ(longTitle, E_TEXT_TOO_LONG);
    EXPECT_TRUE(gf_simRequestRefusedLocally(longTitle));
    EXPECT_EQ(sendId, 0u);
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(handle, "A320", "ABCDEFGHIJKL", init, 104, &sendId), E_TEXT_TOO_LONG);
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(handle, 1, title256.c_str()), E_TEXT_TOO_LONG);

    // The longest texts that fit go out; the refused packets left nothing behind them.
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, title255.c_str(), "ABCDEFGHIJK", init, 104, &sendId), S_OK);
    const Bytes packet = peer->read(344);
    ASSERT_EQ(packet.size(), 344u);
    EXPECT_EQ(packet[8], 0x29);
    EXPECT_EQ(packet[12] | (packet[13] << 8), static_cast<int>(sendId));
    EXPECT_EQ(std::string(packet.begin() + 16, packet.begin() + 271), title255);
    EXPECT_EQ(packet[271], 0);
    EXPECT_EQ(std::string(packet.begin() + 272, packet.begin() + 283), "ABCDEFGHIJK");
    EXPECT_EQ(SimConnect_CallDispatch(handle, [](const std::uint8_t*, std::uint32_t, void*) {}, nullptr), S_OK);
}

// A frame's batch: more positions than the send buffer holds, with a refused packet among them,
// leave as the same packets in the same order as one by one, in one write once the batch ends.
TEST_F(PacketTest, batchedPacketsLeaveAsTheSameBytesInOrder)
{
    constexpr std::uint32_t POSITIONS = 500;  // 50,000 bytes: more than one send buffer
    const double position[8] = {47.5, 8.25, 0.01, -0.02, 1.5, 1200.0, -3.0, 140.0};
    const std::string title256(256, 'T');
    std::uint32_t id = 1;
    ByteWriter expected;
    const auto connection = vald::simconnect::gf_findConnection(handle);
    const std::uint64_t writes = connection->writesQueued();
    ASSERT_EQ(SimConnect_BeginPacketBatch(handle), S_OK);
    ASSERT_EQ(SimConnect_BeginPacketBatch(handle), S_OK) << "batches nest";
    // The second half as one call, as the frame flush sends them: the same packets.
    std::vector<SimObjectDatum> secondHalf;
    for (std::uint32_t object = 0; object < POSITIONS; ++object) {
        if (object < POSITIONS / 2)
            ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 9000 + object, 0, 1, 64, position), S_OK);
        else
            secondHalf.push_back(SimObjectDatum{9000 + object, position});
        expected.u32(100).u32(35).u32(0xF0000010u).u32(++id).u32(402).u32(9000 + object).u32(0).u32(1).u32(64);
        for (const double value : position)
            expected.f64(value);
        if (object == POSITIONS / 4) {
            EXPECT_EQ(SimConnect_MapClientEventToSimEvent(handle, 1, title256.c_str()), E_TEXT_TOO_LONG);
            ++id;  // as one by one, the refused packet used up its send id
        }
    }
    ASSERT_EQ(SimConnect_SetDataOnSimObjects(handle, 402, 0, 64, secondHalf.data(), secondHalf.size()), S_OK);
    ASSERT_EQ(SimConnect_EndPacketBatch(handle), S_OK);
    {
        std::lock_guard<std::mutex> lock(vald::simconnect::gf_packetLock());
        EXPECT_FALSE(connection->sendBuffer.empty()) << "the inner end lets nothing go";
    }
    ASSERT_EQ(SimConnect_EndPacketBatch(handle), S_OK);
    EXPECT_EQ(peer->read(expected.bytes().size()), expected.bytes());
    EXPECT_EQ(SimConnect_EndPacketBatch(handle), E_FAIL) << "an end without a begin";

    // Outside a batch each packet leaves at once again.
    ASSERT_EQ(SimConnect_TransmitClientEvent(handle, 77, 218, 16383, 301, 0), S_OK);
    ByteWriter transmit;
    transmit.u32(36).u32(35).u32(0xF0000005u).u32(++id).u32(77).u32(218).u32(16383).u32(301).u32(0);
    EXPECT_EQ(peer->read(transmit.bytes().size()), transmit.bytes());
    // The frame's one call is one write also outside a batch, and the batch above was one.
    const std::vector<SimObjectDatum> frame(POSITIONS, SimObjectDatum{9000, position});
    ASSERT_EQ(SimConnect_SetDataOnSimObjects(handle, 402, 0, 64, frame.data(), frame.size()), S_OK);
    EXPECT_EQ(connection->writesQueued(), writes + 3);
}

// Each creation learns the send id of its own packet even while other threads send.
TEST_F(PacketTest, creationSendIdIsItsOwnUnderConcurrentSending)
{
    constexpr int perThread = 150;
    std::map<std::string, std::uint32_t> returned[2];
    auto creator = [&](int thread) {
        for (int i = 0; i < perThread; ++i) {
            const std::string tail = std::to_string(thread) + "-" + std::to_string(i);
            std::uint32_t sendId = 0;
            ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "A320", tail.c_str(), SimInitPosition{}, 104, &sendId),
                      S_OK);
            returned[thread][tail] = sendId;
        }
    };
    std::map<std::string, std::uint32_t> received;
    std::thread reader([&] {
        for (int packets = 0; packets < 3 * perThread;) {
            const Bytes head = peer->read(16);
            if (head.size() < 16)
                return;
            const std::uint32_t size = head[0] | (head[1] << 8) | (head[2] << 16);
            const Bytes body = peer->read(size - 16);
            const std::uint32_t sendId = head[12] | (head[13] << 8) | (head[14] << 16) | (head[15] << 24);
            if (head[8] == 0x29)
                received[std::string(reinterpret_cast<const char*>(body.data() + 256))] = sendId;
            ++packets;
        }
    });
    std::thread first(creator, 0);
    std::thread second(creator, 1);
    std::thread other([&] {
        for (int i = 0; i < perThread; ++i)
            ASSERT_EQ(SimConnect_AIReleaseControl(handle, 5000 + i, 103), S_OK);
    });
    first.join();
    second.join();
    other.join();
    reader.join();

    ASSERT_EQ(received.size(), 2u * perThread);
    for (const auto& byThread : returned) {
        for (const auto& [tail, sendId] : byThread)
            EXPECT_EQ(received[tail], sendId) << tail;
    }
}

TEST_F(PacketTest, afterTheSimulatorHangsUpEveryCallAnswersTheFailureCode)
{
    peer->close();
    ASSERT_TRUE(event.waitMs(5000));
    const HRESULT failed = SIM_STATUS_LINK_FAILED;
    const double data[8] = {};
    const SimInitPosition init{};
    std::uint32_t sendId = 0;
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(handle, 1, "GEAR_SET"), failed);
    EXPECT_EQ(SimConnect_TransmitClientEvent(handle, 1, 2, 3, 4, 5), failed);
    EXPECT_EQ(SimConnect_AddClientEventToNotificationGroup(handle, 301, 2, false), failed);
    EXPECT_EQ(SimConnect_SetNotificationGroupPriority(handle, 301, 1), failed);
    EXPECT_EQ(SimConnect_AddToDataDefinition(handle, 1, "a", "b", 4, 0.0f, 0), failed);
    EXPECT_EQ(SimConnect_RequestDataOnSimObject(handle, 1, 2, 0, 1, 0, 0, 0, 0), failed);
    EXPECT_EQ(SimConnect_RequestDataOnSimObjectType(handle, 1, 2, 100, 2), failed);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(handle, 402, 1, 0, 1, 64, data), failed);
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(handle, 1, "Sim"), failed);
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(handle, "A320", "X", init, 104, &sendId), failed);
    EXPECT_FALSE(gf_simRequestRefusedLocally(failed));
    EXPECT_EQ(SimConnect_AIReleaseControl(handle, 1, 103), failed);
    EXPECT_EQ(SimConnect_AIRemoveObject(handle, 1, 105), failed);
    EXPECT_EQ(SimConnect_AISetAircraftFlightPlan(handle, 1, "x", 110), failed);
    EXPECT_EQ(SimConnect_CallDispatch(handle, [](const std::uint8_t*, std::uint32_t, void*) {}, nullptr), failed);
    // The failed packets took no send id.
    std::uint32_t last = 0;
    EXPECT_EQ(SimConnect_GetLastSentPacketID(handle, &last), S_OK);
    EXPECT_EQ(last, 1u);
}

TEST(SimConnectHandle, callsWithoutAnOpenConnectionFail)
{
    int notAConnection = 0;
    std::uint32_t sendId = 0;
    EXPECT_EQ(SimConnect_AIRemoveObject(&notAConnection, 1, 105), E_FAIL);
    EXPECT_EQ(SimConnect_GetLastSentPacketID(nullptr, &sendId), E_FAIL);
    EXPECT_EQ(SimConnect_CallDispatch(&notAConnection, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(SimConnect_Close(&notAConnection), E_FAIL);
    HANDLE handle = &notAConnection;
    EXPECT_EQ(SimConnect_Open(&handle, nullptr, nullptr, 0, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(SimConnect_Open(nullptr, "Corv_P3D", nullptr, 0, nullptr, 0), E_INVALIDARG);
}

TEST(SimConnectSendBuffer, sendIdsCountUpAndSkipZeroWhenTheyWrap)
{
    vald::simconnect::SendBuffer buffer(0xFFFFFFFEu);
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < 3; ++i) {
        const auto at = buffer.reserve(24, 0x2B);
        ASSERT_TRUE(at.has_value());
        const Bytes packet = buffer.take();
        ids.push_back(packet[12] | (packet[13] << 8) | (packet[14] << 16) | (static_cast<std::uint32_t>(packet[15]) << 24));
        EXPECT_EQ(ids.back(), buffer.lastSendId());
    }
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{0xFFFFFFFFu, 1u, 2u}));
}

}  // namespace
