#include "standins/http/server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "standins/http/socket_io.hpp"

namespace standin_http {
namespace {

// A head larger than this is no request of the stand-ins' clients.
constexpr std::size_t kMaxHeadBytes = 64 * 1024;

const char* reason(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 204: return "No Content";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 429: return "Too Many Requests";
        case 431: return "Request Header Fields Too Large";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

bool wantsClose(const Request& request, const std::string& version) {
    const std::string connection = request.header("Connection");
    if (connection.find("close") != std::string::npos || connection.find("Close") != std::string::npos) return true;
    return version != "HTTP/1.1" && connection.find("eep-alive") == std::string::npos;
}

std::string head(const Response& response, bool close) {
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) + "\r\n";
    if (!response.contentType.empty()) out += "Content-Type: " + response.contentType + "\r\n";
    if (!response.lengthByClose) {
        const std::size_t length = response.announcedLength.value_or(response.body.size());
        out += "Content-Length: " + std::to_string(length) + "\r\n";
    }
    out += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
    return out + "\r\n";
}

}  // namespace

Server::Server() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make the server's wake pipe");
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
}

Server::~Server() {
    stop();
    reapFinished(true);
    if (listenFd_ >= 0) close(listenFd_);
    close(wakeRead_);
    close(wakeWrite_);
}

void Server::route(std::string method, std::string pattern, Handler handler) {
    routes_.push_back(Route{std::move(method), std::move(pattern), std::move(handler)});
}

int Server::bindAnyPort(const std::string& host) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return -1;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        close(fd);
        return -1;
    }
    listenFd_ = fd;
    return ntohs(address.sin_port);
}

void Server::listen() {
    if (listenFd_ < 0) return;
    running_ = true;
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents != 0) break;
        if ((fds[0].revents & POLLIN) == 0) continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        reapFinished(false);
        std::lock_guard lock(connectionsMutex_);
        Connection& connection = connections_.emplace_back();
        connection.fd = fd;
        connection.thread = std::thread([this, &connection] { serve(connection); });
    }
    stop();  // also when the loop ended on an error: the connections must not wait for requests
    reapFinished(true);
    // Served once: a later connection is refused rather than left waiting in the backlog.
    close(listenFd_);
    listenFd_ = -1;
    running_ = false;
}

void Server::stop() {
    if (stopping_.exchange(true)) return;
    const char byte = 1;
    // The pipe is empty and never drained: one byte wakes every poll on it.
    [[maybe_unused]] const ssize_t written = write(wakeWrite_, &byte, 1);
}

void Server::reapFinished(bool all) {
    std::list<Connection> finished;
    {
        std::lock_guard lock(connectionsMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if (all || it->done) finished.splice(finished.end(), connections_, it);
            it = next;
        }
    }
    for (Connection& connection : finished) connection.thread.join();
}

bool Server::readMore(int fd, std::string& buffer) const {
    return io::readSome(fd, buffer, wakeRead_, -1) == io::ReadResult::Data;
}

void Server::serve(Connection& connection) {
    const int fd = connection.fd;
    std::string buffer;
    while (!stopping_) {
        std::size_t start = wire::bodyStart(buffer);
        while (start == std::string::npos && buffer.size() <= kMaxHeadBytes) {
            if (!readMore(fd, buffer)) break;
            start = wire::bodyStart(buffer);
        }
        if (start == std::string::npos) break;
        const auto parsed = wire::parseHead(std::string_view(buffer).substr(0, start));
        long long length = 0;
        if (parsed) length = wire::contentLength(parsed->headers).value_or(0);
        Request request;
        Response response;
        if (!parsed || length < 0 || !headerValue(parsed->headers, "Transfer-Encoding").empty()) {
            // Neither end here sends chunked bodies or malformed heads: refuse them and close.
            response.status = parsed && length >= 0 ? 501 : 400;
            static_cast<void>(io::sendAll(fd, head(response, true)));  // closed next either way
            break;
        }
        if (length > 0 && headerValue(parsed->headers, "Expect") == "100-continue" && buffer.size() == start)
            static_cast<void>(io::sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n"));  // a dead peer fails the read
        const std::size_t end = start + static_cast<std::size_t>(length);
        bool complete = true;
        while (buffer.size() < end && complete) complete = readMore(fd, buffer);
        if (!complete) break;

        request.method = parsed->first;
        const std::string& target = parsed->second;
        const std::size_t question = target.find('?');
        request.path = wire::percentDecode(std::string_view(target).substr(0, question), false);
        if (question != std::string::npos) request.params = wire::decodeQuery(std::string_view(target).substr(question + 1));
        request.headers = parsed->headers;
        request.body = buffer.substr(start, end - start);
        buffer.erase(0, end);

        dispatch(request, response);
        // A handler that returned because the server is stopping leaves no reply.
        if (stopping_) break;
        const bool close =
            wantsClose(request, parsed->third) || response.announcedLength.has_value() || response.lengthByClose;
        if (response.paceBytesPerSecond > 0) {
            if (!io::sendAll(fd, head(response, close)) || !sendPaced(fd, response.body, response.paceBytesPerSecond) ||
                close)
                break;
        } else if (!io::sendAll(fd, head(response, close) + response.body) || close) {
            break;
        }
    }
    ::close(fd);
    connection.done = true;
}

bool Server::sendPaced(int fd, std::string_view body, double bytesPerSecond) const {
    const int stepMs = std::max(1, static_cast<int>(1000.0 / bytesPerSecond));
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (!io::sendAll(fd, body.substr(i, 1))) return false;
        pollfd wake{wakeRead_, POLLIN, 0};
        if (i + 1 < body.size() && ::poll(&wake, 1, stepMs) != 0) return false;  // stopping: the rest is not sent
    }
    return true;
}

void Server::dispatch(Request& request, Response& response) const {
    for (const Route& route : routes_) {
        if (route.method != request.method) continue;
        const std::string& pattern = route.pattern;
        if (!pattern.empty() && pattern.back() == '*') {
            const std::string_view prefix = std::string_view(pattern).substr(0, pattern.size() - 1);
            if (request.path.compare(0, prefix.size(), prefix) != 0) continue;
            request.wildcard = request.path.substr(prefix.size());
        } else if (request.path != pattern) {
            continue;
        }
        route.handler(request, response);
        return;
    }
    response.status = 404;
}

}  // namespace standin_http
