// A simulator that does not answer the connect must not hold the client: the open gives up as
// soon as its thread is asked to stop. A message the simulator sends the moment it accepts is
// signalled like any other.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/registry.hpp"
#include "platform/socket.hpp"
#include "simlink/simconnect/simconnect.hpp"
#include "simlink/simconnect/transport.hpp"
#include "tests/simlink/simconnect_test_peer.hpp"

using namespace corv_test;
using namespace vald::simconnect;
using namespace std::chrono_literals;

namespace {

const char* const PORT_KEY = "HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5";

TEST(SimConnectAbandon, AnOpenToASimulatorThatNeverAnswersEndsWhenTheThreadIsAskedToStop)
{
    SimFolders folders;
    // A listener whose one queue place is taken: every further connect waits for an answer.
    const vald::Socket silent(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(::bind(silent.fd(), reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent.fd(), 0), 0);
    ASSERT_EQ(::getsockname(silent.fd(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));
    const vald::Socket filler = gf_connectTcp(AF_INET, "127.0.0.1", port, false, 5s).socket;
    ASSERT_TRUE(filler.valid());
    ASSERT_TRUE(gf_regWriteString(PORT_KEY, "SimConnect_Port_IPv6", ""));
    ASSERT_TRUE(gf_regWriteString(PORT_KEY, "SimConnect_Port_IPv4", port));

    std::atomic<bool> stop{false};
    std::atomic<bool> asked{false};
    auto opening = std::async(std::launch::async, [&] {
        const ConnectAbandon abandon([&] {
            asked.store(true);
            return stop.load();
        });
        HANDLE handle = nullptr;
        return SimConnect_Open(&handle, "Corv_P3D", nullptr, 0, nullptr, 0);
    });
    while (!asked.load())
        std::this_thread::sleep_for(1ms);
    stop.store(true);
    ASSERT_EQ(opening.wait_for(30s), std::future_status::ready) << "the open ignored the stop";
    EXPECT_EQ(opening.get(), E_FAIL);
    EXPECT_FALSE(ConnectAbandon::abandoned()) << "the scope belonged to the other thread";
}

TEST(SimConnectAbandon, AMessageSentRightAtTheAcceptIsSignalled)
{
    SimFolders folders;
    const std::unique_ptr<Listener> pipe = Listener::unixAt(folders.defaultPipePath());
    std::thread simulator([&pipe] {
        const std::unique_ptr<PeerConnection> peer = pipe->accept();
        if (peer != nullptr)
            peer->write(simMessage(7, ByteWriter().u32(0).u32(204).u32(0).f32(30.0F).bytes()));
        // Held open until the client has read it.
        if (peer != nullptr)
            peer->read(1);
    });
    SimNotifyEvent event;
    HANDLE handle = nullptr;
    ASSERT_EQ(SimConnect_Open(&handle, "Corv_P3D", nullptr, 0, &event, 0), S_OK);
    EXPECT_TRUE(event.waitMs(5000));
    EXPECT_EQ(SimConnect_Close(handle), S_OK);
    simulator.join();
}

}  // namespace
