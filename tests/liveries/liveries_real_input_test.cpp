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

// Windows-1252 bytes: "Lufthansa DÄLA €", and an apostrophe and ampersand that XML must escape.
const std::string CODE_PAGE_TITLE = "Lufthansa D\xC4LA \x80 & 'Br\xFC" "cke'";

TEST_F(LiveryScanTest, ACodePageTitleKeepsItsBytesThroughTheLiveriesFile)
{
    const fs::path root = dir() / "liveries";
    writeCfg(root / "A320 DLH" / "aircraft.cfg",
             "[General]\natc_model=A320\n" + section(0, CODE_PAGE_TITLE, "atc_parking_codes=DLH\n") +
                 section(1, "Lufthansa plain", "atc_parking_codes=DLH\n"),
             corv_test::CfgEncoding::ansi);
    addParts(root / "A320 DLH", {"model", "texture.1", "plane.air"});
    lfolder0.setValue(gf_pathToUtf8(root));
    SCAN_LIVERIES.setValue(true);
    gf_scanLiveries();
    ASSERT_FALSE(SCAN_LIVERIES.value());

    // The file stays well-formed UTF-8 XML that any reader accepts.
    const std::string text = readFile(LIVERIES_SCANNED_PATH);
    EXPECT_NO_THROW(static_cast<void>(utf8_to_wide(text)));
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(text.c_str()));

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
}

}  // namespace
