#include "liveries/cfg_keys.hpp"

#include "foundation/constants.hpp"

namespace {

// White space as the cfg files know it: blank, tab, line feed, vertical tab, form feed, carriage
// return.
bool lf_isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool lf_isLineBreak(char c) { return c == '\n' || c == '\r'; }
char lf_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t lf_skipSpace(std::string_view text, std::size_t at)
{
    while (at < text.size() && lf_isSpace(text[at]))
        ++at;
    return at;
}

// key (lower case) at position at, letter case ignored.
bool lf_keyAt(std::string_view text, std::size_t at, std::string_view key)
{
    if (text.size() - at < key.size())
        return false;
    for (std::size_t i = 0; i < key.size(); ++i)
        if (lf_lower(text[at + i]) != key[i])
            return false;
    return true;
}

}  // namespace

std::string lf_cfgKeyValue(std::string_view line, std::string_view key)
{
    std::size_t at = lf_skipSpace(line, 0);
    if (!lf_keyAt(line, at, key))
        return {};
    at = lf_skipSpace(line, at + key.size());
    if (at >= line.size() || line[at] != '=')
        return {};
    at = lf_skipSpace(line, at + 1);
    std::size_t end = line.size();
    while (end > at && lf_isSpace(line[end - 1]))
        --end;
    // The value runs to its last non-blank character and cannot span a line break.
    for (std::size_t i = at; i < end; ++i)
        if (lf_isLineBreak(line[i]))
            return {};
    return std::string(line.substr(at, end - at));
}

bool lf_readCfgKey(std::string_view line, std::string_view key, std::string& target)
{
    std::string value = lf_cfgKeyValue(line, key);
    if (value.empty())
        return false;
    target = std::move(value);
    return true;
}

std::string lf_fltsimNumberText(std::string_view line)
{
    if (line.size() >= 2 && line[0] == '/' && line[1] == '/')
        return {};
    static constexpr std::string_view header = "[fltsim.";
    std::size_t at = lf_skipSpace(line, 0);
    if (lf_keyAt(line, at, header)) {
        const std::size_t digits = at + header.size();
        at = digits;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9')
            ++at;
        const std::size_t digitsEnd = at;
        if (digitsEnd > digits && at < line.size() && line[at] == ']' && lf_skipSpace(line, at + 1) == line.size())
            return std::string(line.substr(digits, digitsEnd - digits));
    }
    if (line.find(FLTSIM_SECTION) != std::string_view::npos || line.find(FLTSIM_SECTION_UPPER) != std::string_view::npos)
        return "10000";
    return {};
}

std::string lf_folderOfCfgPath(const std::string& file)
{
    const std::size_t last = file.find_last_of("\\/");
    return last == std::string::npos ? std::string() : file.substr(0, last);
}
