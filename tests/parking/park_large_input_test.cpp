// Park and learned files as large or as damaged as a user's machine holds them: thousands of
// stands of every size (and a few past the poles or across the date line), thousands of learned
// uses of one stand, a learned file full of bad half-hours.
#include <cmath>
#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "parking/learned_file.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/parking/park_test_support.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using testing::HasSubstr;

namespace {


std::string lf_stand(int i, double lat, double lon, double radiusM)
{
    return vald::format("<parkpos id=\"S{}\" latitude=\"{:.7f}\" longitude=\"{:.7f}\" heading=\"90.0\" radius=\"{:.1f}\" "
                        "cargo=\"false\" ramp=\"false\"/>\n",
                        i, lat, lon, radiusM);
}

class ParkLargeInputTest : public ParamTest {
protected:
    ParkLargeInputTest() { EXPECT_TRUE(lf_setParkAirport("EHAM")); }

    std::string read()
    {
        parkStands.clear();
        return gf_readApf(ACME_PARK_FILE, parkApfInfo, parkQuality);
    }

    // What comparing every pair of stands gives.
    static std::vector<std::vector<std::uint32_t>> everyPair()
    {
        std::vector<std::vector<std::uint32_t>> adjacent(parkStands.size());
        for (std::size_t i = 0; i < parkStands.size(); ++i)
            for (std::size_t j = 0; j < parkStands.size(); ++j) {
                const Stand& a = parkStands[i];
                const Stand& b = parkStands[j];
                if (i != j && a.radius + b.radius > 1.1 * gf_distanceNm(LatLon{a.lat, a.lon}, LatLon{b.lat, b.lon}))
                    adjacent[i].push_back(b.number);
            }
        return adjacent;
    }

    static void expectEveryPairFound()
    {
        const auto expected = everyPair();
        std::size_t pairs = 0;
        for (std::size_t i = 0; i < parkStands.size(); ++i) {
            EXPECT_EQ(parkStands[i].adjacent, expected[i]) << parkStands[i].id;
            pairs += expected[i].size();
        }
        EXPECT_GT(pairs, parkStands.size()) << "the airport has overlapping stands to find";
    }

    ParkState park_{{AirportRecord{"EHAM", "AMS", 52.31, 4.76, -11.0, 0}}};
};

TEST_F(ParkLargeInputTest, ALargeAirportFindsTheSameOverlappingStandsAsComparingEveryPair)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> jitter(-0.00025, 0.00025);
    std::uniform_int_distribution<int> size(0, 5);
    std::string stands;
    int id = 0;
    // Rows of stands 40 to 90 m wide, 50 m apart, moved a little each.
    for (int row = 0; row < 40; ++row)
        for (int col = 0; col < 60; ++col)
            stands += lf_stand(id++, 52.29 + row * 0.00045 + jitter(random), 4.74 + col * 0.0007 + jitter(random),
                               20.0 + 10.0 * size(random));
    stands += lf_stand(id++, 52.30, 4.75, 900.0);  // one vast apron covering many
    stands += lf_stand(id++, 52.30, 4.75, 20.0);   // a stand on the very spot of another
    stands += lf_stand(id++, 52.30, 4.75, 20.0);
    // Latitudes past the poles, which the distance takes as they are: near their partners.
    stands += lf_stand(id++, 90.0001, 4.75, 20.0);
    stands += lf_stand(id++, 89.9999, 4.75, 20.0);
    stands += lf_stand(id++, 269.9999, 4.75, 20.0);
    stands += lf_stand(id++, -89.9999, 4.75, 20.0);
    stands += lf_stand(id++, 52.30, 4.75, 0.0);    // no radius
    writeFile(ACME_PARK_FILE, apfXml(ACME_PARK_PARAMS, stands));

    ASSERT_EQ(read(), "");
    ASSERT_EQ(parkStands.size(), static_cast<std::size_t>(id));
    expectEveryPairFound();
    // Stand numbers are places + 1: 90.0001 meets 89.9999, 269.9999 meets -89.9999.
    EXPECT_EQ(parkStands[id - 5].adjacent, std::vector<std::uint32_t>{static_cast<std::uint32_t>(id - 3)});
    EXPECT_EQ(parkStands[id - 3].adjacent, std::vector<std::uint32_t>{static_cast<std::uint32_t>(id - 1)});
    for (const Stand& stand : parkStands)
        EXPECT_EQ(stand.options.capacity(), 0u) << "a stand without options holds no room for them";
}

TEST_F(ParkLargeInputTest, StandsAcrossTheDateLineOverlapAsComparingEveryPairSays)
{
    std::string stands;
    int id = 0;
    for (int i = 0; i < 300; ++i)
        stands += lf_stand(id++, -17.75 + (i / 20) * 0.0004, 179.996 + (i % 20) * 0.0004 - (i % 20 >= 10 ? 360.0 : 0.0),
                           30.0);
    writeFile(ACME_PARK_FILE, apfXml(ACME_PARK_PARAMS, stands));
    ASSERT_EQ(read(), "");
    expectEveryPairFound();
}

TEST_F(ParkLargeInputTest, ThousandsOfLearnedUsesOfOneStandMergeWithoutRepeats)
{
    writeFile(ACME_PARK_FILE, apfXml(ACME_PARK_PARAMS, lf_stand(1, 52.30, 4.76, 30.0) + lf_stand(2, 52.31, 4.76, 30.0)));
    std::string first;
    std::string second;
    std::string soft;
    for (int i = 0; i < 3000; ++i) {
        const std::string reg = vald::format("PH-{:04}", i);
        first += vald::format("<opt reg=\"{}\" airl=\"KLM\" type=\"B738\" day=\"{}\" hh=\"10,11\"/>", reg, i % 7 + 1);
        // Again in the stand's second element: overlapping half-hours are the same use, others new.
        second += vald::format("<opt reg=\"{}\" airl=\"KLM\" type=\"B738\" day=\"{}\" hh=\"{}\"/>", reg, i % 7 + 1,
                               i % 2 == 0 ? "11,12" : "30");
        if (i < 100)  // a soft use is another use than the real one
            soft += vald::format("<opt reg=\"{}\" airl=\"KLM\" type=\"B738\" day=\"{}\" hh=\"10\" soft=\"true\"/>", reg,
                                 i % 7 + 1);
    }
    writeFile(ACME_LEARNED_FILE, apfXml({{"airport_name", "Schiphol"}}, "<parkpos id=\"S1\">" + first + "</parkpos>\n" +
                                                                  "<parkpos id=\"S1\">" + second + "</parkpos>\n" +
                                                                  "<parkpos id=\"S1\">" + soft + "</parkpos>\n"));
    ASSERT_EQ(read(), "");
    const Stand& stand = parkStands[0];
    ASSERT_EQ(stand.options.size(), 4600u) << "3000 uses, 1500 seen again at other half-hours, 100 soft";
    for (std::size_t i = 0; i < stand.options.size(); ++i)
        ASSERT_EQ(stand.options[i].number, i + 1);
    EXPECT_EQ(stand.options[3000].registration, "PH-0001");
    EXPECT_EQ(stand.options[3000].halfHours, std::uint64_t{1} << 30);
    EXPECT_EQ(stand.options[4500].registration, "PH-0000");
    EXPECT_EQ(stand.options[4500].real, 0u);
    EXPECT_TRUE(parkStands[1].options.empty());
}

TEST_F(ParkLargeInputTest, ALearnedFileFullOfBadHalfHoursIsWarnedOnce)
{
    writeFile(ACME_PARK_FILE, apfXml(ACME_PARK_PARAMS, lf_stand(1, 52.30, 4.76, 30.0)));
    std::string opts;
    for (int i = 0; i < 500; ++i)
        opts += vald::format("<opt reg=\"PH-{:04}\" airl=\"KLM\" type=\"B738\" day=\"1\" hh=\"x{},99,3\"/>", i, i);
    writeFile(ACME_LEARNED_FILE, apfXml({{"airport_name", "Schiphol"}}, "<parkpos id=\"S1\">" + opts + "</parkpos>\n"));
    ASSERT_EQ(read(), "");
    ASSERT_EQ(parkStands[0].options.size(), 500u);
    EXPECT_EQ(parkStands[0].options[0].halfHours, std::uint64_t{1} << 3) << "the good pieces count";
    std::size_t warnings = 0;
    for (const std::string& line : logLines())
        if (line.find("invalid hour") != std::string::npos) {
            ++warnings;
            EXPECT_THAT(line, HasSubstr("1000 invalid hours in " + ACME_LEARNED_FILE.string() + ", the first 'x0' in x0,99,3"));
        }
    EXPECT_EQ(warnings, 1u);
}

}  // namespace
