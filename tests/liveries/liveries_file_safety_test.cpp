// What a user keeps of the liveries scan when things go wrong: a full disk while LiveriesScanned.xml
// is saved, a stopped scan, files too large to be aircraft.cfg files or a liveries list.
#include <gtest/gtest.h>

#include <string>

#include "foundation/status_sink.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "liveries/aircraft_cfg.hpp"
#include "liveries/liveries_scanned_xml.hpp"
#include "liveries/livery_scan.hpp"
#include "tests/liveries/scan_fixture.hpp"
#include "tests/support/file_size_limit.hpp"

namespace {

namespace fs = std::filesystem;
using corv_test::readFile;

class LiveriesFileSafetyTest : public corv_test::LiveryScanTest {
protected:
    LiveriesFileSafetyTest()
    {
        const fs::path root = dir() / "liveries";
        for (int i = 0; i < 40; ++i) {
            const fs::path folder = root / ("B738 " + std::to_string(i));
            writeCfg(folder / "aircraft.cfg", "[General]\natc_model=B738\n" +
                                                  section(0, "KLM 737 with a rather long title number " + std::to_string(i),
                                                          "atc_parking_codes=KLM\n"));
            addParts(folder, {"model", "texture.1", "plane.air"});
        }
        lfolder0.setValue(gf_pathToUtf8(root));
        SCAN_LIVERIES.setValue(true);
    }
    ~LiveriesFileSafetyTest() override { gf_resetStatusSink(); }
};

// The disk fills while the new list is saved: the user's previous list stays whole, the scan is
// asked for again and the status line says why.
TEST_F(LiveriesFileSafetyTest, AFullDiskKeepsThePreviousLiveriesAndTheScanPending)
{
    const std::string previous = "<liveries><liv airl=\"KLM\" type=\"B738\" title=\"kept\"/></liveries>";
    corv_test::writeFile(LIVERIES_SCANNED_PATH, previous);
    const int answer = corv_test::runWithFileSizeLimit(2048, [] {
        std::string status;
        gf_setStatusSink({[&status](const std::string& text, bool) { status = text; }, {}, {}});
        gf_scanLiveries();
        const bool told = status.find("LiveriesScanned.xml could not be saved") != std::string::npos;
        return (SCAN_LIVERIES.value() ? 1 : 0) + (told ? 2 : 0);
    });
    EXPECT_EQ(answer, 3);
    EXPECT_EQ(readFile(LIVERIES_SCANNED_PATH), previous);
    LiveryList read;
    lf_readLiveriesScanned(read);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read.front().title, "kept");

    // A report that cannot be removed (as in a read-only folder): previous list kept, scan pending.
    fs::create_directories(FIXES_PATH / "held");
    std::string status;
    gf_setStatusSink({[&status](const std::string& text, bool) { status = text; }, {}, {}});
    gf_scanLiveries();
    EXPECT_TRUE(SCAN_LIVERIES.value() && status.find("could not be removed") != std::string::npos);
    EXPECT_EQ(readFile(LIVERIES_SCANNED_PATH), previous);
    fs::remove_all(FIXES_PATH);

    // With room on the disk the same scan replaces it.
    gf_scanLiveries();
    EXPECT_FALSE(SCAN_LIVERIES.value());
    lf_readLiveriesScanned(read);
    EXPECT_EQ(read.size(), 40U);
}

// A stop while the files are read leaves the previous list for this run; the scan stays pending.
TEST_F(LiveriesFileSafetyTest, AStoppedScanKeepsThePreviousLiveries)
{
    corv_test::writeFile(LIVERIES_SCANNED_PATH, "<liveries><liv airl=\"KLM\" type=\"B738\" title=\"kept\"/></liveries>");
    lf_setFileTaskForTest([](std::int32_t, const fs::path&) {
        stopRequested.store(true);
        return FoundLiveries{};
    });
    gf_scanLiveries();
    lf_setFileTaskForTest({});
    stopRequested.store(false);
    EXPECT_TRUE(SCAN_LIVERIES.value());
    LiveryList read;
    lf_readLiveriesScanned(read);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read.front().title, "kept");
}

// Files far larger than any aircraft.cfg or liveries list are reported and not read.
TEST_F(LiveriesFileSafetyTest, OversizedFilesAreReportedAndSkipped)
{
    const fs::path huge = dir() / "liveries" / "Huge" / "aircraft.cfg";
    writeCfg(huge, "[General]\natc_model=B738\n" + section(0, "Huge title", "atc_parking_codes=KLM\n"));
    fs::resize_file(huge, CFG_MAX_FILE_BYTES + 1);
    CfgLines lines;
    EXPECT_FALSE(lf_readCfgLines(huge, lines, false));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(gf_scanReportsSnapshot().invalidCfgFiles.size(), 1U);
    gf_scanLiveries();
    EXPECT_NE(readFile(INVALID_AIRCRAFT_CFG_FILES_PATH).find("aircraft.cfg is larger than"), std::string::npos);

    // The list itself: refused whole, and left as it is.
    fs::resize_file(LIVERIES_SCANNED_PATH, LIVERIES_SCANNED_MAX_BYTES + 1);
    LiveryList read;
    try {
        lf_readLiveriesScanned(read);
        FAIL() << "an oversized list was read";
    } catch (const vald::UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()).rfind("51: ", 0), 0U) << e.what();
    }
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(fs::file_size(LIVERIES_SCANNED_PATH), LIVERIES_SCANNED_MAX_BYTES + 1);
}

}  // namespace
