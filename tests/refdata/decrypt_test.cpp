#include "refdata/decrypt.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "foundation/format.hpp"
#include "refdata/dbase.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/refdata/sealed_files.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using testing::Contains;

namespace {

std::string patternText(std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return text;
}

TEST(StreamDecrypt, RoundTripsAtChunkBoundaries)
{
    TempDir dir(true);
    for (const std::size_t size : {0, 1, 4096, 4097, 8192, 10000}) {
        const std::string text = patternText(size);
        writeFile("data.enc", sealStream(text));
        const std::optional<DecryptedData> data = gf_streamDecrypt("data.enc", "data.xml");
        EXPECT_TRUE(data && data->text == text && data->copy == "data.xml") << size;
        EXPECT_EQ(readFile("data.xml"), text) << size;
    }
    // Chunks are read 4113 bytes at a time: bytes after a full final chunk are never read.
    writeFile("data.enc", sealStream(patternText(8192)) + "trailing bytes");
    ASSERT_TRUE(gf_streamDecrypt("data.enc", "data.xml"));
    EXPECT_EQ(readFile("data.xml"), patternText(8192));
}

TEST(StreamDecrypt, FailuresLeaveNoPlainFileAndKeepTheInput)
{
    LogCapture log;
    std::array<unsigned char, 32> otherKey = DATA_FILE_KEY;
    otherKey[5] ^= 0x01;
    const std::string sealed = sealStream(patternText(10000));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {sealStream("<a/>", otherKey), "Decryption failed"},
        // Whole chunks authenticate one by one: only the missing final tag shows these cuts.
        {sealed.substr(0, 24 + 4113), "Stream ends without its final chunk"},
        {sealed.substr(0, 24), "Stream ends without its final chunk"},
        {sealStream("<a/>", DATA_FILE_KEY, false), "Stream ends without its final chunk"},
        {sealed.substr(0, sealed.size() - 5), "Decryption failed"},
        {sealed.substr(0, 10), "Invalid header or key"},
    };
    for (const auto& [bytes, message] : cases) {
        writeFile("data.enc", bytes);
        writeFile("data.xml", "stale plain text of an earlier run");
        EXPECT_FALSE(gf_streamDecrypt("data.enc", "data.xml")) << message;
        EXPECT_FALSE(fs::exists("data.xml")) << message;
        EXPECT_EQ(readFile("data.enc"), bytes);
    }
    EXPECT_FALSE(gf_streamDecrypt("missing.enc", "data.xml"));
    writeFile("data.enc", sealed);  // a whole stream: only its plain copy can fail, which the reader does without
    EXPECT_TRUE(gf_streamDecrypt("data.enc", "no/folder/data.xml"));
    EXPECT_THAT(gf_dataFileFault("data.enc", &gf_dbaseFault).value_or(""),
                testing::StartsWith("its XML does not parse: "));

    const auto lines = log.lines();
    for (const auto& [bytes, message] : cases)
        EXPECT_THAT(lines, Contains("gf_streamDecrypt exception: " + message));
    EXPECT_THAT(lines, Contains("gf_streamDecrypt exception: Could not open input file: missing.enc"));
    EXPECT_THAT(lines, Contains("==> could not write no/folder/data.xml: No such file or directory (the data is read "
                                "all the same)"));
}

TEST(DataKey, MatchesTheKeyFileOfTheSampleData)
{
    std::string expected;
    for (const unsigned char byte : DATA_FILE_KEY)
        expected += vald::format("{:02x}", byte);
    EXPECT_EQ(readFile(sourceDir() / "standins/data/data-key.txt").substr(0, 64), expected);
}

}  // namespace
