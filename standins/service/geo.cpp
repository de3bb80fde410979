#include "standins/service/geo.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace service_standin {
namespace {
constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr double kEarthRadiusNm = 10800.0 / std::numbers::pi;
}  // namespace

double distanceNm(double lat1, double lon1, double lat2, double lon2) {
    const double p1 = lat1 * kDegToRad;
    const double p2 = lat2 * kDegToRad;
    const double dp = p2 - p1;
    const double dl = (lon2 - lon1) * kDegToRad;
    const double a = std::sin(dp / 2) * std::sin(dp / 2) +
                     std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2 * kEarthRadiusNm * std::asin(std::min(1.0, std::sqrt(a)));
}

double bearingDeg(double lat1, double lon1, double lat2, double lon2) {
    const double p1 = lat1 * kDegToRad;
    const double p2 = lat2 * kDegToRad;
    const double dl = (lon2 - lon1) * kDegToRad;
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    double deg = std::atan2(y, x) / kDegToRad;
    if (deg < 0) deg += 360.0;
    if (deg >= 360.0) deg -= 360.0;
    return deg;
}

}  // namespace service_standin
