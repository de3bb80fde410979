#pragma once
// JSON from outside (service replies, downloaded files): parsed only when it nests no deeper than
// any real reply does, because a value nested thousands of levels deep costs a recursion per
// level wherever it is copied, compared or printed. Texts from outside that go into a message
// are cut first.
#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vald {

// Real replies and files nest a handful of levels; this leaves ample room.
inline constexpr std::size_t MAX_JSON_DEPTH = 32;
// The most of an outside text that a log line or an error message shows.
inline constexpr std::size_t MAX_QUOTED_BYTES = 200;

// Whether arrays and objects in text nest deeper than maxDepth (brackets inside strings do not
// count). Linear in the length of text.
[[nodiscard]] bool gf_jsonNestsDeeperThan(std::string_view text, std::size_t maxDepth);

// The JSON value of text. Throws std::runtime_error, with a message of bounded length, when
// text is no JSON or nests deeper than MAX_JSON_DEPTH.
nlohmann::json gf_parseJson(std::string_view text);
// The same, but a discarded value (is_discarded()) instead of the exception.
[[nodiscard]] nlohmann::json gf_parseJsonOrDiscarded(std::string_view text);

// text when it has at most maxBytes, else its first maxBytes (never cutting a UTF-8 sequence in
// two) followed by "...".
std::string gf_quoted(std::string_view text, std::size_t maxBytes = MAX_QUOTED_BYTES);

}  // namespace vald
