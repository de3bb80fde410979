// What a user keeps when the airport scan runs: park files and links of their own in the output
// folders, placed or edited at any time, and every earlier park file when a scan is stopped or
// cannot write.
#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdlib>
#include <stdexcept>

#include <pugixml.hpp>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/text.hpp"
#include "parking/apf_file.hpp"
#include "foundation/scan_workers.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "scanner/airport_scan.hpp"
#include "scanner/scan_outputs.hpp"
#include "scanner/scanner_hooks.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/scanner/bgl_writer.hpp"
#include "tests/support/file_size_limit.hpp"

namespace fs = std::filesystem;

namespace {

using bgl_test::airport;
using corv_test::readFile;
using corv_test::writeFile;

class ScannerFileSafetyTest : public corv_test::ParamTest {
protected:
    ScannerFileSafetyTest()
    {
        gf_resetAirports();
        for (const char* code : {"EHAM", "EHBK", "EHEH", "EHGG", "EHRD", "EHTW"})
            airportRecords.push_back(AirportRecord{code, "", 52.0, 4.0, 0.0, 0});
        gf_clearDbaseTables();
        publisherGroups = {{"Some Pub", "somepub"}};
        thirdpartyRecords = {{"Some Pub", {"EHRD40"}}};
        SIM_INSTALL_PATH.setValue(gf_pathToUtf8(fs::current_path() / "Sim5"));
        afolder0.setValue(gf_pathToUtf8(addons_));
        SCAN_AIRPORTS.setValue(true);
        gf_setScanWorkerLimit(1);  // a stop after the first file leaves the others unread
    }
    ~ScannerFileSafetyTest() override
    {
        lf_setBglTaskForTest({});
        gf_resetAirports();
        gf_clearDbaseTables();
        gf_resetScannerHooks();
    }
    void scenery(const std::string& icao, int stands) const
    {
        bgl_test::writeBytes(addons_ / (icao + ".bgl"), bgl_test::bglFile({airport(icao, stands)}));
    }
    void scan() const
    {
        SCAN_AIRPORTS.setValue(true);
        gf_scanAirports();
    }

    const fs::path addons_ = fs::current_path() / "Addons";
    const fs::path tp_ = MY_THIRDPARTY_FOLDER;
};

// Files of an earlier version, a close during a rescan, files the user places or edits in between
// and during a scan, links: each user file comes through byte for byte; the scan's own files are
// refreshed and kept on a stop.
TEST_F(ScannerFileSafetyTest, OnlyFilesTheScanProvablyWroteAreWrittenOverOrRemoved)
{
    // No record yet: a generated file of no scenery now and a link are the user's.
    const ApfAirport old{"EHZZ", "", "", "", 0, 0, 0, {}};
    fs::create_directories(tp_);
    ASSERT_TRUE(gf_writeApf(old, tp_ / "EHZZ.xml", ApfWriteMode::generated));
    writeFile(tp_ / "EHTW.txt", "archive/thirdparty/Gone/EHTW.xml\n");
    const std::string mine = "<parkpositions><parkpos id=\"mine\"/></parkpositions>";
    writeFile(tp_ / "EHAM.xml", mine);
    for (const char* code : {"EHAM", "EHGG", "EHEH"})
        scenery(code, 3);
    scan();
    EXPECT_EQ(readFile(tp_ / "EHAM.xml"), mine);
    EXPECT_NE(readFile(tp_ / "EHGG.xml").find("\"g3\""), std::string::npos);
    EXPECT_TRUE(fs::exists(tp_ / "EHZZ.xml"));
    EXPECT_TRUE(fs::exists(tp_ / "EHTW.txt"));

    // Closed during a rescan: every earlier file stays, and the scan runs again at the next start.
    lf_setBglTaskForTest([](const fs::path& file) {
        lf_processBGLfile(file);
        userClosing = true;
    });
    scan();
    userClosing = false;
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    for (const char* name : {"EHAM.xml", "EHGG.xml", "EHEH.xml"})
        EXPECT_TRUE(fs::exists(tp_ / name)) << name;

    // The user edits one generated file, puts a link in place of another and park files of their
    // own where the scan would write, one of them while the scan runs.
    const std::string edited = readFile(tp_ / "EHGG.xml") + "<!-- mine -->";
    writeFile(tp_ / "EHGG.xml", edited);
    writeFile("outside.xml", "outside");
    fs::remove(tp_ / "EHEH.xml");
    fs::create_symlink(fs::absolute("outside.xml"), tp_ / "EHEH.xml");
    writeFile(tp_ / "EHTW.xml", mine);
    writeFile(tp_ / "EHRD.xml", mine);  // an archived airport: its link would hide this file
    bgl_test::writeBytes(addons_ / "somepub" / "EHRD.bgl", bgl_test::bglFile({airport("EHRD", 2)}));
    scenery("EHTW", 2);
    scenery("EHBK", 2);
    lf_setBglTaskForTest([this](const fs::path& file) {
        writeFile(tp_ / "ZZZZ.xml", "placed");
        lf_processBGLfile(file);
    });
    scan();
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_EQ(readFile(tp_ / "EHGG.xml"), edited);
    EXPECT_EQ(readFile("outside.xml"), "outside");
    EXPECT_TRUE(fs::is_symlink(tp_ / "EHEH.xml"));
    for (const char* name : {"EHAM.xml", "EHTW.xml", "EHRD.xml"})
        EXPECT_EQ(readFile(tp_ / name), mine) << name;
    EXPECT_EQ(readFile(tp_ / "ZZZZ.xml"), "placed");
    EXPECT_FALSE(fs::exists(tp_ / "EHRD.txt"));
    const std::vector<std::string> log = corv_test::fileLines(AIRPORTS_SCAN_LOG_PATH);
    EXPECT_TRUE(bgl_test::logHas(log, "EHGG.xml is not a file of the scan (changed since the scan wrote it)"));
    EXPECT_TRUE(bgl_test::logHas(log, "EHEH.xml is not a file of the scan (a link)"));
    EXPECT_TRUE(bgl_test::logHas(log, "EHRD.txt not written: it would hide the user's"));

    // A record edited to name a file outside the output folders removes nothing there.
    writeFile(MY_PARK_AIRPORTS_PATH, "EHAM\n");
    unsigned char hash[16];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>("EHAM\n"), 5, nullptr, 0);
    std::string hex;
    for (const unsigned char b : hash)
        hex += vald::format("{:02x}", b);
    writeFile(SCAN_OUTPUTS_LIST_PATH,
              readFile(SCAN_OUTPUTS_LIST_PATH) + "5 " + hex + " " + gf_pathToUtf8(MY_PARK_AIRPORTS_PATH) + "\n");
    lf_setBglTaskForTest({});
    scan();
    EXPECT_EQ(readFile(MY_PARK_AIRPORTS_PATH), "EHAM\n");
    EXPECT_EQ(countLog("Airports scan successful"), 3U);  // not for the scan that was closed
}

// Without a whole record (deleted, or damaged in each way below) a file is the scan's only when it
// holds what the scan writes there: an edit is kept, an untouched file is taken and refreshed, also
// after a closed scan that did not reach it; a line that names no file removes nothing, those that
// do still count, a walk that ended early keeps the record as it was, and a whole record lets a
// stale file go. Of empty files, only one that a crash left so is the scan's.
TEST_F(ScannerFileSafetyTest, WithoutAWholeRecordOnlyWhatTheScanWritesIsItsOwn)
{
    for (const char* code : {"EHGG", "EHTW", "EHEH"})
        scenery(code, 3);
    scan();
    const std::string edited = readFile(tp_ / "EHGG.xml") + "<!-- mine -->";
    writeFile(tp_ / "EHGG.xml", edited);
    std::string earlierDay = readFile(tp_ / "EHTW.xml");
    writeFile(tp_ / "EHTW.xml", earlierDay.replace(earlierDay.find("name=\"date\" value=\"") + 19, 3, "Xyz"));
    fs::remove(SCAN_OUTPUTS_LIST_PATH);
    lf_setBglTaskForTest([](const fs::path& file) {
        if (file.stem() != "EHTW")
            lf_processBGLfile(file);
        userClosing = true;
    });
    scan();
    userClosing = false;
    lf_setBglTaskForTest({});
    scan();
    EXPECT_EQ(readFile(tp_ / "EHGG.xml"), edited);
    EXPECT_TRUE(bgl_test::logHas(corv_test::fileLines(AIRPORTS_SCAN_LOG_PATH), "EHGG.xml is not a file of the scan"));
    EXPECT_EQ(readFile(tp_ / "EHTW.xml").find("Xyz"), std::string::npos);

    // Each damaged line would name the user's empty EHAM.xml, as would the journal's line that a
    // crash cut short; one whole line names it as the scan wrote it, before the user emptied it.
    // Only the journal names EHTW.xml, which that crash left empty. The walk then ends early.
    writeFile(tp_ / "EHAM.xml", "");
    writeFile(tp_ / "EHTW.xml", "");
    const std::string line = "0 cae66941d9efbd404e4d88758ea67670 airports/my_thirdparty/";
    std::string record = "Corv_P3D scan outputs 1\n" + line + "EHAM.xml\r\n" + line + "EHAM.xml" + '\0' + "x\n" +
                         line + ".\n" + line + "../my_thirdparty/EHAM.xml\nnot a line\n1" + line.substr(1) +
                         "EHAM.xml\n";
    for (const std::string& named : corv_test::fileLines(SCAN_OUTPUTS_LIST_PATH))
        record += named.find("EHEH") == std::string::npos ? "" : named + "\n";
    writeFile(SCAN_OUTPUTS_LIST_PATH, record + line + "EHAM.xml");
    writeFile(SCAN_OUTPUTS_JOURNAL_PATH, "1" + line.substr(1) + "EHTW.xml\n" + line + "EHAM.xml");
    lf_setBglTaskForTest([](const fs::path& file) {
        lf_processBGLfile(file);
        if (file.stem() == "EHTW")
            throw std::runtime_error("damaged");
    });
    scan();
    EXPECT_EQ(readFile(SCAN_OUTPUTS_LIST_PATH), record + line + "EHAM.xml");
    EXPECT_NE(readFile(tp_ / "EHTW.xml").find("\"g3\""), std::string::npos);
    lf_setBglTaskForTest({});
    fs::remove(addons_ / "EHEH.bgl");
    scan();
    EXPECT_TRUE(fs::exists(tp_ / "EHAM.xml"));
    EXPECT_FALSE(fs::exists(tp_ / "EHEH.xml"));
    fs::remove(addons_ / "EHTW.bgl");
    scan();
    EXPECT_FALSE(fs::exists(tp_ / "EHTW.xml"));
}

// A record that cannot be saved after a complete scan: the scan did not complete and says why; it
// neither removes a file of an earlier scan nor builds the archive until its record is saved.
TEST_F(ScannerFileSafetyTest, AScanSucceedsOnlyOnceItsRecordIsSaved)
{
    scenery("EHGG", 3);
    scenery("EHTW", 3);
    scan();
    fs::remove(addons_ / "EHTW.bgl");
    fs::permissions(SCAN_OUTPUTS_LIST_PATH, fs::perms::owner_write, fs::perm_options::remove);
    scan();
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_TRUE(fs::exists(tp_ / "EHTW.xml"));
    fs::permissions(SCAN_OUTPUTS_LIST_PATH, fs::perms::owner_write, fs::perm_options::add);
    scan();
    EXPECT_EQ(countLog("airports scan did not complete: airports/ScanGenerated.txt could not be saved;"), 1U);
    EXPECT_EQ(countLog("[zip] Target file"), 2U);  // the first scan and the last
    EXPECT_EQ(countLog("Airports scan successful"), 2U);
}

// A full disk during a rescan, a park file whose text cannot be made, a listed file that cannot be
// read: every earlier park file and the offline-learning archive stay as they were, the scan says
// it did not complete and runs again at the next start, which writes the new files.
TEST_F(ScannerFileSafetyTest, AFullDiskKeepsEveryEarlierFileAndTheScanPending)
{
    scenery("EHGG", 3);
    scenery("EHTW", 3);
    scan();
    const std::string gg = readFile(tp_ / "EHGG.xml");
    const std::string tw = readFile(tp_ / "EHTW.xml");
    const std::string zip = readFile(TBLO_FOLDER_PATH / TBLO_ZIP);
    ASSERT_FALSE(zip.empty());
    scenery("EHGG", 60);  // the new files do not fit any more
    scenery("EHTW", 60);
    const int pending = corv_test::runWithFileSizeLimit(4000, [this] {
        scan();
        return SCAN_AIRPORTS.value() ? 1 : 0;
    });
    EXPECT_EQ(pending, 1);
    EXPECT_EQ(readFile(tp_ / "EHGG.xml"), gg);
    EXPECT_EQ(readFile(tp_ / "EHTW.xml"), tw);
    EXPECT_EQ(readFile(TBLO_FOLDER_PATH / TBLO_ZIP), zip);

    // No memory for the XML of the park files.
    pugi::set_memory_management_functions([](std::size_t) -> void* { return nullptr; }, std::free);
    EXPECT_NO_THROW(scan());
    pugi::set_memory_management_functions(std::malloc, std::free);
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_EQ(readFile(tp_ / "EHGG.xml"), gg);

    // A listed file that cannot be read whole now may still be the scan's: kept, and still listed.
    fs::resize_file(tp_ / "EHGG.xml", MAX_PARK_FILE_BYTES + 1);  // sparse: no disk is filled
    scan();
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_EQ(fs::file_size(tp_ / "EHGG.xml"), MAX_PARK_FILE_BYTES + 1);
    fs::resize_file(tp_ / "EHGG.xml", gg.size());
    scan();
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_NE(readFile(tp_ / "EHGG.xml").find("\"g60\""), std::string::npos);
    EXPECT_EQ(countLog("airports scan did not complete: 2 files could not be written"), 2U);
    EXPECT_EQ(countLog("Airports scan successful"), 2U);
}

}  // namespace
