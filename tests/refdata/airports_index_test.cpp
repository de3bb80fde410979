// The grid index of the closest-airport search answers as the scan over the whole table does,
// also near the poles, across the date line and in dense clusters, and never from a stale table.
#include "refdata/airports.hpp"

#include <gtest/gtest.h>

#include <random>

#include "foundation/format.hpp"
#include "tests/foundation/log_capture.hpp"

namespace {

class AirportIndex : public testing::Test {
protected:
    corv_test::LogCapture log;
    AirportIndex()
    {
        gf_resetAirports();
        // Stand distances that differ per airport, so the neighbour rule decides some answers.
        gf_setClosestStandQuery([](const AirportRecord& airport, const LatLon&, std::string& standId) {
            standId = airport.code;
            return static_cast<double>(std::hash<std::string>{}(airport.code) % 7) / 10.0;
        });
    }
    ~AirportIndex() override
    {
        gf_resetAirports();
        gf_resetClosestStandQueryForTest();
    }
};

TEST_F(AirportIndex, AnswersAsTheScanEverywhere)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> lat(-90.0, 90.0);
    std::uniform_real_distribution<double> lon(-180.0, 180.0);
    std::uniform_real_distribution<double> jitter(-0.12, 0.12);
    std::vector<LatLon> places;
    for (int i = 0; i < 30000; ++i)
        places.push_back({lat(random), lon(random)});
    for (int i = 0; i < 4000; ++i)  // clusters of near neighbours
        places.push_back({52.0 + jitter(random), 4.0 + jitter(random)});
    for (int i = 0; i < 1000; ++i) {  // the poles and the date line
        places.push_back({89.95 + jitter(random) / 3.0, lon(random)});
        places.push_back({-89.95 - jitter(random) / 3.0, lon(random)});
        places.push_back({lat(random) / 2.0, (i % 2 == 0 ? 179.98 : -179.98) + jitter(random) / 10.0});
    }
    for (std::size_t i = 0; i < places.size(); ++i)
        airportRecords.push_back({vald::format("A{:05}", i), "", places[i].lat, places[i].lon, 0.0, 0});
    gf_buildAirportIndex();

    std::size_t found = 0;
    for (int q = 0; q < 1500; ++q) {
        const LatLon& near = places[random() % places.size()];
        const LatLon position{std::clamp(near.lat + jitter(random) / 2.0, -90.0, 90.0), near.lon + jitter(random)};
        const AirportRecord* indexed = gf_closestAirport(position);
        ASSERT_EQ(indexed, gf_closestAirportByScan(position)) << position.lat << "," << position.lon;
        found += indexed != nullptr ? 1 : 0;
    }
    EXPECT_GT(found, 750u) << "most queries lie near an airport";
}

TEST_F(AirportIndex, ATableChangedAfterTheIndexIsStillSearchedWhole)
{
    airportRecords = {AirportRecord{"AAAA", "", 10.0, 10.0, 0.0, 0}};
    gf_buildAirportIndex();
    ASSERT_EQ(gf_closestAirport({10.0, 10.0})->code, "AAAA");
    airportRecords = {AirportRecord{"BBBB", "", 20.0, 20.0, 0.0, 0}};
    const AirportRecord* closest = gf_closestAirport({20.0, 20.0});
    ASSERT_NE(closest, nullptr);
    EXPECT_EQ(closest->code, "BBBB");
    EXPECT_EQ(gf_closestAirport({10.0, 10.0}), nullptr);
}

}  // namespace
