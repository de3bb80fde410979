// Whole scans of generated scenery folders: park files linked and generated per publisher, the
// scan log, the offline-learning archive, and the folder and file failures a scan survives.
#include "scanner/airport_scan.hpp"
#include "foundation/format.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "foundation/scan_pool.hpp"
#include "foundation/scan_workers.hpp"
#include "parking/park_file.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "scanner/addon_park_files.hpp"
#include "scanner/bgl_records.hpp"
#include "scanner/scanner_hooks.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/scanner/bgl_writer.hpp"

namespace fs = std::filesystem;

namespace {

using bgl_test::airport;

using bgl_test::logHas;

class AirportScanTest : public corv_test::ParamTest {
protected:
    AirportScanTest()
    {
        gf_resetAirports();
        for (const char* code : {"EHAM", "EHBK", "EHEH", "EHGG", "EHRD", "EHTW"})
            airportRecords.push_back(AirportRecord{code, "", 52.0, 4.0, 0.0, 0});
        gf_clearDbaseTables();
        simaddonAirports.insert("EHAM");
        publisherGroups = {{"Some Pub", "somepub"}, {"Other"}};
        thirdpartyRecords = {{"Some Pub", {"EHTW12", "EHRD40"}}};
        gf_setScanWorkerLimit(2);
        SIM_INSTALL_PATH.setValue(gf_pathToUtf8(fs::current_path() / "Sim5"));
        addons_ = fs::current_path() / "Sim5 Addons";
        afolder0.setValue(gf_pathToUtf8(addons_));
        SCAN_AIRPORTS.setValue(true);
    }
    ~AirportScanTest() override
    {
        gf_resetAirports();
        gf_clearDbaseTables();
        gf_resetScannerHooks();
    }
    std::vector<std::string> scanLog() const { return corv_test::fileLines(AIRPORTS_SCAN_LOG_PATH); }

    fs::path addons_;
};

TEST_F(AirportScanTest, AddonAirportsGetLinksOrGeneratedFilesAndUnknownOnesGoIntoTheArchive)
{
    bgl_test::writeBytes(addons_ / "Orbx" / "EHAM.BGL", bgl_test::bglFile({airport("EHAM", 3)}));
    bgl_test::writeBytes(addons_ / "ORBX" / "EHBK.bgl", bgl_test::bglFile({airport("EHBK", 1)}, true));
    bgl_test::writeBytes(addons_ / "somepub" / "scenery" / "EHRD.bgl", bgl_test::bglFile({airport("EHRD", 43, 2)}));
    bgl_test::writeBytes(addons_ / "somepub" / "EHTW.bgl", bgl_test::bglFile({airport("EHTW", 10)}));
    bgl_test::writeBytes(addons_ / "mine" / "EHGG.bgl", bgl_test::bglFile({airport("EHGG", 2, 1)}));
    bgl_test::writeBytes(addons_ / "mine" / "EHEH.Bgl", bgl_test::bglFile({airport("EHEH", 2)}));
    bgl_test::writeBytes(addons_ / "mine" / "_heliports" / "EHEH.bgl", bgl_test::bglFile({airport("EHEH", 2)}));
    bgl_test::writeBytes(fs::current_path() / "Sim5" / "Scenery" / "EHEH.bgl", bgl_test::bglFile({airport("EHEH", 2)}));
    afolder3.setValue(gf_pathToUtf8(addons_ / "mine"));  // scanned twice: the later write wins, whole
    fs::create_directories(MY_ORBX_FOLDER);
    corv_test::writeFile(MY_ORBX_FOLDER / "OLD.txt", "stale");
    vald::gf_controls().create(BUTTON_TBLO.controlId(), vald::ControlKind::Button);
    vald::gf_controls().setEnabled(BUTTON_TBLO.controlId(), false);

    gf_scanAirports();

    EXPECT_EQ(corv_test::readFile(MY_ORBX_FOLDER / "EHAM.txt"), "archive/simaddon/EHAM.xml\n");
    EXPECT_FALSE(fs::exists(MY_ORBX_FOLDER / "EHAM.xml"));
    EXPECT_EQ(corv_test::readFile(MY_ORBX_FOLDER / "OLD.txt"), "stale");  // no scan made it
    EXPECT_TRUE(fs::exists(MY_ORBX_FOLDER / "EHBK.xml"));  // simaddon, but not in the archive
    EXPECT_EQ(corv_test::readFile(MY_THIRDPARTY_FOLDER / "EHRD.txt"), "archive/thirdparty/Some%20Pub/EHRD.xml\n");
    EXPECT_EQ(corv_test::readFile(MY_THIRDPARTY_FOLDER / "EHTW.txt"), "archive/thirdparty/Some%20Pub/EHTW.xml\n");
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHTW.xml"));  // 10 stands, the archive has 12
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHRD.xml"));  // moved into the archive, the link stays
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EHGG.xml"));
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHEH.xml"));

    pugi::xml_document eheh;
    ASSERT_TRUE(eheh.load_file((MY_THIRDPARTY_FOLDER / "EHGG.xml").c_str()));
    EXPECT_STREQ(eheh.child("parkpositions").first_child().attribute("id").as_string(), "g1");
    EXPECT_STREQ(eheh.child("meta").find_child_by_attribute("info", "name", "P3D").attribute("name").as_string(), "P3D");

    // The two generated third-party files went into the offline-learning archive; tblo holds only it.
    EXPECT_EQ(tbloFileCount.load(), 2U);
    std::vector<std::string> inTblo;
    for (const auto& entry : fs::directory_iterator(TBLO_FOLDER_PATH))
        inTblo.push_back(entry.path().filename().string());
    EXPECT_EQ(inTblo, std::vector<std::string>{"tblo.zip"});
    EXPECT_TRUE(vald::gf_controls().enabled(BUTTON_TBLO.controlId()));

    const std::vector<std::string> log = scanLog();
    EXPECT_TRUE(logHas(log, "simaddon airport EHAM linked to archive/simaddon/EHAM.xml"));
    EXPECT_TRUE(logHas(log, "from filename => publisher simaddon"));
    EXPECT_TRUE(logHas(log, "EHBK does not exist as simaddon"));
    EXPECT_TRUE(logHas(log, "Generated EHBK.xml: 1 position"));
    EXPECT_TRUE(logHas(log, "===> EHRD has 45 parkpos while archived one has 40"));
    EXPECT_TRUE(logHas(log, "Generated EHRD.xml: 45 positions, of which 2 helipads"));
    EXPECT_TRUE(logHas(log, "Generated EHGG.xml: 3 positions, of which 1 helipad"));
    EXPECT_FALSE(logHas(log, "EHGG.xml: 3 positions, of which 1 helipads"));
    EXPECT_FALSE(logHas(log, "EHTW has"));
    EXPECT_TRUE(logHas(log, "Scanning for addon  airports in ")) << ::testing::PrintToString(log);
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_EQ(scanWorkerCount.load(), 0);
}

// A file whose task fails ends the walk of its folder; the airports it read before the damage
// keep their park files, and the next folders are still scanned.
TEST_F(AirportScanTest, AFailingFileEndsItsFolderWalkAndTheScanGoesOn)
{
    std::vector<std::uint8_t> damaged = bgl_test::bglFile({airport("EHRD", 2), airport("EHTW", 3)});
    damaged.resize(damaged.size() - 40);  // the second record is cut short
    bgl_test::writeBytes(addons_ / "EHTW.bgl", damaged);
    const fs::path good = fs::current_path() / "good";
    for (const char* code : {"EHGG", "EHEH"})
        bgl_test::writeBytes(good / (std::string(code) + ".bgl"), bgl_test::bglFile({airport(code, 2)}));
    // Every file of this folder is damaged: the first ends the walk while later ones are added.
    const fs::path orbx = fs::current_path() / "orbx";
    damaged = bgl_test::bglFile({airport("EHBK", 2)});
    damaged.resize(damaged.size() - 40);
    for (const char* name : {"EHBK1.bgl", "EHTW.bgl", "EHBK2.bgl"})
        bgl_test::writeBytes(orbx / name, damaged);
    afolder1.setValue(gf_pathToUtf8(fs::current_path() / "nowhere"));
    afolder2.setValue(gf_pathToUtf8(fs::current_path() / "Log.txt"));
    afolder3.setValue(gf_pathToUtf8(orbx));
    afolder4.setValue(gf_pathToUtf8(good));
    gf_scanAirports();

    for (const char* code : {"EHRD", "EHGG", "EHEH"})
        EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / (std::string(code) + ".xml"))) << code;
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHTW.xml"));  // cut: it keeps its stock park file
    const std::vector<std::string> log = scanLog();
    EXPECT_TRUE(logHas(log, "===>  airports search in " + gf_pathToUtf8(addons_) + " aborted, futs outer error: "))
        << ::testing::PrintToString(log);
    EXPECT_TRUE(logHas(log, "runs past the end of " + gf_pathToUtf8(addons_ / "EHTW.bgl")));
    EXPECT_TRUE(logHas(log, "===>  airports search aborted, futs inner,"));
    EXPECT_EQ(scanWorkerCount.load(), 0);
    EXPECT_FALSE(SCAN_AIRPORTS.value());
}

TEST_F(AirportScanTest, FoldersThatCannotBeScannedEndTheRunWithTheirError)
{
    int opened = 0;
    ScannerHooks hooks;
    hooks.openManual = [&opened] { ++opened; };
    hooks.openParametersFolder = [&opened] { ++opened; };
    gf_setScannerHooks(hooks);
    afolder0.setValue("");
    try {
        gf_scanAirports();
        FAIL() << "no error without a folder";
    } catch (const vald::UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()).rfind("49: Exit Corv_P3D first!", 0), 0U) << e.what();
    }
    EXPECT_EQ(opened, 2);
    EXPECT_TRUE(SCAN_AIRPORTS.value());

    afolder4.setValue(gf_pathToUtf8(fs::current_path() / "SIM5" / "Scenery"));
    try {
        gf_scanAirports();
        FAIL() << "no error for a stock folder";
    } catch (const vald::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "42: parameter afolder4 points to stock airports instead of add-on airports!");
    }
}

TEST_F(AirportScanTest, TasksOfOneAirportWriteItsFileWholeForTheSimulatorOfTheScan)
{
    gf_setScanWorkerLimit(4);
    for (int i = 0; i < 12; ++i)
        bgl_test::writeBytes(addons_ / ("copy" + std::to_string(i) + ".bgl"), bgl_test::bglFile({airport("EHGG", 20 + i)}));
    gf_setMetaSimulatorName("MSFS");  // what another writer left behind
    gf_scanAirports();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((MY_THIRDPARTY_FOLDER / "EHGG.xml").c_str()));
    const auto stands = doc.child("parkpositions").children("parkpos");
    EXPECT_EQ(std::distance(stands.begin(), stands.end()), 31);  // the file with the most stands, every time
    EXPECT_TRUE(doc.child("meta").find_child_by_attribute("info", "name", "P3D"));
    for (const auto& entry : fs::directory_iterator(MY_THIRDPARTY_FOLDER))
        EXPECT_EQ(entry.path().extension(), ".xml") << entry.path();
}

// The stands the closest-stand question remembered are forgotten by a scan that rewrote the park
// files: the stands of the new scenery are read, not those of the park file the last scan wrote.
TEST_F(AirportScanTest, AScanMakesTheClosestStandQuestionReadTheNewParkFiles)
{
    bgl_test::writeBytes(addons_ / "EHGG.bgl", bgl_test::bglFile({airport("EHGG", 2)}));
    gf_scanAirports();
    std::string before;
    gf_readDestApfForClosestStand("EHGG", LatLon{52.0, 4.76}, before);
    ASSERT_FALSE(before.empty());
    bgl_test::Airport moved = airport("EHGG", 2);
    for (bgl_test::Parking& p : moved.parkings)
        p.number += 40;
    bgl_test::writeBytes(addons_ / "EHGG.bgl", bgl_test::bglFile({moved}));
    SCAN_AIRPORTS.setValue(true);
    gf_scanAirports();
    std::string after;
    gf_readDestApfForClosestStand("EHGG", LatLon{52.0, 4.76}, after);
    EXPECT_NE(after, before);
    EXPECT_FALSE(after.empty());
    gf_forgetClosestStands();
}

// Of two scenery files with as many stands for one airport, the first path in byte order gives
// the park file, whatever order their tasks end in.
TEST_F(AirportScanTest, OfEqualSceneryFilesTheFirstPathWinsOnEveryScan)
{
    gf_setScanWorkerLimit(4);
    for (int i = 0; i < 6; ++i) {
        bgl_test::Airport north = airport("EHGG", 5);
        for (bgl_test::Parking& p : north.parkings)
            p.lat += 0.01 * (6 - i);  // the first file lies furthest north
        // Formatted: "literal" + std::string draws a false -Wrestrict from GCC 12 at -O3.
        bgl_test::writeBytes(addons_ / vald::format("v{}.bgl", i), bgl_test::bglFile({north}));
    }
    for (int round = 0; round < 4; ++round) {
        SCAN_AIRPORTS.setValue(true);
        gf_scanAirports();
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_file((MY_THIRDPARTY_FOLDER / "EHGG.xml").c_str()));
        EXPECT_NEAR(doc.child("parkpositions").child("parkpos").attribute("latitude").as_double(), 52.0605, 1e-4);
    }
}

// The words that mark static objects and heliport libraries count only below the folder's root.
TEST_F(AirportScanTest, AFolderWhoseOwnNameHoldsStaticsIsStillScanned)
{
    const fs::path root = fs::current_path() / "addons with statics_heliports";
    afolder0.setValue(gf_pathToUtf8(root));
    bgl_test::writeBytes(root / "EHGG.bgl", bgl_test::bglFile({airport("EHGG", 2)}));
    bgl_test::writeBytes(root / "statics" / "EHEH.bgl", bgl_test::bglFile({airport("EHEH", 2)}));
    gf_scanAirports();
    EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / "EHGG.xml"));
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHEH.xml"));
}

// A scenery file whose read hangs (a stalled network share) is given up after the task wait and
// reported; the other files are scanned and the scan ends. When the read comes back at last,
// nothing of it is written: the scan it belonged to is over.
TEST_F(AirportScanTest, AHungSceneryFileIsGivenUpAndReported)
{
    for (const char* code : {"EHGG", "EHEH", "EHRD"})
        bgl_test::writeBytes(addons_ / (std::string(code) + ".bgl"), bgl_test::bglFile({airport(code, 2)}));
    bgl_test::writeBytes(addons_ / "hung.bgl", bgl_test::bglFile({airport("EHBK", 2)}));
    auto release = std::make_shared<std::atomic<bool>>(false);
    // Long enough for an ordinary task on a busy machine under a sanitizer; only the hung one outlasts it.
    gf_setScanTaskWaitForTest(std::chrono::milliseconds(1000));
    lf_setBglTaskForTest([release](const fs::path& file) {
        if (file.filename() == "hung.bgl")
            while (!release->load())
                std::this_thread::yield();
        lf_processBGLfile(file);
    });
    gf_scanAirports();
    lf_setBglTaskForTest({});
    gf_setScanTaskWaitForTest(std::chrono::seconds(10));
    for (const char* code : {"EHGG", "EHEH", "EHRD"})
        EXPECT_TRUE(fs::exists(MY_THIRDPARTY_FOLDER / (std::string(code) + ".xml"))) << code;
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_TRUE(logHas(scanLog(), "hung.bgl: not read within 1000 ms, given up")) << ::testing::PrintToString(scanLog());
    release->store(true);
    while (scanWorkerCount.load() != 0)
        std::this_thread::yield();
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHBK.xml"));
}

// A scenery file with airports but far too large to be one is reported and not read.
TEST_F(AirportScanTest, AnOversizedSceneryFileIsReportedAndSkipped)
{
    const fs::path huge = addons_ / "EHGG.bgl";
    bgl_test::writeBytes(huge, bgl_test::bglFile({airport("EHGG", 2)}));
    fs::resize_file(huge, BGL_MAX_FILE_BYTES + 1);  // sparse: no disk is filled
    gf_scanAirports();
    EXPECT_FALSE(fs::exists(MY_THIRDPARTY_FOLDER / "EHGG.xml"));
    EXPECT_TRUE(logHas(scanLog(), "EHGG.bgl is larger than 268435456 bytes, skipped")) << ::testing::PrintToString(scanLog());
}

TEST(AirportScanPaths, SimRootIsComparedByWholeComponentsAndBglByExactExtension)
{
    SIM_INSTALL_PATH.setValue("D:\\Sim5");
    EXPECT_TRUE(lf_isInSimRoot("D:\\Sim5"));
    EXPECT_TRUE(lf_isInSimRoot("d:/sim5/Scenery/x.bgl"));
    EXPECT_FALSE(lf_isInSimRoot("D:\\Sim5 Addons\\x.bgl"));
    EXPECT_FALSE(lf_isInSimRoot("D:\\"));
    SIM_INSTALL_PATH.setValue("");
    EXPECT_FALSE(lf_isInSimRoot("D:\\Sim5"));
    EXPECT_TRUE(lf_isBglFile(".BGL"));
    EXPECT_TRUE(lf_isBglFile(".bgl"));
    EXPECT_FALSE(lf_isBglFile(".Bgl"));
}

}  // namespace
