// The user's parking files under ordinary accidents: my_park_airports.txt as Notepad saves it,
// with blanks round a code or an airport on two lines; a full disk while the list or a learned
// file is saved; park, learned, redirect and list files far past any sane size.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "parking/apf_file.hpp"
#include "parking/learned_file.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/parking/park_test_support.hpp"
#include "tests/support/file_size_limit.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

// The text as Notepad saves it in "Unicode": UTF-16 little-endian with a byte-order mark.
std::string utf16le(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::vector<std::string> listed()
{
    std::vector<std::string> codes;
    for (const ParkAirport& airport : parkAirports)
        codes.push_back(airport.icao + (airport.stand.empty() ? "" : "," + airport.stand));
    return codes;
}

// A sparse file one byte past the limit: nothing is written to the disk.
void oversized(const fs::path& file, std::size_t limit)
{
    writeFile(file, "<");
    fs::resize_file(file, limit + 1);
}

class ParkingFileSafetyTest : public ParamTest {
protected:
    ParkState park_{{AirportRecord{"EGLL", "LHR", 51.47, -0.45, 83.0, 1}, AirportRecord{"EHAM", "AMS", 52.0, 4.0, -11.0, 1},
                     AirportRecord{"LFPG", "CDG", 49.01, 2.55, 392.0, 1}}};

    // The first listed airport gets the stand, and the list is saved.
    static bool saveStand(const std::string& icao, const std::string& stand)
    {
        parkAirports = {ParkAirport{icao, stand, 0.0, 0.0, 0.0}};
        return lf_writeMyParkAirports();
    }
};

TEST_F(ParkingFileSafetyTest, TheParkAirportListKeepsOneLinePerAirportWhateverItsSpellingOrCharset)
{
    // Notepad's UTF-16: read as the airports it names, and rewritten as plain text.
    writeFile(MY_PARK_AIRPORTS_PATH, utf16le("EHAM,D7\r\nEGLL\r\n"));
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_THAT(listed(), ElementsAre("EHAM,D7", "EGLL"));
    ASSERT_TRUE(saveStand("EHAM", "D8"));
    EXPECT_EQ(readFile(MY_PARK_AIRPORTS_PATH), "EGLL\nEHAM,D8\n");

    // Blanks or a tab round a code: the stand replaces that line, no line is added per save.
    writeFile(MY_PARK_AIRPORTS_PATH, " EHAM,D7\n\tEGLL \n");
    ASSERT_TRUE(lf_readMyParkAirports());
    EXPECT_THAT(listed(), ElementsAre("EHAM,D7", "EGLL"));
    ASSERT_TRUE(saveStand("EHAM", "D9"));
    ASSERT_TRUE(saveStand("EHAM", "D9"));
    ASSERT_TRUE(saveStand("EGLL", "212"));
    EXPECT_EQ(readFile(MY_PARK_AIRPORTS_PATH), "EGLL,212\nEHAM,D9\n");

    // An airport on two lines: one line remains, and it is the one read back.
    writeFile(MY_PARK_AIRPORTS_PATH, "LFPG\nEHAM,D7\nEGLL\nEHAM,D2\nEHAM\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    EXPECT_THAT(listed(), ElementsAre("LFPG", "EHAM,D7", "EGLL"));
    ASSERT_TRUE(saveStand("EHAM", "E3"));
    EXPECT_EQ(readFile(MY_PARK_AIRPORTS_PATH), "EGLL\nEHAM,E3\nLFPG\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    EXPECT_THAT(listed(), ElementsAre("EGLL", "EHAM,E3", "LFPG"));

    // A damaged line of one character and NUL bytes, read first or sorted first: never written back.
    writeFile(MY_PARK_AIRPORTS_PATH, std::string("A\0\0\0\nEHAM,D7\n", 13));
    EXPECT_FALSE(lf_readMyParkAirports());
    EXPECT_THAT(listed(), ElementsAre("EHAM,D7"));
    writeFile(MY_PARK_AIRPORTS_PATH, std::string("EHAM,D7\nA\0\0\0\n", 13));
    ASSERT_TRUE(saveStand("EHAM", "D8"));
    EXPECT_EQ(readFile(MY_PARK_AIRPORTS_PATH), "EHAM,D8\n");
}

TEST_F(ParkingFileSafetyTest, AFullDiskLeavesTheListAndTheLearnedFileWhole)
{
    const std::string list = "EGLL\nEHAM,D7\nLFPG\n" + std::string(2000, '\n');
    writeFile(MY_PARK_AIRPORTS_PATH, list);
    const fs::path learned = LEARNED_STOCK_FOLDER / "EHAM.xml";
    const std::string oldLearned(6000, ' ');
    writeFile(learned, oldLearned);

    ApfAirport airport{"EHAM", "Schiphol", "", "stock", 0, 0, -11, {}};
    for (int i = 0; i < 200; ++i) {
        // Formatted: "literal" + std::string draws a false -Wrestrict from GCC 12 at -O3.
        Stand stand({}, vald::format("S{}", i), Stand::Place{52.0 + i * 0.001, 4.0, 0.0}, 20.0, false, false, false);
        stand.manual = 1;
        airport.stands.push_back(std::move(stand));
    }
    const int answer = runWithFileSizeLimit(1000, [&] {
        int wrote = saveStand("EHAM", "D8" + std::string(3000, 'x')) ? 1 : 0;
        wrote |= gf_writeApf(airport, learned, ApfWriteMode::learned) ? 2 : 0;
        return wrote;
    });
    EXPECT_EQ(answer, 0);
    EXPECT_TRUE(readFile(MY_PARK_AIRPORTS_PATH) == list);
    EXPECT_TRUE(readFile(learned) == oldLearned);
    std::vector<std::string> names;
    for (const fs::path& folder : {AIRPORTS_FOLDER, LEARNED_STOCK_FOLDER})
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
    EXPECT_THAT(names, testing::UnorderedElementsAre("my_park_airports.txt", "learned", "EHAM.xml"));
}

TEST_F(ParkingFileSafetyTest, FilesPastTheirLimitAreReportedAndSkippedNeverHalfReadOrSavedBack)
{
    // The list: nothing read, and nothing written over it.
    oversized(MY_PARK_AIRPORTS_PATH, MAX_PARK_AIRPORT_LIST_BYTES);
    EXPECT_FALSE(lf_readMyParkAirports());
    EXPECT_TRUE(parkAirports.empty());
    EXPECT_TRUE(park_.shown(MY_PARK_AIRPORTS_PATH.string() + " is larger than " +
                            std::to_string(MAX_PARK_AIRPORT_LIST_BYTES) + " bytes, skipped"));
    EXPECT_FALSE(saveStand("EHAM", "D7"));
    EXPECT_EQ(fs::file_size(MY_PARK_AIRPORTS_PATH), MAX_PARK_AIRPORT_LIST_BYTES + 1);

    // A redirect is passed over for the park file beside it.
    oversized(MY_THIRDPARTY_FOLDER / "EHAM.txt", MAX_REDIRECT_FILE_BYTES);
    writeFile(MY_THIRDPARTY_FOLDER / "EHAM.xml", "x");
    EXPECT_EQ(gf_locateApf("EHAM"), "airports/my_thirdparty/EHAM.xml");

    // A park file: refused with the reason.
    ASSERT_TRUE(lf_setParkAirport("EHAM"));
    oversized(MY_THIRDPARTY_FOLDER / "EHAM.xml", MAX_PARK_FILE_BYTES);
    EXPECT_THAT(gf_readApf("airports/my_thirdparty/EHAM.xml", parkApfInfo, parkQuality),
                HasSubstr("is larger than " + std::to_string(MAX_PARK_FILE_BYTES) + " bytes, skipped"));
    EXPECT_FALSE(parkAirportOpen.load());

    // A learned file: not merged, and kept aside before anything could replace it.
    const std::map<std::string, std::string> params{{"airport_name", "Schiphol"}, {"publisher", "stock"},
                                                    {"altitude", "-11"}};
    writeFile(MY_THIRDPARTY_FOLDER / "LFPG.xml", apfXml(params, parkpos("K1", 49.0, 2.5, 20.0)));
    const fs::path learned = LEARNED_THIRDPARTY_FOLDER / "stock" / "LFPG.xml";
    oversized(learned, MAX_LEARNED_FILE_BYTES);
    ASSERT_TRUE(lf_setParkAirport("LFPG"));
    EXPECT_EQ(gf_readApf("airports/my_thirdparty/LFPG.xml", parkApfInfo, parkQuality), "");
    EXPECT_EQ(parkStands.size(), 1u);
    EXPECT_EQ(fs::file_size(LEARNED_THIRDPARTY_FOLDER / "stock" / "LFPG0.xml"), MAX_LEARNED_FILE_BYTES + 1);
    EXPECT_EQ(countLog("bytes, skipped"), 4u);
}

}  // namespace
