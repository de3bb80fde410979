#include "standins/http/message.hpp"

#include <charconv>
#include <strings.h>

namespace standin_http {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::string headerValue(const Headers& headers, std::string_view name) {
    for (const auto& [key, value] : headers)
        if (sameName(key, name)) return value;
    return {};
}

bool Request::hasParam(std::string_view name) const {
    for (const auto& field : params)
        if (field.first == name) return true;
    return false;
}

std::string Request::param(std::string_view name) const {
    for (const auto& [key, value] : params)
        if (key == name) return value;
    return {};
}

namespace wire {

std::string percentDecode(std::string_view text, bool plusIsBlank) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+' && plusIsBlank) {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

Params decodeQuery(std::string_view query) {
    Params fields;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view part = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (part.empty()) continue;
        const std::size_t eq = part.find('=');
        fields.emplace_back(percentDecode(part.substr(0, eq), true),
                            eq == std::string_view::npos ? std::string() : percentDecode(part.substr(eq + 1), true));
    }
    return fields;
}

std::optional<Head> parseHead(std::string_view head) {
    Head out;
    std::size_t lineEnd = head.find("\r\n");
    const std::string_view start = head.substr(0, lineEnd);
    const std::size_t a = start.find(' ');
    if (a == std::string_view::npos) return std::nullopt;
    const std::size_t b = start.find(' ', a + 1);
    out.first = start.substr(0, a);
    out.second = start.substr(a + 1, b == std::string_view::npos ? std::string_view::npos : b - a - 1);
    if (b != std::string_view::npos) out.third = start.substr(b + 1);
    if (out.first.empty() || out.second.empty()) return std::nullopt;
    while (lineEnd != std::string_view::npos) {
        const std::size_t next = head.find("\r\n", lineEnd + 2);
        const std::string_view line = head.substr(lineEnd + 2, next == std::string_view::npos ? std::string_view::npos
                                                                                             : next - lineEnd - 2);
        lineEnd = next;
        if (line.empty()) continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return std::nullopt;
        out.headers.emplace_back(std::string(line.substr(0, colon)), std::string(trim(line.substr(colon + 1))));
    }
    return out;
}

std::size_t bodyStart(const std::string& buffer) {
    const std::size_t end = buffer.find("\r\n\r\n");
    return end == std::string::npos ? std::string::npos : end + 4;
}

std::optional<long long> contentLength(const Headers& headers) {
    bool present = false;
    for (const auto& field : headers) present = present || sameName(field.first, "Content-Length");
    if (!present) return std::nullopt;
    const std::string text = headerValue(headers, "Content-Length");
    long long value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // A body beyond a gigabyte is no message either end of this code sends.
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > (1LL << 30)) return -1;
    return value;
}

}  // namespace wire
}  // namespace standin_http
