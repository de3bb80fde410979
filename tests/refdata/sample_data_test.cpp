// The sample data of standins/data, encrypted as delivered and read by the program's readers.
#include <gtest/gtest.h>

#include "refdata/airports.hpp"
#include "refdata/decrypt.hpp"
#include "refdata/regcodes.hpp"
#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"
#include "tests/refdata/sealed_files.hpp"

using namespace corv_test;

TEST(SampleData, ReadsAndAnswersQueries)
{
    TempDir dir(true);
    const std::filesystem::path samples = sourceDir() / "standins/data";
    for (const std::string name : {"dbase", "airports", "AIG-regcodes"})
        writeSealed("input/" + name + ".enc", readFile(samples / (name + ".xml")));
    gf_clearDbaseTables();
    gf_resetAirports();

    ASSERT_TRUE(gf_readDbase());
    EXPECT_EQ(gf_typeCategory("B77W"), AircraftCategory::Heavy);
    EXPECT_TRUE(gf_findRegcode("DALFA")->cargo);
    for (const auto& [type, half] : halfWingspans)
        EXPECT_TRUE(aircraftTypes.contains(type)) << type;

    ASSERT_TRUE(gf_readAirports());
    EXPECT_EQ(airportRecords.size(), 52u);
    EXPECT_EQ(gf_closestAirport({52.31, 4.76})->code, "EHAM");
    EXPECT_EQ(gf_closestAirport({50.90, 4.48})->code, "EBBR");

    ASSERT_TRUE(gf_streamDecrypt("input/AIG-regcodes.enc", "input/AIG-regcodes.xml"));
    std::vector<RegcodeEntry> entries;
    EXPECT_TRUE(gf_readAigRegcodes(entries));
    EXPECT_TRUE(gf_readRegcodeFiles(samples / "my_regcodes", entries));
    EXPECT_EQ(entries.size(), 13u + 5u);

    gf_clearDbaseTables();
    gf_resetAirports();
}
