#include "foundation/user_error.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <vector>

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

// Version texts come from parameters.xml and the program itself; none is near this long.
constexpr std::size_t MAX_VERSION_TEXT_LENGTH = 64;

// The whole text as three runs of decimal digits, each pair separated by any single character
// but a line break ("11.9.2", also "11-9-2"). Where the split is ambiguous ("11123") it is the
// one that a greedy backtracking pattern (\d+).(\d+).(\d+) finds: longest runs first. Linear:
// for each end of the first number only one end of the second can leave a third that reaches the
// end of the text.
std::optional<ThreeNumbers> lf_matchThreeNumbers(std::string_view text)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isSeparator = [](char c) { return c != '\n' && c != '\r'; };
    const std::size_t n = text.size();
    // runEnd[i]: where the run of digits from i ends (i itself when text[i] is no digit).
    std::vector<std::size_t> runEnd(n + 1, n);
    for (std::size_t i = n; i-- > 0;)
        runEnd[i] = isDigit(text[i]) ? runEnd[i + 1] : i;
    for (std::size_t end1 = runEnd[0]; end1 > 0; --end1) {
        if (end1 + 1 >= n || !isSeparator(text[end1]))
            continue;
        const std::size_t start2 = end1 + 1;
        const std::size_t run2 = runEnd[start2];
        // A second number running to the end leaves room for the third only by giving up its
        // last two characters; one ending before that must be followed by the third directly.
        std::size_t end2 = 0;
        if (run2 == n)
            end2 = n - 2;
        else if (run2 + 1 < n && isSeparator(text[run2]) && runEnd[run2 + 1] == n)
            end2 = run2;
        if (end2 > start2)
            return ThreeNumbers{text.substr(0, end1), text.substr(start2, end2 - start2), text.substr(end2 + 1)};
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

// A member of a version object: a number that fits an int (a fraction is cut off, as before),
// else the text is no version. A number from outside is never converted blindly: 1e93 has no int.
void lf_readVersionMember(const nlohmann::json& version, const char* name, int& target)
{
    const auto member = version.find(name);
    if (member == version.end())
        return;
    constexpr double least = std::numeric_limits<int>::min();
    constexpr double most = std::numeric_limits<int>::max();
    const double number = member->is_number() ? member->get<double>() : std::nan("");
    if (!(number >= least && number <= most))
        throw std::runtime_error(vald::format("version number {} is no number of a version", name));
    target = member->is_number_float() ? static_cast<int>(number) : static_cast<int>(member->get<std::int64_t>());
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
        if (text.size() > MAX_VERSION_TEXT_LENGTH)
            throw std::runtime_error(vald::format("version text of {} characters", text.size()));
        if (const std::optional<ThreeNumbers> numbers = lf_matchThreeNumbers(text)) {
            lf_parseVersionNumber((*numbers)[0], major);
            lf_parseVersionNumber((*numbers)[1], minor);
            lf_parseVersionNumber((*numbers)[2], patch);
            return;
        }
        const nlohmann::json value = nlohmann::json::parse(text);
        if (!value.is_object())
            return;
        lf_readVersionMember(value, "major", major);
        lf_readVersionMember(value, "minor", minor);
        lf_readVersionMember(value, "patch", patch);
    } catch (const std::exception& e) {
        gf_log(vald::format("{} exception: {}", "VersionData", e.what()));
    }
}
