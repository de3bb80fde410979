#include <gtest/gtest.h>


#include "foundation/strings.hpp"
#include "tests/foundation/log_capture.hpp"

namespace {

using Pieces = std::vector<std::string>;

TEST(StringsTest, TextsAndCommaLists)
{
    EXPECT_EQ(gf_trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(gf_trim("   "), "");
    EXPECT_EQ(gf_split("a, b ,,c,", ','), (Pieces{"a", "b", "", "c", ""}));
    EXPECT_EQ(gf_split("", ','), Pieces{});
    EXPECT_EQ(gf_commaListToTokens("b, a, b,"), (std::list<std::string>{"", "a", "b"}));
    std::string list = "a, b ,\tc";
    gf_normaliseCommaList(list);
    EXPECT_EQ(list, "a,b,c");
    EXPECT_TRUE(gf_upperEquals(".XML", ".xMl"));
    EXPECT_FALSE(gf_upperEquals("\xC9", "\xE9"));  // bytes above 127 are compared as they are
    EXPECT_FALSE(gf_equalsBeforeStar("KLM", "KLMX"));
    EXPECT_EQ(gf_formatNumber(2.0f) + " " + gf_formatNumber(-0.5f), "2 -0.5");
    EXPECT_EQ(gf_bannerLine(70, 10, false, true, ""), std::string(80, '*') + "\n");
    EXPECT_EQ(gf_bannerLine(70, 0, true, false, "parameters"),
              "\n" + std::string(34, '*') + " parameters " + std::string(34, '*'));
}

TEST(StringsTest, PrefixedNumbers)
{
    corv_test::LogCapture log;
    std::int32_t target = -1;
    const gf_parsePrefixedNumber parse("archive", "EHAM", target);
    EXPECT_TRUE(parse("EHAM12"));
    EXPECT_EQ(target, 12);
    EXPECT_TRUE(parse("EHAMx"));
    EXPECT_TRUE(parse("EHAM99999999999"));
    EXPECT_FALSE(parse("EBBR3"));
    EXPECT_TRUE(gf_parsePrefixedNumber("archive", "EH", target)("EH"));  // nothing to read, nothing overrun
    EXPECT_EQ(target, 12);
    EXPECT_EQ(log.lines(), (Pieces{"==> archive EHAM EHAMx invalid number",
                                   "==> archive EHAM EHAM99999999999 invalid number",
                                   "==> archive EH EH invalid number"}));
}

}  // namespace
