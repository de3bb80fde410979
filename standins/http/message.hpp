#pragma once
// HTTP/1.1 messages as the stand-ins and the tests see them, and the few pieces of the wire
// format both ends of a loopback connection share.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin_http {

using Headers = std::vector<std::pair<std::string, std::string>>;
using Params = std::vector<std::pair<std::string, std::string>>;

// The value of the first header of that name (names compare without regard to case), "" when absent.
std::string headerValue(const Headers& headers, std::string_view name);

struct Request {
    std::string method;
    std::string path;   // percent-decoded, without the query
    Params params;      // the query's fields, decoded, in order
    Headers headers;
    std::string body;
    std::string wildcard;  // what the '*' of the route's pattern matched

    bool hasParam(std::string_view name) const;
    // The first field of that name, "" when absent.
    std::string param(std::string_view name) const;
    std::string header(std::string_view name) const { return headerValue(headers, name); }
};

struct Response {
    int status = 200;
    Headers headers;
    std::string body;
    std::string contentType;
    // Set to cut the reply short: the head announces this many body bytes, only `body` is sent,
    // and the connection is closed there.
    std::optional<std::size_t> announcedLength;
    // Set to send no Content-Length: the body ends where the connection is closed, after it.
    bool lengthByClose = false;
    // Set to send the body slowly, one byte at a time at this many bytes a second (at most 1000);
    // 0 sends it at once. A stop of the server ends it where it is.
    double paceBytesPerSecond = 0;

    void setContent(std::string content, std::string type) {
        body = std::move(content);
        contentType = std::move(type);
    }
    std::string header(std::string_view name) const { return headerValue(headers, name); }
};

namespace wire {

// "%hh" is a byte, and in a query "+" is a blank; a malformed escape stays as it is.
std::string percentDecode(std::string_view text, bool plusIsBlank);
Params decodeQuery(std::string_view query);

// The head of a message up to its blank line: the start line's three words and the headers.
struct Head {
    std::string first, second, third;
    Headers headers;
};
// nullopt when the start line or a header line is malformed.
[[nodiscard]] std::optional<Head> parseHead(std::string_view head);

// Where the body of a message in `buffer` starts (just past the blank line), npos while the head
// is incomplete.
std::size_t bodyStart(const std::string& buffer);

// Content-Length of the headers: nullopt when absent, -1 when malformed or too large.
[[nodiscard]] std::optional<long long> contentLength(const Headers& headers);

}  // namespace wire
}  // namespace standin_http
