#include "refdata/airports.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/format.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/refdata/sealed_files.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using testing::Contains;
using testing::ElementsAre;

namespace {

void writeAirports(const std::string& inner)
{
    writeSealed("input/airports.enc", "<?xml version=\"1.0\"?>\n<airports>" + inner + "</airports>\n");
}

std::vector<std::string> codes()
{
    std::vector<std::string> result;
    for (const AirportRecord& airport : airportRecords)
        result.push_back(airport.code);
    return result;
}

class Airports : public testing::Test {
protected:
    LogCapture log;
    Airports() { gf_resetAirports(); }
    ~Airports() override
    {
        gf_resetAirports();
        gf_resetClosestStandQueryForTest();
    }
};

TEST_F(Airports, ReadOnceSortedAndIncompleteAirportsSkipped)
{
    writeAirports(R"(<airport code="EHRD" iata="RTM" lat="51.9569" lon="4.4372" alt="-15" stands="22"/>)"
                  R"(<airport code="EHAM" iata="AMS" lat="52.3086" lon="4.7639" alt="-11" stands="180"/>)"
                  R"(<airport code="EHTE" iata="" lat="52.2447" lon="6.0467" alt="17"/>)"
                  R"(<airport code="EBBR" iata="BRU" lon="4.4844" alt="184" stands="120"/>)"
                  R"(<airport code="EDDL" iata="DUS" lat="51.2895" lon="6.7668" stands="90"/>)"
                  R"(<airport code="EDDK" lat="50.8659" lon="7.1427" alt="302" stands="80"/>)"
                  R"(<airport iata="XXX" lat="1" lon="2" alt="3" stands="x"/>)");
    ASSERT_TRUE(gf_readAirports());
    EXPECT_THAT(codes(), ElementsAre("", "EHAM", "EHRD", "EHTE"));
    const AirportRecord& eham = *gf_findAirport("EHAM");
    EXPECT_EQ(std::tie(eham.iata, eham.lat, eham.lon, eham.alt, eham.stands),
              std::make_tuple("AMS", 52.3086, 4.7639, -11.0, 180));
    EXPECT_EQ(gf_findAirport("EHTE")->stands, 0);
    EXPECT_EQ(gf_findAirport("")->iata, "XXX");
    EXPECT_FALSE(gf_isKnownAirport("EBBR"));
    EXPECT_FALSE(gf_isKnownAirport("eham"));
    EXPECT_FALSE(fs::exists("input/airports.xml"));

    fs::remove("input/airports.enc");
    EXPECT_TRUE(gf_readAirports());  // once per process: the file is not read again
    EXPECT_EQ(airportRecords.size(), 4u);

    const auto lines = log.lines();
    for (const char* line : {
             "==> Missing stands for airport 'EHTE'",
             "==> Missing latLons for airport 'EBBR'",
             "==> Missing alt for airport 'EDDL'",
             "==> Missing IATA for airport 'EDDK'",
             "4 airports read"})
        EXPECT_THAT(lines, Contains(line));
}

TEST_F(Airports, UnreadableFileIsUserError88AndCanBeReadLater)
{
    fs::create_directories("input");
    EXPECT_THAT(thrownMessage(gf_readAirports), testing::StartsWith("88: input/airports.xml not loaded: "));
    writeSealed("input/airports.enc", R"(<airport code="EHAM"/>)");
    EXPECT_EQ(thrownMessage(gf_readAirports), "88: Missing <airports> root in: input/airports.xml");
    EXPECT_FALSE(fs::exists("input/airports.xml"));
    writeAirports("");
    EXPECT_FALSE(gf_readAirports());
}

// Airports north of (50, 5): one minute of latitude is one nautical mile.
std::string airportAtNm(const std::string& code, double nm)
{
    return vald::format(R"(<airport code="{}" iata="" lat="{}" lon="5.0" alt="0" stands="1"/>)", code, 50.0 + nm / 60.0);
}

TEST_F(Airports, ClosestAirportPrefersANeighbourWithACloserStand)
{
    writeAirports(airportAtNm("AAAA", 4.0) + airportAtNm("BBBB", 2.0) + airportAtNm("CCCC", 3.0) +
                  airportAtNm("DDDD", 5.01));
    ASSERT_TRUE(gf_readAirports());
    const LatLon here{50.0, 5.0};
    EXPECT_EQ(gf_closestAirport(here)->code, "BBBB");  // no park files: the nearest

    std::vector<std::string> asked;
    gf_setClosestStandQuery([&](const AirportRecord& airport, const LatLon&, std::string& standId) {
        asked.push_back(airport.code);
        standId = "G" + airport.code;
        return airport.code == "AAAA" ? 0.1 : 0.3;
    });
    // The neighbour is the best before BBBB in the scan (AAAA), not the second nearest (CCCC).
    EXPECT_EQ(gf_closestAirport(here)->code, "AAAA");
    EXPECT_THAT(asked, ElementsAre("BBBB", "AAAA"));
    asked.clear();
    EXPECT_EQ(gf_closestAirport({50.0 + 4.0 / 60.0, 5.0})->code, "AAAA");
    EXPECT_TRUE(asked.empty());  // a single candidate needs no park file
    EXPECT_EQ(gf_closestAirport({50.0 + 20.0 / 60.0, 5.0}), nullptr);

    gf_setClosestStandQuery([](const AirportRecord&, const LatLon&, std::string&) { return 0.2; });
    EXPECT_EQ(gf_closestAirport(here)->code, "BBBB");  // a tie keeps the nearest

    const auto lines = log.lines();
    EXPECT_THAT(lines, Contains("Airport BBBB is closest, neighbour is AAAA"));
    EXPECT_THAT(lines,
                Contains("Airport BBBB is closest, but stand GAAAA at neighbouring airport AAAA is closer at 185 meters ..."));
}

TEST(AirportLabel, ShowsCodeAndIata)
{
    EXPECT_EQ(gf_airportLabel({"EHAM", "AMS", 0, 0, 0, 0}), "EHAM (AMS)");
    EXPECT_EQ(gf_airportLabel({"", "AMS", 0, 0, 0, 0}), "? (AMS)");
    EXPECT_EQ(gf_airportLabel({"EHTE", "", 0, 0, 0, 0}), "EHTE");
}

}  // namespace
