#include <gtest/gtest.h>

#include "foundation/user_error.hpp"
#include "tests/foundation/log_capture.hpp"

namespace {

TEST(UserErrorTest, TextCarriesTheNumberUnlessItIs99)
{
    EXPECT_STREQ(vald::UserErrorException(153, "m").what(), "153: m");
    EXPECT_STREQ(vald::UserErrorException(99, "shown as it is").what(), "shown as it is");
}

TEST(VersionDataTest, ReadsDottedTextAndJsonAndLogsWhatItCannotRead)
{
    const struct {
        std::string text;
        int major, minor, patch;
        std::string logged;  // empty: no log line expected
    } cases[] = {
        {"011.09.002", 11, 9, 2, ""},
        {"11-9-2", 11, 9, 2, ""},
        {"11123", 1, 1, 3, ""},  // the longest runs that still leave a match
        {"", 0, 0, 0, ""},
        {"11.9", 0, 0, 0, ""},  // the JSON number 11.9: no object
        {"1.2.3.4", 0, 0, 0, "VersionData exception: "},
        {"11.2.99999999999", 11, 2, 0, "VersionData exception: parse error in version string"},
        {R"({"major": 10, "minor": 3})", 10, 3, 0, ""},
        {R"({"major": "10"})", 0, 0, 0, "VersionData exception: "},
        {"[1, 2, 3]", 0, 0, 0, ""},
        // A number no int holds (the sanitizers saw the blind conversion of 5e93) is refused.
        {R"({"major": 1, "patch": 5.5e93})", 1, 0, 0, "VersionData exception: version number patch"},
        {R"({"major": 4294967296})", 0, 0, 0, "VersionData exception: version number major"},
        {R"({"major": 2.0, "minor": -1})", 2, -1, 0, ""},
        {"12345", 1, 3, 5, ""},
        {"1.2345", 1, 23, 5, ""},
        {"7.8x9", 7, 8, 9, ""},
        {"1.2\n3", 0, 0, 0, "VersionData exception: "},
        {"1.2.3x", 0, 0, 0, "VersionData exception: "},
        // Far longer than any version: refused before any matching, which once took seconds.
        {std::string(6400, '7'), 0, 0, 0, "VersionData exception: version text of 6400 characters"},
        {"1." + std::string(100, '0') + "2.3", 0, 0, 0, "VersionData exception: version text of 105 characters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        corv_test::LogCapture log;
        const VersionData version(c.text);
        EXPECT_EQ((std::vector<int>{version.major, version.minor, version.patch}),
                  (std::vector<int>{c.major, c.minor, c.patch}));
        const std::vector<std::string> lines = log.lines();
        ASSERT_EQ(lines.size(), c.logged.empty() ? 0u : 1u);
        if (!lines.empty()) {
            EXPECT_EQ(lines[0].rfind(c.logged, 0), 0u) << lines[0];
        }
    }
}

}  // namespace
