#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/files.hpp"
#include "tests/foundation/log_capture.hpp"

namespace {

namespace fs = std::filesystem;
using corv_test::readFile;
using corv_test::writeFile;
using Names = std::vector<std::string>;

Names sortedEntriesOf(const fs::path& folder)
{
    Names names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FilesTest, GenerationsShiftByOneAndFailuresAreWarnings)
{
    corv_test::LogCapture log;
    writeFile("data.xml", "current");
    writeFile("data0.xml", "first");
    writeFile("data00.xml", "second");
    EXPECT_TRUE(gf_saveUpto3GenerationsOf("data.xml"));
    EXPECT_EQ(readFile("data0.xml") + readFile("data00.xml") + readFile("data000.xml"), "currentfirstsecond");
    EXPECT_TRUE(gf_saveUpto3GenerationsOf("absent.txt"));  // nothing to keep is no failure

    writeFile("nodot", "x");
    EXPECT_FALSE(gf_saveUpto3GenerationsOf("nodot"));
    writeFile("report.txt", "r");
    writeFile("report0.txt", "r0");
    fs::create_directory("report00.txt");  // a folder where generation 2 should be
    EXPECT_FALSE(gf_saveUpto3GenerationsOf("report.txt"));
    EXPECT_EQ(readFile("report0.txt"), "r");  // the other steps still ran

    const Names lines = log.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "==> gf_saveUpto3GenerationsOf: no dot in filename: nodot");
    EXPECT_EQ(lines[1].rfind("==> copy report00.txt -> report000.txt failed: ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("==> copy report0.txt -> report00.txt failed: ", 0), 0u) << lines[2];
    EXPECT_EQ(sortedEntriesOf("."), (Names{"Log.txt", "data.xml", "data0.xml", "data00.xml", "data000.xml",
                                           "nodot", "report.txt", "report0.txt", "report00.txt"}));
}

TEST(FilesTest, CountAndCollectFiles)
{
    corv_test::TempDir dir(true);
    EXPECT_EQ(gf_countFilesIn("missing"), 0u);
    EXPECT_TRUE(gf_collectXmlFiles().empty());

    const fs::path folder = fs::path("airports") / "my_thirdparty";
    for (const char* name : {"abcd.xml", "ABCD.XML", "EFGH.Xml", "abc.xml", "abcde.xml", "IJKL.txt"})
        writeFile(folder / name, "<x/>");
    fs::create_directories(folder / "MNOP.xml");
    EXPECT_EQ(gf_countFilesIn(folder), 6u);
    Names collected = gf_collectXmlFiles();
    std::sort(collected.begin(), collected.end());
    EXPECT_EQ(collected, (Names{"ABCD", "EFGH", "abcd"}));
}

TEST(FilesTest, RemoveEntriesOfFolders)
{
    corv_test::LogCapture log;
    for (const char* name : {"a.xml", "b.XML", "keep.txt"})
        writeFile(fs::path("tblo") / name, "x");
    gf_removeXMLFilesFromDirectory();
    EXPECT_EQ(sortedEntriesOf("tblo"), Names{"keep.txt"});

    writeFile(fs::path("plain") / "one", "1");
    fs::create_directories(fs::path("plain") / "full" / "inner");
    gf_removeFilesFromDirectory("plain");  // the full subfolder ends it with a warning
    gf_removeFilesFromDirectory("missing");
    const Names lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("==> gf_removeFilesFromDirectory exception: ", 0), 0u) << lines[0];
    EXPECT_TRUE(fs::exists(fs::path("plain") / "full"));
}

}  // namespace

TEST(FilesTest, RemoveFileWarnDeletesAndOnlyWarnsOnRealFailures)
{
    corv_test::LogCapture log;
    corv_test::writeFile("plain.xml", "<x/>");
    gf_removeFileWarn("plain.xml");
    EXPECT_FALSE(std::filesystem::exists("plain.xml"));

    gf_removeFileWarn("never-there.xml");  // a missing file is silent

    corv_test::writeFile("busy/inside.txt", "x");  // a non-empty folder cannot be removed as a file
    gf_removeFileWarn("busy");
    EXPECT_TRUE(std::filesystem::exists("busy/inside.txt"));

    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("==> Warning: could not remove busy, errorcode: ", 0), 0u) << lines[0];
}
