#include "standins/simulator/server.hpp"

#include "standins/simulator/commands.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace standin_sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A client that does not read for this long a queue is dropped rather than buffered forever.
constexpr std::size_t kMaxQueuedBytes = 16u << 20;
// After "quit" the last messages get this long to leave.
constexpr auto kFinalFlushTime = std::chrono::seconds(1);

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

std::runtime_error systemError(const std::string& what) {
    return std::runtime_error(fmt::format("{}: {}", what, std::strerror(errno)));
}

int streamSocket(int family) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw systemError("socket");
    return fd;
}

std::uint16_t listenTcp(int fd, const sockaddr* address, socklen_t length) {
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, address, length) != 0 || ::listen(fd, 16) != 0) {
        const auto error = systemError("bind/listen");
        ::close(fd);
        throw error;
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    const auto port = bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                  : reinterpret_cast<sockaddr_in*>(&bound)->sin_port;
    return ntohs(port);
}

sockaddr_un unixAddress(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) {
        throw std::runtime_error(fmt::format("pipe socket path too long for a Unix socket: {}", text));
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

// Another simulator may already serve this pipe: never take its socket away.
bool someoneListens(const sockaddr_un& address) {
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    const bool connected = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

}  // namespace

void Server::installSignalHandlers() {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw systemError("pipe");
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

Server::Server(Simulator& simulator, const ServerOptions& options) : sim_(simulator), options_(options) {
    if (options.ipv4) {
        const int fd = streamSocket(AF_INET);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(options.ipv4Port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ipv4Port_ = listenTcp(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listeners_.push_back({fd, "ipv4"});
    }
    if (options.ipv6) {
        // A machine without IPv6 on loopback still serves IPv4 and the pipe.
        const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
            sockaddr_in6 address{};
            address.sin6_family = AF_INET6;
            address.sin6_addr = in6addr_loopback;
            try {
                ipv6Port_ = listenTcp(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
                listeners_.push_back({fd, "ipv6"});
            } catch (const std::runtime_error& e) {
                std::fprintf(stderr, "standin_simulator: no IPv6 loopback (%s)\n", e.what());
            }
        }
    }
    if (options.pipe) {
        const std::filesystem::path path = pipeSocketPath(options.pipeName);
        const sockaddr_un address = unixAddress(path);
        if (someoneListens(address)) throw std::runtime_error(fmt::format("the pipe {} is in use", path.string()));
        std::error_code ec;
        // A socket left by a simulator that died is taken over; any other file stays untouched.
        if (std::filesystem::exists(path, ec) && !std::filesystem::is_socket(path, ec)) {
            throw std::runtime_error(fmt::format("{} exists and is not a socket", path.string()));
        }
        std::filesystem::remove(path, ec);
        std::filesystem::create_directories(path.parent_path(), ec);
        const int fd = streamSocket(AF_UNIX);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
            const auto error = systemError("bind/listen " + path.string());
            ::close(fd);
            throw error;
        }
        pipePath_ = path;
        listeners_.push_back({fd, "pipe"});
    }
    if (listeners_.empty()) throw std::runtime_error("no transport to listen on");
}

Server::~Server() {
    for (auto& client : clients_) ::close(client.fd);
    for (auto& listener : listeners_) ::close(listener.fd);
    if (pipePath_) {
        std::error_code ec;
        std::filesystem::remove(*pipePath_, ec);
    }
}

void Server::acceptClients(const Listener& listener) {
    while (true) {
        const int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (listener.transport != "pipe") {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        clients_.push_back({fd, sim_.openSession(listener.transport)});
    }
}

void Server::readClient(Client& client) {
    if (client.fd < 0) return;
    std::uint8_t buffer[65536];
    while (true) {
        const ssize_t got = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            if (!sim_.receive(client.sessionId, std::span(buffer, static_cast<std::size_t>(got)))) {
                closeClient(client, "broken stream");
                return;
            }
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (got < 0 && errno == EINTR) continue;
        closeClient(client, got == 0 ? "closed by the client" : fmt::format("read failed: {}", std::strerror(errno)));
        return;
    }
}

void Server::writeClient(Client& client) {
    Session* session = sim_.session(client.sessionId);
    if (session == nullptr) return;
    Bytes& out = session->out;
    std::size_t sent = 0;
    while (sent < out.size()) {
        const ssize_t n = ::send(client.fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            closeClient(client, fmt::format("write failed: {}", std::strerror(errno)));
            return;
        }
    }
    out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(sent));
    if (out.size() > kMaxQueuedBytes) closeClient(client, "client does not read");
}

void Server::flushAll() {
    for (auto& client : clients_) {
        if (client.fd >= 0) writeClient(client);
    }
    std::erase_if(clients_, [](const Client& c) { return c.fd < 0; });
}

void Server::closeClient(Client& client, const std::string& reason) {
    if (client.fd < 0) return;
    ::shutdown(client.fd, SHUT_RDWR);
    ::close(client.fd);
    client.fd = -1;
    sim_.closeSession(client.sessionId, reason);
}

void Server::dropAll() {
    sim_.journal().write("drop");
    for (auto& client : clients_) closeClient(client, "dropped");
    clients_.clear();
}

bool Server::execute(const std::string& line, std::FILE* answers) {
    const ParsedCommand parsed = parseCommand(line);
    if (!parsed.command) {
        if (!parsed.error.empty()) {
            std::fprintf(answers, "ERROR %s\n", parsed.error.c_str());
            std::fflush(answers);
        }
        return true;
    }
    const Command& command = *parsed.command;
    switch (command.kind) {
    case Command::Kind::Pause: sim_.pause(); break;
    case Command::Kind::Unpause: sim_.unpause(); break;
    case Command::Kind::Teleport: sim_.teleport(command.latitudeDeg, command.longitudeDeg, command.announce); break;
    case Command::Kind::LoadFlight: sim_.loadFlight(command.text); break;
    case Command::Kind::Refuse: sim_.refuseTitle(command.text); break;
    case Command::Kind::CreationDelay: sim_.setCreationDelay(command.seconds); break;
    case Command::Kind::Foreign: sim_.foreignComesAndGoes(); break;
    case Command::Kind::Drop: dropAll(); break;
    case Command::Kind::Quit:
        std::fprintf(answers, "OK %s\n", line.c_str());
        std::fflush(answers);
        return false;
    }
    flushAll();
    std::fprintf(answers, "OK %s\n", line.c_str());
    std::fflush(answers);
    return true;
}

void Server::finalFlush() {
    sim_.quit();
    const auto deadline = SteadyClock::now() + kFinalFlushTime;
    while (SteadyClock::now() < deadline) {
        flushAll();
        std::vector<pollfd> waiting;
        for (const auto& client : clients_) {
            const Session* session = sim_.session(client.sessionId);
            if (session != nullptr && !session->out.empty()) waiting.push_back({client.fd, POLLOUT, 0});
        }
        if (waiting.empty()) break;
        ::poll(waiting.data(), waiting.size(), 50);
    }
    for (auto& client : clients_) closeClient(client, "simulator quit");
    clients_.clear();
}

int Server::run(std::FILE* answers) {
    const auto period = std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(1.0 / options_.frameRate));
    const double periodSeconds = std::chrono::duration<double>(period).count();
    auto nextFrame = SteadyClock::now() + period;
    bool running = true;
    while (running) {
        std::vector<pollfd> fds;
        if (signalPipe[0] >= 0) fds.push_back({signalPipe[0], POLLIN, 0});
        const std::size_t stdinIndex = fds.size();
        if (options_.control) fds.push_back({STDIN_FILENO, POLLIN, 0});
        const std::size_t listenerIndex = fds.size();
        for (const auto& listener : listeners_) fds.push_back({listener.fd, POLLIN, 0});
        const std::size_t clientIndex = fds.size();
        for (const auto& client : clients_) {
            const Session* session = sim_.session(client.sessionId);
            const bool pending = session != nullptr && !session->out.empty();
            fds.push_back({client.fd, static_cast<short>(POLLIN | (pending ? POLLOUT : 0)), 0});
        }

        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextFrame - SteadyClock::now());
        const int timeout = static_cast<int>(std::max<std::int64_t>(0, wait.count()));
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) throw systemError("poll");

        if (signalPipe[0] >= 0 && (fds[0].revents & POLLIN) != 0) running = false;
        if (options_.control && (fds[stdinIndex].revents & (POLLIN | POLLHUP)) != 0) {
            char buffer[4096];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0) {
                running = false;  // whoever controls the stand-in has gone
            } else {
                commandBuffer_.append(buffer, static_cast<std::size_t>(got));
                for (auto end = commandBuffer_.find('\n'); running && end != std::string::npos;
                     end = commandBuffer_.find('\n')) {
                    const std::string line = commandBuffer_.substr(0, end);
                    commandBuffer_.erase(0, end + 1);
                    running = execute(line, answers);
                }
            }
        }
        for (std::size_t i = 0; i < listeners_.size(); ++i) {
            if ((fds[listenerIndex + i].revents & POLLIN) != 0) acceptClients(listeners_[i]);
        }
        const std::size_t polledClients = fds.size() - clientIndex;
        for (std::size_t i = 0; i < polledClients && i < clients_.size(); ++i) {
            if ((fds[clientIndex + i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) readClient(clients_[i]);
        }
        // Frames keep their pace; after a stall only a few are caught up.
        int caughtUp = 0;
        while (SteadyClock::now() >= nextFrame) {
            sim_.frame(periodSeconds);
            nextFrame += period;
            if (++caughtUp == 5) {
                nextFrame = SteadyClock::now() + period;
                break;
            }
        }
        flushAll();
    }
    finalFlush();
    return 0;
}

}  // namespace standin_sim
