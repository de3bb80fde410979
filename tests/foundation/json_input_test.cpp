// JSON from outside: refused when nested deeper than any real reply, errors quoted short.
#include <gtest/gtest.h>

#include "foundation/json_input.hpp"

namespace {

std::string nested(std::size_t depth, const std::string& inner = "1")
{
    return std::string(depth, '[') + inner + std::string(depth, ']');
}

TEST(JsonInput, DepthCountsArraysAndObjectsButNotBracketsInStrings)
{
    using vald::MAX_JSON_DEPTH;
    EXPECT_FALSE(vald::gf_parseJsonOrDiscarded(nested(MAX_JSON_DEPTH)).is_discarded());
    EXPECT_TRUE(vald::gf_parseJsonOrDiscarded(nested(MAX_JSON_DEPTH + 1)).is_discarded());
    EXPECT_TRUE(vald::gf_jsonNestsDeeperThan(R"({"a":{"b":[1]}})", 2));
    EXPECT_FALSE(vald::gf_jsonNestsDeeperThan(R"({"a":{"b":1},"c":[2]})", 2));
    // Brackets inside strings, also after an escaped quote or backslash, are text.
    const std::string text = R"({"a":"[[[[\"[[[{{{","b":"\\","c":"]]]]"})";
    EXPECT_FALSE(vald::gf_jsonNestsDeeperThan(text, 1));
    EXPECT_EQ(vald::gf_parseJson(text)["a"], "[[[[\"[[[{{{");
    EXPECT_TRUE(vald::gf_jsonNestsDeeperThan(R"(["\\", [[1]]])", 2));

    // Deep input is refused at once, with no copy or message that grows with it.
    const std::string deep = nested(200000);
    try {
        (void)vald::gf_parseJson(deep);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "JSON nested deeper than 32 levels");
    }
}

TEST(JsonInput, ParseErrorsAndQuotedTextsStayShort)
{
    const std::string longToken = "[\"" + std::string(100000, 'x');  // an unterminated string
    try {
        (void)vald::gf_parseJson(longToken);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("[json.exception.parse_error", 0), 0u) << what;
        EXPECT_LE(what.size(), vald::MAX_QUOTED_BYTES + 3);
    }
    EXPECT_EQ(vald::gf_quoted("short"), "short");
    EXPECT_EQ(vald::gf_quoted("abcdef", 4), "abcd...");
    // Never half a UTF-8 sequence: "é" is two bytes.
    EXPECT_EQ(vald::gf_quoted("abc\xC3\xA9z", 4), "abc...");
}

}  // namespace
