// The stand-ins' own HTTP/1.1 server and the tests' client, over real sockets on 127.0.0.1:
// routing, decoding, several requests on one connection, refusals, a reply cut short, and the
// client's failures.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "standins/http/client.hpp"
#include "standins/http/server.hpp"

namespace standin_http {
namespace {

// A server on a thread of its own, stopped and joined at the end of the test.
class Running {
public:
    explicit Running(Server& server) : server_(server), port_(server.bindAnyPort("127.0.0.1")) {
        thread_ = std::thread([this] { server_.listen(); });
    }
    ~Running() {
        server_.stop();
        thread_.join();
    }
    int port() const { return port_; }

private:
    Server& server_;
    int port_;
    std::thread thread_;
};

// Sends raw bytes on one connection and reads until the peer closes it.
std::string rawExchange(int port, const std::string& bytes) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size())) {
        char chunk[4096];
        for (ssize_t got; (got = recv(fd, chunk, sizeof chunk, 0)) > 0;) reply.append(chunk, static_cast<std::size_t>(got));
    }
    close(fd);
    return reply;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(StandinHttp, RoutesByMethodAndPathAndDecodesPathQueryAndHeaders) {
    Server server;
    server.get("/exact", [](const Request& req, Response& res) {
        res.setContent(req.param("a") + "|" + req.param("b") + "|" + (req.hasParam("flag") ? "flag" : "-") + "|" +
                           req.header("x-custom"),
                       "text/plain");
    });
    server.get("/files/*", [](const Request& req, Response& res) { res.setContent("file " + req.wildcard, "text/plain"); });
    server.post("/exact", [](const Request& req, Response& res) {
        res.status = 201;
        res.setContent(req.body, req.header("Content-Type"));
    });
    server.get("*", [](const Request& req, Response& res) {
        res.status = 404;
        res.setContent("none at " + req.path, "text/plain");
    });
    const Running running(server);
    Client client("127.0.0.1", running.port());

    const Result got = client.get("/exact?a=x%2By+z&b=%41%zz&flag", {{"X-Custom", "yes"}});
    ASSERT_TRUE(got) << describe(got.error());
    EXPECT_EQ(got->status, 200);
    EXPECT_EQ(got->body, "x+y z|A%zz|flag|yes");
    EXPECT_EQ(got->header("content-type"), "text/plain");

    const Result file = client.get("/files/a%20b/c.txt");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->body, "file a b/c.txt");

    const Result posted = Client("http://127.0.0.1:" + std::to_string(running.port())).post("/exact", "k=v", "application/x-www-form-urlencoded");
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->status, 201);
    EXPECT_EQ(posted->body, "k=v");
    EXPECT_EQ(posted->contentType, "application/x-www-form-urlencoded");

    const Result other = client.get("/exactly");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->status, 404);
    EXPECT_EQ(other->body, "none at /exactly");
    const Result deleted = client.del("/exact");  // no DELETE route at all
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->status, 404);
}

TEST(StandinHttp, OneConnectionCarriesSeveralRequestsAndMalformedOnesAreRefused) {
    Server server;
    std::atomic<int> served{0};
    server.post("/count", [&](const Request& req, Response& res) { res.setContent(std::to_string(++served) + ":" + req.body, "text/plain"); });
    const Running running(server);

    // Two requests in one write, the second asking to close; then an Expect: 100-continue.
    const std::string pair = rawExchange(running.port(),
                                         "POST /count HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc"
                                         "POST /count HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\nConnection: close\r\n\r\nde");
    EXPECT_EQ(occurrences(pair, "HTTP/1.1 200 OK"), 2u) << pair;
    EXPECT_NE(pair.find("1:abc"), std::string::npos) << pair;
    EXPECT_NE(pair.find("Connection: keep-alive"), std::string::npos) << pair;
    EXPECT_NE(pair.find("2:de"), std::string::npos) << pair;

    EXPECT_EQ(rawExchange(running.port(), "GET\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_EQ(rawExchange(running.port(), "POST /count HTTP/1.1\r\nContent-Length: -4\r\n\r\n").rfind("HTTP/1.1 400", 0), 0u);
    EXPECT_EQ(rawExchange(running.port(), "POST /count HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n").rfind("HTTP/1.1 501", 0), 0u);
    EXPECT_EQ(served.load(), 2);
}

TEST(StandinHttp, ACutReplyFailsTheClientWhoseTimeoutAndRefusalAreFailuresToo) {
    Server server;
    std::mutex mutex;
    std::condition_variable wake;
    bool release = false;
    server.get("/cut", [](const Request&, Response& res) {
        res.setContent("half", "text/plain");
        res.announcedLength = 8;
    });
    server.get("/slow", [&](const Request&, Response& res) {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return release; });
        res.setContent("late", "text/plain");
    });
    int closedPort = 0;
    {
        Running running(server);
        Client client("127.0.0.1", running.port());
        std::size_t announced = 0;
        std::string received;
        const Result cut = client.get(
            "/cut",
            [&](const Response& head) {
                announced = std::stoul(head.header("Content-Length"));
                return true;
            },
            [&](const char* data, std::size_t size) {
                received.append(data, size);
                return true;
            });
        EXPECT_FALSE(cut);
        EXPECT_EQ(cut.error(), Error::Read);
        EXPECT_EQ(announced, 8u);
        EXPECT_EQ(received, "half");

        client.setReadTimeout(std::chrono::milliseconds(50));
        const Result slow = client.get("/slow");
        EXPECT_FALSE(slow);
        EXPECT_EQ(slow.error(), Error::TimedOut);
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        wake.notify_all();
        closedPort = running.port();
    }
    const Result refused = Client("127.0.0.1", closedPort).get("/cut");
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error(), Error::Connect);
}

}  // namespace
}  // namespace standin_http
