// Liveries as users' machines hold them: aircraft.cfg files saved in a Windows code page, whose
// titles the simulator knows only by their bytes.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "foundation/text.hpp"
#include "liveries/liveries_scanned_xml.hpp"
#include "liveries/livery_scan.hpp"
#include "tests/liveries/scan_fixture.hpp"

namespace {

namespace fs = std::filesystem;
using corv_test::LiveryScanTest;
using corv_test::readFile;
using corv_test::writeFile;

// Windows-1252 bytes: "Lufthansa DÄLA €", and an apostrophe and ampersand that XML must escape.
const std::string CODE_PAGE_TITLE = "Lufthansa D\xC4LA \x80 & 'Br\xFC" "cke'";

TEST_F(LiveryScanTest, ACodePageTitleKeepsItsBytesThroughTheLiveriesFile)
{
    const fs::path root = dir() / "liveries";
    writeCfg(root / "A320 DLH" / "aircraft.cfg",
             "[General]\natc_model=A320\n" + section(0, CODE_PAGE_TITLE, "atc_parking_codes=DLH\n") +
                 section(1, "Lufthansa plain", "atc_parking_codes=DLH\n") +
                 section(2, std::string("Lufthansa\0\0dmg", 14), "atc_parking_codes=DLH\n"),
             corv_test::CfgEncoding::ansi);
    addParts(root / "A320 DLH", {"model", "texture.1", "plane.air"});
    lfolder0.setValue(gf_pathToUtf8(root));
    SCAN_LIVERIES.setValue(true);
    gf_scanLiveries();
    ASSERT_FALSE(SCAN_LIVERIES.value());

    // The title attribute holds the bytes; the title with a NUL byte is left out and reported.
    const std::string text = readFile(LIVERIES_SCANNED_PATH);
    EXPECT_NE(text.find("title=\"Lufthansa D\xC4LA \x80 &amp; "), std::string::npos) << text;
    EXPECT_EQ(text.find("titlebytes"), std::string::npos);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(text.c_str()));
    EXPECT_NE(readFile(INCOMPLETE_FLTSIM_SECTIONS_PATH).find("[fltsim.2] title holds a NUL byte after 'Lufthansa'"),
              std::string::npos);

    LiveryList read;
    lf_readLiveriesScanned(read);
    ASSERT_EQ(read.size(), 2U);
    EXPECT_EQ(read.front().title, CODE_PAGE_TITLE);  // byte for byte
    EXPECT_EQ(read.back().title, "Lufthansa plain");

    // Written again from what was read, the file is the same.
    ASSERT_TRUE(lf_writeLiveriesScanned(read, dir() / "again.xml"));
    LiveryList again;
    lf_readLiveriesScanned(again, dir() / "again.xml");
    EXPECT_EQ(again.front().title, CODE_PAGE_TITLE);
    // A file of an earlier version, with the bytes as hexadecimal digits beside the title.
    writeFile(dir() / "old.xml", R"(<liveries><liv airl="DLH" type="A320" title="D?LA" titlebytes="44C44C41"/></liveries>)");
    lf_readLiveriesScanned(again, dir() / "old.xml");
    EXPECT_EQ(again.front().title, "D\xC4LA");
}

}  // namespace
