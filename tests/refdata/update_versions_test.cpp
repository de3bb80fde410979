// The version check against versions.json on the site stand-in: for each published member, what
// is compared, what is downloaded or flagged, and what the version parameters then record.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/refdata/download_site_standin.hpp"

namespace fs = std::filesystem;
using corv_test::readFile;
using corv_test::versionObject;
using corv_test::writeFile;
using testing::Contains;
using testing::HasSubstr;
using testing::Not;

namespace {

class VersionCheckTest : public corv_test::DownloadSiteTest {
protected:
    VersionCheckTest()
    {
        SCAN_LIVERIES.setValue(false);
        SCAN_AIRPORTS.setValue(false);
    }
};

TEST(VersionOrder, ComparesNumberByNumber)
{
    EXPECT_TRUE(gf_versionGreater(VersionData(11, 10, 0), VersionData(11, 9, 2)));
    EXPECT_FALSE(gf_versionGreater(VersionData(11, 9, 2), VersionData(11, 9, 2)));
    EXPECT_TRUE(gf_versionGreater(VersionData(12, 0, 0), VersionData(11, 99, 99)));
    EXPECT_FALSE(gf_versionGreater(VersionData(11, 9, 2), VersionData(11, 9, 10)));
    EXPECT_EQ(gf_versionText(VersionData("011.09.002")), "11.9.2");
}

TEST_F(VersionCheckTest, MissingVersionInfoOrMembersChangeNothing)
{
    fs::remove(site() / "versions.json");
    EXPECT_TRUE(gf_checkVersions());
    publish({{"p3d", versionObject(11, 9, 2)}});
    EXPECT_TRUE(gf_checkVersions());

    EXPECT_FALSE(fs::exists("versions.json"));
    EXPECT_FALSE(fs::exists("new_version"));
    EXPECT_FALSE(stopRequested);
    EXPECT_EQ(downloads().size(), 2u);
    const auto lines = logLines();
    EXPECT_THAT(lines, Contains("==> Downloading version info from my web site failed!"));
    EXPECT_THAT(lines, Contains("p3d program version at web = 11.9.2"));
    EXPECT_THAT(lines, Contains("p3d version up-to-date"));
    for (const char* key : {"airports", "aig", "liveries", "addons", "dbase"})
        EXPECT_THAT(lines, Contains(std::string("==> ") + key + " version not found"));
}

TEST_F(VersionCheckTest, NewerOrMissingDataIsFetchedAndRecorded)
{
    // airports: newer than an empty stored text; dbase: equal but missing here; aig: equal and
    // present; liveries: equal but never scanned; addons: equal (its files do not count).
    AIG_VERSION.setValue("1.4.0");
    LIV_SCAN_VERSION.setValue("3.0.0");
    DBASE_VERSION.setValue("5.1.0");
    ADDONS_SCAN_VERSION.setValue("1.9.0");
    writeFile("input/airports.enc", "old airports");
    writeFile("input/AIG-regcodes.enc", "current regcodes");
    publish({{"p3d", versionObject(11, 9, 2)}, {"airports", versionObject(2, 0, 0)}, {"aig", versionObject(1, 4, 0)},
             {"liveries", versionObject(3, 0, 0)}, {"addons", versionObject(1, 9, 0)},
             {"dbase", versionObject(5, 1, 0)}});
    EXPECT_TRUE(gf_checkVersions());

    EXPECT_EQ(readFile("input/airports.enc"), readFile(site() / "11" / "airports.enc"));
    EXPECT_EQ(readFile("input/dbase.enc"), readFile(site() / "11" / "dbase.enc"));
    EXPECT_EQ(readFile("input/AIG-regcodes.enc"), "current regcodes");
    EXPECT_EQ(AIRPORTS_VERSION.value(), "2.0.0");
    EXPECT_EQ(valueInFile(AIRPORTS_VERSION.name()), "2.0.0");
    EXPECT_EQ(valueInFile(DBASE_VERSION.name()), "5.1.0");
    EXPECT_EQ(valueInFile(SCAN_LIVERIES.name()), "true");
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    const auto lines = logLines();
    for (const char* line : {"airports updated to 2.0.0", "dbase updated to 5.1.0", "liveries updated to 3.0.0",
                             "aig version up-to-date", "addons version up-to-date"})
        EXPECT_THAT(lines, Contains(line));
}

TEST_F(VersionCheckTest, FailedDownloadKeepsTheOldVersionSoTheNextStartRetries)
{
    AIRPORTS_VERSION.setValue("1.0.0");
    AIG_VERSION.setValue("1.0.0");
    LIV_SCAN_VERSION.setValue("2.0.0");
    ADDONS_SCAN_VERSION.setValue("1.9.0");
    DBASE_VERSION.setValue("5.0.0");
    writeFile("input/airports.enc", "airports");
    writeFile("input/AIG-regcodes.enc", "old regcodes");
    writeFile("input/dbase.enc", "old dbase");
    writeFile("output/LiveriesScanned.xml", "<liveries/>");
    fs::remove(site() / "11" / "AIG-regcodes.enc");
    addFault({{"endpoint", "/downloads/11/dbase.enc"}, {"status", 301}, {"body", "<html>moved</html>"}, {"times", 1}});
    publish({{"airports", versionObject(1, 0, 0)}, {"aig", versionObject(1, 1, 0)}, {"liveries", versionObject(2, 0, 0)},
             {"addons", versionObject(1, 10, 0)}, {"dbase", versionObject(5, 1, 0)}, {"unknown", versionObject(9, 9, 9)}});
    EXPECT_TRUE(gf_checkVersions());
    EXPECT_EQ(readFile("input/dbase.enc"), "old dbase");
    EXPECT_EQ(DBASE_VERSION.value(), "5.0.0");

    EXPECT_EQ(readFile("input/AIG-regcodes.enc"), "old regcodes");
    EXPECT_EQ(AIG_VERSION.value(), "1.0.0");
    EXPECT_EQ(readFile("input/airports.enc"), "airports");
    EXPECT_FALSE(SCAN_LIVERIES.value());
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_EQ(valueInFile(ADDONS_SCAN_VERSION.name()), "1.10.0");
    const auto lines = logLines();
    EXPECT_THAT(lines, Not(Contains(HasSubstr("aig updated"))));
    for (const char* line : {"airports version up-to-date", "liveries version up-to-date", "addons updated to 1.10.0"})
        EXPECT_THAT(lines, Contains(line));
}

// Answers of 200 without the file keep the program's files and versions; the next check takes them.
TEST_F(VersionCheckTest, OnlyAUsableDownloadReplacesADataFile)
{
    AIRPORTS_VERSION.setValue("1.0.0");
    DBASE_VERSION.setValue("1.0.0");
    const std::string names[] = {"airports.enc", "dbase.enc"};
    for (const std::string& name : names)
        writeFile("input/" + name, "old " + name);
    publish({{"airports", versionObject(1, 0, 1)}, {"dbase", versionObject(1, 0, 1)}});
    for (const std::string answer : {R"("body": "<html><body>Sign in to use the network</body></html>")",
                                     R"("body": "")", R"("noLength": true, "cut": true)"}) {
        addFault(nlohmann::json::parse(R"({"endpoint": "/downloads/11/*", "times": 2, )" + answer + "}"));
        EXPECT_TRUE(gf_checkVersions());
        EXPECT_EQ(readFile("input/airports.enc") + readFile("input/dbase.enc"), "old airports.encold dbase.enc");
        EXPECT_EQ(AIRPORTS_VERSION.value() + DBASE_VERSION.value(), "1.0.01.0.0") << answer;
    }
    EXPECT_TRUE(gf_checkVersions());
    EXPECT_EQ(valueInFile(AIRPORTS_VERSION.name()) + valueInFile(DBASE_VERSION.name()), "1.0.11.0.1");

    const auto lines = logLines();
    for (const std::string& name : names) {
        EXPECT_EQ(readFile("input/" + name), readFile(site() / "11" / name));
        const std::string refused = "input/" + name + " not replaced by the download of '" + url("11/" + name) + "': ";
        EXPECT_THAT(lines, Contains(refused + "it does not decrypt: Decryption failed"));
        EXPECT_THAT(lines, Contains(refused + "it is empty"));
        EXPECT_EQ(std::ranges::count_if(lines, [&](const std::string& line) { return line.starts_with(refused); }), 3);
    }
}

TEST_F(VersionCheckTest, MalformedVersionInfoIsAnError)
{
    for (const std::string body : {
             "<html>captive portal</html>",
             R"({"p3d": {"major": 11, "minor": 9}})",
             R"({"p3d": {"major": "11", "minor": 9, "patch": 2}})",
             R"({"p3d": "11.9.2"})",
             R"({"dbase": {"major": 4294967297, "minor": 0, "patch": 0}})",
             R"({"aig": {"major": 1.5, "minor": 0, "patch": 0}})",
         }) {
        writeFile(site() / "versions.json", body);
        EXPECT_THROW(static_cast<void>(gf_checkVersions()), std::exception) << body;
    }
    EXPECT_EQ(DBASE_VERSION.value(), "");
    EXPECT_EQ(AIG_VERSION.value(), "");
}

TEST_F(VersionCheckTest, HostileVersionInfoIsRefusedBoundedAndQuotedShort)
{
    const auto errorOf = [this](const std::string& body) {
        writeFile(site() / "versions.json", body);
        try {
            static_cast<void>(gf_checkVersions());  // each body throws
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    // Nested far deeper than any real file: refused before anything copies or prints it.
    const std::size_t deep = 100000;
    EXPECT_THAT(errorOf(R"({"p3d": )" + std::string(deep, '[') + std::string(deep, ']') + "}"),
                HasSubstr("nested deeper than"));
    // An outside value in the error is cut.
    const std::string longValue = R"({"p3d": {"major": ")" + std::string(100000, '9') + R"(", "minor": 0, "patch": 0}})";
    const std::string error = errorOf(longValue);
    EXPECT_THAT(error, HasSubstr("is not a 32-bit integer: \"999"));
    EXPECT_LT(error.size(), 400u);

    // A versions.json beyond its size limit is abandoned; the check carries on without it.
    writeFile(site() / "versions.json",
              R"({"p3d": ")" + std::string(gf_downloadLimit(DownloadKind::versions), ' ') + R"("})");
    EXPECT_TRUE(gf_checkVersions());
    EXPECT_THAT(logLines(), Contains(HasSubstr("download larger than 1048576 bytes")));
    EXPECT_THAT(logLines(), Contains("==> Downloading version info from my web site failed!"));
    EXPECT_FALSE(fs::exists(VERSIONS_JSON_FILE));
    EXPECT_FALSE(fs::exists(fs::path(VERSIONS_JSON_FILE) += ".part"));
}

}  // namespace
