#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "foundation/format.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "liveries/liveries_scanned_xml.hpp"
#include "liveries/livery_scan.hpp"
#include "foundation/scan_pool.hpp"
#include "refdata/type_queries.hpp"
#include "tests/liveries/scan_fixture.hpp"
#include "tests/refdata/sealed_files.hpp"

namespace {

namespace fs = std::filesystem;
using corv_test::LiveryScanTest;
using corv_test::readFile;

// What a user sees of one scan: the liveries file read back and the report files.
struct ScanOutput {
    std::vector<std::string> liveries;
    std::string incomplete;
    std::string conversions;
    std::string noSections;
    std::string invalidAirlines;

    bool operator==(const ScanOutput&) const = default;
};

class FolderScanTest : public LiveryScanTest {
protected:
    FolderScanTest()
    {
        // The root's own name holds "airport": only what lies below the root is tested for it.
        first_ = dir() / "my airport liveries";
        second_ = dir() / "second";
        const std::string klm = "atc_parking_codes=KLM\n";
        aircraft(first_ / "B738 KLM" / "aircraft.cfg", "B738",
                 section(0, "KLM 737 A", klm + "atc_id=PH-BXA\n") + section(1, "Shared title", "atc_parking_codes=TRA\n"));
        aircraft(first_ / "B738 TRA" / "Sim.CFG", "B738", section(0, "Shared title", "atc_parking_codes=TRA\n"));
        aircraft(first_ / "B744 MPH" / "aircraft.cfg", "B744", section(0, "KLM 747", klm + "atc_id=PH-BFA\n"));
        aircraft(first_ / "Scenery" / "Airport X" / "aircraft.cfg", "A320",
                 section(0, "Capital Airport", "atc_parking_codes=TRA\n"));
        aircraft(first_ / "Scenery" / "airport EHAM" / "aircraft.cfg", "A320", section(0, "Hidden", klm));
        aircraft(first_ / "B744 old" / "aircraft.cfg.bak", "B744", section(0, "Backup", klm));
        aircraft(first_ / "IVAO_MTL" / "IVAO_A320w" / "aircraft.cfg", "", section(0, "DLH IVAO A320"));
        aircraft(first_ / "Sound only" / "aircraft.cfg", "A320", "[Sound]\nx=1\n");
        aircraft(second_ / "B738 KLM2" / "aircraft.cfg", "B738", section(0, "KLM 737 B", klm));
        aircraft(second_ / "A320 BAW" / "aircraft.cfg", "A320", section(0, "BA A320", "atc_parking_codes=BAW\n"));
        lfolder2.setValue(gf_pathToUtf8(first_));
        lfolder5.setValue(gf_pathToUtf8(second_));
    }

    static void aircraft(const fs::path& file, const std::string& model, const std::string& sections)
    {
        writeCfg(file, (model.empty() ? "" : "[General]\natc_model=" + model + "\n") + sections);
        addParts(file.parent_path(), {"model", "texture.1", "plane.air"});
    }

    ScanOutput scan(std::int32_t workerLimit)
    {
        gf_setScanWorkerLimit(workerLimit);
        SCAN_LIVERIES.setValue(true);
        gf_scanLiveries();
        EXPECT_FALSE(SCAN_LIVERIES.value());
        EXPECT_EQ(scanWorkerCount.load(), 0);
        ScanOutput output;
        LiveryList read;
        lf_readLiveriesScanned(read);
        for (const LiveryData& livery : read)
            output.liveries.push_back(vald::format("{} {} {} {} {}", livery.airl, livery.type, livery.title,
                                                   livery.atcid, livery.cargo));
        const auto text = [](const fs::path& file) { return fs::exists(file) ? readFile(file) : std::string(); };
        output.incomplete = text(INCOMPLETE_FLTSIM_SECTIONS_PATH);
        output.conversions = text(AIRLINE_MODEL_CONVERSIONS_PATH);
        output.noSections = text(AIRCRAFT_CFG_NO_FLTSIM_PATH);
        output.invalidAirlines = fs::exists(INVALID_AIRLINE_CODES_PATH) ? "present" : "";
        return output;
    }

    fs::path first_;
    fs::path second_;
};

TEST_F(FolderScanTest, AScanOfTwoFoldersGivesTheSameLiveriesAndReportsWithAnyWorkerCount)
{
    const ScanOutput one = scan(1);
    EXPECT_EQ(one.liveries, (std::vector<std::string>{"BAW A320 BA A320  false", "DLH A320 DLH IVAO A320  false",
                                                      "KLM B738 KLM 737 A PH-BXA false", "KLM B744 KLM 747 PH-BFA true",
                                                      "TRA A320 Capital Airport  false", "TRA B738 Shared title  false"}));
    EXPECT_EQ(one.incomplete, gf_pathToUtf8(first_ / "B738 TRA") + " [fltsim.0] title 'Shared title' already exists\n");
    EXPECT_EQ(one.conversions, vald::format("{:80} PH-BFA cargo false => true\n", "KLM 747"));
    EXPECT_EQ(one.noSections, gf_pathToUtf8(first_ / "Sound only" / "aircraft.cfg") + "\n");
    EXPECT_EQ(one.invalidAirlines, "");

    const std::vector<std::string> log = logLines();
    for (const std::string& line :
         {"5 liveries found in " + gf_pathToUtf8(first_), "2 liveries found in " + gf_pathToUtf8(second_),
          std::string("7 in total"), std::string("Errors:"), std::string("Information:")})
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;

    gf_openLog();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(scan(4), one);
}

TEST_F(FolderScanTest, WithoutPriorityEveryFolderKeepsItsLiveriesAndOneLiveryReadsSingular)
{
    LIG_PRIORITIZE.setValue(false);
    lfolder2.setValue("");
    lfolder7.setValue(gf_pathToUtf8(first_ / "B738 TRA"));
    lfolder8.setValue(gf_pathToUtf8(first_ / "B738 KLM"));
    const ScanOutput output = scan(2);
    EXPECT_EQ(output.liveries, (std::vector<std::string>{"BAW A320 BA A320  false", "KLM B738 KLM 737 A PH-BXA false",
                                                         "KLM B738 KLM 737 B  false", "TRA B738 Shared title  false"}));
    const std::vector<std::string> log = logLines();
    for (const std::string& line : {"2 liveries found in " + gf_pathToUtf8(second_),
                                    "1 liverie found in " + gf_pathToUtf8(first_ / "B738 TRA"),
                                    "1 liverie found in " + gf_pathToUtf8(first_ / "B738 KLM")})
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << line;
}

// A stop during the scan leaves the previous LiveriesScanned.xml as it was; the scan runs again.
TEST_F(FolderScanTest, AStoppedScanIsReportedAsInterruptedAndScansAgainNextTime)
{
    // A stop before the scan leaves everything as it was.
    corv_test::writeFile(LIVERIES_SCANNED_PATH, "<liveries/>");
    SCAN_LIVERIES.setValue(true);
    stopRequested = true;
    gf_scanLiveries();
    EXPECT_TRUE(fs::exists(LIVERIES_SCANNED_PATH));
    stopRequested = false;
    // A stop while the first files are read.
    lf_setFileTaskForTest([](std::int32_t, const fs::path&) {
        stopRequested.store(true);
        return FoundLiveries{};
    });
    gf_scanLiveries();
    lf_setFileTaskForTest({});
    EXPECT_TRUE(SCAN_LIVERIES.value());
    EXPECT_EQ(readFile(LIVERIES_SCANNED_PATH), "<liveries/>");
    const std::vector<std::string> log = logLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "==> liveries scan interrupted; it runs again at the next start"),
              log.end());
    stopRequested = false;
    gf_openLog();
    EXPECT_EQ(scan(2).liveries.size(), 6U);  // nothing of the stopped scan is left over
}

// A file of the user's own in output/errors does not stop later scans.
TEST_F(FolderScanTest, AStrayFileInTheErrorsFolderIsLeftAlone)
{
    corv_test::writeFile(OUTPUT_ERRORS_FOLDER / "my notes.txt", "mine");
    corv_test::writeFile(INVALID_AIRLINE_CODES_PATH, "old");
    EXPECT_EQ(scan(2).liveries.size(), 6U);
    EXPECT_EQ(scan(2).liveries.size(), 6U);
    EXPECT_EQ(readFile(OUTPUT_ERRORS_FOLDER / "my notes.txt"), "mine");
    EXPECT_FALSE(fs::exists(INVALID_AIRLINE_CODES_PATH));
}

// A read that hangs (a stalled network share) is given up after the task wait: the walk returns,
// the other files are read, and the hung task gives its worker slot back once it ends.
TEST_F(FolderScanTest, AHungReadIsGivenUpAndTheWalkGoesOn)
{
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto ended = std::make_shared<std::atomic<int>>(0);
    // Long enough for an ordinary task on a busy machine under a sanitizer; only the hung one outlasts it.
    gf_setScanTaskWaitForTest(std::chrono::milliseconds(1000));
    lf_setFileTaskForTest([release, ended](std::int32_t, const fs::path& file) {
        if (gf_pathToUtf8(file).find("B744 MPH") != std::string::npos)
            while (!release->load())
                std::this_thread::yield();
        ended->fetch_add(1);
        return FoundLiveries{};
    });
    gf_setScanWorkerLimit(2);
    lf_scanLiveryFolder(1, first_);
    lf_setFileTaskForTest({});
    gf_setScanTaskWaitForTest(std::chrono::seconds(10));
    EXPECT_EQ(ended->load(), 5);  // every file but the hung one
    release->store(true);
    while (scanWorkerCount.load() != 0)
        std::this_thread::yield();
    EXPECT_EQ(ended->load(), 6);
    const std::vector<std::string> log = logLines();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) {
                                return line == "==> liveries inner search aborted: Future wait timed out after 1 seconds" ||
                                       line == "==> liveries search aborted, futs outer, Future wait timed out after 1 seconds";
                            }),
              1);
}

// A stop while every worker hangs in a read ends the scan: no wait outlasts it.
TEST_F(FolderScanTest, AStopEndsAScanStuckInReads)
{
    auto release = std::make_shared<std::atomic<bool>>(false);
    gf_setScanTaskWaitForTest(std::chrono::hours(1));
    lf_setFileTaskForTest([release](std::int32_t, const fs::path& file) {
        if (gf_pathToUtf8(file).find("B744 MPH") != std::string::npos) {
            userClosing.store(true);  // the user closes the program while this read hangs
            while (!release->load())
                std::this_thread::yield();
        }
        return FoundLiveries{};
    });
    gf_setScanWorkerLimit(1);
    SCAN_LIVERIES.setValue(true);
    gf_scanLiveries();
    lf_setFileTaskForTest({});
    gf_setScanTaskWaitForTest(std::chrono::seconds(10));
    EXPECT_TRUE(SCAN_LIVERIES.value());
    release->store(true);
    while (scanWorkerCount.load() != 0)
        std::this_thread::yield();
    userClosing.store(false);
}

TEST_F(FolderScanTest, MissingFoldersAndEmptyTreesStopTheStartWithTheirErrors)
{
    int opened = 0;
    LiveryScanHooks hooks;
    hooks.openManual = [&opened] { ++opened; };
    hooks.openParametersFolder = [&opened] { opened += 10; };
    gf_setLiveryScanHooks(std::move(hooks));
    const auto errorOf = [] {
        try {
            gf_scanLiveries();
        } catch (const vald::UserErrorException& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    lfolder2.setValue("");
    lfolder5.setValue("");
    EXPECT_EQ(errorOf().substr(0, 25), "48: Exit Corv_P3D first! ");
    EXPECT_EQ(opened, 11);
    lfolder0.setValue(gf_pathToUtf8(dir() / "gone"));
    EXPECT_EQ(errorOf(), "243: the path pointed to by parameter 'lfolder0' does not exist, see Log.txt!");
    fs::create_directories(dir() / "gone");
    EXPECT_EQ(errorOf(), "53: no liveries found");
    EXPECT_TRUE(SCAN_LIVERIES.value());
    gf_setLiveryScanHooks({[] {}, [] {}});
}

// The demo's livery tree, scanned with the sample reference data as delivered (encrypted), gives
// a livery for every section and nothing to report.
TEST_F(LiveryScanTest, TheDemoLiveryTreeScansCleanAgainstTheSampleData)
{
    const fs::path samples = corv_test::sourceDir() / "standins" / "data";
    fs::create_directories(INPUT_FOLDER);
    corv_test::writeSealed(DBASE_ENC_PATH.string(), readFile(samples / "dbase.xml"));
    corv_test::writeSealed(AIG_REGCODES_ENC_PATH.string(), readFile(samples / "AIG-regcodes.xml"));
    ASSERT_TRUE(gf_readDbase());
    lfolder0.setValue(gf_pathToUtf8(samples / "liveries"));
    gf_scanLiveries();
    LiveryList liveries;
    lf_readLiveriesScanned(liveries);
    EXPECT_EQ(liveries.size(), 16U);
    for (const LiveryData& livery : liveries) {
        EXPECT_TRUE(gf_isIcaoAirline(livery.airl)) << livery.title;
        EXPECT_TRUE(gf_isKnownType(livery.type)) << livery.title;
    }
    EXPECT_FALSE(fs::exists(OUTPUT_ERRORS_FOLDER));
    EXPECT_FALSE(fs::exists(AIG_REGCODES_XML_PATH));
}

}  // namespace
