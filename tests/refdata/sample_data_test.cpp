// The sample data of standins/data, encrypted as delivered and read by the program's readers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "refdata/decrypt.hpp"
#include "refdata/regcodes.hpp"
#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/refdata/sealed_files.hpp"

using namespace corv_test;

namespace {

const std::string SAMPLE_NAMES[] = {"dbase", "airports", "AIG-regcodes"};

// The plain text of input/AIG-regcodes.enc, as its reader is given it.
std::string lf_aigRegcodesText()
{
    std::optional<DecryptedData> data = gf_streamDecrypt("input/AIG-regcodes.enc", "input/AIG-regcodes.xml");
    if (!data)
        return "input/AIG-regcodes.enc does not decrypt";
    data->removeCopy();
    return std::move(data->text);
}

}  // namespace

TEST(SampleData, ReadsAndAnswersQueries)
{
    LogCapture log;
    const std::filesystem::path samples = sourceDir() / "standins/data";
    gf_clearDbaseTables();
    gf_resetAirports();
    std::vector<RegcodeEntry> entries;
    // Each reader refuses a NUL byte, at its root's close or inside, whatever stands before it.
    for (const bool inside : {false, true}) {
        for (const std::string& name : SAMPLE_NAMES)
            writeSealed("input/" + name + ".enc", sampleWithNul(name, inside));
        EXPECT_FALSE(gf_readDbase());
        EXPECT_EQ(thrownMessage([] { (void)gf_readAirports(); }),
                  "88: input/airports.xml not loaded: Text contains a NUL byte");
        EXPECT_FALSE(gf_readAigRegcodes(lf_aigRegcodesText(), "", entries));
    }
    EXPECT_TRUE(thirdpartyRecords.empty() && dbaseRecords.empty() && entries.empty());

    // The same texts without the NUL byte read whole.
    for (const std::string& name : SAMPLE_NAMES)
        writeSealed("input/" + name + ".enc", readFile(samples / (name + ".xml")));
    ASSERT_TRUE(gf_readDbase());
    EXPECT_EQ(thirdpartyRecords.size(), 3u);
    EXPECT_EQ(dbaseRecords.size(), 21u);
    EXPECT_EQ(gf_typeCategory("B77W"), AircraftCategory::Heavy);
    EXPECT_TRUE(gf_findRegcode("DALFA")->cargo);
    for (const auto& [type, half] : halfWingspans)
        EXPECT_TRUE(aircraftTypes.contains(type)) << type;

    ASSERT_TRUE(gf_readAirports());
    EXPECT_EQ(airportRecords.size(), 52u);
    EXPECT_EQ(gf_closestAirport({52.31, 4.76})->code, "EHAM");
    EXPECT_EQ(gf_closestAirport({50.90, 4.48})->code, "EBBR");

    EXPECT_TRUE(gf_readAigRegcodes(lf_aigRegcodesText(), "", entries));
    EXPECT_TRUE(gf_readRegcodeFiles(samples / "my_regcodes", entries));
    EXPECT_EQ(entries.size(), 13u + 5u);

    gf_clearDbaseTables();
    gf_resetAirports();
    const auto lines = log.lines();
    for (const std::string line : {"'input/dbase.xml' not read because of ", "Failed to load input/AIG-regcodes.xml: "})
        EXPECT_THAT(lines, testing::Contains("==> " + line + "Text contains a NUL byte").Times(2));
}

