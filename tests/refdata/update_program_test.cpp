// A newer program release on the site stand-in: new_version is prepared from the release zip and
// the run ends with NEW VERSION; hostile, damaged or missing releases are never offered.
#include <zip.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "foundation/format.hpp"
#include "tests/refdata/download_site_standin.hpp"

namespace fs = std::filesystem;
using corv_test::readFile;
using corv_test::writeFile;
using testing::Contains;
using testing::ElementsAre;

namespace {

const std::string RELEASE = "release/setup_Corv_P3D_d_v11.10.0.zip";
const std::string NORMAL_RIGHTS =
    "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";

// A one-entry zip made directly with libzip, stored uncompressed so its bytes lie at a known place.
void writeZip(const fs::path& file, const std::string& name, const std::string& data)
{
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(zip_file_add(archive, name.c_str(), zip_source_buffer(archive, data.data(), data.size(), 0), 0), 0);
    zip_set_file_compression(archive, 0, ZIP_CM_STORE, 0);
    ASSERT_EQ(zip_close(archive), 0);
}

class ProgramUpdateTest : public corv_test::DownloadSiteTest {
protected:
    ProgramUpdateTest() : DownloadSiteTest({{"p3d", "11.10.0"}}) { gf_setInstallerRightsContext({{}, [] { return false; }}); }

    // Runs the check over an earlier new_version: the release is not offered, the folder is
    // emptied all the same, and the data files are examined after all.
    void expectNotOffered()
    {
        fs::create_directories("new_version");
        writeFile("new_version/stale.txt", "from an earlier update");
        EXPECT_TRUE(gf_checkVersions());
        EXPECT_FALSE(stopRequested);
        EXPECT_TRUE(fs::is_empty("new_version"));
        EXPECT_FALSE(fs::exists("install_new_version.exe"));
        EXPECT_FALSE(fs::exists("setup_Corv_P3D_d_v11.10.0.zip"));
        EXPECT_THAT(statusTexts_,
                    Contains("The downloading/unzipping of the new version failed? Try manually via the Quorvex website."));
        EXPECT_EQ(AIRPORTS_VERSION.value(), "1.0.0");
    }
};

TEST_F(ProgramUpdateTest, NewerReleaseIsPreparedAndEndsTheRun)
{
    fs::create_directories("new_version");
    writeFile("new_version/stale.txt", "from an earlier update");
    EXPECT_FALSE(gf_checkVersions());

    EXPECT_EQ(readFile("new_version/install_new_version.exe"), "Corvalen installer 11.10.0 (stand-in build)\n");
    EXPECT_EQ(readFile("new_version/ReleaseNotes.pdf"), readFile(site() / "docs" / "ReleaseNotes.pdf"));
    EXPECT_EQ(readFile("new_version/README.txt"), NORMAL_RIGHTS + "\n");
    EXPECT_EQ(std::distance(fs::directory_iterator("new_version"), fs::directory_iterator()), 3);
    EXPECT_FALSE(fs::exists("install_new_version.exe"));
    EXPECT_FALSE(fs::exists("setup_Corv_P3D_d_v11.10.0.zip"));
    EXPECT_TRUE(stopRequested);
    EXPECT_EQ(closingReason_, closing_reason::NEW_VERSION);
    EXPECT_EQ(restartDelaySeconds, 0);
    EXPECT_THAT(openedFor_, ElementsAre(fs::current_path() / "new_version" / "install_new_version.exe"));
    // The data files wait for the new version.
    EXPECT_THAT(downloads(), ElementsAre("/downloads/versions.json Corv", "/downloads/" + RELEASE + " Corv",
                                        "/downloads/docs/ReleaseNotes.pdf Corv"));

    // Without a file browser the user is told, and the run still ends for the new version.
    folderOpens_ = false;
    stopRequested = false;
    closingReason_ = closing_reason::NOT_YET_SET;
    EXPECT_FALSE(gf_checkVersions());
    EXPECT_EQ(closingReason_, closing_reason::NEW_VERSION);
    EXPECT_THAT(messageBoxes_, ElementsAre("Corv: Could not open File Explorer at new version"));
    EXPECT_THAT(statusTexts_,
                ElementsAre("Opening file explorer at the new version failed? Try manually via the Quorvex website."));
}

TEST_F(ProgramUpdateTest, HostileEntryNamesAreRefused)
{
    const corv_test::TempDir outside;
    const std::vector<std::string> names = {"../escaped.exe", (outside.path() / "escaped.exe").string(),
                                            "sub/install_new_version.exe", "..\\escaped.exe", "C:escaped.exe", ".."};
    for (const std::string& name : names) {
        writeZip(site() / RELEASE, name, "not an installer");
        expectNotOffered();
        EXPECT_FALSE(fs::exists(outside.path() / "escaped.exe")) << name;
        EXPECT_FALSE(fs::exists(fs::current_path().parent_path() / "escaped.exe")) << name;
    }
    const auto lines = logLines();
    for (const std::string& name : names)
        EXPECT_THAT(lines, Contains("==> Refused setup_Corv_P3D_d_v11.10.0.zip: entry name '" + name +
                                    "' is not a plain file name"));
}

TEST_F(ProgramUpdateTest, MissingOrDamagedReleaseIsNotOffered)
{
    fs::remove(site() / RELEASE);
    expectNotOffered();
    EXPECT_THAT(statusTexts_, Contains("Downloading program installer file version 11.10.0 failed"));

    // One changed byte fails the entry's checksum: half an installer must stay nowhere.
    writeZip(site() / RELEASE, "install_new_version.exe", std::string(20000, 'i'));
    std::string bytes = readFile(site() / RELEASE);
    bytes[10000] = 'X';
    writeFile(site() / RELEASE, bytes);
    expectNotOffered();

    const std::string missing = "==> install_new_version.exe does not exists?";
    EXPECT_THAT(logLines(), Contains(missing).Times(2));
    EXPECT_THAT(logLines(), Contains(vald::format("==> Unzipping error code: {}", ZIP_ER_CRC)));

    // A close while the release trickles in ends its download; an earlier update's installer stays,
    // and so do files of the release's names that the download did not write.
    writeZip(site() / RELEASE, "install_new_version.exe", "Corvalen installer 11.10.0\n");
    writeFile("new_version/install_new_version.exe", "an earlier installer");
    writeFile("setup_Corv_P3D_d_v11.10.0.zip", "fetched by hand");
    writeFile("install_new_version.exe", "left by an earlier run");
    addFault({{"endpoint", "/downloads/" + RELEASE}, {"paceBytesPerSecond", 2}, {"times", 1}});
    std::thread closer = corv_test::closeOnceADownloadHasBegun(".", "setup_");
    EXPECT_TRUE(gf_checkVersions());
    closer.join();
    EXPECT_EQ(readFile("new_version/install_new_version.exe"), "an earlier installer");
    EXPECT_EQ(readFile("setup_Corv_P3D_d_v11.10.0.zip") + "|" + readFile("install_new_version.exe"),
              "fetched by hand|left by an earlier run");
    EXPECT_THAT(logLines(), Contains(missing).Times(2)) << "no more than before the close";
}

TEST(InstallerRights, AdministratorOnlyForAnUnwritableProtectedFolder)
{
    const corv_test::TempDir dir;
    const fs::path unwritable = dir.path() / "Corvalen" / "missing";  // nothing can be created in it
    gf_setInstallerRightsContext({{dir.path()}, [] { return false; }});
    EXPECT_EQ(gf_installerRights(unwritable), "A new version is available. Run the installer as Administrator");
    EXPECT_EQ(gf_installerRights(dir.path()), NORMAL_RIGHTS);
    EXPECT_TRUE(fs::is_empty(dir.path()));  // the write test left nothing behind
    gf_setInstallerRightsContext({{dir.path() / "Corv"}, [] { return false; }});
    EXPECT_EQ(gf_installerRights(unwritable), NORMAL_RIGHTS);  // "Corvalen" is not inside "Corv"
    gf_setInstallerRightsContext({{dir.path()}, [] { return true; }});
    EXPECT_EQ(gf_installerRights(unwritable), NORMAL_RIGHTS);
    gf_setInstallerRightsContext(gf_defaultInstallerRightsContext());
}

}  // namespace
