// Connects that cannot finish: a TCP peer whose backlog is full never answers, and the connect
// must give up at its limit or as soon as the caller is asked to stop, not minutes later.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.hpp"

namespace {

using namespace std::chrono_literals;

// A loopback listener that takes one connection into its queue and lets every later one hang.
class FullListener {
public:
    FullListener() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (::bind(socket_.fd(), reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(socket_.fd(), 0) != 0 ||
            ::getsockname(socket_.fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no listener");
        port_ = std::to_string(ntohs(address.sin_port));
        // Fills the queue: nobody accepts.
        filler_ = gf_connectTcp(AF_INET, "127.0.0.1", port_, false, 5s).socket;
    }
    const std::string& port() const { return port_; }
    bool filled() const { return filler_.valid(); }
    int fillerFd() const { return filler_.fd(); }

private:
    vald::Socket socket_;
    vald::Socket filler_;
    std::string port_;
};

TEST(SocketConnectTest, AConnectThatGetsNoAnswerEndsAtItsLimitOrAtOnceWhenAbandoned)
{
    FullListener listener;
    ASSERT_TRUE(listener.filled());

    const vald::SocketConnectResult timedOut = gf_connectTcp(AF_INET, "127.0.0.1", listener.port(), true, 300ms);
    EXPECT_FALSE(timedOut.socket.valid());
    EXPECT_EQ(timedOut.error, ETIMEDOUT);

    // A connect with a limit of minutes ends once another thread asks it to stop.
    std::atomic<bool> stop{false};
    std::atomic<int> polls{0};
    auto connecting = std::async(std::launch::async, [&] {
        return gf_connectTcp(AF_INET, "127.0.0.1", listener.port(), true, 10min, [&] {
            ++polls;
            return stop.load();
        });
    });
    while (polls.load() < 2)
        std::this_thread::sleep_for(1ms);
    stop.store(true);
    ASSERT_EQ(connecting.wait_for(30s), std::future_status::ready) << "the connect ignored the stop";
    const vald::SocketConnectResult abandoned = connecting.get();
    EXPECT_FALSE(abandoned.socket.valid());
    EXPECT_EQ(abandoned.error, ECANCELED);

    // A peer that is gone is told at once, and one that answers is connected and blocking again.
    const vald::SocketConnectResult refused = gf_connectTcp(AF_INET, "127.0.0.1", "1", false, 10min);
    EXPECT_EQ(refused.error, ECONNREFUSED);
    FullListener answering;  // its queue holds the first connection
    const int flags = fcntl(answering.fillerFd(), F_GETFL);
    EXPECT_EQ(flags & O_NONBLOCK, 0);
}

}  // namespace
