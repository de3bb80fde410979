#pragma once
// The aircraft of the program in the simulator: StaticAircraft (parked at a stand of the park
// airport) and LiveAircraft (following a real flight), both built on AircraftInstance, the part
// fixed when the record is made. Also the track point of a live aircraft, the two life-cycle
// enumerations with their names, the per-category handling constants and the texts that name an
// aircraft in the log. The records live in plain vectors owned by the engine and are touched by
// the worker thread only.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/geodesy.hpp"
#include "foundation/time_slots.hpp"
#include "refdata/type_queries.hpp"
#include "simlink/sim_records.hpp"
#include "traffic/traffic_records.hpp"

// Life state of a record in the simulator.
enum class SimState : std::uint32_t {
    buffer = 0,           // waiting to be spawned
    adding2sim = 1,       // creation requested, not yet reported by the simulator
    active = 2,           // in the simulator and driven
    liveryrespawn = 3,    // removed for a livery change, to be created again
    removingfromsim = 4,  // removal requested
};

enum class FlightPhase : std::uint32_t {
    pushing_back = 0,
    pushed_back = 1,
    taxi = 2,
    take_off = 3,
    flying = 4,
    parking = 5,
    parked = 6,
    birth = 7,
};

// "buffer", "adding2sim", ...; "pushing_back", ... "birth". A value outside the enumeration
// throws std::out_of_range.
const std::string& gf_simStateName(SimState state);
const std::string& gf_phaseName(FlightPhase phase);

// Handling of an aircraft category. Pitches and the turn rate as the table gives them, in
// degrees; the records keep radians.
struct CategoryConstants {
    double turnRateDeg = 0.0;  // heading change per tick
    double takeOffPitchDeg = 0.0;
    double climbPitchDeg = 0.0;
    std::uint32_t flareTicks = 0;
    std::uint32_t touchdownTicks = 0;
    std::uint32_t rotationTicks = 0;
    std::uint32_t climbTicks = 0;
    double maxClimbStepFt = 0.0;  // per tick
    double pushSpeedKt = 0.0;
};
// std::out_of_range for a value outside AircraftCategory.
const CategoryConstants& gf_categoryConstants(AircraftCategory category);

// Pitch of a standing aircraft when the simulator's report is implausible.
inline constexpr double STATIC_PITCH_DEFAULT_DEG = 0.7;
// The throttle step and flaps index of a record to which nothing has been sent yet.
inline constexpr std::uint32_t THROTTLE_STEP_NONE = 5;
inline constexpr std::uint32_t FLAPS_INDEX_NONE = 4;
// A flight of which no report has come for this long has ended: the service reports a standing
// aircraft every few seconds while its transponder sends, and an airborne one without reports is
// given up after about a minute of dead reckoning.
inline constexpr double DATA_ENDED_SECONDS = 60.0;

// Ticks of the main loop (10 ms). Signed 64-bit everywhere: play-out ticks are computed round
// the tick counter and may lie before the run's first tick.
using Tick = std::int64_t;

// One received position of a live flight: the position part of a LiveTrafficRecord.
struct TrackPoint {
    double lat = 0.0;           // degrees
    double lon = 0.0;           // degrees
    double altitude = 0.0;      // feet; 0 on the ground
    double groundSpeed = 0.0;   // knots
    double track = 0.0;         // degrees
    double verticalRate = 0.0;  // feet per minute
    double speed = 0.0;         // knots
    Tick playTick = 0;          // tick at which the point is to be reached
    bool airborne = false;
    bool stationary = false;     // within 1e-8 degrees of the point before it
    bool headingUsable = false;  // trueHeading may be used
    std::optional<double> bank;         // radians
    std::optional<double> trueHeading;  // radians
};
TrackPoint gf_trackPointOf(const LiveTrafficRecord& record);

// The newest report of a live flight as received, before any of it is left out of the track.
struct NewestReport {
    double lat = 0.0;          // degrees
    double lon = 0.0;          // degrees
    double groundSpeed = 0.0;  // knots
    double track = 0.0;        // degrees
    double dataTime = 0.0;     // seconds; 0 before the first report
    bool airborne = false;
    Tick clockTick = 0;  // the data clock's reading when the engine took it in (engine/data_clock)
    std::uint64_t batch = 0;  // the intake's number of the batch it came in (engine/traffic_intake)
};
NewestReport gf_newestReportOf(const LiveTrafficRecord& record, Tick clockTick);

struct AircraftInstance {
    FlightIdentity identity;
    double halfSpan = 0.0;        // nautical miles
    double staticCgHeight = 0.0;  // feet; 0 until the simulator reports it
    double staticPitch = 0.0;     // radians; 0 until reported
    double takeOffPitch = 0.0;    // radians, negative is nose up
    double climbPitch = 0.0;      // radians
    double turnRate = 0.0;        // radians per tick
    double currentTurnRate = 0.0; // radians per tick in use
    double maxClimbStep = 0.0;    // feet per tick (live aircraft)
    double pushSpeed = 0.0;       // knots (live aircraft)
    std::uint32_t hexid = 0;      // transponder address (live, > 10000) or static number (0..9999)
    AircraftCategory category = AircraftCategory::Large;
    std::string liveryTitle;  // the chosen livery title, owned; empty until chosen
    std::uint32_t flareTicks = 0;
    std::uint32_t touchdownTicks = 0;
    std::uint32_t rotationTicks = 0;
    std::uint32_t climbTicks = 0;
    bool cargo = false;        // the registration belongs to a freighter
    bool fsltlLivery = false;  // the livery title contains "FSLTL_"
};

// Builds the instance of a received or parked flight: the identity, the type's half span and
// category, and the category's constants, the two pitches each varied by a random sign (2.5 and
// 5 percent). currentTurnRate, maxClimbStep and pushSpeed stay 0 for the live intake to fill.
AircraftInstance gf_makeAircraftInstance(const FlightIdentity& flight);

// Where a static aircraft stands.
struct StandPlacement {
    double lat = 0.0;      // degrees
    double lon = 0.0;      // degrees
    double heading = 0.0;  // radians
};

struct StaticAircraft : AircraftInstance {
    StaticAircraft(const AircraftInstance& instance, std::uint32_t standNumber, const StandPlacement& placement,
                   bool cargoStand);

    double standLat = 0.0;
    double standLon = 0.0;
    double standHeading = 0.0;     // radians
    std::uint64_t parkedSlot = 0;  // week slot in which it came to stand (gf_weekSlotValue)
    std::uint32_t sourceKey = 0;   // first number of the planned park position it was built from
    std::uint32_t standNumber = 0; // 0 for none
    std::uint32_t throttleStep = THROTTLE_STEP_NONE;
    std::uint32_t flapsIndex = FLAPS_INDEX_NONE;
    bool cargoStand = false;
    std::uint32_t sourceFlag = 1;    // second number of the planned park position
    bool removeWhenCreated = false;  // remove as soon as the simulator reports it created

    // What every tick reads of every aircraft starts a cache line, at the end of the record's
    // static part: a live aircraft's own per-tick fields follow in the same and the next lines,
    // so that a tick over a long list does not fetch the whole of each record.
    alignas(64) SimState state = SimState::buffer;
    std::uint32_t objectId = 0;  // the simulator's object id; 0 while not in the simulator
    bool skip = false;           // removed while in buffer: erased at the next update
    bool dequeued = false;       // its waiting creation was withdrawn: erased at the next update
};

struct LiveAircraft : StaticAircraft {
    LiveAircraft(const TrackPoint& firstPoint, const AircraftInstance& instance, double recordTime);

    // Changes the phase and keeps the old one in previousPhase.
    void setPhase(FlightPhase next);

    // Read at every tick (with the static part's last fields before them); the rest of the
    // record is read when something happens to the aircraft.
    // In buffer: the spawn step need not look at the aircraft before this tick. Its first point
    // is not due yet (spawnDueTick, set from the track by the spawn step and cleared when the
    // first point changes), or the live limit holds it back (heldBackUntil).
    Tick spawnDueTick = 0;
    Tick heldBackUntil = 0;
    FlightPhase phase = FlightPhase::birth;
    bool onGround = false;
    bool approachConfigured = false;
    bool noseDown = false;
    bool turnToCourse = false;
    std::uint32_t flareStage = 0;
    SimPosition simPosition;  // last handed to the simulator
    // Received points: the front one was last reached or stood at, the second is flown to.
    std::deque<TrackPoint> track;
    double latStep = 0.0;
    double lonStep = 0.0;
    double pitchRate = 0.0;
    double bankRate = 0.0;
    double headingRate = 0.0;
    double altitudeRate = 0.0;
    double segmentVerticalRate = 0.0;  // feet per minute
    double segmentSpeed = 0.0;         // knots
    double heightAboveGround = 2500.0;  // feet
    double courseToNext = 0.0;          // radians
    double curveIndex = 0.0;
    double curveStep = 0.0;
    CurveSegment curve;  // no curve while its control point is NaN

    double recordTime = 0.0;  // data time of the last accepted record, seconds
    // The newest report of a taxiing aircraft thinned out since the last accepted one, and the tick
    // it came at: it joins the track should no newer report follow.
    std::optional<LiveTrafficRecord> thinnedReport;
    Tick thinnedTick = 0;
    // Where the flight's newest report has it, before thinning and point acceptance, and the
    // seconds since the report before it: the track may end well behind it.
    NewestReport newest;
    double reportIntervalSeconds = 0.0;
    // The stand whose holder went because this aircraft's data came onto it: it parks there.
    std::uint32_t claimedStand = 0;
    LatLon lastCheckPosition;
    UtcSeconds parkTime = 0;  // park clock (gf_parkClockNow, steady seconds) when it came to stand
    std::int32_t trackEndWait = 0;
    // The track ran out while the feed paused (its data had not run out): what the track end does
    // until a point moves the aircraft on is for the pause (engine/pause_holds).
    bool pausedAtTrackEnd = false;
    Tick holdingStart = 0;
    FlightPhase previousPhase = FlightPhase::birth;
    bool standTest = false;
    bool flightPlanWritten = false;
    bool proximityHold = false;
    std::uint32_t holding = 0;
    double curveAngle = 0.0;  // degrees
    TrackPoint alternativeEnd;
    LatLon parkTarget;
    std::int32_t earlyLimit = 1000;  // ticks
    std::int32_t lateLimit = 1000;   // ticks
    std::int32_t stageCounter = 1;
    std::uint32_t pushBackState = 0;
    std::uint64_t growingDistanceCount = 0;
    double computedHeight = 0.0;
    double touchdownHeading = 0.0;
    double lastStandDistance = 0.0;
    double firstStandDistance = 0.0;
    double largestStandDistance = 0.0;
    double turnToCourseAngle = 0.0;  // degrees
    std::optional<double> keptHeading;
    // A respawn (new callsign, route or airframe) waits for room among the respawns; with the
    // livery to be chosen again when the airframe brought another one.
    bool respawnDue = false;
    bool respawnNewLivery = false;
    // Removed for a respawn and not yet reported created again: it keeps its place among the
    // live aircraft meanwhile, and its creation goes ahead of the newcomers'.
    bool respawning = false;
    // Dropped from the buffer for now, not removed: its data ran out, or at the live limit there
    // was no place for it. A creation of it given up earlier may still be its aircraft when
    // answered late.
    bool droppedForNow = false;
    // A late object, made where its creation was sent, is put where the flight is now as soon as
    // its freeze events have gone to the simulator (a position on an object not yet frozen is
    // refused, and a frame sends positions before client events).
    bool placeOnceFrozen = false;
    std::optional<bool> pushBackRight;
    std::optional<double> groundElevation;  // feet
    bool touchedDown = false;
    bool towed = false;
    bool climbOutConfigured = false;
    bool departing = false;
    bool highLightsSet = false;
    bool lowLightsSet = false;
    bool landingRoll = false;
    bool leaveStand = false;
};

// Week slot as one number: weekday 1..7 in the low 32 bits, half-hour 0..47 in the high 32 bits.
std::uint64_t gf_weekSlotValue(const WeekdayAndSlot& slot);
// The weekday (1..7) and the half-hour (0..47) of a week slot.
std::uint32_t gf_weekSlotDay(std::uint64_t weekSlot);
std::int32_t gf_weekSlotHalfHour(std::uint64_t weekSlot);
// Half-hours since the start of the week, for ordering: (weekday - 1) * 48 + half-hour.
std::int64_t gf_weekSlotIndex(std::uint64_t weekSlot);

// Two aircraft of these half spans (nm) whose positions lie apartNm from each other touch when
// margin times their summed half spans reaches that far (a half span that is no number reaches
// everywhere).
inline bool gf_wingsTouch(double halfSpanA, double halfSpanB, double apartNm, double margin = 1.0)
{
    return !(apartNm > margin * (halfSpanA + halfSpanB));
}

// Light follows LIGHT_AIRCRAFT, HighPerf HIGH_PERF_AIRCRAFT, Rotorcraft HELICOPTERS; Buzjets,
// Large and Heavy are always enabled; any other value is not.
bool gf_categoryEnabled(AircraftCategory category);

// Queues THROTTLE_SET for a step 0..4 that differs from the last one sent; the step is kept
// in any case.
void gf_setThrottle(StaticAircraft& aircraft, std::uint32_t step);
// Queues FLAPS_SET for an index 0..4 (4 retracts) that differs from the last one sent; an index
// above 4 is only logged as a warning. Rotorcraft get no flaps at all.
void gf_setFlaps(StaticAircraft& aircraft, std::uint32_t index);

// Log texts naming a flight.
std::string gf_typeKeyText(const FlightIdentity& flight);  // "{:3} {:4}" airline, type
bool gf_sameTypeKey(const FlightIdentity& a, const FlightIdentity& b);
std::string gf_typeRegKeyText(const FlightIdentity& flight);
std::string gf_callsignText(const FlightIdentity& flight);  // "{:8}"
std::string gf_routeText(const FlightIdentity& flight);     // "{:3}->{:3}", eight blanks without route
std::string gf_flightIdText(const FlightIdentity& flight);  // route, callsign, registration
std::string gf_flightKeyText(const FlightIdentity& flight); // the usual name in log lines
std::string gf_flightLongText(const FlightIdentity& flight);

// Not empty, not "@@@@@@@@" and at most 8 characters.
bool gf_isValidCallsign(const FlightIdentity& flight);
// A callsign ending in '_' is the service's ghost of the flight without it.
bool gf_endsWithGhostMark(const std::string& callsign);
// The callsign of the service's ghost of that flight: the callsign with '_' appended.
std::string gf_ghostOf(const std::string& callsign);
// The first three letters in upper case of a callsign of three letters and a digit (and more);
// none otherwise.
std::optional<std::string> gf_airlineCodeOfCallsign(const std::string& callsign);
// Takes the airline from the callsign when it names one; answers whether it did.
[[nodiscard]] bool gf_airlineFromCallsign(FlightIdentity& flight);
