#include "engine/stand_claims.hpp"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/data_clock.hpp"
#include "engine/engine_state.hpp"
#include "engine/motion_math.hpp"
#include "engine/removal.hpp"
#include "engine/stand_marks.hpp"
#include "engine/static_parking_step.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"

namespace {

// Half the span of the largest aircraft that flies: no holder reaches farther.
constexpr double LARGEST_HALF_SPAN_NM = 45.0 / METRES_PER_NM;

// North and east of a point, nautical miles.
struct FlatNm {
    double north = 0.0;
    double east = 0.0;
};

// A flat frame about the arrival, for ruling out cheaply the stands beyond reach of its data: within
// the few nautical miles that a taxi track spans, its distances differ from the great circle's by
// far less than FLAT_SLACK, so that a stand it rules out is out of reach; the rest are measured on
// the great circle.
constexpr double FLAT_SLACK = 1.01;
struct FlatFrame {
    explicit FlatFrame(LatLon at) : origin(at), eastNmPerDeg(60.0 * std::cos(at.lat * DEG_TO_RAD)) {}
    FlatNm of(double lat, double lon) const
    {
        double eastDeg = lon - origin.lon;
        if (eastDeg > 180.0)
            eastDeg -= 360.0;
        else if (eastDeg < -180.0)
            eastDeg += 360.0;
        return FlatNm{(lat - origin.lat) * 60.0, eastDeg * eastNmPerDeg};
    }
    LatLon origin;
    double eastNmPerDeg;
};

// A point of the track, from the segment the aircraft drives on, lies within 20 m of the stand's
// point.
bool lf_trackComesNear(const std::deque<TrackPoint>& track, const FlatFrame& frame, const Stand& stand,
                       FlatNm standAt)
{
    const double limit = STAND_NARROW_RADIUS_NM * FLAT_SLACK;
    return std::any_of(track.begin(), track.end(), [&](const TrackPoint& point) {
        const FlatNm at = frame.of(point.lat, point.lon);
        const double north = at.north - standAt.north;
        const double east = at.east - standAt.east;
        return north * north + east * east <= limit * limit &&
               gf_distanceNm(gf_latLonOf(point), LatLon{stand.lat, stand.lon}) <= STAND_NARROW_RADIUS_NM;
    });
}


// A report slower than this, heading at a stand's point, is bound for the stand; a faster one is
// taxiing by, or turning in and still to slow down.
constexpr double BOUND_MAX_KT = 8.0;
// Its line passes this near the stand's point, or, farther out, within this angle of it up to the
// widest: a lead-in line and a stand's point may lie a few metres apart, and a heading reported at
// a crawl wanders. Data on the apron lane in front of a stand passes wide of its point.
constexpr double BOUND_LINE_NM = 6.0 / METRES_PER_NM;
constexpr double BOUND_ANGLE_TAN = 0.2679491924311227;  // 15 degrees
constexpr double BOUND_LINE_WIDEST_NM = 12.0 / METRES_PER_NM;

// It is bound for a stand within the distance at which the two could touch, and 20 m more.
double lf_boundReachNm(const LiveAircraft& arrival, double holderHalfSpan)
{
    return STAND_TOUCHING_MARGIN * (arrival.halfSpan + holderHalfSpan) + STAND_NARROW_RADIUS_NM;
}

// The arrival's newest report in the flat frame, with the direction of its track.
struct ReportLine {
    ReportLine(const NewestReport& report, const FlatFrame& frame)
        : at(frame.of(report.lat, report.lon)),
          north(std::cos(report.track * DEG_TO_RAD)),
          east(std::sin(report.track * DEG_TO_RAD))
    {
    }
    FlatNm at;
    double north;
    double east;
};

// Where a stand's point lies from the report: how far ahead along its track and how far aside of
// its line.
struct FromReport {
    double ahead = 0.0;
    double aside = 0.0;
};
FromReport lf_fromReport(const ReportLine& line, FlatNm standAt)
{
    const double north = standAt.north - line.at.north;
    const double east = standAt.east - line.at.east;
    return FromReport{north * line.north + east * line.east, std::fabs(east * line.north - north * line.east)};
}

double lf_flatDistanceNm(FlatNm a, FlatNm b) { return std::hypot(a.north - b.north, a.east - b.east); }

bool lf_slowOnTheGround(const NewestReport& report)
{
    return report.groundSpeed > 0.0 && report.groundSpeed <= BOUND_MAX_KT;
}

// How the arrival's newest report comes onto a stand: it lies within 20 m of the stand's point
// (onPoint), or it is bound for the stand from flatNm away (slow, and heading at its point so that
// its line passes within a few metres of it); it does not come when neither, or when bound for it
// from beyond reachNm. A nearer holder's reach is then flatNm against its own.
struct ReportOnto {
    bool comes = false;
    bool onPoint = false;
    double flatNm = std::numeric_limits<double>::infinity();
};
ReportOnto lf_reportComesOnto(const NewestReport& report, const ReportLine& line, const Stand& stand,
                                             FlatNm standAt, double reachNm)
{
    const double flatNm = lf_flatDistanceNm(line.at, standAt);
    if (flatNm <= STAND_NARROW_RADIUS_NM * FLAT_SLACK &&
        gf_distanceNm(LatLon{report.lat, report.lon}, LatLon{stand.lat, stand.lon}) <= STAND_NARROW_RADIUS_NM)
        return ReportOnto{true, true, flatNm};
    if (flatNm > reachNm || !lf_slowOnTheGround(report))
        return ReportOnto{};
    const FromReport from = lf_fromReport(line, standAt);
    const double widest = std::max(BOUND_LINE_NM, std::min(BOUND_LINE_WIDEST_NM, from.ahead * BOUND_ANGLE_TAN));
    return ReportOnto{from.ahead > 0.0 && from.aside <= widest, false, flatNm};
}

// The stand the arrival claimed is still the one its data comes onto: its newest report lies within
// 20 m of the stand's point or within the stand's radius, or still comes on slowly within reach,
// the point ahead of it. Data that turned away, sped off or left the ground has let it go.
bool lf_claimHolds(const LiveAircraft& arrival, const FlatFrame& frame, bool reportOnGround)
{
    const Stand* stand = gf_standByNumber(arrival.claimedStand);
    if (stand == nullptr || !reportOnGround)
        return false;
    const NewestReport& report = arrival.newest;
    if (gf_distanceNm(LatLon{report.lat, report.lon}, LatLon{stand->lat, stand->lon}) <=
        std::max(STAND_NARROW_RADIUS_NM, stand->radius))
        return true;
    const ReportLine line(report, frame);
    const FlatNm standAt = frame.of(stand->lat, stand->lon);
    return lf_slowOnTheGround(report) && lf_fromReport(line, standAt).ahead > 0.0 &&
           lf_flatDistanceNm(line.at, standAt) <= lf_boundReachNm(arrival, LARGEST_HALF_SPAN_NM);
}

// The box around the points of a track in the flat frame.
struct FlatBox {
    void add(FlatNm point)
    {
        south = std::min(south, point.north);
        north = std::max(north, point.north);
        west = std::min(west, point.east);
        east = std::max(east, point.east);
    }
    // A point this near could lie within distanceNm of one in the box.
    bool within(FlatNm point, double distanceNm) const
    {
        const double margin = distanceNm * FLAT_SLACK;
        return point.north >= south - margin && point.north <= north + margin && point.east >= west - margin &&
               point.east <= east + margin;
    }
    double south = std::numeric_limits<double>::infinity();
    double north = -std::numeric_limits<double>::infinity();
    double west = std::numeric_limits<double>::infinity();
    double east = -std::numeric_limits<double>::infinity();
};

// Until the next segment start the arrival gets no farther from where it is than the point it
// drives to, or, on a curve, than the curve's start and then its control point or its end (the
// curve keeps within those three).
double lf_reachBeforeNextStartNm(const LiveAircraft& aircraft, LatLon at)
{
    double reach = gf_distanceNm(at, gf_latLonOf(aircraft.track[1]));
    if (const CurveSegment& curve = aircraft.curve; gf_curveRunning(aircraft))
        reach = std::max(reach, gf_distanceNm(at, LatLon{curve.originLat, curve.originLon}) +
                                    std::max(std::hypot(curve.controlNorthM, curve.controlEastM),
                                             std::hypot(curve.endNorthM, curve.endEastM)) /
                                        METRES_PER_NM);
    return reach;
}

}  // namespace

LiveAircraft* gf_firstLiveOnStand(std::uint32_t standNumber)
{
    const auto found =
        std::find_if(liveAircraft.begin(), liveAircraft.end(),
                     [standNumber](const LiveAircraft& aircraft) { return aircraft.standNumber == standNumber; });
    return found == liveAircraft.end() ? nullptr : &*found;
}

bool gf_cameFromStand(const LiveAircraft& aircraft)
{
    return aircraft.previousPhase == FlightPhase::parked || aircraft.previousPhase == FlightPhase::pushing_back ||
           aircraft.previousPhase == FlightPhase::pushed_back;
}

LiveAircraft* gf_standHolder(const Stand& stand, const LiveAircraft& aircraft)
{
    LiveAircraft* holder = gf_firstLiveOnStand(stand.number);
    if (holder == nullptr || holder == &aircraft || holder->state != SimState::active || !gf_holdsStand(*holder))
        return nullptr;
    return holder;
}

Stand* gf_heldStandAt(const LatLon& position, const LiveAircraft& aircraft, bool onStand)
{
    Stand* held = nullptr;
    double heldDist = std::numeric_limits<double>::infinity();
    for (Stand& stand : parkStands) {
        if (stand.occupied == 0 || (stand.heli != 0) != (aircraft.category == AircraftCategory::Rotorcraft))
            continue;
        const double distance = gf_distanceNm(position, LatLon{stand.lat, stand.lon});
        if (distance > (onStand ? stand.radius : STAND_NARROW_RADIUS_NM) || distance >= heldDist ||
            gf_standHolder(stand, aircraft) == nullptr)
            continue;
        held = &stand;
        heldDist = distance;
    }
    return held;
}

bool gf_holderDataEnded(const LiveAircraft& holder) { return gf_dataEnded(holder); }

bool gf_holderInDoubt(const Stand& stand, const LiveAircraft& arrival)
{
    const LiveAircraft* holder = gf_standHolder(stand, arrival);
    return holder != nullptr && gf_inDoubtAfterPause(*holder, arrival);
}

namespace {

// The two shown come within the touching margin of their summed half spans.
bool lf_shownTouching(const LiveAircraft& one, const LiveAircraft& other)
{
    return gf_wingsTouch(one.halfSpan, other.halfSpan,
                         gf_distanceNm(gf_latLonOf(one.simPosition), gf_latLonOf(other.simPosition)),
                         STAND_TOUCHING_MARGIN);
}

// The holder gives way to this arrival: its data has ended, or it is in doubt.
bool lf_givesWay(const Stand& stand, const LiveAircraft& holder, const LiveAircraft& arrival)
{
    return gf_holderDataEnded(holder) || gf_holderInDoubt(stand, arrival);
}

}  // namespace

bool gf_settleHeldStand(const Stand& stand, LiveAircraft& arrival)
{
    LiveAircraft* holder = gf_standHolder(stand, arrival);
    if (holder == nullptr)
        return true;
    const bool doubt = gf_holderInDoubt(stand, arrival);
    if (doubt && !lf_shownTouching(*holder, arrival))
        return false;  // neither goes yet: the clock tells within a minute of flowing data
    if (doubt || gf_holderDataEnded(*holder)) {
        gf_log(vald::format("{:8}: {:8} removed, {} wants to park there", stand.id, holder->identity.callsign,
                            arrival.identity.callsign));
        removeAircraftFromSim(*holder);
        arrival.claimedStand = stand.number;
        return true;
    }
    gf_log(vald::format("{:8}: {:8} removed, {} still reports standing there", stand.id, arrival.identity.callsign,
                        holder->identity.callsign));
    removeAircraftFromSim(arrival);
    return false;
}

bool gf_meetClaimHolder(LiveAircraft& aircraft)
{
    if (aircraft.claimedStand == 0 || aircraft.phase != FlightPhase::taxi)
        return true;
    const Stand* stand = gf_standByNumber(aircraft.claimedStand);
    if (stand == nullptr || stand->occupied == 0)
        return true;  // nobody holds it: the arrival parks there
    const LiveAircraft* holder = gf_standHolder(*stand, aircraft);
    if (holder == nullptr || !lf_givesWay(*stand, *holder, aircraft)) {
        aircraft.claimedStand = 0;  // taken by another, or its holder reports again
        return true;
    }
    if (!lf_shownTouching(aircraft, *holder))
        return true;
    return gf_settleHeldStand(*stand, aircraft);
}

bool gf_holdsClaim(const LiveAircraft& aircraft)
{
    const Stand* stand = aircraft.claimedStand != 0 ? gf_standByNumber(aircraft.claimedStand) : nullptr;
    if (stand == nullptr)
        return false;
    if (stand->occupied == 0)
        return true;
    const LiveAircraft* holder = gf_standHolder(*stand, aircraft);
    return holder != nullptr && lf_givesWay(*stand, *holder, aircraft);
}

bool gf_approachHeldStand(LiveAircraft& aircraft)
{
    const auto& track = aircraft.track;
    if (aircraft.phase != FlightPhase::taxi || (!aircraft.towed && gf_cameFromStand(aircraft)) || track.size() < 2)
        return true;
    const bool stopped = track.back().stationary || track.back().groundSpeed == 0.0;
    const LatLon stop = gf_latLonOf(track.back());
    const LatLon at = gf_latLonOf(aircraft.simPosition);
    const bool rotorcraft = aircraft.category == AircraftCategory::Rotorcraft;
    // One walk of the occupied stands, ruling out cheaply in the flat frame those beyond reach of
    // the arrival's data, then measuring the rest on the great circle. Its data is its track and
    // its newest report, which thinning and point acceptance may have left well ahead of the track.
    const FlatFrame frame{at};
    FlatBox data;
    for (const TrackPoint& point : track)
        data.add(frame.of(point.lat, point.lon));
    const NewestReport& report = aircraft.newest;
    const bool reportOnGround = report.dataTime > 0.0 && !report.airborne;
    const ReportLine line(report, frame);
    if (reportOnGround)
        data.add(line.at);
    // The farthest a stand the report is bound for can lie, whoever holds it (none when it is not
    // slow enough to be bound for one).
    const double reportReachNm = lf_boundReachNm(aircraft, LARGEST_HALF_SPAN_NM);
    const double boundReachNm = reportOnGround && lf_slowOnTheGround(report) ? reportReachNm : 0.0;
    double reach = -1.0;
    const auto wingsCouldTouch = [&](const LiveAircraft& holder) {
        if (reach < 0.0)
            reach = lf_reachBeforeNextStartNm(aircraft, at);
        return gf_wingsTouch(aircraft.halfSpan, holder.halfSpan,
                             gf_distanceNm(at, gf_latLonOf(holder.simPosition)) - reach, STAND_TOUCHING_MARGIN);
    };
    const Stand* claimed = nullptr;   // the nearest held stand within 20 m of a stop
    const Stand* onStand = nullptr;   // the nearest held stand within its own radius of a stop
    const Stand* comingTo = nullptr;  // the nearest ended holder's stand the newest report comes onto
    double comingToNm = std::numeric_limits<double>::infinity();
    double claimedNm = std::numeric_limits<double>::infinity();
    double onStandNm = std::numeric_limits<double>::infinity();
    for (const Stand& stand : parkStands) {
        if (stand.occupied == 0 || (stand.heli != 0) != rotorcraft)
            continue;
        const FlatNm standAt = frame.of(stand.lat, stand.lon);
        const double margin = std::max(STAND_NARROW_RADIUS_NM, stopped ? stand.radius : 0.0);
        if (!data.within(standAt, std::max(margin, boundReachNm)))
            continue;
        const ReportOnto onto =
            reportOnGround ? lf_reportComesOnto(report, line, stand, standAt, reportReachNm) : ReportOnto{};
        if (!onto.comes && !data.within(standAt, margin))
            continue;
        const LiveAircraft* holder = gf_standHolder(stand, aircraft);
        if (holder == nullptr)
            continue;
        // A holder whose data has ended goes before the arrival's wings could touch it once the
        // arrival's track, from the segment it drives on, comes within 20 m of the stand's point,
        // stopped there or still moving on. The arrival's newest report coming onto the stand
        // claims it: the holder goes once the two come within the touching margin
        // (gf_meetClaimHolder).
        if (lf_givesWay(stand, *holder, aircraft)) {
            if (lf_trackComesNear(track, frame, stand, standAt) && wingsCouldTouch(*holder)) {
                // The holder goes (true), or, in doubt, goes once the two shown touch.
                static_cast<void>(gf_settleHeldStand(stand, aircraft));
                continue;
            }
            if (onto.comes && (onto.onPoint || onto.flatNm <= lf_boundReachNm(aircraft, holder->halfSpan)) &&
                onto.flatNm < comingToNm) {
                comingTo = &stand;
                comingToNm = onto.flatNm;
            }
        }
        if (!stopped)
            continue;
        const double distance = gf_distanceNm(stop, LatLon{stand.lat, stand.lon});
        if (distance <= STAND_NARROW_RADIUS_NM && distance < claimedNm) {
            claimed = &stand;
            claimedNm = distance;
        }
        if (distance <= stand.radius && distance < onStandNm) {
            onStand = &stand;
            onStandNm = distance;
        }
    }
    if (comingTo != nullptr)
        aircraft.claimedStand = comingTo->number;
    else if (aircraft.claimedStand != 0 && !lf_claimHolds(aircraft, frame, reportOnGround))
        aircraft.claimedStand = 0;
    if (!gf_meetClaimHolder(aircraft))
        return false;
    const Stand* stand = claimed != nullptr ? claimed : onStand;
    const LiveAircraft* holder = stand != nullptr ? gf_standHolder(*stand, aircraft) : nullptr;
    if (holder == nullptr)
        return true;
    // A stop within 20 m is a claim: a holder whose data has ended goes now, and one that still
    // reports settles with the arrival before their wings could touch. A stop farther out, in
    // front of the stand on the apron lane, may be a pause on the arrival's way (waiting for a
    // push-back), which the data known so far cannot tell from its end: it claims nothing from a
    // holder that still reports, and the arrival holds there as any taxiing aircraft does (the
    // track end settles with the holder should its data end there); a holder whose data has ended
    // goes before their wings could touch.
    const bool holderEnded = gf_holderDataEnded(*holder);
    if (claimed == nullptr && !holderEnded)
        return true;
    if (!(holderEnded && claimed != nullptr) && !wingsCouldTouch(*holder))
        return true;
    return gf_settleHeldStand(*stand, aircraft);
}

