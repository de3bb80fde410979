#pragma once
// The plan of static parked aircraft at the park airport: the service's parked traffic matched
// to stands, filled up from the learned week data, and the state that the planning, the week
// search and the periodic adjustment share. Everything here belongs to the worker thread; the
// live flights seen by the traffic reader during a calculation arrive through the reader's
// guarded seen sets and are handed over in lf_endParkingBusy.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/aircraft_records.hpp"
#include "engine/static_parking_step.hpp"
#include "engine/stand_records.hpp"
#include "traffic/traffic_records.hpp"

// A static aircraft to be removed by the adjustment.
struct ParkRemoval {
    std::string callsign;
    std::uint32_t standNumber = 0;
};

// A static aircraft that the adjustment keeps.
struct KeptStatic {
    std::string callsign;
    std::string secondCallsign;
    std::string thirdCallsign;
    std::string registration;
    std::string airline;
    std::string type;
    std::uint64_t parkedSlot = 0;
    std::uint32_t standNumber = 0;
    std::uint8_t departing = 0;  // the coupled flight leaves after the current half-hour
};

extern std::vector<ParkRemoval> parkRemovals;
extern std::vector<KeptStatic> keptStatics;
// The live flights seen during the last calculation.
extern std::unordered_set<std::string> parkingLiveCallsigns;
extern std::unordered_set<std::uint32_t> parkingLiveHexids;
// The parked traffic of the last fetch, youngest first.
extern std::vector<ParkedTrafficRecord> parkedTraffic;

// Where the parked traffic comes from; the traffic reader unless a test replaces it. Answers
// whether the fetch succeeded and fills the list.
using ParkedTrafficSource = std::function<bool(std::vector<ParkedTrafficRecord>&)>;
void gf_setParkedTrafficSource(ParkedTrafficSource source);
// The parked traffic is asked for ahead of the planning that uses it, and taken there: the worker
// never waits for the traffic reader's answer. Asks for it anew (a fetch under way is given up).
void lf_askParkedTraffic();
// Whether the parked traffic asked for is in (answered, timed out or not to come); asks for it
// when nothing is under way. Never waits.
[[nodiscard]] bool lf_parkedTrafficIn();
// Gives up the parked traffic asked for (its airport is closed).
void lf_stopParkedTrafficFetch();
// Takes the parked traffic asked for into parkedTraffic; false (list empty) on any failure, which
// is logged, also when it has not come by now.
[[nodiscard]] bool lf_fetchParkedForPlanning();
// How often a failed parked-traffic fetch is tried again, a minute apart, before the periodic
// adjustment takes over.
inline constexpr std::int32_t PARKED_FETCH_RETRIES = 3;
// As lf_fetchParkedForPlanning; a failure brings the next adjustment forward to the next minute
// of the countdown while tries are left, a success gives them all back.
[[nodiscard]] bool lf_fetchParkedOrRetry();
// A failed fetch waits for its next try at the next minute (the adjustment is due then even when
// only the initial load was asked for).
bool gf_parkedRetryPending();

// Logs the time of the week and returns the current week slot.
std::uint64_t lf_weekNowText();
// Takes over the live flights the traffic reader saw during the calculation and ends it.
void lf_endParkingBusy();
// The user's reserved stand and the stand under the user aircraft get the reserved flag.
void lf_markUserStands();
// Plans positions for the parked traffic on the free stands near each record, up to the wanted
// count with the placed statics (unless parked traffic only).
void lf_matchParkedTraffic(std::size_t placed = 0);
// A failed parked-traffic fetch tried again while only the initial load is wanted: the statics
// of the load stay as they are, and the parked traffic is planned on the stands still free.
void lf_retryParkedTraffic();

// Stand marks shared by the planning steps.
// The stand gets the planned flag, the stands it overlaps the blocked flag.
void lf_markPlanned(Stand& stand);
// Planned stands of dropped positions are freed and every blocked flag is derived again from the
// stands still planned.
void lf_unplanStands(const std::vector<ParkPosition>& dropped);
// A live aircraft took that stand: the positions planned there are dropped and the stand with
// its neighbours unplanned.
void lf_erasePlannedStand(std::uint32_t standNumber);
// Planned flags, reserved and blocked flags off (the occupied flag stays).
void lf_clearStandMarks();
std::size_t lf_plannedStandCount();
// The callsign or the callsign with '_' was seen live during the calculation.
bool lf_inLiveCallsigns(const std::string& callsign);

// Test only: everything above emptied, the parked-traffic source back to the traffic reader.
void gf_resetStaticPlanningForTest();
