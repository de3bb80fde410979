#pragma once
// Stream-socket clients for the simulator link: TCP over IPv6 or IPv4, and the Unix-domain
// socket that stands in for a Windows named pipe on this platform.
//
// Named pipe on this platform: the pipe "\\<server>\pipe\<name>" is a Unix-domain stream socket
// named after the whole pipe name, in the runtime folder:
//
//     <runtime folder>/<pipe name, every character other than A-Z a-z 0-9 '.' '-' '_'
//                       replaced by '_'>.sock
//
// so the simulator's default pipe "\\.\pipe\Lockheed Martin Prepar3D v5\SimConnect" is
//     <runtime folder>/__._pipe_Lockheed_Martin_Prepar3D_v5_SimConnect.sock
// The runtime folder is $XDG_RUNTIME_DIR, else the system's temporary folder. A server that
// plays the simulator listens at that same path.
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace vald {

// An owned socket descriptor; -1 when empty. Moves, never copies.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket();
    Socket(Socket&& other) noexcept : fd_(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    [[nodiscard]] int release();
    void close();

private:
    int fd_ = -1;
};

// The outcome of a connect: the connected socket, or the errno of the step that failed
// (a failed name look-up gives EHOSTUNREACH).
struct [[nodiscard]] SocketConnectResult {
    Socket socket;
    int error = 0;
};

}  // namespace vald

// Answers true when a connect under way should be given up (the caller is asked to stop).
using ConnectAbandonTest = std::function<bool()>;

// Connects a TCP stream socket over the family (AF_INET6 or AF_INET) to address and port
// (an empty address is the loopback address of the family). Takes the first address that the
// look-up gives; with noDelay, Nagle's algorithm is switched off. The connect does not block:
// it is polled in slices of 50 ms, given up after limit (ETIMEDOUT) or as soon as abandon
// answers true (ECANCELED). The socket is left blocking once connected.
vald::SocketConnectResult gf_connectTcp(int family, const std::string& address, const std::string& port,
                                        bool noDelay, std::chrono::milliseconds limit,
                                        const ConnectAbandonTest& abandon = {});

// Connects a Unix-domain stream socket at path. A server whose backlog is full is tried again
// for at most busyWait (the busy pipe's wait), or until abandon answers true.
vald::SocketConnectResult gf_connectUnix(const std::filesystem::path& path, std::chrono::milliseconds busyWait,
                                         const ConnectAbandonTest& abandon = {});

// The file name of a pipe's socket (see the top of this file); pure.
std::string gf_pipeSocketFileName(std::string_view pipeName);

// The path of a pipe's socket in the runtime folder.
std::filesystem::path gf_pipeSocketPath(std::string_view pipeName);

// Sets TCP_NODELAY; false when the socket refuses it.
[[nodiscard]] bool gf_setNoDelay(int fd);

// Sets or clears O_NONBLOCK; false on failure.
[[nodiscard]] bool gf_setNonBlocking(int fd, bool on);
