#include "standins/http/client.hpp"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>

#include "standins/http/socket_io.hpp"

namespace standin_http {
namespace {

// Closes the socket however the request ends.
class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

int connectTo(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

Error readError(io::ReadResult result) {
    return result == io::ReadResult::TimedOut ? Error::TimedOut : Error::Read;
}

}  // namespace

const char* describe(Error error) {
    switch (error) {
        case Error::None: return "no error";
        case Error::Connect: return "could not connect";
        case Error::Write: return "could not send the request";
        case Error::Read: return "the reply ended early or could not be read";
        case Error::TimedOut: return "the reply did not come within the read timeout";
        case Error::Malformed: return "the reply's head is malformed";
        case Error::Cancelled: return "cancelled by the caller";
    }
    return "unknown error";
}

Client::Client(const std::string& baseUrl) {
    std::string rest = baseUrl;
    if (rest.rfind("http://", 0) == 0) rest.erase(0, 7);
    rest = rest.substr(0, rest.find('/'));
    const std::size_t colon = rest.rfind(':');
    host_ = rest.substr(0, colon);
    port_ = 80;
    if (colon != std::string::npos) port_ = std::atoi(rest.c_str() + colon + 1);
}

Result Client::get(const std::string& target, const Headers& headers) {
    return send("GET", target, headers, nullptr, nullptr, nullptr);
}

Result Client::get(const std::string& target, const HeadHandler& onHead, const DataHandler& onData) {
    return send("GET", target, {}, nullptr, &onHead, &onData);
}

Result Client::post(const std::string& target, const std::string& body, const std::string& contentType) {
    return send("POST", target, {{"Content-Type", contentType}}, &body, nullptr, nullptr);
}

Result Client::del(const std::string& target) { return send("DELETE", target, {}, nullptr, nullptr, nullptr); }

Result Client::send(const std::string& method, const std::string& target, const Headers& headers,
                    const std::string* body, const HeadHandler* onHead, const DataHandler* onData) {
    const Socket socket(connectTo(host_, port_));
    if (socket.fd() < 0) return Result(Error::Connect);
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: " + host_ + ":" + std::to_string(port_) +
                          "\r\nConnection: close\r\n";
    for (const auto& [name, value] : headers) request += name + ": " + value + "\r\n";
    if (body != nullptr || method == "POST") request += "Content-Length: " + std::to_string(body ? body->size() : 0) + "\r\n";
    request += "\r\n";
    if (body != nullptr) request += *body;
    if (!io::sendAll(socket.fd(), request)) return Result(Error::Write);

    const int timeoutMs = static_cast<int>(readTimeout_.count());
    std::string buffer;
    Response response;
    std::optional<long long> length;
    std::size_t start = std::string::npos;
    for (;;) {  // the head; an interim 100 Continue is skipped
        while ((start = wire::bodyStart(buffer)) == std::string::npos) {
            const io::ReadResult got = io::readSome(socket.fd(), buffer, -1, timeoutMs);
            if (got != io::ReadResult::Data) return Result(readError(got));
        }
        const auto head = wire::parseHead(std::string_view(buffer).substr(0, start));
        int status = 0;
        if (!head || std::from_chars(head->second.data(), head->second.data() + head->second.size(), status).ec != std::errc())
            return Result(Error::Malformed);
        buffer.erase(0, start);
        if (status == 100) continue;
        response.status = status;
        response.headers = head->headers;
        response.contentType = headerValue(head->headers, "Content-Type");
        length = wire::contentLength(head->headers);
        if (length && *length < 0) return Result(Error::Malformed);
        break;
    }
    if (onHead != nullptr && !(*onHead)(response)) return Result(Error::Cancelled);

    std::size_t received = 0;
    const auto take = [&]() -> bool {
        received += buffer.size();
        if (onData != nullptr) {
            const bool more = buffer.empty() || (*onData)(buffer.data(), buffer.size());
            buffer.clear();
            return more;
        }
        response.body += buffer;
        buffer.clear();
        return true;
    };
    if (!take()) return Result(Error::Cancelled);
    while (!length || received < static_cast<std::size_t>(*length)) {
        const io::ReadResult got = io::readSome(socket.fd(), buffer, -1, timeoutMs);
        if (got == io::ReadResult::Closed && !length) break;  // a body without a length ends with the connection
        if (got != io::ReadResult::Data) return Result(readError(got));
        if (!take()) return Result(Error::Cancelled);
    }
    if (length && response.body.size() > static_cast<std::size_t>(*length)) response.body.resize(static_cast<std::size_t>(*length));
    return Result(std::move(response));
}

}  // namespace standin_http
