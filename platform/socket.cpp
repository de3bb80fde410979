#include "platform/socket.hpp"

#include "platform/known_folders.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

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

vald::SocketConnectResult gf_connectTcp(int family, const std::string& address, const std::string& port,
                                        bool noDelay)
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
    vald::Socket socket(::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol));
    if (!socket.valid()) {
        result.error = errno;
    } else if (::connect(socket.fd(), found->ai_addr, found->ai_addrlen) != 0) {
        result.error = errno;
    } else if (noDelay && !gf_setNoDelay(socket.fd())) {
        result.error = errno;
    } else {
        result.socket = std::move(socket);
    }
    freeaddrinfo(found);
    return result;
}

vald::SocketConnectResult gf_connectUnix(const std::filesystem::path& path, std::chrono::milliseconds busyWait)
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
    vald::Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid()) {
        result.error = errno;
        return result;
    }
    // A blocking connect to a server with a full backlog waits for room, bounded by the send
    // timeout: the busy pipe's wait.
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(busyWait.count() / 1000);
    timeout.tv_usec = static_cast<suseconds_t>((busyWait.count() % 1000) * 1000);
    setsockopt(socket.fd(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        result.error = errno;
        return result;
    }
    timeout = {};
    setsockopt(socket.fd(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
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
