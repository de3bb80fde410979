// The sample data of standins/data, encrypted as delivered and read by the program's readers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/format.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "refdata/decrypt.hpp"
#include "refdata/regcodes.hpp"
#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/refdata/sealed_files.hpp"

using namespace corv_test;
using testing::HasSubstr;

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

// The parser also reads UTF-16 and UTF-32, where a NUL character is a code unit of zero, not any
// zero byte: each reader and the check of a download read such texts whole and refuse them with
// a NUL character in them.
TEST(SampleData, WideTextsAreReadWholeAndRefusedWithANulCharacter)
{
    const std::filesystem::path samples = sourceDir() / "standins/data";
    const PlainTextFault downloadChecks[] = {&gf_dbaseFault, &gf_airportsFault, &gf_aigRegcodesFault};
    struct Wide {
        std::size_t unitBytes;
        bool bigEndian;
        bool mark;
    };
    for (const Wide wide : {Wide{2, false, true}, Wide{2, true, false}, Wide{4, false, true}}) {
        SCOPED_TRACE(vald::format("{} bytes a unit, big-endian {}, mark {}", wide.unitBytes, wide.bigEndian,
                                  wide.mark));
        for (const bool withNul : {false, true}) {
            for (std::size_t i = 0; i < 3; ++i) {
                const std::string encrypted = "input/" + SAMPLE_NAMES[i] + ".enc";
                const std::string ascii = withNul ? sampleWithNul(SAMPLE_NAMES[i], true)
                                                  : readFile(samples / (SAMPLE_NAMES[i] + ".xml"));
                writeSealed(encrypted, wideText(ascii, wide.unitBytes, wide.bigEndian, wide.mark));
                const std::optional<std::string> fault = gf_dataFileFault(encrypted, downloadChecks[i]);
                if (withNul)
                    EXPECT_THAT(fault.value_or(""), HasSubstr("Text contains a NUL byte")) << SAMPLE_NAMES[i];
                else
                    EXPECT_EQ(fault, std::nullopt) << SAMPLE_NAMES[i];
            }
            gf_clearDbaseTables();
            gf_resetAirports();
            std::vector<RegcodeEntry> entries;
            EXPECT_EQ(gf_readDbase(), !withNul);
            EXPECT_EQ(dbaseRecords.size(), withNul ? 0u : 21u);
            EXPECT_EQ(thrownMessage([] { (void)gf_readAirports(); }),
                      withNul ? "88: input/airports.xml not loaded: Text contains a NUL byte" : "no exception");
            EXPECT_EQ(airportRecords.size(), withNul ? 0u : 52u);
            EXPECT_EQ(gf_readAigRegcodes(lf_aigRegcodesText(), "", entries), !withNul);
            EXPECT_EQ(entries.size(), withNul ? 0u : 13u);
        }
    }
    gf_clearDbaseTables();
    gf_resetAirports();
}
