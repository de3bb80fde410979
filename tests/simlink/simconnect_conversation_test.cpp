// The client library in conversation with the simulator stand-in, a separate program with its
// own codec: what one side packs the other must read.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>

#include "simlink/simconnect/recv.hpp"
#include "simlink/simconnect/simconnect.hpp"
#include "tests/simlink/simconnect_test_peer.hpp"
#include "tests/support/simulator_standin.hpp"

using namespace corv_test;
using namespace vald::simconnect;

namespace {

// Collects what the simulator sends.
class Conversation {
public:
    explicit Conversation(HANDLE handle, SimNotifyEvent& event) : handle_(handle), event_(event) {}

    // Dispatches until a message satisfies match (which sees each message once); false after 10 s.
    bool waitFor(const std::function<bool(const MessageView&)>& match)
    {
        for (int rounds = 0; rounds < 100; ++rounds) {
            for (; seen_ < messages_.size(); ++seen_) {
                const MessageView view(messages_[seen_].data(), static_cast<std::uint32_t>(messages_[seen_].size()));
                if (match(view)) {
                    ++seen_;
                    return true;
                }
            }
            event_.waitMs(100);
            if (SimConnect_CallDispatch(handle_, collect, &messages_) != S_OK)
                return false;
        }
        return false;
    }

private:
    static void collect(const std::uint8_t* data, std::uint32_t size, void* context)
    {
        static_cast<std::vector<Bytes>*>(context)->emplace_back(data, data + size);
    }

    HANDLE handle_;
    SimNotifyEvent& event_;
    std::vector<Bytes> messages_;
    std::size_t seen_ = 0;
};

bool isId(const MessageView& message, RecvId id)
{
    return message.id() == static_cast<std::uint32_t>(id);
}

TEST(SimConnectConversation, openDataCreationRefusalAndRemovalOverTcp)
{
    SimFolders folders;
    SimulatorStandin simulator(folders.root() / "journal.jsonl",
                               {"--transports", "ipv4", "--refuse", "Refused Livery"});
    ASSERT_FALSE(simulator.port().empty());

    SimNotifyEvent event;
    HANDLE handle = nullptr;
    ASSERT_EQ(SimConnect_Open(&handle, "Corv_P3D", nullptr, 0, &event, 0), S_OK);
    Conversation talk(handle, event);

    std::string applicationName;
    ASSERT_TRUE(talk.waitFor([&](const MessageView& m) {
        if (!isId(m, RecvId::open))
            return false;
        applicationName = gf_readOpen(m).value_or(RecvOpen{}).applicationName;
        return true;
    }));
    EXPECT_NE(applicationName.find("v5"), std::string::npos) << applicationName;

    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(handle, 202, "ObjectAdded"), S_OK);
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(handle, 203, "ObjectRemoved"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(handle, 409, "SIM ON GROUND", "Bool", 2, 0.0f, SIM_UNUSED_DATUM_ID), S_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 108, 409, SIM_OBJECT_ID_USER, 1, 0, 0, 0, 0), S_OK);
    std::optional<RecvObjectData> onGround;
    ASSERT_TRUE(talk.waitFor([&](const MessageView& m) {
        if (!isId(m, RecvId::objectData))
            return false;
        onGround = gf_readObjectData(m);
        return onGround && onGround->requestId == 108;
    }));
    EXPECT_EQ(onGround->data.size(), 8u);

    const SimInitPosition position{47.4647, 8.5492, 1416.0, 0.0, 0.0, 140.0, 1, 0};
    std::uint32_t createdSendId = 0;
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Conversation A320", "CNV101", position, 104, &createdSendId),
              S_OK);
    std::uint32_t objectId = 0;
    ASSERT_TRUE(talk.waitFor([&](const MessageView& m) {
        if (!isId(m, RecvId::objectAddRemove))
            return false;
        const auto added = gf_readObjectAddRemove(m);
        if (!added || added->eventId != 202 || added->objectType != 2)
            return false;
        objectId = added->objectId;
        return true;
    }));
    EXPECT_NE(objectId, 0u);

    std::uint32_t refusedSendId = 0;
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Refused Livery", "CNV102", position, 104, &refusedSendId), S_OK);
    std::optional<RecvException> refusal;
    ASSERT_TRUE(talk.waitFor([&](const MessageView& m) {
        refusal = isId(m, RecvId::exception) ? gf_readException(m) : std::nullopt;
        return refusal && refusal->exception == 22;
    }));
    EXPECT_EQ(refusal->sendId, refusedSendId);
    EXPECT_NE(refusedSendId, createdSendId);

    ASSERT_EQ(SimConnect_AIRemoveObject(handle, objectId, 105), S_OK);
    ASSERT_TRUE(talk.waitFor([&](const MessageView& m) {
        const auto removed = isId(m, RecvId::objectAddRemove) ? gf_readObjectAddRemove(m) : std::nullopt;
        return removed && removed->eventId == 203 && removed->objectId == objectId;
    }));
    EXPECT_EQ(SimConnect_Close(handle), S_OK);

    // The stand-in read every packet as meant: the creation with its texts, nothing malformed.
    bool created = false;
    for (const auto& line : simulator.journal()) {
        EXPECT_NE(line.value("kind", ""), "malformed") << line.dump();
        if (line.value("kind", "") == "created")
            created = line.dump().find("CNV101") != std::string::npos;
    }
    EXPECT_TRUE(created);
}

TEST(SimConnectConversation, openOverThePipe)
{
    SimFolders folders;
    SimulatorStandin simulator(std::filesystem::path(), {"--transports", "pipe"});
    SimNotifyEvent event;
    HANDLE handle = nullptr;
    ASSERT_EQ(SimConnect_Open(&handle, "Corv_P3D", nullptr, 0, &event, 0), S_OK);
    Conversation talk(handle, event);
    EXPECT_TRUE(talk.waitFor([](const MessageView& m) { return isId(m, RecvId::open); }));
    EXPECT_EQ(SimConnect_Close(handle), S_OK);
}

}  // namespace
