#pragma once
// Spherical geometry for the stand-in's tracks (a sphere of 10800/pi nautical miles).

namespace service_standin {

double distanceNm(double lat1, double lon1, double lat2, double lon2);
// Initial great-circle bearing from the first point to the second, degrees in [0, 360).
double bearingDeg(double lat1, double lon1, double lat2, double lon2);

}  // namespace service_standin
