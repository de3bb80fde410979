// Snapping of old values onto combo options, the coupled setters, and the update of
// parameters.xml written by older (and newer) program versions.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/parameter_store.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_update.hpp"
#include "tests/foundation/param_fixture.hpp"

namespace fs = std::filesystem;
using corv_test::writeFile;

namespace {

using Cases = std::vector<std::pair<std::int32_t, std::int32_t>>;

void expectMapping(std::int32_t (*snap)(std::int32_t), const Cases& cases, const char* what)
{
    for (const auto& [in, out] : cases)
        EXPECT_EQ(snap(in), out) << what << "(" << in << ")";
}

}  // namespace

TEST(ValueSnapping, CountsSnapAtEveryBoundary)
{
    expectMapping(gf_snapCount,
                  {{-2147483647 - 1, 500}, {-1, 500}, {0, 0},     {1, 10},    {17, 10},   {18, 25},  {37, 25},
                   {38, 50},              {62, 50},  {63, 75},   {87, 75},   {88, 100},  {299, 100}, {300, 500}},
                  "count");
    for (std::int32_t v = -1; v <= 300; ++v)
        EXPECT_TRUE(MAX_LIVE_SEL.optionIndex(gf_snapCount(v)).has_value()) << v;
}

TEST(ValueSnapping, AirportRangesSnapAtEveryBoundary)
{
    expectMapping(gf_snapAirportRange,
                  {{-5, 5}, {7, 5}, {8, 10}, {12, 10}, {13, 15}, {17, 15}, {18, 20}, {22, 20}, {23, 25}, {26, 25},
                   {27, 30}, {1000, 30}},
                  "airport range");
}

TEST(ValueSnapping, RangesSnapOntoRangeOptions)
{
    expectMapping(gf_snapRange,
                  {{-3, 2},  {2, 2},   {3, 3},   {6, 6},   {7, 8},   {8, 8},   {9, 10},  {10, 10}, {11, 12},
                   {12, 12}, {13, 14}, {14, 14}, {15, 16}, {16, 16}, {17, 18}, {18, 18}, {19, 20}, {22, 20},
                   {23, 25}, {27, 25}, {28, 30}, {32, 30}, {33, 35}, {37, 35}, {38, 40}, {44, 40}, {45, 50},
                   {56, 50}, {57, 65}, {72, 65}, {73, 80}, {89, 80}, {90, 100}, {99, 100}, {100, 100}, {5000, 100}},
                  "range");
    for (std::int32_t v = -1; v <= 101; ++v)
        EXPECT_TRUE(RANGE.optionIndex(gf_snapRange(v)).has_value()) << v;
}

TEST(ValueSnapping, AltitudesSnapOntoHeightOptions)
{
    expectMapping(gf_snapAltitude,
                  {{-100, 2000},   {2999, 2000},   {3000, 4000},   {4999, 4000},   {5000, 6000},   {6999, 6000},
                   {7000, 8000},   {8999, 8000},   {9000, 10000},  {10999, 10000}, {11000, 12000}, {12999, 12000},
                   {13000, 14000}, {14999, 14000}, {15000, 16000}, {16999, 16000}, {17000, 18000}, {26999, 18000},
                   {27000, 36000}, {46999, 36000}, {47000, 48000}, {49000, 48000}},
                  "altitude");
}

TEST(ValueSnapping, HalfHoursBecomeHoursAtEveryBoundary)
{
    const std::vector<std::pair<std::int32_t, float>> cases = {
        {-1, 0.5f}, {0, 0.5f},   {1, 1.0f},   {2, 1.5f},   {3, 2.0f},   {4, 2.5f},   {5, 3.0f},   {6, 3.5f},
        {7, 4.0f},  {8, 4.5f},   {9, 5.0f},   {10, 6.0f},  {11, 6.0f},  {12, 7.0f},  {13, 7.0f},  {14, 8.0f},
        {15, 8.0f}, {16, 9.0f},  {17, 9.0f},  {18, 10.0f}, {19, 10.0f}, {20, 11.0f}, {21, 11.0f}, {22, 12.0f},
        {25, 12.0f}, {26, 15.0f}, {31, 15.0f}, {32, 18.0f}, {37, 18.0f}, {38, 21.0f}, {43, 21.0f}, {44, 24.0f},
        {47, 24.0f}};
    for (const auto& [halfHours, hours] : cases)
        EXPECT_EQ(gf_halfHoursToHours(halfHours), hours) << halfHours;
}

class CoupledSetterTest : public corv_test::ParamTest {};

TEST_F(CoupledSetterTest, MaxFitSetsHoursSelectsKnownOptionsAndLogs)
{
    vald::ControlModel& controls = vald::gf_controls();
    controls.create(MAX_FIT_FL.controlId(), vald::ControlKind::Combo);
    controls.setItems(MAX_FIT_FL.controlId(), std::vector<std::string>(MAX_FIT_FL.options().size(), "x"));
    controls.setSelection(MAX_FIT_FL.controlId(), 3);

    gf_setMaxFitHalfHours(20, false);  // 11 hours is no option: the selection stays
    EXPECT_EQ(MAX_FIT.value(), 20);
    EXPECT_EQ(MAX_FIT_FL.value(), 11.0f);
    EXPECT_EQ(controls.selection(MAX_FIT_FL.controlId()), 3);

    gf_setMaxFitHalfHours(99, true);
    EXPECT_EQ(MAX_FIT.value(), 47);
    EXPECT_EQ(MAX_FIT_FL.value(), 24.0f);
    EXPECT_EQ(controls.selection(MAX_FIT_FL.controlId()), 19);

    EXPECT_EQ(countLog("          MAX_FIT                 : 20 (max number of half hours, is 11.0 hrs decimal)"), 1u);
    EXPECT_EQ(countLog("MAX_FIT "), 1u);
    EXPECT_FALSE(fs::exists(paramsPath()));
}

TEST_F(CoupledSetterTest, RangeSetsDerivedRangeAndRadiusWithinLimits)
{
    vald::ControlModel& controls = vald::gf_controls();
    controls.create(RANGE.controlId(), vald::ControlKind::Combo);
    gf_fillIntOptionCombo(RANGE);
    EXPECT_EQ(objectQueryRadiusM.load(), 40 * 1852);

    EXPECT_EQ(gf_setRangeNm(40), 84080);
    EXPECT_EQ(rangeNm.load(), 40.0);
    EXPECT_EQ(controls.selection(RANGE.controlId()), 15);

    EXPECT_EQ(gf_setRangeNm(65), 65 * 1852 + 10000);
    EXPECT_EQ(controls.selectedItem(RANGE.controlId()), "65");

    EXPECT_EQ(gf_setRangeNm(5000000), 100 * 1852 + 10000);  // no overflow from a bad per-airport value
    EXPECT_EQ(RANGE.value(), 100);
    EXPECT_EQ(rangeNm.load(), 100.0);
    EXPECT_FALSE(fs::exists(paramsPath()));
}

class VersionUpdateTest : public corv_test::ParamTest {
protected:
    // A parameters.xml as an older version left it, with the leftovers of older versions.
    void writeOldInstallation(const std::string& version)
    {
        writeParams(entry("PROGRAM_VERSION", version) + entry("MAX_LIVE", "20") + entry("LATERAL_RANGE", "7") +
                    entry("AIRPORT_RANGE", "12") + entry("AUTO_RANGE_ABOVE_HEIGHT", "49000") +
                    entry("AIRPORT_HEIGHT", "30000") + entry("MAX_LIVE_SEL", "75") + entry("PARK_FAKE", "true") +
                    entry("LOG", "false") + entry("PROGRAM_INSTALL_PATH", "C:\\old"));
        writeFile(dir_ / "TO_BE_LEARNED_OFFLINE" / "x.txt", "x");
        writeFile(dir_ / "versions.json", "{}");
        writeFile(dir_ / "EHAM.xml", "<a/>");
        writeFile(dir_ / "eham.XML", "<a/>");
        writeFile(dir_ / "EHAMX.xml", "<a/>");
        fs::create_directories(dir_ / "ABCD.xml");
        writeFile(dir_ / "input" / "airports_p3d.xml", "<a/>");
        writeFile(dir_ / "new_version" / "setup.exe", "x");
    }

    bool leftoversRemoved() const
    {
        return !fs::exists(dir_ / "TO_BE_LEARNED_OFFLINE") && !fs::exists(dir_ / "versions.json") &&
               !fs::exists(dir_ / "EHAM.xml") && !fs::exists(dir_ / "input" / "airports_p3d.xml") &&
               !fs::exists(dir_ / "new_version");
    }
};

TEST_F(VersionUpdateTest, SameVersionChangesNothing)
{
    writeOldInstallation("11.9.2");
    gf_loadAllParameters();
    EXPECT_EQ(valueInFile("MAX_LIVE"), "20");
    EXPECT_EQ(valueInFile("PARK_FAKE"), "true");
    EXPECT_TRUE(fs::exists(dir_ / "TO_BE_LEARNED_OFFLINE"));
    EXPECT_EQ(MAX_LIVE_SEL.value(), 75);
    EXPECT_EQ(countLog("version update"), 0u);
    EXPECT_EQ(countLog("PROGRAM_VERSION=\"11.9.2\""), 1u);  // the load's value line only
}

TEST_F(VersionUpdateTest, NewerStoredVersionIsOnlyRecorded)
{
    writeOldInstallation("12.0.0");
    gf_loadAllParameters();
    EXPECT_EQ(valueInFile("PROGRAM_VERSION"), "11.9.2");
    EXPECT_EQ(valueInFile("PARK_FAKE"), "true");
    EXPECT_TRUE(fs::exists(dir_ / "new_version"));
    EXPECT_EQ(countLog("version update"), 0u);
}

TEST_F(VersionUpdateTest, UpdateFromBefore11_0_2MigratesAndCleansUp)
{
    writeOldInstallation("11.0.1");
    gf_loadAllParameters();
    EXPECT_EQ(MAX_LIVE_SEL.value(), 25);
    EXPECT_EQ(RANGE.value(), 8);
    EXPECT_EQ(AIRP_RANGE.value(), 10);
    EXPECT_EQ(AR_ABOVE_HEIGHT.value(), 48000);
    EXPECT_EQ(AIRP_HEIGHT.value(), 36000);
    EXPECT_EQ(MAX_PARK_SEL.value(), 500);  // its old entry was missing: the default -1 snaps to 500
    EXPECT_EQ(valueInFile("MAX_LIVE_SEL"), "25");
    EXPECT_EQ(valueInFile("RANGE"), "8");
    EXPECT_EQ(valueInFile("AIRP_HEIGHT"), "36000");
    EXPECT_EQ(valueInFile("PROGRAM_VERSION"), "11.9.2");
    for (const char* gone : {"MAX_LIVE", "LATERAL_RANGE", "AIRPORT_RANGE", "AUTO_RANGE_ABOVE_HEIGHT", "AIRPORT_HEIGHT",
                             "CUSTOM_MAX_PARK", "PARK_FAKE", "LOG", "PROGRAM_INSTALL_PATH"})
        EXPECT_EQ(valueInFile(gone), "<missing>") << gone;
    EXPECT_EQ(objectQueryRadiusM.load(), 8 * 1852 + 10000);

    EXPECT_TRUE(leftoversRemoved());
    EXPECT_TRUE(fs::exists(dir_ / "eham.XML"));
    EXPECT_TRUE(fs::exists(dir_ / "EHAMX.xml"));
    EXPECT_TRUE(fs::is_directory(dir_ / "ABCD.xml"));
    EXPECT_EQ(countLog("This is a version update from 11.0.1 -> 11.9.2"), 1u);
    EXPECT_EQ(countLog("Parameter 'PARK_FAKE' removed"), 1u);
}

TEST_F(VersionUpdateTest, UpdateFrom11_0_2CleansUpWithoutMigrating)
{
    writeOldInstallation("11.0.2");
    gf_loadAllParameters();
    EXPECT_TRUE(leftoversRemoved());
    EXPECT_EQ(valueInFile("MAX_LIVE"), "20");
    EXPECT_EQ(valueInFile("PARK_FAKE"), "<missing>");
    EXPECT_EQ(MAX_LIVE_SEL.value(), 75);
    EXPECT_EQ(valueInFile("PROGRAM_VERSION"), "11.9.2");
}

TEST_F(VersionUpdateTest, UnreadableVersionCountsAsOldest)
{
    writeOldInstallation("garbage");
    gf_loadAllParameters();
    EXPECT_EQ(MAX_LIVE_SEL.value(), 25);
    EXPECT_EQ(valueInFile("PROGRAM_VERSION"), "11.9.2");
}

TEST_F(VersionUpdateTest, FailedUpdateKeepsTheOldVersionSoTheNextStartRepeatsIt)
{
    writeOldInstallation("11.0.1");
    fs::remove(dir_ / "versions.json");
    writeFile(dir_ / "versions.json" / "blocker", "x");  // a folder that cannot be removed as a file
    EXPECT_THROW(gf_loadAllParameters(), fs::filesystem_error);
    EXPECT_EQ(valueInFile("PROGRAM_VERSION"), "11.0.1");
    EXPECT_EQ(valueInFile("MAX_LIVE"), "20");
    EXPECT_EQ(valueInFile("MAX_LIVE_SEL"), "75");

    fs::remove_all(dir_ / "versions.json");
    gf_resetParametersForTest();
    gf_loadAllParameters();
    EXPECT_EQ(valueInFile("PROGRAM_VERSION"), "11.9.2");
    EXPECT_EQ(valueInFile("MAX_LIVE_SEL"), "25");
    EXPECT_EQ(valueInFile("MAX_LIVE"), "<missing>");
}
