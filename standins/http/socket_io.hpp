#pragma once
// Blocking reads and writes on a connected socket, for both ends of the loopback HTTP.
#include <string>
#include <string_view>

namespace standin_http::io {

enum class [[nodiscard]] ReadResult { Data, Closed, TimedOut, Woken, Failed };

// Appends what the socket has to buffer, waiting up to timeoutMs (-1: no limit) for it; wakeFd,
// when not -1, ends the wait as soon as it turns readable.
ReadResult readSome(int fd, std::string& buffer, int wakeFd, int timeoutMs);
// False when the peer is gone.
[[nodiscard]] bool sendAll(int fd, std::string_view data);

}  // namespace standin_http::io
