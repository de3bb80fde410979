#include "foundation/user_error.hpp"

#include <charconv>
#include <exception>
#include <nlohmann/json.hpp>
#include <regex>

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

void lf_parseVersionNumber(const std::string& digits, int& target)
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
        // The dots are deliberately any character: "11-9-2" is read like "11.9.2".
        static const std::regex threeNumbers(R"((\d+).(\d+).(\d+))", std::regex::ECMAScript);
        std::smatch match;
        if (std::regex_match(text, match, threeNumbers)) {
            lf_parseVersionNumber(match[1].str(), major);
            lf_parseVersionNumber(match[2].str(), minor);
            lf_parseVersionNumber(match[3].str(), patch);
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
