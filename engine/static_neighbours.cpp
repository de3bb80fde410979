#include "engine/static_neighbours.hpp"

#include <algorithm>
#include <cmath>

#include "engine/engine_state.hpp"
#include "engine/removal.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/status_display.hpp"

namespace {

constexpr double CLEARANCE_FACTOR = 1.1;
// Grid cells of two thousandths of a degree (220 m of latitude, some 130 m of longitude at 52°):
// a cell holds a few stands, and a clearance of some tens of metres looks into one to four cells.
constexpr double GRID_CELL_DEG = 0.002;
constexpr double NM_PER_DEGREE = 60.0;  // on the sphere of gf_distanceNm
// Room for rounding in the search box, and for the small-angle step in longitude.
constexpr double BOX_MARGIN = 1.01;
constexpr double BOX_SLACK_DEG = 1e-9;
// Past these the search box is no help: a lookup falls back to every static aircraft.
constexpr double MIN_BOX_COSINE = 0.05;
constexpr std::int64_t MAX_BOX_CELLS = 64;
constexpr std::int64_t CELL_OFFSET = std::int64_t{1} << 31;

bool lf_onGrid(LatLon at)
{
    return std::fabs(at.lat) <= 90.0 && std::fabs(at.lon) <= 180.0;
}

std::int64_t lf_cell(double degrees)
{
    return static_cast<std::int64_t>(std::floor(degrees / GRID_CELL_DEG));
}

std::uint64_t lf_cellKey(std::int64_t latCell, std::int64_t lonCell)
{
    return (static_cast<std::uint64_t>(latCell + CELL_OFFSET) << 32) |
           static_cast<std::uint32_t>(lonCell + CELL_OFFSET);
}

}  // namespace

StaticGrid::StaticGrid()
{
    cells_.reserve(staticAircraft.size());
    for (std::size_t i = 0; i < staticAircraft.size(); ++i) {
        const StaticAircraft& parked = staticAircraft[i];
        const auto index = static_cast<std::uint32_t>(i);
        // A half-span that is no number reaches everywhere, as it does in the plain distance test.
        if (std::isnan(parked.halfSpan) || !lf_onGrid(LatLon{parked.standLat, parked.standLon})) {
            everywhere_.push_back(index);
            continue;
        }
        maxHalfSpanNm_ = std::max(maxHalfSpanNm_, parked.halfSpan);
        cells_.emplace_back(lf_cellKey(lf_cell(parked.standLat), lf_cell(parked.standLon)), index);
    }
    std::sort(cells_.begin(), cells_.end());
}

bool StaticGrid::touches(std::size_t index, LatLon at, double halfSpanNm, const std::string& callsign) const
{
    const StaticAircraft& parked = staticAircraft[index];
    if (parked.state != SimState::active || parked.identity.callsign == callsign)
        return false;
    return gf_wingsTouch(parked.halfSpan, halfSpanNm, gf_distanceNm(LatLon{parked.standLat, parked.standLon}, at),
                         CLEARANCE_FACTOR);
}

std::optional<std::size_t> StaticGrid::firstTouched(LatLon at, double halfSpanNm, const std::string& callsign) const
{
    std::optional<std::size_t> first;
    const auto consider = [&](std::size_t index) {
        if ((!first || index < *first) && touches(index, at, halfSpanNm, callsign))
            first = index;
    };
    for (const std::uint32_t index : everywhere_)
        consider(index);
    const double reachNm = CLEARANCE_FACTOR * (maxHalfSpanNm_ + halfSpanNm);
    const double latReachDeg = reachNm / NM_PER_DEGREE * BOX_MARGIN + BOX_SLACK_DEG;
    const double cosine = std::cos(std::min(90.0, std::fabs(at.lat) + latReachDeg) * DEG_TO_RAD);
    const double lonReachDeg = reachNm / (NM_PER_DEGREE * cosine) * BOX_MARGIN + BOX_SLACK_DEG;
    const bool boxUsable = lf_onGrid(at) && std::isfinite(reachNm) && cosine >= MIN_BOX_COSINE &&
                           std::fabs(at.lon) + lonReachDeg < 180.0 &&
                           (latReachDeg / GRID_CELL_DEG + 2) * (lonReachDeg / GRID_CELL_DEG + 2) <= MAX_BOX_CELLS;
    if (!boxUsable) {
        for (const auto& [key, index] : cells_)
            consider(index);
        return first;
    }
    for (std::int64_t latCell = lf_cell(at.lat - latReachDeg); latCell <= lf_cell(at.lat + latReachDeg); ++latCell) {
        for (std::int64_t lonCell = lf_cell(at.lon - lonReachDeg); lonCell <= lf_cell(at.lon + lonReachDeg);
             ++lonCell) {
            const std::uint64_t key = lf_cellKey(latCell, lonCell);
            auto it = std::lower_bound(cells_.begin(), cells_.end(), std::pair<std::uint64_t, std::uint32_t>{key, 0});
            for (; it != cells_.end() && it->first == key; ++it)
                consider(it->second);
        }
    }
    return first;
}

// The checks below work on the stands and stand options of the park airport; until stands are
// loaded there is nothing for them to find, and they leave every aircraft as it is.
void lf_avoidStatics(LiveAircraft& aircraft, const StaticGrid* grid)
{
    if (aircraft.landingRoll || aircraft.departing)
        return;
    const LatLon at{aircraft.simPosition.lat, aircraft.simPosition.lon};
    aircraft.lastCheckPosition = at;
    std::optional<StaticGrid> ownGrid;
    if (grid == nullptr)
        grid = &ownGrid.emplace();
    const std::optional<std::size_t> touched = grid->firstTouched(at, aircraft.halfSpan, aircraft.identity.callsign);
    if (!touched)
        return;
    StaticAircraft& parked = staticAircraft[*touched];
    gf_log(vald::format("{:8}: {:8} removed for collision avoidance with static {}", lf_standIdText(parked.standNumber),
                        parked.identity.callsign, aircraft.identity.callsign));
    removeAircraftFromSim(parked);
}

namespace {

// Mean parked time in hours of the aircraft whose parked slots are given: the half-hours from
// each parked slot to now (0 for a slot that lies after now), halved, plus half an hour; 0
// without any aircraft.
class ParkedAges {
public:
    ParkedAges() : now_(gf_weekSlotIndex(gf_weekSlotValue(gf_weekdayAndSlot()))) {}

    void add(std::uint64_t parkedSlot)
    {
        const std::int64_t parked = gf_weekSlotIndex(parkedSlot);
        if (parked <= now_)
            halfHours_ += now_ - parked;
        ++count_;
    }
    std::uint64_t count() const { return count_; }
    float meanHours() const
    {
        if (count_ == 0)
            return 0.0F;
        return static_cast<float>(static_cast<double>(halfHours_) / (2.0 * static_cast<double>(count_)) + 0.5);
    }

private:
    std::int64_t now_;
    std::int64_t halfHours_ = 0;
    std::uint64_t count_ = 0;
};

void lf_showAverage(float vald::StatusDisplayValues::*field, float hours)
{
    if (vald::gf_displaySnapshot().*field == hours)
        return;
    vald::gf_updateDisplay([field, hours](vald::StatusDisplayValues& values) { values.*field = hours; },
                           vald::LIVE_STATUS_BAND);
}

}  // namespace

std::uint64_t lf_parkedStats(bool withAverage)
{
    ParkedAges ages;
    for (const LiveAircraft& aircraft : liveAircraft)
        if (aircraft.phase == FlightPhase::parked && aircraft.state == SimState::active)
            ages.add(aircraft.parkedSlot);
    if (withAverage)
        lf_showAverage(&vald::StatusDisplayValues::liveAverageFit, ages.meanHours());
    return ages.count();
}

std::uint64_t gf_staticParkedStats(bool withAverage)
{
    ParkedAges ages;
    for (const StaticAircraft& aircraft : staticAircraft)
        if (aircraft.state == SimState::active || aircraft.state == SimState::removingfromsim)
            ages.add(aircraft.parkedSlot);
    if (withAverage)
        lf_showAverage(&vald::StatusDisplayValues::staticAverageFit, ages.meanHours());
    return ages.count();
}
