#include "foundation/json_input.hpp"

#include <stdexcept>

#include "foundation/format.hpp"

namespace vald {

bool gf_jsonNestsDeeperThan(std::string_view text, std::size_t maxDepth)
{
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth)
                return true;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return false;
}

nlohmann::json gf_parseJson(std::string_view text)
{
    if (gf_jsonNestsDeeperThan(text, MAX_JSON_DEPTH))
        throw std::runtime_error(vald::format("JSON nested deeper than {} levels", MAX_JSON_DEPTH));
    try {
        return nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        // The parser quotes the token it stumbled on, which may be as long as the reply.
        throw std::runtime_error(gf_quoted(e.what()));
    }
}

nlohmann::json gf_parseJsonOrDiscarded(std::string_view text)
{
    if (gf_jsonNestsDeeperThan(text, MAX_JSON_DEPTH))
        return nlohmann::json(nlohmann::json::value_t::discarded);
    return nlohmann::json::parse(text, nullptr, false);
}

std::string gf_quoted(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u)
        --end;
    return std::string(text.substr(0, end)) + "...";
}

}  // namespace vald
