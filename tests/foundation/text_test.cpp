#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/status_sink.hpp"
#include "foundation/text.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using Lines = std::vector<std::string>;

TEST(TextTest, ConversionsRoundTripAndRejectInvalidInput)
{
    const std::string text = "Z\xC3\xBCrich \xE2\x9C\x88 \xF0\x9D\x84\x9E";  // Zürich, airplane, G clef
    EXPECT_EQ(utf8_to_wide(text), u"Z\u00FCrich \u2708 \U0001D11E");
    EXPECT_EQ(wide_to_utf8(utf8_to_wide(text)), text);
    // Over-long, encoded surrogate, cut short, beyond U+10FFFF, stray continuation byte.
    for (const std::string bad : {"\xC0\x80", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80", "a\x80"})
        EXPECT_THROW(utf8_to_wide(bad), std::runtime_error) << bad.size();
    EXPECT_THROW(wide_to_utf8(u"a\xD800"), std::runtime_error);
    EXPECT_THROW(wide_to_utf8(u"\xDC00z"), std::runtime_error);
}

TEST(TextTest, SplitLines)
{
    const std::pair<std::string, Lines> cases[] = {
        {"ab\r\ncd\n", {"ab", "cd"}}, {"ab\n\ncd", {"ab", "", "cd"}}, {"\n", {""}},
        {"", {}},                     {"a\r\r\n", {"a\r"}},          {"\xEF\xBB\xBF" "a\nb", {"a", "b"}},
    };
    for (const auto& [text, expected] : cases) {
        Lines lines;
        gf_splitLines(text, lines);
        EXPECT_EQ(lines, expected) << text;
    }
}

TEST(TextTest, DetectsCharsetFromBytes)
{
    corv_test::TempDir dir;
    const std::pair<std::string, Charset> cases[] = {
        {std::string("\xEF\xBB\xBF", 3), Charset::UTF8_with_BOM},
        {std::string("\xFF\xFE" "A\0", 4), Charset::Unicode},
        {std::string("A\0B\0", 4), Charset::Unicode},
        {std::string("\0A\0B", 4), Charset::Unicode_big_endian},
        {std::string("a\0", 2), Charset::Unicode},
        {"", Charset::UTF8_without_BOM},
        {"caf\xE9", Charset::ANSI},
        {"\xC0\x80", Charset::ANSI},
        {"\xED\xA0\x80", Charset::UTF8_without_BOM},
        {std::string(4094, 'a') + "\xC3\xA9", Charset::UTF8_without_BOM},
        {std::string(4095, 'a') + "\xC3\xA9", Charset::ANSI},  // cut by the sample's end
    };
    for (const auto& [bytes, expected] : cases) {
        corv_test::writeFile(dir / "file", bytes);
        EXPECT_EQ(gf_detectCharset(dir / "file"), expected) << bytes.substr(0, 8);
    }
    EXPECT_EQ(gf_detectCharset(dir / "missing"), Charset::none_found);
    EXPECT_THROW(gf_charsetName(static_cast<Charset>(6)), std::out_of_range);
}

std::string statusText;

// Detects the charset of the bytes written to a file and reads the file by it.
bool readDetected(const std::string& bytes, Lines& lines)
{
    corv_test::TempDir dir;
    corv_test::writeFile(dir / "file.cfg", bytes);
    statusText.clear();
    StatusSink sink;
    sink.show = [](const std::string& text, bool) { statusText = text; };
    gf_setStatusSink(std::move(sink));
    const bool ok = gf_readTextByCharset(gf_detectCharset(dir / "file.cfg"), dir / "file.cfg", lines);
    gf_resetStatusSink();
    return ok;
}

TEST(ReadByCharsetTest, DecodesUtf16WithOrWithoutMark)
{
    const std::pair<std::string, Lines> cases[] = {
        {std::string("\xFF\xFE" "a\0\r\0\n\0\xFC\0\n\0", 12), {"a", "\xC3\xBC"}},
        {std::string("\xFE\xFF\0a\0\n\0b", 8), {"a", "b"}},
        // No mark: read in the order the zero bytes showed, never dropped as empty.
        {std::string("A\0B\0\n\0C\0", 8), {"AB", "C"}},
        {std::string("\0A\0\n\0C", 6), {"A", "C"}},
        {"\xEF\xBB\xBF[fltsim.0]\r\ncaf\xE9\n", {"[fltsim.0]", "caf\xE9"}},
    };
    for (const auto& [bytes, expected] : cases) {
        Lines lines;
        EXPECT_TRUE(readDetected(bytes, lines));
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(statusText, "");
    }
}

TEST(ReadByCharsetTest, DamagedUtf16FailsAndTellsTheUser)
{
    Lines lines{"kept"};
    EXPECT_FALSE(readDetected(std::string("\xFF\xFE" "A\0B", 5), lines));  // odd size
    EXPECT_EQ(statusText.rfind("UTF16 read failed for '", 0), 0u) << statusText;
    EXPECT_FALSE(readDetected(std::string("\xFF\xFE" "A\0\x00\xD8", 6), lines));  // unpaired surrogate
    EXPECT_NE(statusText.find("file.cfg': wide_to_utf8: invalid UTF-16"), std::string::npos) << statusText;
    EXPECT_EQ(lines, Lines{"kept"});
    EXPECT_FALSE(gf_readTextByCharset(Charset::ANSI, "/nonexistent/file", lines));
    EXPECT_THROW(static_cast<void>(gf_readTextByCharset(Charset::none_found, "/", lines)), std::runtime_error);
}

TEST(TextFileTest, WriteAndReadBack)
{
    corv_test::TempDir dir;
    const std::filesystem::path file = dir / "out.txt";
    EXPECT_TRUE(gf_writeLines({"a", "", "b"}, file));

    TextFile text{file, {"stale"}};
    EXPECT_EQ(gf_readFileLines(text, 10), (Lines{"a", "", "b"}));
    text.path = dir / "missing.txt";
    EXPECT_TRUE(gf_readFileLines(text, 10).empty());
    EXPECT_FALSE(gf_writeLineList({"x"}, dir.path()));  // a folder cannot be written
    // A device without room opens fine; the failure shows only when the bytes go out.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(gf_writeLines({"a"}, "/dev/full"));
        EXPECT_FALSE(gf_writeLineList({"a"}, "/dev/full"));
        EXPECT_FALSE(gf_writeFile("a", "/dev/full", true));
    }
}

}  // namespace
