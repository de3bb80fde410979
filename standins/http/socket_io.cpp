#include "standins/http/socket_io.hpp"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace standin_http::io {

ReadResult readSome(int fd, std::string& buffer, int wakeFd, int timeoutMs) {
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = poll(fds, wakeFd >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return ReadResult::Failed;
        if (ready == 0) return ReadResult::TimedOut;
        if (wakeFd >= 0 && fds[1].revents != 0) return ReadResult::Woken;
        char chunk[16384];
        const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return ReadResult::Failed;
        if (got == 0) return ReadResult::Closed;
        buffer.append(chunk, static_cast<std::size_t>(got));
        return ReadResult::Data;
    }
}

bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t sent = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace standin_http::io
