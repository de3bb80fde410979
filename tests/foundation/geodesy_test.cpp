#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "foundation/geodesy.hpp"

namespace {

constexpr double FEET_PER_NM = 6076.11549;
constexpr double PI = std::numbers::pi;

TEST(GeodesyTest, DestinationRoundTrips)
{
    EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 1}), 60.0, 1e-9);  // one minute of arc is one NM
    EXPECT_NEAR(gf_destinationPoint({0, 0}, 0.0, 60 * FEET_PER_NM).lat, 1.0, 1e-9);
    const struct {
        LatLon from;
        double bearingRad, distanceNm;
    } cases[] = {{{52.0, 4.5}, 1.0, 100.0}, {{52.0, 4.5}, 4.0, 250.0}, {{10.0, 179.5}, PI / 2, 120.0},
                 {{-30.0, -179.8}, 4.5, 80.0}};
    for (const auto& c : cases) {
        const LatLon to = gf_destinationPoint(c.from, c.bearingRad, c.distanceNm * FEET_PER_NM);
        EXPECT_TRUE(to.lon >= -180.0 && to.lon <= 180.0) << to.lon;
        EXPECT_NEAR(gf_distanceNm(c.from, to), c.distanceNm, 1e-6);
        EXPECT_NEAR(gf_bearingRad(c.from, to), c.bearingRad, 1e-9);
    }
    EXPECT_LT(gf_destinationPoint({10.0, 179.5}, PI / 2, 120 * FEET_PER_NM).lon, -178.0);
}

TEST(GeodesyTest, PointOnCurveSegment)
{
    // At 60 N: east along the control leg, turning north to the end point 1 km east, 1 km north.
    const CurveSegment segment{60.0, 5.0, 0.0, 1000.0, 1000.0, 1.0, 1000.0, 0.0};
    LatLon position;
    double heading = -1;
    ASSERT_TRUE(gf_pointOnPathSegment(segment, position, heading, 0.0));
    EXPECT_DOUBLE_EQ(position.lat, 60.0);
    EXPECT_NEAR(heading, PI / 2, 1e-12);
    ASSERT_TRUE(gf_pointOnPathSegment(segment, position, heading, 1.0));
    EXPECT_NEAR(position.lat, 60.0 + 1000.0 / 111132.95, 1e-12);
    EXPECT_NEAR(position.lon, 5.0 + 2 * 1000.0 / 111132.95, 1e-9);  // cos 60 degrees is one half
    EXPECT_NEAR(heading, 0.0, 1e-12);
    EXPECT_FALSE(gf_pointOnPathSegment(segment, position, heading, 1.5));

    CurveSegment noCurve = segment;
    noCurve.controlNorthM = NAN;
    EXPECT_FALSE(gf_pointOnPathSegment(noCurve, position, heading, 0.5));
    // An empty or reversed range, or an infinite offset, never yields a position.
    for (const double t1 : {0.0, -1.0}) {
        CurveSegment empty = segment;
        empty.t1 = t1;
        EXPECT_FALSE(gf_pointOnPathSegment(empty, position, heading, 0.0));
    }
    CurveSegment infinite = segment;
    infinite.endEastM = INFINITY;
    EXPECT_FALSE(gf_pointOnPathSegment(infinite, position, heading, 1.0));
    EXPECT_TRUE(std::isfinite(position.lat) && std::isfinite(position.lon) && std::isfinite(heading));
}

}  // namespace
