#include "refdata/airports_index.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "refdata/airports.hpp"

namespace {

constexpr double CELL_DEG = 0.1;
constexpr std::int64_t ROWS = 1800;
constexpr std::int64_t COLS = 3600;
constexpr double NM_PER_DEG_LAT = 60.0;
// Beyond this latitude a circle of a few miles may span any longitude: whole rows are searched.
constexpr double POLAR_LAT_DEG = 89.0;
constexpr double LON_MARGIN = 1.01;
constexpr double EDGE_EPSILON_DEG = 1e-9;

struct IndexEntry {
    std::int64_t cell;
    std::size_t record;
};

struct AirportIndex {
    std::vector<IndexEntry> entries;  // by cell, then by table position
    const AirportRecord* data = nullptr;
    std::size_t size = 0;
    std::string firstCode;
    std::string lastCode;
    bool built = false;
};

AirportIndex airportIndex;

double lf_normalLon(double lon)
{
    double l = std::fmod(lon + 180.0, 360.0);
    if (l < 0.0)
        l += 360.0;
    return l - 180.0;
}

// The cell of a value, clamped before the conversion: a position that is no number (a damaged
// airports file) falls into the first cell instead of an undefined conversion.
std::int64_t lf_cell(double value, std::int64_t count)
{
    const double cell = std::floor(value / CELL_DEG);
    if (!(cell >= 0.0))
        return 0;
    return cell >= static_cast<double>(count - 1) ? count - 1 : static_cast<std::int64_t>(cell);
}

std::int64_t lf_row(double lat) { return lf_cell(lat + 90.0, ROWS); }

std::int64_t lf_col(double lon) { return lf_cell(lf_normalLon(lon) + 180.0, COLS); }

bool lf_indexDescribesTable()
{
    const AirportIndex& index = airportIndex;
    if (!index.built || index.data != airportRecords.data() || index.size != airportRecords.size())
        return false;
    return index.size == 0 || (index.firstCode == airportRecords.front().code &&
                               index.lastCode == airportRecords.back().code);
}

void lf_collectCells(std::int64_t row, std::int64_t colLo, std::int64_t colHi, std::vector<std::size_t>& found)
{
    const std::vector<IndexEntry>& entries = airportIndex.entries;
    const std::int64_t first = row * COLS + colLo;
    const std::int64_t last = row * COLS + colHi;
    auto it = std::lower_bound(entries.begin(), entries.end(), first,
                               [](const IndexEntry& e, std::int64_t cell) { return e.cell < cell; });
    for (; it != entries.end() && it->cell <= last; ++it)
        found.push_back(it->record);
}

}  // namespace

void lf_indexAirports()
{
    AirportIndex index;
    index.entries.reserve(airportRecords.size());
    for (std::size_t i = 0; i < airportRecords.size(); ++i) {
        const AirportRecord& airport = airportRecords[i];
        index.entries.push_back({lf_row(airport.lat) * COLS + lf_col(airport.lon), i});
    }
    std::sort(index.entries.begin(), index.entries.end(), [](const IndexEntry& a, const IndexEntry& b) {
        return a.cell != b.cell ? a.cell < b.cell : a.record < b.record;
    });
    index.data = airportRecords.data();
    index.size = airportRecords.size();
    if (!airportRecords.empty()) {
        index.firstCode = airportRecords.front().code;
        index.lastCode = airportRecords.back().code;
    }
    index.built = true;
    airportIndex = std::move(index);
}

void lf_clearAirportIndex() { airportIndex = AirportIndex{}; }

bool lf_airportsNear(const LatLon& position, double radiusNm, std::vector<std::size_t>& found)
{
    if (!lf_indexDescribesTable())
        return false;
    found.clear();
    // A great circle of radiusNm never leaves this latitude band on a sphere of 60 nm per degree.
    const double dLat = radiusNm / NM_PER_DEG_LAT + EDGE_EPSILON_DEG;
    const std::int64_t rowLo = lf_row(position.lat - dLat);
    const std::int64_t rowHi = lf_row(position.lat + dLat);
    const double maxAbsLat = std::max(std::fabs(position.lat - dLat), std::fabs(position.lat + dLat));
    double dLon = 180.0;
    if (maxAbsLat < POLAR_LAT_DEG)
        dLon = dLat / std::cos(maxAbsLat * M_PI / 180.0) * LON_MARGIN + EDGE_EPSILON_DEG;
    for (std::int64_t row = rowLo; row <= rowHi; ++row) {
        if (dLon >= 180.0) {
            lf_collectCells(row, 0, COLS - 1, found);
            continue;
        }
        const double lon = lf_normalLon(position.lon);
        const double lo = lon - dLon;
        const double hi = lon + dLon;
        if (lo < -180.0) {
            lf_collectCells(row, lf_col(lo + 360.0), COLS - 1, found);
            lf_collectCells(row, 0, lf_col(hi), found);
        } else if (hi >= 180.0) {
            lf_collectCells(row, lf_col(lo), COLS - 1, found);
            lf_collectCells(row, 0, lf_col(hi - 360.0), found);
        } else {
            lf_collectCells(row, lf_col(lo), lf_col(hi), found);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return true;
}
