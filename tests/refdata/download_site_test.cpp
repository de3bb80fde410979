// Downloads from the site stand-in over loopback HTTP: the bytes and the request as the site sees
// them, and failures that must leave the earlier copy of the file as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/refdata/download_site_standin.hpp"

namespace fs = std::filesystem;
using corv_test::readFile;
using corv_test::writeFile;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

class DownloadTest : public corv_test::DownloadSiteTest {};

TEST_F(DownloadTest, DataFileArrivesByteIdenticalWithTheProgramsUserAgent)
{
    writeFile("input/dbase.enc", "older copy");
    ASSERT_TRUE(gf_downloadFromSite("dbase.enc", fs::path("input") / "dbase.enc"));
    EXPECT_EQ(readFile("input/dbase.enc"), readFile(site() / "11" / "dbase.enc"));
    EXPECT_GT(fs::file_size("input/dbase.enc"), 24u);
    EXPECT_THAT(downloads(), ElementsAre("/downloads/11/dbase.enc Corv"));
    EXPECT_THAT(logLines(), Contains("Downloaded '" + url("11/dbase.enc") + "' to 'input/dbase.enc'"));
}

TEST_F(DownloadTest, FailedTransfersKeepTheOldFileAndSayWhy)
{
    const std::string good = "the good copy of an earlier start";
    writeFile("input/airports.enc", good);
    addFault({{"endpoint", "/downloads/11/airports.enc"}, {"status", 404}, {"times", 1}});
    EXPECT_FALSE(gf_downloadFromSite("airports.enc", "input/airports.enc"));  // 404
    EXPECT_EQ(readFile("input/airports.enc"), good);

    addFault({{"endpoint", "/downloads/11/airports.enc"}, {"cut", true}, {"times", 1}});
    EXPECT_FALSE(gf_downloadFromSite("airports.enc", "input/airports.enc"));
    EXPECT_EQ(readFile("input/airports.enc"), good);

    // A site that sends nothing is given up on by the low-speed limit, long before it would answer.
    vald::HttpLimits limits;
    limits.lowSpeedTime = std::chrono::seconds(1);
    gf_setDownloadLimitsForTest(limits);
    addFault({{"endpoint", "/downloads/11/airports.enc"}, {"stallSeconds", 30}, {"times", 1}});
    EXPECT_FALSE(gf_downloadFromSite("airports.enc", "input/airports.enc"));
    EXPECT_EQ(readFile("input/airports.enc"), good);
    EXPECT_EQ(std::distance(fs::directory_iterator("input"), fs::directory_iterator()), 1);  // nothing left beside it

    EXPECT_TRUE(gf_downloadFromSite("airports.enc", "input/airports.enc"));
    EXPECT_EQ(readFile("input/airports.enc"), readFile(site() / "11" / "airports.enc"));

    const auto lines = logLines();
    const std::string address = url("11/airports.enc");
    EXPECT_THAT(lines, Contains("Download error: 'HTTP response code said error' for " + address));
    EXPECT_THAT(lines, Contains("Download error: 'Transferred a partial file' for " + address));
    EXPECT_THAT(lines, Contains("Download error: 'Timeout was reached' for " + address));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "==> Downloading '" + address + "' failed !"), 3);
}

TEST_F(DownloadTest, UnusableTargetOrSiteAddressFailsWithoutATransfer)
{
    DownloadHandle holder;
    ASSERT_FALSE(holder.empty());
    EXPECT_FALSE(gf_downloadToFile(holder, url("versions.json"), fs::path("no") / "folder" / "versions.json", DownloadKind::versions));
    EXPECT_FALSE(fs::exists("no"));

    // Plain http to a host that is not this machine is refused, and never thrown.
    corv_test::ScopedEnv base("CORV_DOWNLOAD_BASE", "http://downloads.example.com/downloads/");
    EXPECT_FALSE(gf_downloadFromSite("dbase.enc", "input/dbase.enc"));
    EXPECT_FALSE(fs::exists("input/dbase.enc"));
    EXPECT_TRUE(downloads().empty());
    corv_test::ScopedEnv local("CORV_DOWNLOAD_BASE", "http://127.0.0.1:8080/downloads/");
    EXPECT_EQ(gf_downloadBase(), "http://127.0.0.1:8080/downloads/");

    const auto lines = logLines();
    EXPECT_THAT(lines, Contains("Could not open output file: no/folder/versions.json"));
    EXPECT_THAT(lines, Contains(HasSubstr("Downloader exception: 'CORV_DOWNLOAD_BASE: plain http")));
    EXPECT_THAT(lines, Contains("==> Downloading 'dbase.enc' failed !"));
}

}  // namespace
