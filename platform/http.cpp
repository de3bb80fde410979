#include "platform/http.hpp"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace vald {

struct HttpSink {
    std::string* text = nullptr;
    int file = -1;  // a descriptor open for writing
    std::size_t maxBytes = 0;
    std::uint64_t writtenBytes = 0;  // to file, after decoding
    std::string failure;  // why the write callback refused the data
};

namespace {

constexpr long HTTP_OK = 200;

// libcurl's write callback: appends to the sink. Any failure is noted for the caller and answered
// with 0, which makes libcurl end the transfer with a write error.
std::size_t lf_writeToSink(char* data, std::size_t size, std::size_t count, void* user) noexcept
{
    auto* sink = static_cast<HttpSink*>(user);
    if (sink == nullptr)
        return 0;
    const std::size_t bytes = size * count;
    try {
        if (sink->text != nullptr) {
            if (sink->text->size() + bytes > sink->maxBytes) {
                sink->failure = "reply larger than " + std::to_string(sink->maxBytes) + " bytes";
                return 0;
            }
            sink->text->append(data, bytes);
        } else if (sink->file >= 0) {
            // Counted after decoding: a small gzip body may unpack to any size.
            if (bytes > sink->maxBytes - std::min<std::uint64_t>(sink->writtenBytes, sink->maxBytes)) {
                sink->failure = "download larger than " + std::to_string(sink->maxBytes) + " bytes";
                return 0;
            }
            sink->writtenBytes += bytes;
            for (std::size_t done = 0; done < bytes;) {
                const ssize_t written = ::write(sink->file, data + done, bytes - done);
                if (written < 0 && errno == EINTR)
                    continue;
                if (written <= 0) {
                    const int reason = written < 0 ? errno : EIO;
                    sink->failure = "cannot write the downloaded file: " +
                                    std::error_code(reason, std::generic_category()).message();
                    return 0;
                }
                done += static_cast<std::size_t>(written);
            }
        } else {
            return 0;
        }
    } catch (const std::exception& e) {
        sink->failure = std::string("append exception: ") + e.what();
        return 0;
    }
    return bytes;
}

// Asked by libcurl about once a second and on every chunk: a non-zero answer abandons the transfer.
// A question that fails abandons it too.
int lf_abortCheck(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) noexcept
{
    const auto* check = static_cast<const std::function<bool()>*>(user);
    try {
        return check != nullptr && *check && (*check)() ? 1 : 0;
    } catch (...) {
        return 1;
    }
}

// The texts for options whose failure the service client reports by name.
std::string lf_optionFailure(const std::string& name, CURLoption option)
{
    switch (option) {
    case CURLOPT_URL:
        return name + ": failed to set URL";
    case CURLOPT_ACCEPT_ENCODING:
        return name + " failed to set CURLOPT_ACCEPT_ENCODING";
    case CURLOPT_POSTFIELDS:
        return name + ": failed to set POSTFIELDS";
    case CURLOPT_POSTFIELDSIZE_LARGE:
        return name + ": failed to set POSTFIELDSIZE";
    case CURLOPT_WRITEFUNCTION:
        return name + " failed to set CURLOPT_WRITEFUNCTION";
    case CURLOPT_WRITEDATA:
        return name + " failed to set CURLOPT_WRITEDATA";
    default:
        return name + " failed to set option " + std::to_string(static_cast<int>(option));
    }
}

template <typename Value>
void lf_set(CURL* curl, const std::string& name, CURLoption option, Value value)
{
    if (curl_easy_setopt(curl, option, value) != CURLE_OK)
        throw std::runtime_error(lf_optionFailure(name, option));
}

bool lf_isLoopbackHost(std::string host)
{
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (host == "localhost")
        return true;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        in6_addr address{};
        const std::string inner = host.substr(1, host.size() - 2);
        return inet_pton(AF_INET6, inner.c_str(), &address) == 1 &&
               std::memcmp(&address, &in6addr_loopback, sizeof address) == 0;
    }
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) != 1)
        return false;
    return (ntohl(address.s_addr) >> 24) == 127;
}

struct UrlPartDeleter {
    void operator()(char* text) const { curl_free(text); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::string lf_urlPart(CURLU* url, CURLUPart part)
{
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr)
        return {};
    std::unique_ptr<char, UrlPartDeleter> owner(text);
    return text;
}

}  // namespace

HttpHandle::HttpHandle(std::string name) : name_(std::move(name))
{
    renew();
}

void HttpHandle::setAbortFlag(const std::atomic<bool>* flag)
{
    if (flag == nullptr)
        abortCheck_ = nullptr;
    else
        abortCheck_ = [flag] { return flag->load(); };
}

HttpHandle::~HttpHandle()
{
    if (curl_ != nullptr)
        curl_easy_cleanup(curl_);
}

void HttpHandle::renew()
{
    if (curl_ != nullptr) {
        curl_easy_cleanup(curl_);
        curl_ = nullptr;
    }
    curl_ = curl_easy_init();
    if (curl_ == nullptr)
        throw std::runtime_error(name_ + " curl_easy_init() failed");
}

void HttpHandle::lf_prepare(const std::string& url, HttpSink& sink)
{
    if (curl_ == nullptr)
        throw std::runtime_error(name_ + " curl_easy_init() failed");
    curl_easy_reset(curl_);
    lf_set(curl_, name_, CURLOPT_URL, url.c_str());
    lf_set(curl_, name_, CURLOPT_ACCEPT_ENCODING, "deflate,gzip");
    lf_set(curl_, name_, CURLOPT_WRITEFUNCTION, &lf_writeToSink);
    lf_set(curl_, name_, CURLOPT_WRITEDATA, static_cast<void*>(&sink));
    lf_set(curl_, name_, CURLOPT_NOSIGNAL, 1L);
    lf_set(curl_, name_, CURLOPT_PROTOCOLS_STR, "http,https");
    lf_set(curl_, name_, CURLOPT_CONNECTTIMEOUT, static_cast<long>(limits_.connectTimeout.count()));
    lf_set(curl_, name_, CURLOPT_LOW_SPEED_LIMIT, limits_.lowSpeedBytesPerSecond);
    lf_set(curl_, name_, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits_.lowSpeedTime.count()));
    if (!userAgent_.empty())
        lf_set(curl_, name_, CURLOPT_USERAGENT, userAgent_.c_str());
    if (abortCheck_) {
        lf_set(curl_, name_, CURLOPT_XFERINFOFUNCTION, &lf_abortCheck);
        lf_set(curl_, name_, CURLOPT_XFERINFODATA, static_cast<void*>(&abortCheck_));
        lf_set(curl_, name_, CURLOPT_NOPROGRESS, 0L);
    }
    // Every request opens its own connection and closes it afterwards.
    (void)curl_easy_setopt(curl_, CURLOPT_FORBID_REUSE, 1L);
    (void)curl_easy_setopt(curl_, CURLOPT_FRESH_CONNECT, 1L);
}

HttpOutcome HttpHandle::lf_perform(const std::string& url, HttpSink& sink)
{
    HttpOutcome outcome;
    if (std::optional<std::string> refusal = gf_urlRefusal(url)) {
        outcome.code = CURLE_UNSUPPORTED_PROTOCOL;
        outcome.errorText = *refusal;
        return outcome;
    }
    outcome.code = curl_easy_perform(curl_);
    (void)curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &outcome.responseCode);
    if (!outcome.ok())
        outcome.errorText = sink.failure.empty() ? curl_easy_strerror(outcome.code) : sink.failure;
    return outcome;
}

HttpOutcome HttpHandle::post(const std::string& url, const std::string& body, std::string& reply)
{
    HttpSink sink;
    sink.text = &reply;
    sink.maxBytes = limits_.maxReplyBytes;
    lf_prepare(url, sink);
    // libcurl does not copy the body: it must stay alive until the perform below has returned.
    lf_set(curl_, name_, CURLOPT_POSTFIELDS, body.c_str());
    lf_set(curl_, name_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    return lf_perform(url, sink);
}

HttpOutcome HttpHandle::get(const std::string& url, std::string& reply)
{
    HttpSink sink;
    sink.text = &reply;
    sink.maxBytes = limits_.maxReplyBytes;
    lf_prepare(url, sink);
    lf_set(curl_, name_, CURLOPT_HTTPGET, 1L);
    return lf_perform(url, sink);
}

HttpOutcome HttpHandle::download(const std::string& url, int descriptor, std::uint64_t maxBytes)
{
    const off_t start = ::lseek(descriptor, 0, SEEK_CUR);
    HttpOutcome outcome;
    HttpSink sink;
    sink.file = descriptor;
    sink.maxBytes = static_cast<std::size_t>(std::min<std::uint64_t>(maxBytes, SIZE_MAX));
    // What came of an answer that is not the whole file is cut off again, also when it throws.
    const auto cutBack = [descriptor, start] {
        if (start >= 0 && ::ftruncate(descriptor, start) == 0)
            static_cast<void>(::lseek(descriptor, start, SEEK_SET));
    };
    try {
        lf_prepare(url, sink);
        lf_set(curl_, name_, CURLOPT_HTTPGET, 1L);
        // An error page is no download.
        lf_set(curl_, name_, CURLOPT_FAILONERROR, 1L);
        outcome = lf_perform(url, sink);
        // Nor is any other answer than the file itself: no content (204), a redirection
        // (301, 302) that is not followed, a partial content.
        if (outcome.ok() && outcome.responseCode != HTTP_OK) {
            outcome.code = CURLE_HTTP_RETURNED_ERROR;
            outcome.errorText = "HTTP response code " + std::to_string(outcome.responseCode) + " instead of 200";
        }
    } catch (...) {
        cutBack();
        throw;
    }
    if (!outcome.ok())
        cutBack();
    return outcome;
}

std::string gf_formEscape(std::string_view value)
{
    if (value.empty())
        return {};
    if (value.size() > static_cast<std::size_t>(INT_MAX))
        throw std::runtime_error("form value too long to encode");
    // Since libcurl 7.82 the handle argument is ignored, so no handle is needed to encode.
    char* encoded = curl_easy_escape(nullptr, value.data(), static_cast<int>(value.size()));
    if (encoded == nullptr)
        throw std::runtime_error("form value cannot be encoded");
    std::unique_ptr<char, UrlPartDeleter> owner(encoded);
    return encoded;
}

std::string gf_formBody(std::initializer_list<std::pair<std::string_view, std::string_view>> fields)
{
    std::string body;
    for (const auto& [name, value] : fields) {
        if (!body.empty())
            body += '&';
        body.append(name);
        body += '=';
        body += gf_formEscape(value);
    }
    return body;
}

std::optional<std::string> gf_urlRefusal(const std::string& url)
{
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed)
        return "out of memory while checking a URL";
    if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return "not a valid URL: " + url;
    std::string scheme = lf_urlPart(parsed.get(), CURLUPART_SCHEME);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme == "https")
        return std::nullopt;
    const std::string host = lf_urlPart(parsed.get(), CURLUPART_HOST);
    if (scheme == "http") {
        if (lf_isLoopbackHost(host))
            return std::nullopt;
        return "plain http is allowed only to a loopback address, not to '" + host +
               "': use https";
    }
    return "unsupported URL scheme '" + scheme + "' in " + url;
}

}  // namespace vald
