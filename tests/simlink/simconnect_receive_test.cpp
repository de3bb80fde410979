// Receiving: framing of the byte stream, dispatch, the failures of a broken stream, and the
// size-checked reading of messages.
#include <gtest/gtest.h>

#include "simlink/simconnect/framing.hpp"
#include "simlink/simconnect/recv.hpp"
#include "simlink/simconnect/simconnect.hpp"
#include "tests/simlink/simconnect_test_peer.hpp"

using namespace corv_test;
using vald::simconnect::Framer;

namespace {

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Feeds bytes into the framer as reads would (never more than its free room), and collects
// the messages and the outcome that ends each read.
struct FramerFeed {
    Framer framer;
    std::vector<Bytes> messages;

    explicit FramerFeed(std::uint32_t maxReceiveSize = 41088) : framer(maxReceiveSize) {}

    Framer::Outcome feed(const Bytes& bytes)
    {
        std::size_t done = 0;
        Framer::Outcome outcome = Framer::Outcome::needMore;
        while (done < bytes.size()) {
            auto room = framer.freeRoom();
            if (room.empty())
                return Framer::Outcome::tooLarge;
            const std::size_t count = std::min(room.size(), bytes.size() - done);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(done), count, room.begin());
            framer.commit(count);
            done += count;
            while ((outcome = framer.extract()) == Framer::Outcome::message)
                messages.push_back(framer.takeMessage());
            if (outcome != Framer::Outcome::needMore)
                return outcome;
        }
        return outcome;
    }
};

TEST(SimConnectFraming, cutsTheStreamIntoWholeMessages)
{
    const Bytes first = simMessage(7, ByteWriter().u32(1).u32(2).u32(0).f32(30.0f).bytes());
    const Bytes second = simMessage(3, {});
    // A message whose size has a zero low byte, right after padding.
    const Bytes third = simMessage(4, Bytes(256 - 12, 0xAB));
    ASSERT_EQ(third[0], 0);

    FramerFeed feed;
    EXPECT_EQ(feed.feed(concat({first, second})), Framer::Outcome::needMore);
    ASSERT_EQ(feed.messages.size(), 2u);
    EXPECT_EQ(feed.messages[0], first);
    EXPECT_EQ(feed.messages[1], second);

    // One message over two reads, then padding and a message.
    const Bytes stream = concat({first, Bytes(8, 0), third});
    EXPECT_EQ(feed.feed(Bytes(stream.begin(), stream.begin() + 5)), Framer::Outcome::needMore);
    EXPECT_EQ(feed.messages.size(), 2u);
    EXPECT_EQ(feed.feed(Bytes(stream.begin() + 5, stream.end())), Framer::Outcome::needMore);
    ASSERT_EQ(feed.messages.size(), 4u);
    EXPECT_EQ(feed.messages[2], first);
    EXPECT_EQ(feed.messages[3], third);
}

TEST(SimConnectFraming, messageLargerThanTheStartBufferGrowsIt)
{
    const Bytes big = simMessage(8, Bytes(9000, 0x5A));
    FramerFeed feed;
    EXPECT_EQ(feed.feed(concat({big, simMessage(3, {})})), Framer::Outcome::needMore);
    ASSERT_EQ(feed.messages.size(), 2u);
    EXPECT_EQ(feed.messages[0], big);
    EXPECT_GE(feed.framer.capacity(), big.size());
    EXPECT_LT(feed.framer.capacity(), big.size() + 2 * 2048);
}

TEST(SimConnectFraming, badSizesAreErrors)
{
    FramerFeed negative;
    EXPECT_EQ(negative.feed(ByteWriter().u32(0x80000010u).u32(0).bytes()), Framer::Outcome::badSize);
    // The largest accepted message is received even when it is above the 1 MiB buffer limit.
    FramerFeed huge(1100000);
    const Bytes message = simMessage(8, Bytes(1100000 - 12, 1));
    EXPECT_EQ(huge.feed(message), Framer::Outcome::needMore);
    ASSERT_EQ(huge.messages.size(), 1u);
    EXPECT_EQ(huge.messages[0].size(), message.size());
}

// A connected client with a peer; messages are collected by dispatch.
class ReceiveTest : public ConnectedClientTest {
protected:
    static void collect(const std::uint8_t* data, std::uint32_t size, void* context)
    {
        static_cast<std::vector<Bytes>*>(context)->emplace_back(data, data + size);
    }

    // Dispatches until count messages have come or the connection has failed.
    HRESULT dispatchUntil(std::size_t count)
    {
        HRESULT result = S_OK;
        while (received.size() < count && result == S_OK) {
            if (!event.waitMs(5000))
                break;
            result = SimConnect_CallDispatch(handle, collect, &received);
        }
        return result;
    }

    std::vector<Bytes> received;
};

TEST_F(ReceiveTest, dispatchHandsOverMessagesInOrderAndDropsHeaderlessOnes)
{
    const Bytes quit = simMessage(3, {});
    const Bytes frame = simMessage(7, ByteWriter().u32(0).u32(0).u32(0).f32(25.0f).bytes());
    const Bytes big = simMessage(9, Bytes(5000, 7));
    peer->write(concat({frame, ByteWriter().u32(8).u32(0).bytes(), Bytes(4, 0), big}));
    peer->write(quit);
    EXPECT_EQ(dispatchUntil(3), S_OK);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0], frame);
    EXPECT_EQ(received[1], big);
    EXPECT_EQ(received[2], quit);
    // Without a callback of its own a dispatch uses the last one.
    peer->write(quit);
    while (received.size() < 4 && event.waitMs(5000))
        ASSERT_EQ(SimConnect_CallDispatch(handle, nullptr, &received), S_OK);
    EXPECT_EQ(received.size(), 4u);
}

TEST_F(ReceiveTest, endOfStreamDeliversWhatCameThenFailsTheConnection)
{
    const Bytes quit = simMessage(3, {});
    peer->write(quit);
    peer->close();
    EXPECT_EQ(dispatchUntil(2), SIM_STATUS_LINK_FAILED);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], quit);
}

TEST_F(ReceiveTest, sizeTwoFailsTheConnection)
{
    peer->write(ByteWriter().u32(2).u32(0).u32(0).bytes());
    EXPECT_EQ(dispatchUntil(1), E_ABORT);
    EXPECT_EQ(SimConnect_AIRemoveObject(handle, 1, 105), E_ABORT);
}

TEST_F(ReceiveTest, sizeAboveTheMaximumFailsTheConnection)
{
    peer->write(ByteWriter().u32(41089).u32(4).u32(8).bytes());
    EXPECT_EQ(dispatchUntil(1), E_ABORT);
}

TEST(SimConnectMessages, fieldsAreReadOnlyInsideTheMessage)
{
    using namespace vald::simconnect;
    const Bytes exception = simMessage(1, ByteWriter().u32(22).u32(57).u32(3).bytes());
    const auto read = gf_readException(MessageView(exception.data(), static_cast<std::uint32_t>(exception.size())));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->sendId, 57u);
    // The same message cut short gives nothing instead of reading past its end.
    EXPECT_FALSE(gf_readException(MessageView(exception.data(), 20)).has_value());

    // A name that fills its whole field ends with the field; one byte less of message is too short.
    const Bytes open = simMessage(2, ByteWriter().text(std::string(256, 'P'), 256).u32(5).u32(4).u32(38).u32(2).bytes());
    const auto opened = gf_readOpen(MessageView(open.data(), static_cast<std::uint32_t>(open.size())));
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(opened->applicationName, std::string(256, 'P'));
    EXPECT_EQ(opened->buildMinor, 2u);
    EXPECT_FALSE(gf_readOpen(MessageView(open.data(), 283)).has_value());

    const Bytes data = simMessage(8, ByteWriter().u32(109).u32(3).zeros(20).f64(47.5).bytes());
    const auto objectData = gf_readObjectData(MessageView(data.data(), static_cast<std::uint32_t>(data.size())));
    ASSERT_TRUE(objectData.has_value());
    const MessageView block(objectData->data.data(), static_cast<std::uint32_t>(objectData->data.size()));
    EXPECT_EQ(block.f64(0), 47.5);
    EXPECT_FALSE(block.f64(4).has_value());
    EXPECT_FALSE(gf_readObjectAddRemove(MessageView(data.data(), 24)).has_value());
}

}  // namespace
