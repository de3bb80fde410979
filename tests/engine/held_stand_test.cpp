// Arrivals onto stands that a parked aircraft holds, as the service reports them: along the apron
// lane at 12 kt, turning in at 6 kt, crawling the last 20-40 m at 1-3 kt, and stopping on the
// stand's point or ending their data still moving short of it. Shown about 30 s behind its data,
// the arrival's track is left well behind it by thinning and point acceptance.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/engine_hooks.hpp"
#include "engine/removal.hpp"
#include "engine/stand_claims.hpp"
#include "tests/engine/engine_harness.hpp"
#include "tests/engine/ground_stage.hpp"
#include "tests/engine/traffic_script.hpp"

namespace corv_test {
namespace {

struct Pair {
    const char* stand;
    double radiusM;
    std::string arrivalType;
    std::string holderType;
};
const Pair PAIRS[] = {
    {"C2", 22, "A320", "A320"}, {"E5", 24, "B738", "A319"}, {"B3", 26, "A319", "B738"}, {"C9", 28, "A320", "B738"},
    {"D7", 30, "B738", "A320"}, {"H1", 32, "A320", "A320"}, {"D10", 34, "A320", "A319"}, {"F7", 42, "B77W", "B77W"},
    {"G2", 38, "B789", "A333"}, {"M1", 36, "B789", "A319"}, {"F3", 40, "B789", "A320"}, {"K4", 42, "A333", "B744"}};

// Onto the stand, its lead-in passing asideM beside the point, its data ending endShortM short (0:
// standing on the point for a minute); or not onto it: along the lane laneM in front of it, or
// head-on at it up to that lane and then along the lane.
enum class Route { leadIn, lane, headOnThenLane };
struct Arrival {
    double reportSeconds = 2.0;
    double crawlKt = 1.0;
    double slowM = 20.0;
    double endShortM = 0.0;
    double asideM = 0.0;
    bool holderEnded = true;
    Route route = Route::leadIn;
    double laneM = 0.0;
    double kt = 12.0;
};

struct Outcome {
    double insideSeconds = 0.0;  // the two shown within their summed half spans
    double longestNear = 0.0;    // ... within the touching margin of them, in one spell
    double longestStill = 0.0;   // the arrival shown standing still, in one spell
    bool holderStays = false;
    bool parkedThere = false;  // the arrival, on the stand
    bool arrivalShown = false;
};

class HeldStandTest : public GroundTest {
protected:
    static Outcome run(const Pair& pair, const Arrival& arrival)
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
        const double start = options.startDataTime;
        EngineHarness harness(options);
        EngineHooks hooks;
        hooks.parkAirport = [] { return ParkAirportSnapshot{"EHAM", northOf(0.0), 0.0}; };
        gf_setEngineHooks(std::move(hooks));
        const LatLon point = northOf(0.0);
        addStand(pair.stand, 0.0, pair.radiusM);
        for (const double side : {-1.0, 1.0})  // free neighbours
            addStand("N", 0.0, pair.radiusM).lon = eastOf(point, side * (2.0 * pair.radiusM + 5.0)).lon;
        FlightScript holder = gf_straightFlight(0x4C0744, "BAW744", pair.holderType, point, 0.0, 0.0, start - 30.0,
                                                start + (arrival.holderEnded ? 10.0 : 900.0));
        harness.addReports(gf_scriptReports(holder));

        const LatLon end = eastOf(point, arrival.asideM);
        const double laneM = arrival.route == Route::leadIn ? pair.radiusM + 25.0 : arrival.laneM;
        const LatLon turn = LatLon{end.lat - laneM / METRES_PER_NM / 60.0, end.lon};
        FlightScript script = gf_straightFlight(0x484320, "KLM320", pair.arrivalType, northOf(-laneM - 150.0),
                                                arrival.kt, 0.0, start + 60.0, start + 2000.0);
        script.reportIntervalSeconds = arrival.reportSeconds;
        script.path = {arrival.route == Route::headOnThenLane ? script.path[0] : eastOf(turn, -400.0), turn,
                       arrival.route == Route::leadIn ? end : eastOf(turn, 400.0)};
        const double length = (400.0 + laneM) / METRES_PER_NM;
        const double slow = arrival.slowM / METRES_PER_NM;
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
        harness.addReports(reports);

        Outcome outcome;
        double near = 0.0;
        double still = 0.0;
        LatLon shownBefore{};
        for (Tick i = 0; i < 45000; ++i) {
            harness.run(1);
            const LiveAircraft* parked = gf_liveByHexid(0x4C0744);
            const LiveAircraft* comer = gf_liveByHexid(0x484320);
            if (comer == nullptr || comer->state != SimState::active)
                continue;
            const LatLon shown = gf_latLonOf(comer->simPosition);
            still = gf_distanceNm(shown, shownBefore) < 1e-6 ? still + 0.01 : 0.0;
            shownBefore = shown;
            const double spans = parked == nullptr || parked->state != SimState::active
                                     ? 1e9
                                     : gf_distanceNm(gf_latLonOf(parked->simPosition), shown) /
                                           (parked->halfSpan + comer->halfSpan);
            outcome.insideSeconds += spans < 1.0 ? 0.01 : 0.0;
            near = spans < STAND_TOUCHING_MARGIN ? near + 0.01 : 0.0;
            outcome.longestNear = std::max(outcome.longestNear, near);
            outcome.longestStill = std::max(outcome.longestStill, still);
        }
        const LiveAircraft* parked = gf_liveByHexid(0x4C0744);
        const LiveAircraft* comer = gf_liveByHexid(0x484320);
        outcome.holderStays = parked != nullptr && parked->state == SimState::active && gf_holdsStand(*parked);
        outcome.arrivalShown = comer != nullptr && comer->state == SimState::active;
        outcome.parkedThere = outcome.arrivalShown && comer->phase == FlightPhase::parked && comer->standNumber == 1;
        return outcome;
    }
};

// Twelve stands with narrow and wide bodies, reports every 2 and 5 s, every end. A holder whose data
// has ended goes before the two come within 1.1 times their summed half spans for a second when the
// arrival's data stops on the stand or ends up to 15 m short, also on a lead-in 16 m beside the
// point, and the arrival parks on the stand; data ending 20 m or more short leaves them inside for
// at most 30 s, and the arrival is shown: two aircraft standing still in each other's wings part
// once one's data has ended. Left alone: a holder that still reports stays, whatever the arrival
// does; data passing 22 or 30 m in front of the stand, at taxi speed or slowly, or coming head-on
// at it up to the lane and turning along it, leaves even an ended holder; with reports 8 s apart,
// an aircraft taxiing at 3 kt never stands still, though a report may be kept back for a data end.
TEST_F(HeldStandTest, AnArrivalMeetsAHolderWhoseDataHasEndedByWhereItsDataIsAndParksOnTheStand)
{
    int index = 0;
    for (const Pair& pair : PAIRS)
        for (const double seconds : {2.0, 5.0})
            for (const double endShortM : {0.0, 5.0, 10.0, 15.0, 20.0, 30.0}) {
                const Arrival arrival{seconds, 1.0 + index % 3, 20.0 + 10.0 * (index / 3 % 3), endShortM};
                const Outcome outcome = run(pair, arrival);
                EXPECT_TRUE(outcome.arrivalShown && outcome.insideSeconds <= 30.0 &&
                            (endShortM > 15.0 || (outcome.longestNear < 1.0 && outcome.parkedThere && !outcome.holderStays)))
                    << pair.stand << " every " << seconds << " s at " << arrival.crawlKt << " kt, " << endShortM
                    << " m short: " << outcome.insideSeconds << " s inside, " << outcome.longestNear << " s near";
                ++index;
            }
    for (const int i : {0, 4, 5}) {
        const Outcome outcome = run(PAIRS[i], Arrival{2.0, 2.0, 30.0, 5.0, 16.0});
        EXPECT_TRUE(outcome.longestNear < 1.0 && outcome.parkedThere) << PAIRS[i].stand << ": 16 m beside, 5 m short";
    }
    for (const int i : {7, 8, 11})
        EXPECT_LE(run(PAIRS[i], Arrival{2.0, 2.0, 30.0, 25.0, 16.0}).insideSeconds, 30.0) << PAIRS[i].stand;
    for (const Pair& pair : PAIRS)
        EXPECT_TRUE(run(pair, Arrival{2.0, 1.0, 30.0, 0.0, 0.0, false}).holderStays) << pair.stand << " reports";
    for (const int i : {0, 7, 11})
        for (const double laneM : {22.0, 30.0})
            for (const double kt : {3.0, 12.0})
                EXPECT_TRUE(run(PAIRS[i], Arrival{2.0, 0.0, 0.0, 0.0, 0.0, true, Route::lane, laneM, kt}).holderStays)
                    << PAIRS[i].stand << " passed " << laneM << " m in front at " << kt << " kt";
    EXPECT_TRUE(run(PAIRS[7], Arrival{2.0, 0.0, 0.0, 0.0, 0.0, true, Route::headOnThenLane, 67.0, 6.0}).holderStays);
    EXPECT_LT(run(PAIRS[0], Arrival{8.0, 0.0, 0.0, 0.0, 0.0, true, Route::headOnThenLane, 300.0, 3.0}).longestStill, 2.0)
        << "taxiing at 3 kt, reports 8 s apart";
}

}  // namespace
}  // namespace corv_test
