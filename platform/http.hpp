#pragma once
// A small owner of one libcurl easy handle, for the traffic service's requests and the downloads.
//
// Every transfer starts from a reset handle and gets the same ground rules: gzip/deflate
// accepted, our User-Agent, only http and https, a connect time-out and a low-speed limit (so a
// stalled peer cannot hang start-up or closing), no signals (the handle is used on worker
// threads) and libcurl's certificate checks left on. Plain http is refused unless the host is a
// loopback address. Nothing here logs: the callers own the wording of every failure.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <curl/curl.h>

namespace vald {

struct HttpSink;  // where one transfer's bytes go (internal)

struct HttpLimits {
    std::chrono::seconds connectTimeout{10};
    // A transfer slower than lowSpeedBytesPerSecond for lowSpeedTime is abandoned.
    long lowSpeedBytesPerSecond = 1;
    std::chrono::seconds lowSpeedTime{20};
    // A reply kept in memory may not grow beyond this (a broken peer cannot exhaust memory).
    std::size_t maxReplyBytes = 64u * 1024u * 1024u;
};

struct [[nodiscard]] HttpOutcome {
    CURLcode code = CURLE_OK;
    long responseCode = 0;  // the HTTP status line's code; 0 when no response came
    std::string errorText;  // empty on success: curl's text, our refusal, or the write failure

    bool ok() const { return code == CURLE_OK; }
};

class HttpHandle {
public:
    // name is the owner's label for the handle ("trcurl_"); it starts the texts of the errors
    // thrown here. Throws std::runtime_error "{name} curl_easy_init() failed".
    explicit HttpHandle(std::string name);
    ~HttpHandle();
    HttpHandle(const HttpHandle&) = delete;
    HttpHandle& operator=(const HttpHandle&) = delete;

    const std::string& name() const { return name_; }

    // Replaces the handle by a fresh one (the old one is released first).
    // Throws std::runtime_error "{name} curl_easy_init() failed".
    void renew();

    void setUserAgent(std::string userAgent) { userAgent_ = std::move(userAgent); }
    void setLimits(const HttpLimits& limits) { limits_ = limits; }
    const HttpLimits& limits() const { return limits_; }
    // While *flag is true a running transfer is abandoned (CURLE_ABORTED_BY_CALLBACK); nullptr
    // ends that. The flag must outlive the transfers.
    void setAbortFlag(const std::atomic<bool>* flag);
    // The same for a question asked on the transfer's thread: on every piece of data and about once
    // a second while none comes (also while a body trickles in), so a transfer ends within about a
    // second of the answer turning true. An empty function ends that.
    void setAbortCheck(std::function<bool()> check) { abortCheck_ = std::move(check); }

    // POST of a form body (see gf_formBody). The reply is appended to reply.
    // Throws std::runtime_error when an option cannot be set.
    HttpOutcome post(const std::string& url, const std::string& body, std::string& reply);
    // GET into memory, appended to reply.
    HttpOutcome get(const std::string& url, std::string& reply);
    // GET into the file open for writing at descriptor, a temporary file the caller made new (the
    // descriptor stays the caller's). The body stays in it only after a complete transfer answered
    // with HTTP status 200; after any other end the file is cut back to where it stood, so that no
    // part of a body is ever taken for the whole. Checking the body and putting it in the place of
    // an older copy is the caller's. A body that grows beyond maxBytes (counted after decoding) is
    // abandoned the same way.
    HttpOutcome download(const std::string& url, int descriptor, std::uint64_t maxBytes = UINT64_MAX);

private:
    void lf_prepare(const std::string& url, HttpSink& sink);
    HttpOutcome lf_perform(const std::string& url, HttpSink& sink);

    std::string name_;
    CURL* curl_ = nullptr;
    std::string userAgent_;
    HttpLimits limits_;
    std::function<bool()> abortCheck_;
};

// The value in application/x-www-form-urlencoded form: every byte other than A-Z a-z 0-9 - . _ ~
// as %XX (curl_easy_escape). Throws std::runtime_error when libcurl cannot encode it.
std::string gf_formEscape(std::string_view value);

// "name=value&name=value" with every value escaped; names are our own constants and go unchanged.
std::string gf_formBody(std::initializer_list<std::pair<std::string_view, std::string_view>> fields);

// Why url may not be used: nullopt for https, and for http to a loopback host (127.0.0.0/8, ::1,
// localhost); otherwise a readable reason (other schemes, plain http elsewhere, no parsable URL).
[[nodiscard]] std::optional<std::string> gf_urlRefusal(const std::string& url);

}  // namespace vald
