#pragma once
// A grid index over the airports table for the closest-airport search: cells of a tenth of a
// degree, the records of each cell listed in table order. Built once after the table is read.
#include <cstddef>
#include <vector>

#include "foundation/geodesy.hpp"

// Indexes the table as it stands now.
void lf_indexAirports();
// Forgets the index.
void lf_clearAirportIndex();
// The table positions of every record that may lie within radiusNm of position, ascending; false
// (and nothing written) when the index does not describe the current table.
[[nodiscard]] bool lf_airportsNear(const LatLon& position, double radiusNm, std::vector<std::size_t>& found);
