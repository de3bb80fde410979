#pragma once
// A small HTTP/1.1 client for the tests: one connection per request, closed after the reply. A
// reply whose body ends before its Content-Length, a refused connection or a read that outlasts
// the read timeout is a failed result.
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "standins/http/message.hpp"

namespace standin_http {

enum class Error { None, Connect, Write, Read, TimedOut, Malformed, Cancelled };
const char* describe(Error error);

class [[nodiscard]] Result {
public:
    explicit Result(Error error) : error_(error) {}
    explicit Result(Response response) : response_(std::move(response)) {}
    explicit operator bool() const { return response_.has_value(); }
    const Response* operator->() const { return &*response_; }
    const Response& operator*() const { return *response_; }
    Error error() const { return error_; }

private:
    std::optional<Response> response_;
    Error error_ = Error::None;
};

class Client {
public:
    Client(std::string host, int port) : host_(std::move(host)), port_(port) {}
    // baseUrl: "http://host:port"
    explicit Client(const std::string& baseUrl);

    void setReadTimeout(std::chrono::milliseconds timeout) { readTimeout_ = timeout; }

    // Called with the status and headers before the body; false cancels the request.
    using HeadHandler = std::function<bool(const Response&)>;
    // Called with each piece of the body as it arrives; false cancels the request.
    using DataHandler = std::function<bool(const char*, std::size_t)>;

    Result get(const std::string& target, const Headers& headers = {});
    Result get(const std::string& target, const HeadHandler& onHead, const DataHandler& onData);
    Result post(const std::string& target, const std::string& body, const std::string& contentType);
    Result del(const std::string& target);

private:
    Result send(const std::string& method, const std::string& target, const Headers& headers,
                const std::string* body, const HeadHandler* onHead, const DataHandler* onData);

    std::string host_;
    int port_ = 0;
    // Only a hang guard: a reply that never comes fails the request instead of the whole test run.
    std::chrono::milliseconds readTimeout_{std::chrono::seconds(120)};
};

}  // namespace standin_http
