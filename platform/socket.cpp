#include "platform/socket.hpp"

#include "platform/known_folders.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace vald {

Socket::~Socket()
{
    close();
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

int Socket::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Socket::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace vald

namespace {

constexpr std::chrono::milliseconds CONNECT_SLICE{50};

bool lf_abandoned(const ConnectAbandonTest& abandon) { return abandon && abandon(); }

// Waits in slices for a non-blocking connect under way; 0 once connected, else the errno.
int lf_finishConnect(int fd, std::chrono::milliseconds limit, const ConnectAbandonTest& abandon)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (lf_abandoned(abandon))
            return ECANCELED;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return ETIMEDOUT;
        const auto slice = std::min<std::chrono::steady_clock::duration>(CONNECT_SLICE, deadline - now);
        pollfd wanted{fd, POLLOUT, 0};
        const int ready =
            ::poll(&wanted, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count()));
        if (ready < 0 && errno != EINTR)
            return errno;
        if (ready <= 0)
            continue;
        int error = 0;
        socklen_t length = sizeof(error);
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return errno;
        return error;
    }
}

}  // namespace

vald::SocketConnectResult gf_connectTcp(int family, const std::string& address, const std::string& port,
                                        bool noDelay, std::chrono::milliseconds limit,
                                        const ConnectAbandonTest& abandon)
{
    vald::SocketConnectResult result;
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.empty() ? nullptr : address.c_str(), port.c_str(), &hints, &found) != 0 ||
        found == nullptr) {
        result.error = EHOSTUNREACH;
        return result;
    }
    vald::Socket socket(::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                                 found->ai_protocol));
    if (!socket.valid()) {
        result.error = errno;
    } else if (::connect(socket.fd(), found->ai_addr, found->ai_addrlen) != 0 && errno != EINPROGRESS) {
        result.error = errno;
    } else if (const int error = lf_finishConnect(socket.fd(), limit, abandon); error != 0) {
        result.error = error;
    } else if (!gf_setNonBlocking(socket.fd(), false) || (noDelay && !gf_setNoDelay(socket.fd()))) {
        result.error = errno;
    } else {
        result.socket = std::move(socket);
    }
    freeaddrinfo(found);
    return result;
}

vald::SocketConnectResult gf_connectUnix(const std::filesystem::path& path, std::chrono::milliseconds busyWait,
                                         const ConnectAbandonTest& abandon)
{
    vald::SocketConnectResult result;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof(address.sun_path)) {
        result.error = ENAMETOOLONG;
        return result;
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    vald::Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.valid()) {
        result.error = errno;
        return result;
    }
    // A server with a full backlog refuses at once with EAGAIN: it is tried again in slices, as
    // long as the busy pipe's wait lasts.
    const auto deadline = std::chrono::steady_clock::now() + busyWait;
    while (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        if (errno == EINPROGRESS) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (const int error = lf_finishConnect(socket.fd(), std::max(left, CONNECT_SLICE), abandon); error != 0) {
                result.error = error;
                return result;
            }
            break;
        }
        if (errno != EAGAIN && errno != EINTR) {
            result.error = errno;
            return result;
        }
        if (lf_abandoned(abandon) || std::chrono::steady_clock::now() >= deadline) {
            result.error = lf_abandoned(abandon) ? ECANCELED : EAGAIN;
            return result;
        }
        std::this_thread::sleep_for(CONNECT_SLICE);
    }
    if (!gf_setNonBlocking(socket.fd(), false)) {
        result.error = errno;
        return result;
    }
    result.socket = std::move(socket);
    return result;
}

std::string gf_pipeSocketFileName(std::string_view pipeName) { return vald::gf_runtimeFileName(pipeName, ".sock"); }

std::filesystem::path gf_pipeSocketPath(std::string_view pipeName)
{
    return vald::gf_runtimeFolder().value_or(std::filesystem::path("/tmp")) / gf_pipeSocketFileName(pipeName);
}

bool gf_setNoDelay(int fd)
{
    const int on = 1;
    return setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on)) == 0;
}

bool gf_setNonBlocking(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}
