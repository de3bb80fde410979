// The offline-learning step on its own: what is copied, packed, removed and reported.
#include "scanner/tblo_archive.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "platform/zip_archive.hpp"
#include "refdata/airports.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/scanner/bgl_writer.hpp"
#include "tests/support/file_size_limit.hpp"

namespace fs = std::filesystem;

namespace {

using bgl_test::logHas;

class TbloTest : public ::testing::Test {
protected:
    TbloTest()
    {
        gf_resetAirports();
        for (const char* code : {"EGLL", "EHAM", "EHRD"})
            airportRecords.push_back(AirportRecord{code, "", 0.0, 0.0, 0.0, 0});
        fs::create_directories(MY_THIRDPARTY_FOLDER);
        fs::create_directories(TBLO_FOLDER_PATH);
        tbloFileCount.store(99);
    }
    ~TbloTest() override { gf_resetAirports(); }
    corv_test::LogCapture log_;  // the current directory is its folder
};

TEST_F(TbloTest, GeneratedFilesOfKnownAirportsArePackedAndLinkedOnesLeaveTheirFolder)
{
    corv_test::writeFile(MY_THIRDPARTY_FOLDER / "EGLL.xml", "<egll/>");
    corv_test::writeFile(MY_THIRDPARTY_FOLDER / "EGLL.txt", "archive/thirdparty/X/EGLL.xml\n");
    corv_test::writeFile(MY_THIRDPARTY_FOLDER / "EHAM.xml", "<eham/>");
    corv_test::writeFile(MY_THIRDPARTY_FOLDER / "EHRD.xml", "<ehrd/>");
    corv_test::writeFile(MY_THIRDPARTY_FOLDER / "KXYZ.xml", "<unknown/>");
    corv_test::writeFile(TBLO_FOLDER_PATH / TBLO_ZIP, "an old archive");
    lf_prepareTblo({"EGLL", "EHAM", "EHRD", "KXYZ"});

    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EGLL.xml"));
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EGLL.txt"));
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EHAM.xml"));
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "KXYZ.xml"));
    // Three files were counted; only the new archive stays.
    EXPECT_EQ(tbloFileCount.load(), 3U);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(TBLO_FOLDER_PATH))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"tblo.zip"});
    vald::ZipArchive zip(TBLO_FOLDER_PATH / TBLO_ZIP);
    ASSERT_TRUE(zip.open(vald::ZipArchive::OpenMode::ReadOnly));
    std::vector<std::string> names;
    for (const vald::ZipEntry& entry : zip.getEntries()) {
        names.push_back(entry.name);
        std::ostringstream content;
        EXPECT_EQ(zip.readContent(entry, content), 0);
        const char* const root = entry.name == "EGLL.xml" ? "egll" : entry.name == "EHAM.xml" ? "eham" : "ehrd";
        // Formatted, not "literal" + std::string: GCC 12 at -O3 reports a false -Wrestrict on that.
        EXPECT_EQ(content.str(), vald::format("<{}/>", root));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"EGLL.xml", "EHAM.xml", "EHRD.xml"}));
    const std::vector<std::string> lines = log_.lines();
    EXPECT_TRUE(logHas(lines, "EGLL copied to tblo/EGLL.xml"));
    EXPECT_TRUE(logHas(lines, "[zip] Adding (data) tblo/EGLL.xml -> EGLL.xml (7 bytes)"));
    EXPECT_TRUE(logHas(lines, "[zip] Removing old zip tblo/tblo.zip"));
    EXPECT_TRUE(logHas(lines, "[zip] Added 3 files, ok_close=true, exists=true, size="));
    EXPECT_TRUE(logHas(lines, "! Mail tblo/tblo.zip to tblo@corvalen.example"));
    EXPECT_FALSE(logHas(lines, "KXYZ"));

    // An archive that cannot be written keeps a linked file where it was: nothing else holds it.
    corv_test::writeFile(MY_THIRDPARTY_FOLDER / "EGLL.xml", "<egll/>");
    fs::remove(TBLO_FOLDER_PATH / TBLO_ZIP);
    corv_test::writeFile(TBLO_FOLDER_PATH / TBLO_ZIP / "in the way", "");
    lf_prepareTblo({"EGLL"});
    EXPECT_EQ(corv_test::readFile(MY_THIRDPARTY_FOLDER / "EGLL.xml"), "<egll/>");

    // A full disk while the archive is built keeps the old one whole.
    fs::remove_all(TBLO_FOLDER_PATH / TBLO_ZIP);
    corv_test::writeFile(TBLO_FOLDER_PATH / TBLO_ZIP, "an old archive");
    std::mt19937 noise(7);
    for (const char* name : {"EGLL", "EHAM", "EHRD"}) {
        std::string bytes(4000, '\0');
        for (char& c : bytes)
            c = static_cast<char>(noise());
        corv_test::writeFile(MY_THIRDPARTY_FOLDER / (std::string(name) + ".xml"), bytes);
    }
    EXPECT_EQ(corv_test::runWithFileSizeLimit(6000, [] {
                  lf_prepareTblo({"EGLL", "EHAM", "EHRD"});
                  return 0;
              }),
              0);
    EXPECT_EQ(corv_test::readFile(TBLO_FOLDER_PATH / TBLO_ZIP), "an old archive");

    // An entry the archive cannot take (a name that is no UTF-8) keeps the old one whole too; a
    // linked file whose copy could not be read is not in the new archive and stays.
    for (const char* name : {"EHAM", "EHRD"})
        corv_test::writeFile(MY_THIRDPARTY_FOLDER / (std::string(name) + ".xml"), "<park/>");
    for (const char* name : {"a.xml", "b.xml", "c.xml", "z\xff.xml"})
        corv_test::writeFile(TBLO_FOLDER_PATH / name, "<park/>");  // in any order of the folder, one comes before it
    lf_prepareTblo({"EHAM", "EHRD"});
    EXPECT_EQ(corv_test::readFile(TBLO_FOLDER_PATH / TBLO_ZIP), "an old archive");
    fs::resize_file(MY_THIRDPARTY_FOLDER / "EGLL.xml", MAX_PARK_FILE_BYTES + 1);
    lf_prepareTblo({"EGLL", "EHAM"});
    EXPECT_NE(corv_test::readFile(TBLO_FOLDER_PATH / TBLO_ZIP), "an old archive");
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EGLL.xml"));
}

TEST_F(TbloTest, NothingToLearnIsSaidOnceAndAnEmptyListSaysNothing)
{
    corv_test::writeFile(MY_THIRDPARTY_FOLDER / "KXYZ.xml", "<unknown/>");
    lf_prepareTblo({});
    EXPECT_EQ(tbloFileCount.load(), 99U);
    lf_prepareTblo({"KXYZ"});
    EXPECT_EQ(tbloFileCount.load(), 0U);
    EXPECT_TRUE(fs::is_empty(TBLO_FOLDER_PATH));
    const std::vector<std::string> lines = log_.lines();
    EXPECT_EQ(lines, (std::vector<std::string>{"All your third party airports are recognised, no off line learning needed."}));
}

}  // namespace
