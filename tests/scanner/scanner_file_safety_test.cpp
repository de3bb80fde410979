// What a user keeps when the airport scan runs: park files and links placed by hand in the output
// folders, and a scan that a closing program stops half-way.
#include <gtest/gtest.h>

#include "foundation/status_sink.hpp"
#include "foundation/text.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "scanner/airport_scan.hpp"
#include "scanner/scan_outputs.hpp"
#include "scanner/scanner_hooks.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/scanner/bgl_writer.hpp"

namespace fs = std::filesystem;

namespace {

using corv_test::readFile;
using bgl_test::airport;
using corv_test::writeFile;

class ScannerFileSafetyTest : public corv_test::ParamTest {
protected:
    ScannerFileSafetyTest()
    {
        gf_resetAirports();
        for (const char* code : {"EHAM", "EHGG", "EHRD", "EHTW"})
            airportRecords.push_back(AirportRecord{code, "", 52.0, 4.0, 0.0, 0});
        gf_clearDbaseTables();
        stopRequested = false;
        userClosing = false;
        SIM_INSTALL_PATH.setValue(gf_pathToUtf8(fs::current_path() / "Sim5"));
        addons_ = fs::current_path() / "Addons";
        afolder0.setValue(gf_pathToUtf8(addons_));
        SCAN_AIRPORTS.setValue(true);
    }
    ~ScannerFileSafetyTest() override
    {
        stopRequested = false;
        userClosing = false;
        gf_resetStatusSink();
        gf_resetAirports();
        gf_clearDbaseTables();
        gf_resetScannerHooks();
    }

    fs::path addons_;
};

// The user's own park file and link in my_thirdparty outlive every scan, also one of an airport
// the scan finds, and one cut short by a power loss; what an earlier scan generated goes when its
// scenery is gone.
TEST_F(ScannerFileSafetyTest, HandPlacedFilesSurviveEveryScan)
{
    const std::string mine = "<parkpositions><parkpos id=\"mine\"/></parkpositions>";
    writeFile(MY_THIRDPARTY_FOLDER / "EHAM.xml", mine);
    writeFile(MY_THIRDPARTY_FOLDER / "EHRD.txt", "archive/thirdparty/Mine/EHRD.xml\n");
    bgl_test::writeBytes(addons_ / "EHAM.bgl", bgl_test::bglFile({airport("EHAM", 4)}));
    bgl_test::writeBytes(addons_ / "EHGG.bgl", bgl_test::bglFile({airport("EHGG", 3)}));
    gf_scanAirports();
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_EQ(readFile(MY_THIRDPARTY_FOLDER / "EHAM.xml"), mine);
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EHRD.txt"));
    // EHGG.xml was generated (and moved into the offline-learning archive, no link stands beside it).
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EHGG.xml"));
    EXPECT_NE(readFile(AIRPORTS_SCAN_LOG_PATH).find("EHAM.xml is not a file of the scan: kept as it is"),
              std::string::npos);

    fs::remove(addons_ / "EHGG.bgl");
    bgl_test::writeBytes(addons_ / "EHTW.bgl", bgl_test::bglFile({airport("EHTW", 2)}));
    SCAN_AIRPORTS.setValue(true);
    gf_scanAirports();
    EXPECT_EQ(readFile(MY_THIRDPARTY_FOLDER / "EHAM.xml"), mine);
    EXPECT_EQ(readFile(MY_THIRDPARTY_FOLDER / "EHRD.txt"), "archive/thirdparty/Mine/EHRD.xml\n");
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHGG.xml"));  // the earlier scan's, its scenery gone
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EHTW.xml"));

    // A power loss cut the next scan short: it had recorded the user's files, then created
    // EHGG.xml and EHZZ.xml (emptied by the loss) and never saved its list. The scan after it
    // writes them whole or removes them, and still keeps the user's files.
    writeFile(SCAN_KEPT_LIST_PATH, gf_pathToUtf8(MY_THIRDPARTY_FOLDER / "EHAM.xml") + "\n" +
                                       gf_pathToUtf8(MY_THIRDPARTY_FOLDER / "EHRD.txt") + "\n");
    writeFile(MY_THIRDPARTY_FOLDER / "EHGG.xml", "");
    writeFile(MY_THIRDPARTY_FOLDER / "EHZZ.xml", "");
    bgl_test::writeBytes(addons_ / "EHGG.bgl", bgl_test::bglFile({airport("EHGG", 3)}));
    SCAN_AIRPORTS.setValue(true);
    gf_scanAirports();
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_EQ(readFile(MY_THIRDPARTY_FOLDER / "EHAM.xml"), mine);
    EXPECT_EQ(readFile(MY_THIRDPARTY_FOLDER / "EHRD.txt"), "archive/thirdparty/Mine/EHRD.xml\n");
    EXPECT_NE(readFile(MY_THIRDPARTY_FOLDER / "EHGG.xml").find("</parkpositions>"), std::string::npos);
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHZZ.xml"));  // its scenery is not found this time
    const std::string list = readFile(SCAN_GENERATED_LIST_PATH);
    EXPECT_NE(list.find(gf_pathToUtf8(MY_THIRDPARTY_FOLDER / "EHGG.xml")), std::string::npos);
    EXPECT_EQ(list.find("EHAM.xml"), std::string::npos);
    EXPECT_FALSE(fs::exists(SCAN_KEPT_LIST_PATH));
}

// A program closed during the scan keeps the user's files and scans again at the next start.
TEST_F(ScannerFileSafetyTest, AStoppedScanStaysPendingAndKeepsTheUsersFiles)
{
    writeFile(MY_THIRDPARTY_FOLDER / "EHAM.xml", "mine");
    bgl_test::writeBytes(addons_ / "EHGG.bgl", bgl_test::bglFile({airport("EHGG", 3)}));
    gf_scanAirports();
    ASSERT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EHGG.xml"));

    // The user closes the program while the first folder is looked at.
    afolder0.setValue(gf_pathToUtf8(fs::current_path() / "gone"));
    afolder1.setValue(gf_pathToUtf8(addons_));
    gf_setStatusSink({[](const std::string& text, bool) {
                          if (text.find("does not exist") != std::string::npos)
                              userClosing = true;
                      },
                      {}, {}});
    SCAN_AIRPORTS.setValue(true);
    gf_scanAirports();
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_EQ(readFile(MY_THIRDPARTY_FOLDER / "EHAM.xml"), "mine");

    // A start while the program stops does not scan at all.
    gf_scanAirports();
    EXPECT_EQ(readFile(MY_THIRDPARTY_FOLDER / "EHAM.xml"), "mine");
    EXPECT_TRUE(SCAN_AIRPORTS.value());

    // The next start scans again and finds EHGG once more.
    userClosing = false;
    gf_resetStatusSink();
    gf_scanAirports();
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EHGG.xml"));
    EXPECT_EQ(readFile(MY_THIRDPARTY_FOLDER / "EHAM.xml"), "mine");
}

// A list edited to name a file outside the two output folders removes nothing there.
TEST_F(ScannerFileSafetyTest, TheListRemovesOnlyFilesOfTheOutputFolders)
{
    writeFile(MY_PARK_AIRPORTS_PATH, "EHAM\n");
    writeFile(MY_THIRDPARTY_FOLDER / "EHTW.xml", "generated before");
    writeFile(SCAN_GENERATED_LIST_PATH, gf_pathToUtf8(MY_PARK_AIRPORTS_PATH) + "\n" +
                                            gf_pathToUtf8(MY_THIRDPARTY_FOLDER / ".." / "my_park_airports.txt") + "\n" +
                                            gf_pathToUtf8(MY_THIRDPARTY_FOLDER / "EHTW.xml") + "\n");
    gf_startScanOutputs();
    gf_removeStaleScanOutputs();
    EXPECT_EQ(readFile(MY_PARK_AIRPORTS_PATH), "EHAM\n");
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHTW.xml"));
}

}  // namespace
