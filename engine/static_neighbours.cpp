#include "engine/static_neighbours.hpp"

#include "engine/engine_state.hpp"
#include "engine/removal.hpp"
#include "engine/stand_marks.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/status_display.hpp"

namespace {

constexpr double CLEARANCE_FACTOR = 1.1;

}  // namespace

// The checks below work on the stands and stand options of the park airport; until stands are
// loaded there is nothing for them to find, and they leave every aircraft as it is.
void lf_avoidStatics(LiveAircraft& aircraft)
{
    if (aircraft.landingRoll || aircraft.departing)
        return;
    const LatLon at{aircraft.simPosition.lat, aircraft.simPosition.lon};
    aircraft.lastCheckPosition = at;
    for (StaticAircraft& parked : staticAircraft) {
        if (parked.state != SimState::active || parked.identity.callsign == aircraft.identity.callsign)
            continue;
        const double apart = gf_distanceNm(LatLon{parked.standLat, parked.standLon}, at);
        if (apart > CLEARANCE_FACTOR * (parked.halfSpan + aircraft.halfSpan))
            continue;
        gf_log(vald::format("{:8}: {:8} removed for collision avoidance with static {}",
                            lf_standIdText(parked.standNumber), parked.identity.callsign, aircraft.identity.callsign));
        removeAircraftFromSim(parked);
        return;
    }
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
