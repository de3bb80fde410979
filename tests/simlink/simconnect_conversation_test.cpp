// The client library in conversation with the simulator stand-in, a separate program with its
// own codec: what one side packs the other must read.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "simlink/simconnect/recv.hpp"
#include "simlink/simconnect/simconnect.hpp"
#include "tests/simlink/simconnect_test_peer.hpp"

extern char** environ;

using namespace corv_test;
using namespace vald::simconnect;

namespace {

// standin_simulator as a child process: started with its standard input and output on pipes,
// ready once it has printed READY; ended by closing its standard input.
class StandinSimulator {
public:
    explicit StandinSimulator(const std::vector<std::string>& arguments)
    {
        const std::filesystem::path program = binaryDir() / "standins" / "standin_simulator";
        if (!std::filesystem::exists(program))
            throw std::runtime_error("build the target standin_simulator first: " + program.string());
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> all{program.string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        control_ = in[1];
        output_ = out[0];
        if (spawned != 0)
            throw std::runtime_error("cannot start standin_simulator");
        for (std::string line; line != "READY";) {
            line = readLine();
            if (line.rfind("PORT ", 0) == 0)
                port = line.substr(5);
            if (line.empty())
                throw std::runtime_error("standin_simulator ended before READY");
        }
    }

    ~StandinSimulator()
    {
        ::close(control_);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            poll(nullptr, 0, 50);
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        ::close(output_);
    }

    std::string port;

private:
    // One line of its standard output; empty at its end or after 10 s of silence.
    std::string readLine()
    {
        std::string line;
        char c = 0;
        pollfd pfd{output_, POLLIN, 0};
        while (::poll(&pfd, 1, 10000) > 0 && ::read(output_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    pid_t pid_ = -1;
    int control_ = -1;
    int output_ = -1;
};

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

std::vector<nlohmann::json> journalLines(const std::filesystem::path& file)
{
    std::vector<nlohmann::json> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line, nullptr, false));
    return lines;
}

TEST(SimConnectConversation, openDataCreationRefusalAndRemovalOverTcp)
{
    SimFolders folders;
    const std::filesystem::path journal = folders.root() / "journal.jsonl";
    StandinSimulator simulator({"--transports", "ipv4", "--journal", journal.string(), "--refuse", "Refused Livery"});
    ASSERT_FALSE(simulator.port.empty());

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
    for (const auto& line : journalLines(journal)) {
        EXPECT_NE(line.value("kind", ""), "malformed") << line.dump();
        if (line.value("kind", "") == "created")
            created = line.dump().find("CNV101") != std::string::npos;
    }
    EXPECT_TRUE(created);
}

TEST(SimConnectConversation, openOverThePipe)
{
    SimFolders folders;
    StandinSimulator simulator({"--transports", "pipe"});
    SimNotifyEvent event;
    HANDLE handle = nullptr;
    ASSERT_EQ(SimConnect_Open(&handle, "Corv_P3D", nullptr, 0, &event, 0), S_OK);
    Conversation talk(handle, event);
    EXPECT_TRUE(talk.waitFor([](const MessageView& m) { return isId(m, RecvId::open); }));
    EXPECT_EQ(SimConnect_Close(handle), S_OK);
}

}  // namespace
