// The sample data of standins/data, encrypted as delivered and read by the program's readers, in
// each encoding the XML parser reads: in UTF-16 and UTF-32 a NUL character is a zero code unit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <tuple>
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

// The bytes of a code unit (1 UTF-8, 2 UTF-16, 4 UTF-32), big-endian or not, after a byte-order mark or not.
using Encoding = std::tuple<std::size_t, bool, bool>;

class SampleData : public testing::TestWithParam<Encoding> {
protected:
    std::string encoded(const std::string& ascii) const
    {
        const auto [unitBytes, bigEndian, mark] = GetParam();
        std::string out;
        const auto put = [&](unsigned int code) {
            for (std::size_t i = 0; i < unitBytes; ++i)
                out += static_cast<char>(code >> 8 * (bigEndian ? unitBytes - 1 - i : i));
        };
        if (mark)
            put(0xFEFFu);
        for (const char c : ascii)
            put(static_cast<unsigned char>(c));
        return out;
    }
    // Seals text, encoded, as input/<name>.enc; what the check of a download finds wrong with it.
    std::optional<std::string> deliver(const std::string& name, const std::string& text) const
    {
        const std::map<std::string, PlainTextFault> checks = {
            {"dbase", &gf_dbaseFault}, {"airports", &gf_airportsFault}, {"AIG-regcodes", &gf_aigRegcodesFault}};
        writeSealed("input/" + name + ".enc", encoded(text));
        return gf_dataFileFault("input/" + name + ".enc", checks.at(name));
    }
};

INSTANTIATE_TEST_SUITE_P(Encodings, SampleData,
                         testing::Values(Encoding{1, false, false}, Encoding{2, false, true}, Encoding{2, true, false},
                                         Encoding{4, false, true}));

TEST_P(SampleData, ReadsAndAnswersQueries)
{
    LogCapture log;
    const std::filesystem::path samples = sourceDir() / "standins/data";
    const std::string names[] = {"dbase", "airports", "AIG-regcodes"};
    gf_clearDbaseTables();
    gf_resetAirports();
    std::vector<RegcodeEntry> entries;
    // Each reader, and the check of a download, refuses a NUL character, at its root's close or
    // inside, whatever stands before it.
    for (const bool inside : {false, true}) {
        for (const std::string& name : names)
            EXPECT_THAT(deliver(name, sampleWithNul(name, inside)).value_or(""), testing::HasSubstr("NUL byte")) << name;
        EXPECT_FALSE(gf_readDbase());
        EXPECT_EQ(thrownMessage([] { (void)gf_readAirports(); }),
                  "88: input/airports.xml not loaded: Text contains a NUL byte");
        EXPECT_FALSE(gf_readAigRegcodes(encoded(sampleWithNul("AIG-regcodes", inside)), "", entries));
    }
    EXPECT_TRUE(thirdpartyRecords.empty() && dbaseRecords.empty() && entries.empty());

    // The same texts without the NUL byte read whole.
    for (const std::string& name : names)
        EXPECT_EQ(deliver(name, readFile(samples / (name + ".xml"))), std::nullopt) << name;
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

    EXPECT_TRUE(gf_readAigRegcodes(encoded(readFile(samples / "AIG-regcodes.xml")), "", entries));
    EXPECT_TRUE(gf_readRegcodeFiles(samples / "my_regcodes", entries));
    EXPECT_EQ(entries.size(), 13u + 5u);

    gf_clearDbaseTables();
    gf_resetAirports();
    const auto lines = log.lines();
    for (const std::string line : {"'input/dbase.xml' not read because of ", "Failed to load input/AIG-regcodes.xml: "})
        EXPECT_THAT(lines, testing::Contains("==> " + line + "Text contains a NUL byte").Times(2));
}
