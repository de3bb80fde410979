// Aircraft that move when the traffic service pauses: a taxiing aircraft whose data moves on (and
// goes on moving, or stops off any stand), an arrival in its landing roll, a departure in its
// push-back and one in its take-off run, a stopped taxiing aircraft beside another whose own
// reports come back 80 s after the rest's, and a landed arrival waiting 50 m short of its stand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <numbers>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/data_clock.hpp"
#include "engine/engine_state.hpp"
#include "engine/traffic_intake.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/ground_stage.hpp"
#include "tests/engine/traffic_script.hpp"
#include "tests/foundation/log_capture.hpp"

namespace corv_test {
namespace {

constexpr std::uint32_t TAXI_ON = 0x484601, TAXI_STOP = 0x484602, ROLL = 0x484603, PUSH = 0x484604,
                        TAKEOFF = 0x484605, STOPPED = 0x484606, LATE = 0x484607, WAITING = 0x484608,
                        TWICE = 0x484609, IN_ITS_WINGS = 0x48460a;
constexpr double PLAY_OUT_SECONDS = 31.0;  // a report plays 30 s after the poll that brings it
constexpr double GROUND_TOLERANCE_M = 150.0, AIR_TOLERANCE_M = 3000.0;
const LatLon WAIT_AT{52.261667, 4.848};  // where the waiting arrival stands, 50 m south of stand P5

// One flight of the scenario: the reports the service sends of it, and from when they come again
// after the pause.
struct Subject {
    std::uint32_t hexid = 0;
    std::vector<LiveTrafficRecord> reports;
    double resumes = 0.0;
};

// How one flight was shown from the pause's start to the end of the run.
struct Shown {
    double longestGoneSeconds = 0.0;
    double worstAfterResume = 0.0;  // from a minute after its data resumed: off its data, in tolerances
    bool goneAfterResume = false;   // not shown at some tick from a minute after its data resumed
    std::size_t objects = 0;
    bool twoAtOnce = false;
    Tick firstRemoved = -1;
};

// What a run showed of the flights, the waiting arrival and the data clock.
struct Outcome {
    std::map<std::uint32_t, Shown> shown;
    std::vector<Subject> flights;
    double waitingFarthestM = 0.0;  // from where its data waits, until its data moves on
    bool waitingParks = false;      // parked on P5 at the end
    Tick clockMovedInPause = 0;
    double stoppedNewest = 0.0;  // the data time of the stopped one's newest report at the end
    std::ptrdiff_t refusedLines = 0;  // warnings of a report refused as dated ahead
};

// Where the flight's data has it at that data time: between the two reports around it; nothing
// across a gap in the reports or past their end.
std::optional<std::pair<LatLon, bool>> lf_dataAt(const std::vector<LiveTrafficRecord>& reports, double dataTime)
{
    const auto after = std::lower_bound(reports.begin(), reports.end(), dataTime,
                                        [](const LiveTrafficRecord& r, double t) { return r.dataTime < t; });
    if (after == reports.begin() || after == reports.end() || after->dataTime - std::prev(after)->dataTime > 5.0)
        return std::nullopt;
    const LiveTrafficRecord& a = *std::prev(after);
    const double f = (dataTime - a.dataTime) / (after->dataTime - a.dataTime);
    return std::pair{LatLon{a.lat + f * (after->lat - a.lat), a.lon + f * (after->lon - a.lon)},
                     a.airborne || after->airborne};
}

// A straight line east, standing at its end from then on.
FlightScript lf_eastwards(std::uint32_t hexid, const char* callsign, LatLon lane, double fromM, double toM,
                          double start, double end, const char* type = "A320")
{
    FlightScript script = gf_straightFlight(hexid, callsign, type, eastOf(lane, fromM), 10.0, 0.0, start, end);
    script.path = {eastOf(lane, fromM), eastOf(lane, toM)};
    return script;
}

// A three-degree final to a runway north from the threshold, touchdown at the data time given, the
// roll-out, and a taxi east along the rest of the path; the reports stand at its end until stands.
std::vector<LiveTrafficRecord> lf_landing(std::uint32_t hexid, const char* callsign, LatLon threshold,
                                          std::vector<LatLon> taxi, double touchdown, double stands)
{
    const LatLon start = gf_destinationPoint(threshold, std::numbers::pi, 5.8 * FEET_PER_NM);
    const LatLon rollEnd = gf_destinationPoint(threshold, 0.0, 0.70 * FEET_PER_NM);
    FlightScript script = gf_straightFlight(hexid, callsign, "A320", start, 150.0, 1850.0, 0.0, 3000.0);
    script.path = {start, threshold, rollEnd, gf_destinationPoint(rollEnd, std::numbers::pi / 2.0, 0.08 * FEET_PER_NM)};
    script.path.insert(script.path.end(), taxi.begin(), taxi.end());
    script.profile = {{0.0, 150.0, 1850.0}, {5.75, 140.0, 15.0}, {5.8, 135.0, 0.0}, {6.5, 25.0, 0.0}, {6.58, 15.0, 0.0}};
    std::vector<LiveTrafficRecord> reports = gf_scriptReports(script);
    const double shift =
        touchdown - std::find_if(reports.begin(), reports.end(), [](const auto& r) { return !r.airborne; })->dataTime;
    for (LiveTrafficRecord& report : reports)
        report.dataTime += shift;
    std::erase_if(reports, [stands](const LiveTrafficRecord& r) { return r.dataTime > stands; });
    return reports;
}

class PauseScenario : public GroundTest {
protected:
    static inline const double START = HarnessOptions{}.startDataTime;
    static Tick tickAt(double dataTime) { return static_cast<Tick>(std::llround((dataTime - START) * TICKS_PER_SECOND)); }

    // The flights, with the pause from the data time from (0 seconds: none) cut out of their
    // reports; the stopped pair's second resumes 80 s after the rest. Without a pause, the taxiing
    // one's own data stops for 90 s instead while the rest flows, and the late one's data ends.
    static std::vector<Subject> subjects(double from, double seconds, double end, bool departureLeaves)
    {
        const double to = from + seconds;
        std::vector<Subject> made;
        const auto add = [&](std::uint32_t hexid, std::vector<LiveTrafficRecord> reports, double resumes) {
            std::erase_if(reports, [&](const LiveTrafficRecord& r) {
                return r.dataTime < START - 30.0 || r.dataTime > end || (r.dataTime >= from && r.dataTime < resumes);
            });
            made.push_back(Subject{hexid, std::move(reports), resumes});
        };
        const double start = START - 30.0;
        add(TAXI_ON, gf_scriptReports(lf_eastwards(TAXI_ON, "KLM601", northOf(-1500.0), -4000.0, 4000.0, start, end)),
            seconds > 0.0 ? to : from + 90.0);
        // Its data stops 60 s into the pause, 300 m on, off any stand.
        const double stopM = -2000.0 + 10.0 * 0.514444 * (from + 60.0 - start);
        add(TAXI_STOP, gf_scriptReports(lf_eastwards(TAXI_STOP, "KLM602", northOf(-2000.0), -2000.0, stopM, start, end)), to);
        add(ROLL, lf_landing(ROLL, "KLM603", LatLon{52.27, 4.80}, {LatLon{52.28, 4.90}}, from - 10.0, end), to);
        std::vector<Waypoint> push = climbingOut();
        push.insert(push.begin(), Waypoint{-90.0, DEMO_STAND_E8, 0.0, 0.0});
        const auto flight = [](const char* callsign) { return gf_straightFlight(0, callsign, "B744", {}, 0, 0, 0, 0).flight; };
        add(PUSH, gf_waypointReports(flight("KLM604"), PUSH, push, from - 60.0), to);
        add(TAKEOFF, gf_waypointReports(flight("KLM605"), TAKEOFF, climbingOut(), from - 440.0),
            departureLeaves ? end + 1.0 : to);
        const LatLon lane = northOf(-2500.0);
        add(STOPPED, gf_scriptReports(lf_eastwards(STOPPED, "KLM606", lane, 400.0, 0.0, start, end)), to);
        // A B744 beside the A320, within 1.2 times their summed half spans, and an A320 in its wings.
        add(LATE, gf_scriptReports(lf_eastwards(LATE, "KLM607", lane, 600.0, 55.0, start, end, "B744")),
            seconds > 0.0 ? to + 80.0 : end + 1.0);
        add(IN_ITS_WINGS, gf_scriptReports(lf_eastwards(IN_ITS_WINGS, "KLM610", lane, -600.0, -25.0, start, end)),
            seconds > 0.0 ? to + 80.0 : end + 1.0);
        // Landed well before the pause, it waits 50 m short of P5 until a minute after it, then
        // creeps onto the stand.
        std::vector<LiveTrafficRecord> waiting =
            lf_landing(WAITING, "KLM608", LatLon{52.25, 4.84}, {WAIT_AT}, from - 110.0, to + 60.0);
        FlightScript onto = gf_straightFlight(WAITING, "KLM608", "A320", WAIT_AT, 3.0, 0.0, to + 62.0, end);
        onto.path = {WAIT_AT, LatLon{WAIT_AT.lat + 50.0 / METRES_PER_NM / 60.0, WAIT_AT.lon}};
        const std::vector<LiveTrafficRecord> creeping = gf_scriptReports(onto);
        waiting.insert(waiting.end(), creeping.begin(), creeping.end());
        add(WAITING, std::move(waiting), to);
        return made;
    }

    // The demo departure, climbing on north, east and south after its last waypoint.
    static std::vector<Waypoint> climbingOut()
    {
        std::vector<Waypoint> route = DEPARTURE;
        double heading = 0.0;
        for (int leg = 0; leg < 3; ++leg, heading += std::numbers::pi / 2.0) {
            const Waypoint last = route.back();
            route.push_back(Waypoint{last.t + 200.0, gf_destinationPoint(last.at, heading, 250.0 * 200.0 / 3600.0 * FEET_PER_NM),
                                     last.altitudeFt + 1000.0, 250.0});
        }
        return route;
    }

    // How far the shown aircraft is from its data as played out: the nearest of its data within the
    // aircraft's early and late play-out limits, in the ground or air tolerance; none without data.
    static std::optional<double> offItsData(const Subject& subject, const LiveAircraft& aircraft, double playing)
    {
        std::optional<double> nearest;
        for (double shift = -aircraft.lateLimit / 100.0; shift <= aircraft.earlyLimit / 100.0; shift += 0.5)
            if (const auto data = lf_dataAt(subject.reports, playing + shift)) {
                const double metres = gf_distanceNm(data->first, gf_latLonOf(aircraft.simPosition)) * METRES_PER_NM;
                nearest = std::min(nearest.value_or(1e9), metres / (data->second ? AIR_TOLERANCE_M : GROUND_TOLERANCE_M));
            }
        return nearest;
    }

    // Plays the scenario. The service sends nothing new from the data time from for the pause's
    // seconds, or, repeated, its last reports of each flight again every two seconds; in the pause
    // it lists a flight without an aircraft twice, its newer report first. Without a pause one poll
    // carries a report dated three hours ahead.
    static Outcome play(double from, double seconds, bool repeated, double end, bool departureLeaves)
    {
        const LogCapture log;
        const auto stage = heldStandHarness(START - 40.0);  // H1 stays free
        EngineHarness& harness = *stage;
        Stand& e8 = parkStands.emplace_back(std::vector<StandOption>{}, "E8",
                                            Stand::Place{DEMO_STAND_E8.lat, DEMO_STAND_E8.lon, 0.0}, 40.0, false, false, false);
        e8.number = static_cast<std::uint32_t>(parkStands.size());
        e8.heading = 178.0 * DEG_TO_RAD;
        Stand& p5 = parkStands.emplace_back(std::vector<StandOption>{}, "P5",
                                            Stand::Place{WAIT_AT.lat + 50.0 / METRES_PER_NM / 60.0, WAIT_AT.lon, 0.0},
                                            30.0, false, false, false);
        p5.number = static_cast<std::uint32_t>(parkStands.size());
        Outcome run;
        run.flights = subjects(from, seconds, end, departureLeaves);
        std::vector<LiveTrafficRecord> all, lastBefore;
        for (const Subject& subject : run.flights) {
            all.insert(all.end(), subject.reports.begin(), subject.reports.end());
            const auto last = std::find_if(subject.reports.rbegin(), subject.reports.rend(),
                                           [from](const LiveTrafficRecord& r) { return r.dataTime < from; });
            if (last != subject.reports.rend())
                lastBefore.push_back(*last);
        }
        harness.addReports(gf_mergeReports({all}));
        const double to = from + seconds;
        std::map<std::uint32_t, Tick> goneSince;
        Tick clockInPause = -1;
        while (harness.tick() < tickAt(end)) {
            harness.run(1);
            const Tick now = harness.tick();
            if (repeated && now >= tickAt(from) && now < tickAt(to) && (now - tickAt(from)) % 200 == 100) {
                std::vector<LiveTrafficRecord> batch = lastBefore;
                lf_scheduleReceived(batch, TrafficBatchKind::live, 30);
            }
            if (seconds > 0.0 && now == tickAt(from + 40.0)) {
                LiveTrafficRecord twice = lastBefore.front();
                twice.hexId = TWICE;
                twice.flight.callsign = "KLM609";
                twice.lat += 0.05;
                std::vector<LiveTrafficRecord> batch{twice, twice};
                batch.back().dataTime -= 4.0;
                lf_scheduleReceived(batch, TrafficBatchKind::live, 30);
            }
            if (seconds == 0.0 && now == tickAt(from - 50.0)) {
                std::vector<LiveTrafficRecord> batch;
                for (const Subject& subject : run.flights)
                    batch.push_back(*std::prev(std::lower_bound(
                        subject.reports.begin(), subject.reports.end(), from - 50.0,
                        [](const LiveTrafficRecord& r, double t) { return r.dataTime < t; })));
                batch.back() = batch[5];  // STOPPED's
                batch.back().dataTime = from + 3.0 * 3600.0;
                lf_scheduleReceived(batch, TrafficBatchKind::live, 30);
            }
            if (now == tickAt(from + 10.0))
                clockInPause = gf_dataClockNow();
            if (seconds > 0.0 && now == tickAt(to))
                run.clockMovedInPause = gf_dataClockNow() - clockInPause;
            if (const LiveAircraft* waiting = gf_liveByHexid(WAITING);
                waiting != nullptr && waiting->state == SimState::active && now > tickAt(from + 40.0) && now < tickAt(to + 90.0))
                run.waitingFarthestM = std::max(run.waitingFarthestM, gf_distanceNm(WAIT_AT, gf_latLonOf(waiting->simPosition)) * METRES_PER_NM);
            if (now < tickAt(from))
                continue;
            const double playing = START + static_cast<double>(now) / TICKS_PER_SECOND - PLAY_OUT_SECONDS;
            for (const Subject& subject : run.flights) {
                Shown& seen = run.shown[subject.hexid];
                const LiveAircraft* aircraft = gf_liveByHexid(subject.hexid);
                const bool visible = aircraft != nullptr && aircraft->state == SimState::active;
                const Tick since = goneSince.try_emplace(subject.hexid, now).first->second;
                if (visible)
                    goneSince.erase(subject.hexid);
                seen.longestGoneSeconds = std::max(seen.longestGoneSeconds, static_cast<double>(now - since) / TICKS_PER_SECOND);
                if (now < tickAt(subject.resumes + 60.0) || !lf_dataAt(subject.reports, playing))
                    continue;
                seen.goneAfterResume = seen.goneAfterResume || !visible;
                if (visible)
                    seen.worstAfterResume = std::max(seen.worstAfterResume, offItsData(subject, *aircraft, playing).value_or(0.0));
            }
        }
        run.stoppedNewest = gf_liveByHexid(STOPPED) != nullptr ? gf_liveByHexid(STOPPED)->newest.dataTime : 0.0;
        const LiveAircraft* waiting = gf_liveByHexid(WAITING);
        run.waitingParks = waiting != nullptr && waiting->phase == FlightPhase::parked && waiting->standNumber == p5.number;
        for (const Subject& subject : run.flights) {
            Shown& seen = run.shown[subject.hexid];
            std::vector<std::pair<Tick, Tick>> lives;
            for (const auto& [objectId, object] : harness.objects())
                if (object.hexid == subject.hexid)
                    lives.emplace_back(object.createdTick, object.removedTick < 0 ? harness.tick() : object.removedTick);
            std::sort(lives.begin(), lives.end());
            seen.objects = lives.size();
            seen.firstRemoved = lives.empty() || lives.front().second == harness.tick() ? -1 : lives.front().second;
            for (std::size_t i = 1; i < lives.size(); ++i)
                seen.twoAtOnce = seen.twoAtOnce || lives[i].first < lives[i - 1].second;
        }
        const std::vector<std::string> lines = log.lines();
        run.refusedLines = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("ahead of its batch refused") != std::string::npos;
        });
        return run;
    }
};

// After a pause of 90 or 300 s, nothing new or the same reports again, every flight is shown
// within 60 s of its data resuming, within 150 m of its data on the ground and 3 km in the air (its
// data as played out, within the aircraft's early and late limits), and none is gone for more than
// 60 s from the pause's start to the end of the run. Each is one object: the taxiing ones and the
// push-back go on from where they held (put where their data is when it lies farther than 250 m),
// the landing roll holds at the end of its roll-out; the take-off run stops and holds, and, its
// data airborne, is made anew in the air (or, its data never coming back, goes once it has ended); the late one goes beside the other once its data has
// ended on the clock (a minute of flowing data, not 15 s), and is shown again standing where its
// data stands. The waiting arrival is not driven onto its stand while its data waits 50 m short,
// and parks once its data gets there. A poll answer that lists a flight twice, newer first, moves
// no clock in the pause. Left alone, without a pause: every phase goes on as today; a holding
// aircraft whose own data stopped while the rest flowed and turns up more than 250 m away is
// removed (and made anew), and one whose data ended beside another taxiing aircraft goes within a
// minute of its last report. A report dated hours ahead is refused with a warning, and its flight's
// later reports are taken.
TEST_F(PauseScenario, AfterAPauseEveryMovingAircraftGoesOnWhereItsDataIs)
{
    struct Pause {
        double seconds;
        bool repeated;
        bool departureLeaves = false;  // the take-off run's data never comes back: it left the range
    };
    for (const Pause& pause : {Pause{0.0, false}, Pause{90.0, false}, Pause{90.0, true}, Pause{90.0, true, true}, Pause{300.0, false}, Pause{300.0, true}}) {
        SCOPED_TRACE(vald::format("{} s of {}", pause.seconds, pause.repeated ? "the same reports" : "nothing new"));
        const double from = START + 120.3, end = from + std::max(pause.seconds, 90.0) + 260.0;
        const Outcome run = play(from, pause.seconds, pause.repeated, end, pause.departureLeaves);
        const bool paused = pause.seconds > 0.0;
        for (const Subject& subject : run.flights) {
            const Shown& seen = run.shown.at(subject.hexid);
            SCOPED_TRACE(vald::format("{:x}", subject.hexid));
            const bool madeAnew = paused ? (subject.hexid == TAKEOFF && !pause.departureLeaves) || subject.hexid == LATE ||
                                               subject.hexid == IN_ITS_WINGS
                                         : subject.hexid == TAXI_ON;
            EXPECT_EQ(seen.objects, madeAnew ? 2u : 1u);
            EXPECT_FALSE(seen.twoAtOnce);
            if (pause.departureLeaves && subject.hexid == TAKEOFF) {
                EXPECT_GT(seen.firstRemoved, tickAt(from + pause.seconds + 55.0)) << "once its data has ended";
                EXPECT_LE(seen.firstRemoved, tickAt(from + pause.seconds + 70.0));
                continue;
            }
            if (!paused && (subject.hexid == LATE || subject.hexid == IN_ITS_WINGS)) {
                EXPECT_GT(seen.firstRemoved, tickAt(from));
                EXPECT_LE(seen.firstRemoved, tickAt(from + 60.0)) << "within a minute of its last report";
                continue;
            }
            EXPECT_LE(seen.longestGoneSeconds, 60.0);
            EXPECT_FALSE(seen.goneAfterResume);
            EXPECT_LE(seen.worstAfterResume, 1.0);
        }
        EXPECT_LT(run.waitingFarthestM, 20.0) << "it waits where its data waits";
        EXPECT_TRUE(run.waitingParks);
        EXPECT_EQ(run.clockMovedInPause, 0);
        EXPECT_GT(run.stoppedNewest, end - 5.0) << "its later reports taken";
        EXPECT_LT(run.stoppedNewest, end + 1.0);
        EXPECT_EQ(run.refusedLines, paused ? 0 : 1);
    }
}

}  // namespace
}  // namespace corv_test
