#pragma once
// Stage for the ground tests: plays the per-tick position stream for aircraft on the ground. Each
// tick an active aircraft moves towards its next point (along its curve while one runs) and turns
// towards its course; a reached point starts the next segment (ground step, then planner); a used-up
// track goes to the track-end step, and the aircraft is removed when that gives up.
#include <algorithm>
#include <cmath>
#include <functional>

#include "engine/ground_movement.hpp"
#include "engine/track_end.hpp"
#include "tests/engine/stand_test_support.hpp"

namespace corv_test {

class GroundTest : public StandTest {
protected:
    void SetUp() override
    {
        StandTest::SetUp();
        gf_setUtcNowForTest([]() -> UtcSeconds { return 1'700'000'000; });  // Tuesday, half-hour 44
    }
    void TearDown() override
    {
        gf_resetClockForTest();
        StandTest::TearDown();
    }

    // Engine lists emptied between the cases of one test; the stands and the types stay.
    static void freshEngine()
    {
        std::vector<Stand> stands;
        stands.swap(parkStands);  // the same records: references to them stay valid
        resetAll();
        parkStands.swap(stands);
        knowTypes();
        halfWingspans = {{"A320", 17.9 / METRES_PER_NM}, {"B744", 32.2 / METRES_PER_NM}};
    }

    static TrackPoint pointAt(LatLon at, double groundSpeed, Tick tick, double trackDeg = 0.0)
    {
        TrackPoint point;
        point.lat = at.lat;
        point.lon = at.lon;
        point.groundSpeed = groundSpeed;
        point.speed = groundSpeed;
        point.track = trackDeg;
        point.playTick = tick;
        return point;
    }

    // An active A320 (or the type given) on the ground at the point, in taxi.
    static LiveAircraft& onGround(std::uint32_t hexid, const std::string& callsign, LatLon at, double headingDeg,
                                  const std::string& type = "A320")
    {
        FlightIdentity identity = flight(callsign, type);
        identity.registration = "PH-" + callsign.substr(3);
        AircraftInstance made = gf_makeAircraftInstance(identity);
        made.hexid = hexid;
        made.pushSpeed = made.category == AircraftCategory::Heavy ? 3.0 : 4.0;
        made.currentTurnRate = made.turnRate;
        LiveAircraft& aircraft =
            liveAircraft.emplace_back(pointAt(at, 0.0, tickCounter.load(), headingDeg), made, 0.0);
        aircraft.state = SimState::active;
        aircraft.objectId = hexid - 0x400000;
        aircraft.onGround = true;
        aircraft.setPhase(FlightPhase::taxi);
        aircraft.simPosition.lat = at.lat;
        aircraft.simPosition.lon = at.lon;
        aircraft.simPosition.heading = headingDeg * DEG_TO_RAD;
        return aircraft;
    }

    // A segment start as the position stream makes it: course to a moving next point, the ground
    // step, and the planner unless the aircraft is to stand.
    static void startSegment(LiveAircraft& aircraft)
    {
        auto& track = aircraft.track;
        aircraft.curve.controlEastM = NAN;
        if (!track[1].stationary)
            aircraft.courseToNext = gf_bearingRad(LatLon{track[0].lat, track[0].lon}, LatLon{track[1].lat, track[1].lon});
        aircraft.onGround = !track.front().airborne;
        nextPosGround(aircraft);
        if (track.size() >= 2 && !track[1].stationary)
            lf_planGroundSegment(aircraft);
    }

    static void turnTowards(LiveAircraft& aircraft, double target)
    {
        double& heading = aircraft.simPosition.heading;
        const double diff = std::remainder(target - heading, TWO_PI);
        if (std::fabs(diff) > 0.5 * DEG_TO_RAD)
            heading = std::fmod(heading + std::clamp(diff, -aircraft.currentTurnRate, aircraft.currentTurnRate) + TWO_PI,
                                TWO_PI);
    }

    static void moveOneTick(LiveAircraft& aircraft)
    {
        const Tick now = tickCounter.load();
        if (aircraft.state != SimState::active)
            return;
        auto& track = aircraft.track;
        if (track.size() < 2) {
            if (!lf_trackEndStep(aircraft))
                lf_endTrack(aircraft);
            else if (track.size() >= 2)
                startSegment(aircraft);
            return;
        }
        const TrackPoint& next = track[1];
        SimPosition& at = aircraft.simPosition;
        LatLon onCurve;
        double curveHeading = 0.0;
        if (gf_curveRunning(aircraft) &&
            gf_pointOnPathSegment(aircraft.curve, onCurve, curveHeading,
                                  std::min(1.0, aircraft.curveIndex += aircraft.curveStep))) {
            at.lat = onCurve.lat;
            at.lon = onCurve.lon;
            turnTowards(aircraft, aircraft.phase == FlightPhase::pushing_back ? curveHeading + M_PI : curveHeading);
        } else {
            const double left = static_cast<double>(std::max<Tick>(1, next.playTick - now));
            at.lat += (next.lat - at.lat) / left;
            at.lon += (next.lon - at.lon) / left;
            if (aircraft.phase == FlightPhase::parking || aircraft.turnToCourse)
                turnTowards(aircraft, aircraft.courseToNext);
        }
        if (now < next.playTick)
            return;
        at.lat = next.lat;
        at.lon = next.lon;
        track.pop_front();
        aircraft.curve.controlEastM = NAN;
        if (track.size() >= 2)
            startSegment(aircraft);
    }

    // Runs ticks for every live aircraft; stops early when until says so.
    static void runTicks(Tick ticks, const std::function<bool()>& until = {})
    {
        for (Tick i = 0; i < ticks; ++i) {
            tickCounter.fetch_add(1);
            for (LiveAircraft& aircraft : liveAircraft)
                moveOneTick(aircraft);
            if (until && until())
                return;
        }
    }

    static double metresBetween(LatLon a, const LiveAircraft& aircraft)
    {
        return gf_distanceNm(a, LatLon{aircraft.simPosition.lat, aircraft.simPosition.lon}) * METRES_PER_NM;
    }

    static std::size_t eventsSent(std::uint32_t eventId)
    {
        const SimSendQueues queues = sentToSimulator();
        return static_cast<std::size_t>(std::count_if(queues.clientEvents.begin(), queues.clientEvents.end(),
                                                      [eventId](const auto& e) { return e.eventId == eventId; }));
    }
};

// A point the given metres east of another.
inline LatLon eastOf(LatLon at, double metres)
{
    return LatLon{at.lat, at.lon + metres / METRES_PER_NM / 60.0 / std::cos(at.lat * DEG_TO_RAD)};
}

}  // namespace corv_test
