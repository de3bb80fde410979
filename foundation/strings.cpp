#include "foundation/strings.hpp"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstring>

#include "foundation/format.hpp"
#include "foundation/log.hpp"

namespace {

constexpr std::string_view WHITE_SPACE = " \t\n\r";
constexpr std::string_view PLURAL_SUFFIX = "s";

std::mt19937 lf_seededEngine()
{
    std::random_device device;
    return std::mt19937(device());
}

}  // namespace

std::string gf_trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(WHITE_SPACE);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(WHITE_SPACE);
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> gf_split(const std::string& text, char delimiter)
{
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    pieces.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), delimiter)) + 1);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(delimiter, start);
        if (end == std::string::npos) {
            pieces.push_back(gf_trim(std::string_view(text).substr(start)));
            return pieces;
        }
        pieces.push_back(gf_trim(std::string_view(text).substr(start, end - start)));
        start = end + 1;
    }
}

std::list<std::string> gf_commaListToTokens(const std::string& text)
{
    std::vector<std::string> pieces = gf_split(text, ',');
    std::list<std::string> tokens(std::make_move_iterator(pieces.begin()), std::make_move_iterator(pieces.end()));
    tokens.sort();
    tokens.unique();
    return tokens;
}

void gf_normaliseCommaList(std::string& text)
{
    if (text.empty() || text.find_first_of(WHITE_SPACE) == std::string::npos)
        return;
    std::string joined;
    const std::vector<std::string> pieces = gf_split(text, ',');
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            joined += ',';
        joined += pieces[i];
    }
    text = std::move(joined);
}

bool gf_upperEquals(const std::string& reference, const std::string& text)
{
    if (reference.size() != text.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int upper = std::toupper(static_cast<unsigned char>(text[i]));
        if (upper != static_cast<unsigned char>(reference[i]))
            return false;
    }
    return true;
}

bool gf_equalsBeforeStar(const std::string& a, const std::string& b)
{
    return b.size() == a.size() + 1 && b.back() == '*' && b.compare(0, a.size(), a) == 0;
}

std::string gf_formatNumber(float value)
{
    if (std::fmod(value, 1.0f) != 0.0f)
        return vald::format("{:.1f}", value);
    return vald::format("{:.0f}", value);
}

std::string_view gf_plural(std::int32_t count) { return count == 1 || count < 0 ? std::string_view{} : PLURAL_SUFFIX; }

std::string_view gf_pluralLong(std::int64_t count)
{
    return count == 1 || count < 0 ? std::string_view{} : PLURAL_SUFFIX;
}

std::string_view gf_pluralSize(std::uint64_t count) { return count == 1 ? std::string_view{} : PLURAL_SUFFIX; }

std::string gf_bannerLine(std::int64_t width, std::int64_t extra, bool leadingNewline, bool trailingNewline,
                          const std::string& text)
{
    std::string line = leadingNewline ? "\n" : "";
    std::int64_t w = width + extra;
    if (w % 2 != 0)
        ++w;
    const auto stars = [](std::int64_t count) { return std::string(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), '*'); };
    if (text.empty()) {
        line += stars(w);
    } else if (w > static_cast<std::int64_t>(text.size()) + 2) {
        const std::int64_t half = w / 2;
        line += stars(half - 1) + ' ' + text + ' ' + stars(half - 1);
    } else {
        line += text;
    }
    if (trailingNewline)
        line += '\n';
    return line;
}

std::mt19937& gf_threadRandomEngine()
{
    thread_local std::mt19937 engine = lf_seededEngine();
    return engine;
}

void gf_seedThreadRandomEngineForTest(std::uint32_t seed) { gf_threadRandomEngine().seed(seed); }

void gf_shuffle(std::vector<std::string>& items)
{
    if (items.size() < 2)
        return;
    std::shuffle(items.begin(), items.end(), gf_threadRandomEngine());
}

double gf_randomisePercent(double value, double percent)
{
    // Drawn even when unused, so every call advances the sequence alike.
    const std::uint32_t draw = gf_threadRandomEngine()();
    const double sign = draw % 2 == 0 ? 1.0 : -1.0;
    if (percent > 0)
        return value + sign * value * percent / 100.0;
    return value;
}

gf_parsePrefixedNumber::gf_parsePrefixedNumber(std::string context, std::string prefix, std::int32_t& target)
    : context_(std::move(context)), prefix_(std::move(prefix)), target_(target)
{
}

bool gf_parsePrefixedNumber::operator()(const std::string& text) const
{
    if (!text.starts_with(prefix_))
        return false;
    // The number follows the four characters of an airport code, whatever the prefix's length.
    constexpr std::size_t codeLength = 4;
    std::int32_t value = 0;
    bool valid = false;
    if (text.size() > codeLength) {
        const char* first = text.data() + codeLength;
        const char* last = text.data() + text.size();
        valid = std::from_chars(first, last, value).ec == std::errc();
    }
    if (valid)
        target_ = value;
    else
        gf_logWarn(vald::format("{} {} {} {}", context_, prefix_, text, "invalid number"));
    return true;
}

std::string gf_getAttrString(const pugi::xml_node& node, const std::string& name)
{
    const pugi::xml_attribute attribute = node.attribute(name.c_str());
    return attribute ? attribute.value() : std::string{};
}
