#include "foundation/user_error.hpp"

#include <array>
#include <charconv>
#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "foundation/format.hpp"
#include "foundation/log.hpp"

namespace {

// The number 99 marks a message that already says everything: its text is the message alone.
constexpr int MESSAGE_ONLY_NUMBER = 99;

std::string lf_userErrorText(int errorNumber, const std::string& message)
{
    if (errorNumber == MESSAGE_ONLY_NUMBER)
        return message;
    return vald::format("{}: {}", errorNumber, message);
}

using ThreeNumbers = std::array<std::string_view, 3>;

// The whole text as three runs of decimal digits, each pair separated by any single character
// but a line break ("11.9.2", also "11-9-2"). Where the split is ambiguous ("11123") it is the
// one that a greedy backtracking pattern (\d+).(\d+).(\d+) finds: longest runs first.
std::optional<ThreeNumbers> lf_matchThreeNumbers(std::string_view text)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isSeparator = [](char c) { return c != '\n' && c != '\r'; };
    const auto digitRunEnd = [&](std::size_t from) {
        while (from < text.size() && isDigit(text[from]))
            ++from;
        return from;
    };
    for (std::size_t end1 = digitRunEnd(0); end1 > 0; --end1) {
        if (end1 >= text.size() || !isSeparator(text[end1]))
            continue;
        const std::size_t start2 = end1 + 1;
        for (std::size_t end2 = digitRunEnd(start2); end2 > start2; --end2) {
            if (end2 >= text.size() || !isSeparator(text[end2]))
                continue;
            const std::size_t start3 = end2 + 1;
            if (start3 < text.size() && digitRunEnd(start3) == text.size())
                return ThreeNumbers{text.substr(0, end1), text.substr(start2, end2 - start2), text.substr(start3)};
        }
    }
    return std::nullopt;
}

void lf_parseVersionNumber(std::string_view digits, int& target)
{
    int value = 0;
    const char* first = digits.data();
    const char* last = first + digits.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        throw std::runtime_error("parse error in version string");
    target = value;
}

}  // namespace

vald::UserErrorException::UserErrorException(int errorNumber, const std::string& message)
    : std::runtime_error(lf_userErrorText(errorNumber, message))
{
}

VersionData::VersionData(const std::string& text)
{
    if (text.empty())
        return;
    try {
        if (const std::optional<ThreeNumbers> numbers = lf_matchThreeNumbers(text)) {
            lf_parseVersionNumber((*numbers)[0], major);
            lf_parseVersionNumber((*numbers)[1], minor);
            lf_parseVersionNumber((*numbers)[2], patch);
            return;
        }
        const nlohmann::json value = nlohmann::json::parse(text);
        if (!value.is_object())
            return;
        if (value.contains("major"))
            major = value.at("major").get<int>();
        if (value.contains("minor"))
            minor = value.at("minor").get<int>();
        if (value.contains("patch"))
            patch = value.at("patch").get<int>();
    } catch (const std::exception& e) {
        gf_log(vald::format("{} exception: {}", "VersionData", e.what()));
    }
}
