#pragma once
// Stage for the ground tests: plays the per-tick position stream for aircraft on the ground. Each
// tick an active aircraft moves towards its next point (along its curve while one runs) and turns
// towards its course; a reached point starts the next segment (ground step, then planner); a used-up
// track goes to the track-end step, and the aircraft is removed when that gives up. Whole runs go
// on the engine harness at EHAM (heldStandHarness).
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/ground_movement.hpp"
#include "engine/track_end.hpp"
#include "liveries/livery_index.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/stand_test_support.hpp"
#include "tests/engine/traffic_script.hpp"

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

    // The live aircraft shown with that hexid; nullptr when none.
    static const LiveAircraft* shownLive(std::uint32_t hexid)
    {
        const LiveAircraft* aircraft = gf_liveByHexid(hexid);
        return aircraft != nullptr && aircraft->state == SimState::active ? aircraft : nullptr;
    }
    // How far apart two live aircraft shown are, in their summed half spans; infinite unless both are.
    static double shownSpansApart(std::uint32_t one, std::uint32_t other)
    {
        const LiveAircraft* a = shownLive(one);
        const LiveAircraft* b = shownLive(other);
        if (a == nullptr || b == nullptr)
            return std::numeric_limits<double>::infinity();
        return gf_distanceNm(gf_latLonOf(a->simPosition), gf_latLonOf(b->simPosition)) / (a->halfSpan + b->halfSpan);
    }

    static inline const double START = HarnessOptions{}.startDataTime;
    // A fresh engine and its harness at EHAM: a stand at northOf(0) (H1, 40 m radius, unless told),
    // which a parked aircraft (a B744 unless told) holds from its first report on; its reports go on
    // until holderEnd. Narrow and wide bodies are known, with their spans and liveries.
    static std::unique_ptr<EngineHarness> heldStandHarness(double holderEnd, const char* stand = "H1",
                                                           double radiusM = 40.0, const char* holderType = "B744")
    {
        freshEngine();
        for (const auto& [type, spanM] : {std::pair{"A320", 35.8}, {"A319", 35.8}, {"B738", 35.8}, {"B744", 64.4},
                                          {"B77W", 64.8}, {"B789", 60.1}, {"A333", 60.3}}) {
            aircraftTypes.insert(type);
            (spanM > 50.0 ? heavyTypes : largeTypes).insert(type);
            halfWingspans[type] = spanM / 2.0 / METRES_PER_NM;
            for (const std::string airline : {"KLM", "BAW"})
                liveryIndex[airline][type].push_back(LiveryEntry{airline + " " + type, false});
        }
        lf_buildAirlineModelIndexes();
        lf_buildModelIndexes();
        HarnessOptions options;
        options.user = LatLon{52.29, 4.74};
        auto harness = std::make_unique<EngineHarness>(options);
        addStand(stand, 0.0, radiusM);
        EngineHooks hooks;
        hooks.parkAirport = [] { return ParkAirportSnapshot{"EHAM", northOf(0.0), 0.0}; };
        gf_setEngineHooks(std::move(hooks));
        FlightScript holder =
            gf_straightFlight(0x4C0744, "BAW744", holderType, northOf(0.0), 0.0, 0.0, START - 30.0, holderEnd);
        holder.flight.airline = "BAW";
        harness->addReports(gf_scriptReports(holder));
        return harness;
    }
    // The feed goes on while the scenario's own flights end, as it does with the many flights a
    // real feed carries: a flight circling far out reports throughout.
    static void feedGoesOn(EngineHarness& harness)
    {
        for (double from = START - 30.0; from < START + 2000.0; from += 700.0)
            harness.addReports(gf_circlingFlight(0x4C0900, 12.0, from, LatLon{52.29, 4.74}));
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
