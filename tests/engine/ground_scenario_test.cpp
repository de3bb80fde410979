// Whole ground runs: an aircraft after its landing roll taxis round a corner to its stand and
// parks there; arrivals meet the holders of their stands; a parked aircraft pushes back and taxis
// out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/engine_hooks.hpp"
#include "engine/motion_math.hpp"
#include "engine/position_stream.hpp"
#include "engine/removal.hpp"
#include "engine/respawn_check.hpp"
#include "engine/stand_claims.hpp"
#include "engine/stand_marks.hpp"
#include "engine/stand_learning.hpp"
#include "engine/traffic_intake.hpp"
#include "foundation/parameters.hpp"
#include "foundation/format.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/ground_stage.hpp"
#include "tests/engine/traffic_script.hpp"
#include "tests/foundation/log_capture.hpp"

namespace corv_test {
namespace {

struct HeldPair {
    const char* stand;
    double radiusM;
    const char* arrivalType;
    const char* holderType;
};
const HeldPair HELD_PAIRS[] = {
    {"C2", 22, "A320", "A320"}, {"E5", 24, "B738", "A319"}, {"B3", 26, "A319", "B738"}, {"C9", 28, "A320", "B738"},
    {"D7", 30, "B738", "A320"}, {"H1", 32, "A320", "A320"}, {"D10", 34, "A320", "A319"}, {"F7", 42, "B77W", "B77W"},
    {"G2", 38, "B789", "A333"}, {"M1", 36, "B789", "A319"}, {"F3", 40, "B789", "A320"}, {"K4", 42, "A333", "B744"}};

// Onto the stand, its lead-in asideM beside the point, its data ending endShortM short (0: standing
// on the point for a minute); or along the lane laneM in front of it, or head-on at it up to that
// lane and then along the lane.
enum class Route { leadIn, lane, headOnThenLane };
struct Arrival {
    double reportSeconds = 2.0, crawlKt = 1.0, slowM = 20.0, endShortM = 0.0, asideM = 0.0;
    bool holderEnded = true;
    Route route = Route::leadIn;
    double laneM = 0.0, kt = 12.0;
};

// Seconds the two shown are inside their summed half spans, the longest spell within the touching
// margin of them, and the longest the arrival is shown standing still; what is there at the end.
struct HeldOutcome {
    double insideSeconds = 0.0, longestNear = 0.0, longestStill = 0.0;
    bool holderStays = false, parkedThere = false, arrivalShown = false;
};

class GroundScenario : public GroundTest {
protected:
    // Rolled out east of the taxiway, then west to the corner, north towards stand E7, stop short.
    static LiveAircraft& arrivalAtTheCorner()
    {
        const LatLon start = eastOf(northOf(50.0), 150.0);
        LiveAircraft& aircraft = onGround(0x484001, "KLM1234", start, 270.0);
        aircraft.touchedDown = true;
        auto& track = aircraft.track;
        track.front() = pointAt(start, 12.0, 0, 270.0);
        track.push_back(pointAt(northOf(50.0), 12.0, 2500, 270.0));
        track.push_back(pointAt(northOf(188.0), 4.0, 8000, 0.0));
        TrackPoint stop = pointAt(northOf(188.0), 0.0, 8300, 0.0);
        stop.stationary = true;
        track.push_back(stop);
        return aircraft;
    }

    // The reports of an arrival onto the stand point end: along the apron lane laneM in front of it
    // at 12 kt, turning in at 6 kt, crawling the last metres, and stopping on the point or ending its
    // data short of it (or passing along the lane, or head-on at it up to the lane and along it).
    static std::vector<LiveTrafficRecord> arrivalReports(std::uint32_t hexid, const char* type, LatLon end,
                                                         double laneM, const Arrival& arrival, double start)
    {
        const LatLon turn = LatLon{end.lat - laneM / METRES_PER_NM / 60.0, end.lon};
        FlightScript script = gf_straightFlight(hexid, vald::format("KLM{:x}", hexid & 0xFFF), type,
                                                northOf(-laneM - 150.0), arrival.kt, 0.0, start, START + 2000.0);
        script.reportIntervalSeconds = arrival.reportSeconds;
        script.path = {arrival.route == Route::headOnThenLane ? script.path[0] : eastOf(turn, -400.0), turn,
                       arrival.route == Route::leadIn ? end : eastOf(turn, 400.0)};
        const double length = (400.0 + laneM) / METRES_PER_NM, slow = arrival.slowM / METRES_PER_NM;
        if (arrival.route == Route::leadIn)
            script.profile = {{0.0, 12.0, 0.0}, {0.194, 12.0, 0.0}, {0.213, 6.0, 0.0}, {length - slow, 6.0, 0.0},
                              {length - slow + 0.0027, arrival.crawlKt, 0.0}, {length - 0.0003, arrival.crawlKt, 0.0},
                              {length, 0.0, 0.0}};
        std::vector<LiveTrafficRecord> reports;
        double stoppedAt = 0.0;
        for (const LiveTrafficRecord& report : gf_scriptReports(script)) {
            reports.push_back(report);
            const bool onLeadIn = arrival.route == Route::leadIn && report.lat > turn.lat + 1e-7;
            stoppedAt = report.groundSpeedKt > 0.0 ? 0.0 : stoppedAt > 0.0 ? stoppedAt : report.dataTime;
            if ((onLeadIn && gf_distanceNm(LatLon{report.lat, report.lon}, end) * METRES_PER_NM <= arrival.endShortM) ||
                (stoppedAt > 0.0 && report.dataTime - stoppedAt >= 60.0))
                break;
        }
        return reports;
    }

    // An arrival onto the held stand of a pair, as the service reports it: along the apron lane at
    // 12 kt, turning in at 6 kt, crawling the last 20-40 m at 1-3 kt, and stopping on the stand's
    // point or ending its data short of it, shown about 30 s behind its data and its track left
    // behind that by thinning and point acceptance; the stand has a free neighbour either side.
    static HeldOutcome heldStandRun(const HeldPair& pair, const Arrival& arrival)
    {
        const auto stage =
            heldStandHarness(START + (arrival.holderEnded ? 10.0 : 900.0), pair.stand, pair.radiusM, pair.holderType);
        EngineHarness& harness = *stage;
        feedGoesOn(harness);
        const LatLon point = northOf(0.0);
        for (const double side : {-1.0, 1.0})
            addStand("N", 0.0, pair.radiusM).lon = eastOf(point, side * (2.0 * pair.radiusM + 5.0)).lon;
        const LatLon end = eastOf(point, arrival.asideM);
        const double laneM = arrival.route == Route::leadIn ? pair.radiusM + 25.0 : arrival.laneM;
        const std::vector<LiveTrafficRecord> reports =
            arrivalReports(0x484320, pair.arrivalType, end, laneM, arrival, START + 60.0);
        harness.addReports(reports);

        HeldOutcome outcome;
        double near = 0.0, still = 0.0;
        LatLon shownBefore{};
        const auto shown = &shownLive;
        for (Tick i = 0; i < 45000; ++i) {
            harness.run(1);
            const LiveAircraft* parked = shown(0x4C0744);
            const LiveAircraft* comer = shown(0x484320);
            if (comer == nullptr)
                continue;
            const LatLon at = gf_latLonOf(comer->simPosition);
            still = gf_distanceNm(at, shownBefore) < 1e-6 ? still + 0.01 : 0.0;
            shownBefore = at;
            const double spans = parked == nullptr ? 1e9
                                                   : gf_distanceNm(gf_latLonOf(parked->simPosition), at) /
                                                         (parked->halfSpan + comer->halfSpan);
            outcome.insideSeconds += spans < 1.0 ? 0.01 : 0.0;
            near = spans < STAND_TOUCHING_MARGIN ? near + 0.01 : 0.0;
            outcome.longestNear = std::max(outcome.longestNear, near);
            outcome.longestStill = std::max(outcome.longestStill, still);
        }
        const LiveAircraft* parked = shown(0x4C0744);
        const LiveAircraft* comer = shown(0x484320);
        outcome.holderStays = parked != nullptr && gf_holdsStand(*parked);
        outcome.arrivalShown = comer != nullptr;
        outcome.parkedThere = comer != nullptr && comer->phase == FlightPhase::parked && comer->standNumber == 1;
        return outcome;
    }
};

TEST_F(GroundScenario, ArrivalTaxisRoundTheCornerParksOnItsStandAndIsLearned)
{
    Stand& stand = addStand("E7", 200.0, 30.0);
    stand.heading = 30.0 * DEG_TO_RAD;
    addStand("E8", 600.0, 30.0);
    LiveAircraft& aircraft = arrivalAtTheCorner();
    auto& track = aircraft.track;
    startSegment(aircraft);
    EXPECT_EQ(track.size(), 5U) << "the long leg into the corner is split first";

    bool curved = false;
    runTicks(20000, [&] {
        curved = curved || gf_curveRunning(aircraft);
        return aircraft.phase == FlightPhase::parked;
    });

    ASSERT_EQ(aircraft.phase, FlightPhase::parked);
    EXPECT_TRUE(curved) << "the corner is driven as a curve";
    EXPECT_EQ(aircraft.standNumber, stand.number);
    EXPECT_LT(metresBetween(LatLon{stand.lat, stand.lon}, aircraft), 2.0);
    EXPECT_NEAR(aircraft.simPosition.heading * RAD_TO_DEG, 30.0, 1.0);
    EXPECT_EQ(stand.occupied, 1);
    EXPECT_EQ(eventsSent(ENGINE_AUTO_SHUTDOWN), 1U);
    ASSERT_EQ(stand.options.size(), 1U) << "the stand use is learned";
    EXPECT_EQ(stand.options[0].registration, "PH-1234");
    EXPECT_EQ(stand.options[0].halfHours, 1ULL << 44);
    EXPECT_EQ(stand.options[0].day, 2U);

    // It stays on its stand while no new data comes.
    runTicks(30000);
    EXPECT_EQ(aircraft.phase, FlightPhase::parked);
    EXPECT_EQ(aircraft.state, SimState::active);
    EXPECT_EQ(stand.occupied, 1) << "the waiting point of a parked aircraft does not free its stand";
}

// Heading for a held stand, the arrival, or a holder whose data has ended, goes before their wings
// touch. A stop 30 m out, in front of a heavy stand it may only pass, claims nothing from a holder
// that still reports; a holder whose data has ended goes there too, before the wings touch, but
// not for a stop 50 m out on a wide stand, where their wings cannot touch.
TEST_F(GroundScenario, AnArrivalMeetsTheHolderOfItsStandBeforeTheirWingsTouch)
{
    const std::uint32_t near = addStand("E7", 200.0, 30.0).number;  // the stop 12 m from its point
    const std::uint32_t heavy = addStand("F1", 218.0, 40.0).number;  // 30 m
    const std::uint32_t wide = addStand("W1", 238.0, 60.0).number;   // 50 m
    for (const auto& [standNumber, holderReported] : std::initializer_list<std::pair<std::uint32_t, double>>{
             {near, -61.0}, {near, 0.0}, {heavy, -61.0}, {heavy, 0.0}, {wide, -61.0}}) {
        freshEngine();
        const Stand& stand = *gf_standByNumber(standNumber);
        LiveAircraft& holder = onGround(0x484007, "EZY7", LatLon{stand.lat, stand.lon}, 0.0);
        holder.setPhase(FlightPhase::parked);
        holder.standNumber = stand.number;
        holder.newest.clockTick = static_cast<Tick>(holderReported) * TICKS_PER_SECOND;
        lf_occupyStand(stand.number);
        LiveAircraft& aircraft = arrivalAtTheCorner();
        TrackPoint stop = aircraft.track.back();
        aircraft.track.pop_back();
        decodeExisting(aircraft, stop);
        const LatLon standAt{stand.lat, stand.lon};
        const bool holderStays = holderReported == 0.0 || standNumber == wide;
        EXPECT_EQ(holder.state == SimState::active, holderStays || standNumber == heavy) << stand.id << ": stop known";
        runTicks(20000, [&] {
            return aircraft.state != SimState::active || metresBetween(standAt, aircraft) < 36 ||
                   metresBetween(northOf(188.0), aircraft) < 1;
        });
        EXPECT_EQ(holder.state == SimState::active, holderStays) << stand.id << ": before the wings touch";
        EXPECT_EQ(aircraft.state == SimState::active, holderReported < 0.0 || standNumber != near) << stand.id;
    }
}

// In the harness, as the service reports it: an arrival taxis along the apron lane in front of a
// heavy stand (40 m) that a B744 holds and still reports from, and its data stops there for a
// minute, waiting for a push-back. A pause 35 m from the stand's point claims nothing, as one 45 m
// out never did: it goes on to its own stand, made once. Its data ending 5 m from the stand's
// point is its claim: it goes, and the B744 stays.
TEST_F(GroundScenario, AnArrivalPausingInFrontOfAHeldStandGoesOnAndOneEndingOnItGoes)
{
    for (const double metresOut : {35.0, 45.0, 5.0}) {
        const auto stage = heldStandHarness(START + 400.0);
        EngineHarness& harness = *stage;
        const double start = START;
        const LatLon pause = northOf(-metresOut);
        const LatLon own = eastOf(northOf(-metresOut - 40.0), 400.0);
        addStand("H2", -metresOut - 40.0, 30.0).lon = own.lon;
        // 300 m at 12 kt to the stop, where it stands until the data goes on or ends.
        FlightScript toPause = gf_straightFlight(0x484320, "KLM320", "A320", eastOf(pause, -300.0), 12.0, 0.0,
                                                 start + 60.0, metresOut < 20.0 ? start + 400.0 : start + 170.0);
        toPause.path = {eastOf(pause, -300.0), pause};
        FlightScript onwards = toPause;
        onwards.path = {pause, eastOf(pause, 400.0), own};
        onwards.startDataTime = start + 172.0;
        onwards.endDataTime = metresOut < 20.0 ? 0.0 : start + 400.0;
        harness.addReports(gf_mergeReports({gf_scriptReports(toPause), gf_scriptReports(onwards)}));
        harness.run(40000);

        const auto made = std::count_if(harness.sent().begin(), harness.sent().end(), [](const SentRecord& sent) {
            return sent.hexid == 0x484320 && sent.kind == SentRecord::creation;
        });
        EXPECT_EQ(made, 1) << metresOut << " m out";
        ASSERT_NE(harness.objectOf(0x484320), nullptr);
        EXPECT_EQ(harness.objectOf(0x484320)->removedTick >= 0, metresOut < 20.0) << metresOut << " m out";
        const LiveAircraft* arrival = gf_liveByHexid(0x484320);
        EXPECT_EQ(arrival != nullptr && arrival->phase == FlightPhase::parked && arrival->standNumber == 2,
                  metresOut > 20.0)
            << metresOut << " m out: parked on its own stand";
        const LiveAircraft* b744 = gf_liveByHexid(0x4C0744);
        ASSERT_NE(b744, nullptr);
        EXPECT_TRUE(b744->state == SimState::active && gf_holdsStand(*b744)) << "the holder stays";
    }
}

// An arrival's data creeps at 4 kt from the apron lane 55 m in front of H1 onto the stand and ends
// there still moving, 7 m from its point; or it comes straight in at 5 kt and slows to a stop 5 m
// from the point, where its data ends before the next report that thinning would keep. A holder
// whose data has ended goes, with its line in the log, before their wings come within 1.1 times
// their summed half spans, and the arrival parks on H1. Left as they were: a holder that still
// reports stays, and the arrival goes, not while its data still moves onto the stand but where
// it ends (and a pause in front of its stand claims nothing, above); data passing 30 m in front
// of the stand, within its radius but never within 20 m of its point, leaves even an ended holder
// there.
TEST_F(GroundScenario, AnArrivalCreepingOntoAStandWhoseHolderHasEndedMeetsItBeforeTheirWingsTouch)
{
    // Straight in: at 5 kt from 150 m out, slowing to a stop over 10 m, its data ending 5 m from the
    // point 8 s after it began to slow, within a stretch of reports that thinning leaves out.
    for (const auto& [holderEnded, onto, straightIn] : {std::tuple{true, true, false}, {true, true, true},
                                                        {false, true, false}, {true, false, false}}) {
        SCOPED_TRACE(vald::format("holder ended {}, onto the stand {}, straight in {}", holderEnded, onto, straightIn));
        const LogCapture log;
        const auto harness = heldStandHarness(holderEnded ? START + 10.0 : START + 400.0);
        feedGoesOn(*harness);
        const LatLon lane = northOf(onto ? -55.0 : -30.0);
        const double dataSeconds = !onto ? 340.0 : straightIn ? 60.5 : 72.0;
        FlightScript arrival = gf_straightFlight(0x484320, "KLM320", "A320", eastOf(lane, -100.0),
                                                 straightIn ? 5.0 : 4.0, 0.0, START + 60.0, START + 60.0 + dataSeconds);
        if (straightIn)
            arrival.profile = {ProfileMark{0.0, 5.0, 0.0}, ProfileMark{135.0 / METRES_PER_NM, 5.0, 0.0},
                               ProfileMark{145.0 / METRES_PER_NM, 0.0, 0.0}};
        arrival.path = straightIn ? std::vector{northOf(-150.0), northOf(20.0)}
                       : onto     ? std::vector{eastOf(lane, -100.0), lane, northOf(20.0)}
                                  : std::vector{eastOf(lane, -100.0), eastOf(lane, 300.0)};
        harness->addReports(gf_scriptReports(arrival));
        double closestSpans = 1e9;  // between the two, in their summed half spans, while both are there
        for (Tick i = 0; i < 40000; ++i) {
            harness->run(1);
            closestSpans = std::min(closestSpans, shownSpansApart(0x4C0744, 0x484320));
        }
        const bool holderGoes = holderEnded && onto;
        const LiveAircraft* holder = gf_liveByHexid(0x4C0744);
        EXPECT_EQ(holder != nullptr && holder->state == SimState::active && gf_holdsStand(*holder), !holderGoes);
        const auto lines = log.lines();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "H1      : BAW744   removed, KLM320 wants to park there"),
                  holderGoes ? 1 : 0);
        if (holderGoes) {
            EXPECT_GT(closestSpans, STAND_TOUCHING_MARGIN) << "the holder went before their wings touched";
            const LiveAircraft* comer = gf_liveByHexid(0x484320);
            EXPECT_TRUE(comer != nullptr && comer->phase == FlightPhase::parked && comer->standNumber == 1);
        }
        ASSERT_NE(harness->objectOf(0x484320), nullptr);
        EXPECT_EQ(harness->objectOf(0x484320)->removedTick >= 0, !holderEnded) << "the arrival goes";
        if (!holderEnded) {
            EXPECT_GT(harness->objectOf(0x484320)->removedTick, static_cast<Tick>(dataSeconds + 60.0) * TICKS_PER_SECOND)
                << "not while its data still moved onto the stand, but where it ended";
        }
    }
}

// Twelve stands with narrow and wide bodies, reports every 2 and 5 s, every end. A holder whose data
// has ended goes before the two come within 1.1 times their summed half spans for a second when the
// arrival's data stops on the stand or ends up to 15 m short, also on a lead-in 16 m beside the
// point, and the arrival parks on the stand; data ending 20 m or more short leaves them inside for
// at most 30 s, and the arrival is shown: two aircraft standing still in each other's wings part
// once one's data has ended. Left alone: a holder that still reports stays, whatever the arrival
// does; data passing 22 or 30 m in front of the stand, at taxi speed or slowly, or coming head-on
// at it up to the lane and turning along it, leaves even an ended holder; with reports 8 s apart,
// an aircraft taxiing at 3 kt never stands still, though a report may be kept back for a data end.
TEST_F(GroundScenario, AnArrivalMeetsAHolderWhoseDataHasEndedByWhereItsDataIsAndParksOnTheStand)
{
    int index = 0;
    for (const HeldPair& pair : HELD_PAIRS)
        for (const double seconds : {2.0, 5.0})
            for (const double endShortM : {0.0, 5.0, 10.0, 15.0, 20.0, 30.0}) {
                const Arrival arrival{seconds, 1.0 + index % 3, 20.0 + 10.0 * (index / 3 % 3), endShortM};
                const HeldOutcome outcome = heldStandRun(pair, arrival);
                EXPECT_TRUE(outcome.arrivalShown && outcome.insideSeconds <= 30.0 &&
                            (endShortM > 15.0 || (outcome.longestNear < 1.0 && outcome.parkedThere && !outcome.holderStays)))
                    << pair.stand << " every " << seconds << " s at " << arrival.crawlKt << " kt, " << endShortM
                    << " m short: " << outcome.insideSeconds << " s inside, " << outcome.longestNear << " s near";
                ++index;
            }
    for (const int i : {0, 4, 5}) {
        const HeldOutcome outcome = heldStandRun(HELD_PAIRS[i], Arrival{2.0, 2.0, 30.0, 5.0, 16.0});
        EXPECT_TRUE(outcome.longestNear < 1.0 && outcome.parkedThere) << HELD_PAIRS[i].stand << ": 16 m beside, 5 m short";
    }
    for (const int i : {7, 8, 11})
        EXPECT_LE(heldStandRun(HELD_PAIRS[i], Arrival{2.0, 2.0, 30.0, 25.0, 16.0}).insideSeconds, 30.0) << HELD_PAIRS[i].stand;
    for (const HeldPair& pair : HELD_PAIRS)
        EXPECT_TRUE(heldStandRun(pair, Arrival{2.0, 1.0, 30.0, 0.0, 0.0, false}).holderStays) << pair.stand << " reports";
    for (const int i : {0, 7, 11})
        for (const double laneM : {22.0, 30.0})
            for (const double kt : {3.0, 12.0})
                EXPECT_TRUE(heldStandRun(HELD_PAIRS[i], Arrival{2.0, 0.0, 0.0, 0.0, 0.0, true, Route::lane, laneM, kt}).holderStays)
                    << HELD_PAIRS[i].stand << " passed " << laneM << " m in front at " << kt << " kt";
    EXPECT_TRUE(heldStandRun(HELD_PAIRS[7], Arrival{2.0, 0.0, 0.0, 0.0, 0.0, true, Route::headOnThenLane, 67.0, 6.0}).holderStays);
    EXPECT_LT(heldStandRun(HELD_PAIRS[0], Arrival{8.0, 0.0, 0.0, 0.0, 0.0, true, Route::headOnThenLane, 300.0, 3.0}).longestStill, 2.0)
        << "taxiing at 3 kt, reports 8 s apart";
}

// Two arrivals onto neighbouring stands whose holders' data has ended, narrow bodies 40 m apart and
// wide bodies 70 m apart, reports every 2 or 5 s, their data stopping on the point or ending 5 or
// 10 m short, the second 20 or 30 s behind the first: each holder goes for its arrival, and each arrival parks on the stand it claimed,
// though the other taxis in beside it within 1.2 times their summed half spans. Left alone: once a
// claim lapses, the rule for two taxiing aircraft that close applies again (the track-end tests).
TEST_F(GroundScenario, TwoArrivalsOntoNeighbouringHeldStandsEachParkOnTheStandItClaimed)
{
    struct Neighbours {
        double apartM, radiusM;
        const char *first, *second, *holder;
    };
    for (const Neighbours& stands : {Neighbours{40.0, 18.0, "A320", "A320", "A320"},
                                     Neighbours{70.0, 34.0, "B77W", "B789", "A333"}})
        for (const double seconds : {2.0, 5.0})
            for (const auto& [endShortM, behind] : {std::pair{0.0, 20.0}, {5.0, 20.0}, {10.0, 20.0}, {10.0, 30.0}}) {
                SCOPED_TRACE(vald::format("{} m apart, every {} s, {} m short, {} s behind", stands.apartM, seconds,
                                          endShortM, behind));
                const auto stage = heldStandHarness(START + 10.0, "H1", stands.radiusM, stands.holder);
                EngineHarness& harness = *stage;
                feedGoesOn(harness);
                const LatLon second = eastOf(northOf(0.0), stands.apartM);
                addStand("H2", 0.0, stands.radiusM).lon = second.lon;
                FlightScript holder =
                    gf_straightFlight(0x4C0745, "BAW745", stands.holder, second, 0.0, 0.0, START - 30.0, START + 10.0);
                holder.flight.airline = "BAW";
                const Arrival arrival{seconds, 3.0, 30.0, endShortM};
                const double laneM = stands.radiusM + 25.0;
                harness.addReports(gf_mergeReports(
                    {gf_scriptReports(holder),
                     arrivalReports(0x484320, stands.first, northOf(0.0), laneM, arrival, START + 60.0),
                     arrivalReports(0x484321, stands.second, second, laneM, arrival, START + 60.0 + behind)}));
                harness.run(45000);
                for (const auto& [hexid, standNumber] : {std::pair{0x484320u, 1u}, {0x484321u, 2u}}) {
                    const LiveAircraft* parked = shownLive(hexid);
                    EXPECT_TRUE(parked != nullptr && parked->phase == FlightPhase::parked &&
                                parked->standNumber == standNumber)
                        << std::hex << hexid;
                }
                EXPECT_TRUE(shownLive(0x4C0744) == nullptr && shownLive(0x4C0745) == nullptr) << "the ended holders";
            }
}

// The same arrival on the engine's own position stream, tick by tick. A static aircraft parked on
// the stand it is sent to leaves before the arrival stands there.
TEST_F(GroundScenario, OnThePositionStreamAnArrivalParksOnItsStand)
{
    Stand& stand = addStand("E7", 200.0, 30.0);
    stand.heading = 30.0 * DEG_TO_RAD;
    StaticAircraft& holder = addStatic(12, "TRA5*", SimState::active, 40);
    holder.standNumber = stand.number;
    LiveAircraft& aircraft = arrivalAtTheCorner();
    bool holderLeftFirst = false;
    for (Tick i = 0; i < 20000 && aircraft.phase != FlightPhase::parked; ++i) {
        tickCounter.fetch_add(1);
        ASSERT_FALSE(updateLiveAc(aircraft)) << "not given up at tick " << tickCounter.load();
        if (aircraft.phase == FlightPhase::parking && !holderLeftFirst)
            holderLeftFirst = holder.state == SimState::removingfromsim &&
                              std::find(removalQueue.begin(), removalQueue.end(), 40U) != removalQueue.end();
    }
    EXPECT_TRUE(holderLeftFirst) << "the static on the stand is removed as the arrival is sent there";
    ASSERT_EQ(aircraft.phase, FlightPhase::parked);
    EXPECT_EQ(aircraft.standNumber, stand.number);
    EXPECT_LT(metresBetween(LatLon{stand.lat, stand.lon}, aircraft), 2.0);
    EXPECT_NEAR(aircraft.simPosition.heading * RAD_TO_DEG, 30.0, 1.0);
    EXPECT_EQ(stand.occupied, 1);
    EXPECT_EQ(eventsSent(ENGINE_AUTO_SHUTDOWN), 1U);
}

// As KLM1776 on D5: coming off a taxiway it taxis a last leg on 76 degrees, holds at its end and is
// sent to the stand ahead, whose heading it must turn onto. It comes onto that leg at 95 degrees
// as KLM1776 did, or almost along it; or, as DLH996 on F3, it has a short and slight last turn.
TEST_F(GroundScenario, AnArrivalTurningSharplyOntoItsStandParksAlongTheStandHeading)
{
    struct Approach {
        double comingDeg;
        double standHeadingDeg;
        double lastLegM;
    };
    const auto from = [](LatLon at, double bearingDeg, double metres) {
        return gf_destinationPoint(at, bearingDeg * DEG_TO_RAD, metres / METRES_PER_NM * FEET_PER_NM);
    };
    std::uint32_t hexid = 0x484003;
    const Approach approaches[] = {{95.0, 40.0, 50.0}, {80.0, 40.0, 50.0}, {76.0, 65.6, 15.0}};
    for (const Approach& approach : approaches) {
        SCOPED_TRACE(vald::format("coming at {} degrees onto a stand at {} degrees", approach.comingDeg,
                                  approach.standHeadingDeg));
        const double standNorthM = 200.0 + 1000.0 * static_cast<double>(parkStands.size());
        Stand& stand = addStand(vald::format("D{}", parkStands.size() + 1), standNorthM, 30.0);
        stand.heading = approach.standHeadingDeg * DEG_TO_RAD;
        const LatLon standAt{stand.lat, stand.lon};
        const LatLon stop = from(standAt, approach.standHeadingDeg + 180.0, approach.lastLegM);
        const LatLon start = from(stop, 256.0, 150.0);
        LiveAircraft& aircraft = onGround(hexid++, "KLM1776", start, approach.comingDeg);
        aircraft.touchedDown = true;
        aircraft.track.front() = pointAt(start, 7.0, tickCounter.load(), approach.comingDeg);
        aircraft.track.push_back(pointAt(stop, 7.0, tickCounter.load() + 4165, 76.0));

        double headingAtStopDeg = NAN;
        for (Tick i = 0; i < 20000 && aircraft.phase != FlightPhase::parked; ++i) {
            tickCounter.fetch_add(1);
            ASSERT_FALSE(updateLiveAc(aircraft)) << "not given up at tick " << tickCounter.load();
            if (std::isnan(headingAtStopDeg) && aircraft.phase == FlightPhase::parking)
                headingAtStopDeg = aircraft.simPosition.heading * RAD_TO_DEG;
        }
        EXPECT_NEAR(headingAtStopDeg, 76.0, 5.0) << "the taxi leg is driven nose along it";
        ASSERT_EQ(aircraft.phase, FlightPhase::parked);
        EXPECT_EQ(aircraft.standNumber, stand.number);
        EXPECT_LT(metresBetween(standAt, aircraft), 2.0);
        EXPECT_NEAR(aircraft.simPosition.heading * RAD_TO_DEG, approach.standHeadingDeg, 1.0)
            << "parked nose along the stand";
    }
}

// The traffic service pauses, as a restart or a network drop does for tens of seconds to minutes,
// sending nothing new or its last reports again. Two A320s parked on stands 29 m apart and two
// stopped on the taxiway 25 m apart, all reporting, among 30 airborne flights at a live limit that
// drops some of them for now and makes them anew from every batch: none of the four goes, and all
// four are shown at the end. An arrival on short final when the pause begins goes in the air, its
// data ended there as far as anyone can tell; its data resuming standing on H1, whose holder's data
// ended long before, it is shown parked there within a minute, and the holder goes. An arrival
// whose data, after a pause of 90 s or more, drives onto a stand whose holder's data ended as the
// pause began, while the clock cannot yet tell that holder from one whose report is still to come,
// is not removed for a holder that "still reports": the holder goes before their wings touch, and
// the arrival parks. A
// repeated report does not put off the join of a taxiing aircraft's last report kept back. Left
// alone: after a shorter pause, a holder whose data ended less than a minute before the arrival's
// claim still reports, as without a pause; a feed that resumes without one of each pair has their
// data end once data flows again, not at once: the parked one is parted after a minute ("its data
// ended and ... stands in its wings"), the taxiing one goes at its track end beside the other; so
// also when an airborne flight sent one report dated a day ahead, which only its own flight's
// clock reading takes.
TEST_F(GroundScenario, APauseOfTheFeedLosesNoAircraftThatStillReports)
{
    struct Pause {
        double seconds;
        bool repeated;
        bool halfResumes;
        double phase;  // seconds after a poll at which the pause begins
    };
    constexpr std::uint32_t P1 = 0x484401, P2 = 0x484402, T1 = 0x484403, T2 = 0x484404, FINAL = 0x484405,
                            HOLD3 = 0x484406, ARR3 = 0x484407, FAR = 0x484500;
    const std::int32_t maxLive = MAX_LIVE_SEL.value();
    MAX_LIVE_SEL.setValue(12);
    for (const Pause& pause : {Pause{30.0, false, false, 0.0}, Pause{20.0, true, false, 0.7}, Pause{90.0, true, false, 1.3},
                               Pause{300.0, false, true, 0.4}, Pause{900.0, true, false, 1.0}}) {
        SCOPED_TRACE(vald::format("{} s of {}", pause.seconds, pause.repeated ? "the same reports" : "nothing new"));
        const LogCapture log;
        const auto stage = heldStandHarness(START + 10.0);
        EngineHarness& harness = *stage;
        addStand("P1", 400.0, 18.0);
        addStand("P2", 429.0, 18.0);
        const double from = START + 120.0 + pause.phase, to = from + pause.seconds, end = to + 200.0;
        std::vector<std::vector<LiveTrafficRecord>> flights;
        const auto add = [&](const FlightScript& script, bool resumes) {
            std::vector<LiveTrafficRecord>& kept = flights.emplace_back();
            for (const LiveTrafficRecord& report : gf_scriptReports(script))
                if (report.dataTime < from || (resumes && report.dataTime >= to))
                    kept.push_back(report);
        };
        add(gf_straightFlight(P1, "KLM401", "A320", northOf(400.0), 0.0, 0.0, START - 30.0, end), true);
        add(gf_straightFlight(P2, "KLM402", "A320", northOf(429.0), 0.0, 0.0, START - 30.0, end), !pause.halfResumes);
        const LatLon lane = northOf(-300.0);
        for (const auto& [hexid, stopM, resumes] : {std::tuple{T1, 0.0, true}, {T2, 25.0, !pause.halfResumes}}) {
            FlightScript taxiing = gf_straightFlight(hexid, vald::format("KLM{:x}", hexid & 0xFFF), "A320", lane, 10.0,
                                                     0.0, START - 30.0, end);
            taxiing.path = {eastOf(lane, 400.0 + 8.0 * stopM), eastOf(lane, stopM)};
            add(taxiing, resumes);
        }
        for (std::uint32_t i = 0; i < 30; ++i)
            add(gf_straightFlight(FAR + i, vald::format("KLM{}", 500 + i), "A320",
                                  LatLon{52.15 + 0.01 * i, i % 2 == 0 ? 4.5 : 5.0}, 250.0, 3000.0, START - 30.0, end),
                true);
        // HOLD3's data ends as the pause begins; ARR3 waits on the lane until then, and after the
        // pause drives onto HOLD3's stand P3.
        const LatLon p3 = northOf(-1500.0), lane3 = northOf(-1545.0);
        addStand("P3", -1500.0, 20.0);
        add(gf_straightFlight(HOLD3, "KLM406", "A320", p3, 0.0, 0.0, START - 30.0, from - 1.0), false);
        FlightScript waiting = gf_straightFlight(ARR3, "KLM407", "A320", lane3, 8.0, 0.0, START - 30.0, from);
        waiting.path = {eastOf(lane3, 400.0), lane3};
        add(waiting, false);
        FlightScript onto = gf_straightFlight(ARR3, "KLM407", "A320", lane3, 8.0, 0.0, to, end);
        onto.path = {lane3, p3};
        add(onto, true);
        FlightScript final = gf_straightFlight(FINAL, "KLM1712", "A320", northOf(-7000.0), 140.0, 1200.0, START + 60.0, from);
        add(final, false);
        if (pause.seconds >= 90.0)  // after the pause its data has it standing on H1
            add(gf_straightFlight(FINAL, "KLM1712", "A320", northOf(0.0), 0.0, 0.0, to, end), true);
        std::vector<LiveTrafficRecord> lastBefore;  // what a repeating service sends
        for (const auto& reports : flights) {
            const auto last = std::find_if(reports.rbegin(), reports.rend(),
                                           [from](const LiveTrafficRecord& report) { return report.dataTime < from; });
            if (last != reports.rend())
                lastBefore.push_back(*last);
        }
        harness.addReports(gf_mergeReports(flights));
        LiveTrafficRecord damaged = flights[4].front();  // an airborne flight's report a day ahead
        damaged.dataTime = from - 20.0 + 86400.0;

        const auto tickAt = [](double dataTime) { return static_cast<Tick>(std::llround((dataTime - START) * TICKS_PER_SECOND)); };
        bool joined = true;  // at the pause's 16th second, each taxiing one's last report is in its track
        double closestSpans = 1e9;  // HOLD3 and ARR3 while both are shown, in their summed half spans
        while (harness.tick() < tickAt(end)) {
            harness.run(1);
            const Tick now = harness.tick();
            closestSpans = std::min(closestSpans, shownSpansApart(HOLD3, ARR3));
            if (pause.halfResumes && now == tickAt(from - 21.0)) {
                std::vector<LiveTrafficRecord> batch{damaged};
                lf_scheduleReceived(batch, TrafficBatchKind::live, 30);
            }
            if (pause.repeated && now >= tickAt(from) && now < tickAt(to) && (now - tickAt(from)) % 200 == 100) {
                std::vector<LiveTrafficRecord> batch = lastBefore;
                lf_scheduleReceived(batch, TrafficBatchKind::live, 30);
            }
            if (now == tickAt(from + 16.0))
                for (const std::uint32_t hexid : {T1, T2}) {
                    const LiveAircraft* taxiing = gf_liveByHexid(hexid);
                    joined = joined && taxiing != nullptr && taxiing->recordTime == taxiing->newest.dataTime;
                }
        }
        std::map<std::uint32_t, std::vector<Tick>> removed;
        for (const SentRecord& sent : harness.sent())
            if (sent.kind == SentRecord::removal)
                removed[sent.hexid].push_back(sent.tick);
        const auto shown = [](std::uint32_t hexid) { return shownLive(hexid) != nullptr; };
        EXPECT_TRUE(removed[P1].empty() && removed[T1].empty() && shown(P1) && shown(T1));
        EXPECT_TRUE(joined);
        const auto lines = log.lines();
        if (!pause.halfResumes) {
            EXPECT_TRUE(removed[P2].empty() && removed[T2].empty() && shown(P2) && shown(T2)) << "both still report";
        } else {
            ASSERT_EQ(removed[P2].size(), 1u);
            EXPECT_GT(removed[P2][0], tickAt(to + 45.0)) << "after a minute of flowing data";
            EXPECT_LT(removed[P2][0], tickAt(to + 75.0));
            EXPECT_EQ(std::count(lines.begin(), lines.end(),
                                 "P2      : KLM402   removed, its data ended and KLM401 stands in its wings"),
                      1);
            ASSERT_EQ(removed[T2].size(), 1u);
            EXPECT_GT(removed[T2][0], tickAt(to)) << "not while the feed paused";
            EXPECT_LT(removed[T2][0], tickAt(to + 60.0));
        }
        if (pause.seconds >= 90.0) {
            const LiveAircraft* arrival = gf_liveByHexid(ARR3);
            EXPECT_TRUE(removed[ARR3].empty() && arrival != nullptr && arrival->phase == FlightPhase::parked &&
                        arrival->standNumber == 4)
                << "its data goes on: it waits, while the holder is in doubt, and parks";
            EXPECT_GT(closestSpans, 1.0) << "the holder in doubt goes before their wings touch";
            EXPECT_EQ(removed[HOLD3].size(), 1u);
            EXPECT_EQ(std::count(lines.begin(), lines.end(), "P3      : KLM406   removed, KLM407 wants to park there"), 1);
            const LiveAircraft* final = gf_liveByHexid(FINAL);
            EXPECT_TRUE(final != nullptr && final->phase == FlightPhase::parked && final->standNumber == 1);
            const SimObject* object = harness.objectOf(FINAL);
            EXPECT_TRUE(object != nullptr && object->madeTick > tickAt(to) && object->madeTick < tickAt(to + 60.0));
            EXPECT_EQ(removed[0x4C0744].size(), 1u) << "the holder whose data ended long ago";
            EXPECT_EQ(std::count(lines.begin(), lines.end(), "H1      : BAW744   removed, KLM1712 wants to park there"), 1);
        }
    }
    MAX_LIVE_SEL.setValue(maxLive);
}

TEST_F(GroundScenario, DeparturePushesBackStartsEnginesAndTaxisToTheEndOfItsTrack)
{
    Stand& stand = addStand("F2", 100.0, 30.0);
    LiveAircraft& aircraft = onGround(0x484002, "KLM2345", northOf(100.0), 0.0);
    aircraft.standNumber = stand.number;
    aircraft.standLat = stand.lat;
    aircraft.standLon = stand.lon;
    aircraft.standHeading = 0.0;
    aircraft.setPhase(FlightPhase::parking);
    aircraft.track.front().stationary = true;
    ASSERT_TRUE(lf_trackEndStep(aircraft));
    ASSERT_EQ(aircraft.phase, FlightPhase::parked);
    aircraft.track.resize(1);

    // Received positions creep backwards off the stand until it is plain that it leaves.
    bool accepted = false;
    for (double back : {0.0, 4.0, 8.0, 12.0}) {
        TrackPoint seen = pointAt(northOf(100.0 - back), 1.0, tickCounter.load() + 200);
        accepted = lf_atStandTest(aircraft, seen);
        if (accepted)
            aircraft.track.push_back(seen);
    }
    ASSERT_TRUE(accepted);
    EXPECT_EQ(stand.occupied, 0) << "the stand is freed as the aircraft leaves";
    startSegment(aircraft);
    ASSERT_EQ(aircraft.phase, FlightPhase::pushing_back);

    double southmostM = 0.0;
    runTicks(20000, [&] {
        southmostM = std::max(southmostM, (stand.lat - aircraft.simPosition.lat) * 60.0 * METRES_PER_NM);
        return aircraft.phase == FlightPhase::pushed_back;
    });
    ASSERT_EQ(aircraft.phase, FlightPhase::pushed_back);
    EXPECT_NEAR(southmostM, 2.5 * 30.0, 1.0) << "pushed back two and a half stand radii";
    EXPECT_EQ(eventsSent(ENGINE_AUTO_START), 1U);

    // Out on the taxiway it heads for the runway.
    aircraft.setPhase(FlightPhase::taxi);
    aircraft.departing = true;
    aircraft.trackEndWait = 0;
    aircraft.track.resize(1);
    const Tick now = tickCounter.load();
    const LatLon runway = eastOf(northOf(25.0), 300.0);
    aircraft.track.push_back(pointAt(eastOf(northOf(25.0), 20.0), 10.0, now + 800, 90.0));
    aircraft.track.push_back(pointAt(runway, 15.0, now + 4500, 90.0));
    startSegment(aircraft);
    double closestM = 1e9;
    runTicks(10000, [&] {
        closestM = std::min(closestM, metresBetween(runway, aircraft));
        return aircraft.trackEndWait > 0;
    });
    EXPECT_LT(closestM, 1.0);
    EXPECT_EQ(aircraft.state, SimState::active) << "a departing aircraft is carried on past its last point";

    // An arrival parks on the stand it left; the departure's removal leaves that stand marked.
    parkedOn(stand, 0x484009, "EZY9");
    lf_occupyStand(stand.number);
    removeAircraftFromSim(aircraft);
    EXPECT_EQ(stand.occupied, 1);
}

// A departure that pulls forward out of its stand gives the stand up once: the arrival that
// parks there after it is the stand's one holder, and keeps its mark when the departure goes.
TEST_F(GroundScenario, APulledOutDepartureLeavesTheNextOccupantItsStand)
{
    Stand& stand = addStand("F2", 100.0, 30.0);
    LiveAircraft& departure = onGround(0x484002, "KLM2345", northOf(100.0), 0.0);
    departure.standNumber = stand.number;
    departure.standLat = stand.lat;
    departure.standLon = stand.lon;
    departure.setPhase(FlightPhase::parking);
    departure.track.front().stationary = true;
    ASSERT_TRUE(lf_trackEndStep(departure));
    departure.track.resize(1);
    bool accepted = false;
    for (double ahead : {0.0, 4.0, 8.0, 12.0}) {
        TrackPoint seen = pointAt(northOf(100.0 + ahead), 1.0, tickCounter.load() + 200);
        accepted = lf_atStandTest(departure, seen);
        if (accepted)
            departure.track.push_back(seen);
    }
    ASSERT_TRUE(accepted);
    startSegment(departure);
    ASSERT_EQ(departure.phase, FlightPhase::taxi) << "pulled out";
    runTicks(3000);

    // A new route on its way out leaves it taxiing, and it still knows that it came from a stand:
    // stopping beside another stand, it does not park there.
    departure.identity.origin = "AMS";
    departure.identity.destination = "LHR";
    LiveTrafficRecord rerouted;
    rerouted.flight.origin = "RTM";
    rerouted.flight.destination = "CDG";
    EXPECT_FALSE(lf_checkRouteChange(departure, rerouted));
    const LatLon at{departure.simPosition.lat, departure.simPosition.lon};
    Stand& beside = addStand("F9", (at.lat - 52.3) * 60.0 * METRES_PER_NM + 40.0, 30.0);
    departure.track.resize(1);
    departure.track.push_back(pointAt(northOf((at.lat - 52.3) * 60.0 * METRES_PER_NM + 40.0), 3.0,
                                      tickCounter.load() + 2000));
    TrackPoint stop = departure.track.back();
    stop.groundSpeed = 0.0;
    stop.stationary = true;
    stop.playTick += 300;
    departure.track.push_back(stop);
    startSegment(departure);
    runTicks(3000);
    EXPECT_NE(departure.standNumber, beside.number);
    EXPECT_NE(departure.phase, FlightPhase::parking);

    LiveAircraft& arrival = parkedOn(stand, 0x484009, "EZY9");
    lf_occupyStand(stand.number);
    EXPECT_TRUE(lf_claimStand(stand.number, "EZY9"));
    EXPECT_EQ(arrival.state, SimState::removingfromsim) << "a newcomer of the same callsign replaces the holder";
    arrival.state = SimState::active;
    lf_occupyStand(stand.number);
    removeAircraftFromSim(departure);
    EXPECT_EQ(stand.occupied, 1) << "the departure's removal does not free the arrival's stand";
}

}  // namespace
}  // namespace corv_test
