#pragma once
// A small HTTP/1.1 server on loopback: routes by method and path pattern, one thread per
// connection, keep-alive unless the client asks to close. stop() may come from any thread; it
// wakes every connection waiting for a request, and listen() joins them all before it returns.
#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "standins/http/message.hpp"

namespace standin_http {

class Server {
public:
    using Handler = std::function<void(const Request&, Response&)>;

    Server();
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Routes, set before listen(): the first whose method and pattern match the decoded path
    // answers; no route is a 404. A pattern is a path, or a path prefix ending in '*' that
    // matches any rest (Request::wildcard holds it); "*" alone matches every path.
    void get(const std::string& pattern, Handler handler) { route("GET", pattern, std::move(handler)); }
    void post(const std::string& pattern, Handler handler) { route("POST", pattern, std::move(handler)); }
    void del(const std::string& pattern, Handler handler) { route("DELETE", pattern, std::move(handler)); }

    // Binds an ephemeral port on host (a numeric address) and listens; returns the port, -1 on failure.
    [[nodiscard]] int bindAnyPort(const std::string& host);
    // Serves until stop(), then closes the port; returns at once when not bound or stopped already.
    void listen();
    void stop();
    bool running() const { return running_.load(); }

private:
    struct Route {
        std::string method;
        std::string pattern;
        Handler handler;
    };
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void route(std::string method, std::string pattern, Handler handler);
    void serve(Connection& connection);
    // Reads more of the connection into buffer; false on end, error or stop.
    [[nodiscard]] bool readMore(int fd, std::string& buffer) const;
    void dispatch(Request& request, Response& response) const;
    // Sends body one byte at a time at the pace; false when the peer is gone or the server stops.
    [[nodiscard]] bool sendPaced(int fd, std::string_view body, double bytesPerSecond) const;
    void reapFinished(bool all);

    std::vector<Route> routes_;
    int listenFd_ = -1;
    int wakeRead_ = -1;   // readable once stop() was called; never drained
    int wakeWrite_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> running_{false};
    std::mutex connectionsMutex_;
    std::list<Connection> connections_;
};

}  // namespace standin_http
