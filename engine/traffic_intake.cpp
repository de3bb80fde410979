#include "engine/traffic_intake.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/data_clock.hpp"
#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/pause_holds.hpp"
#include "engine/position_stream.hpp"
#include "engine/spawn_step.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"

namespace {

// A live poll is spread over the ticks so that no tick takes in a whole batch, but it must be in
// well before the next poll arrives (every 2 s at the service's quickest): a batch is taken in
// within half a second, at least two records a tick.
constexpr std::size_t MIN_RECORDS_PER_TICK = 2;
constexpr std::size_t INTAKE_SPREAD_TICKS = 50;
constexpr double NEWER_THAN_SECONDS = 1.0;
// Speed jumps that no aircraft makes between two reports.
constexpr double SLOW_KT = 5.0;
constexpr double JUMP_FACTOR = 10.0;
constexpr double JUMP_FROM_STANDSTILL_KT = 80.0;
// Reports that add nothing to a straight track.
constexpr double THIN_AIR_MIN_KT = 120.0;
constexpr double THIN_AIR_TRACK_DEG = 1.0;
constexpr double THIN_AIR_DISTANCE_NM = 0.2429805615550756;  // 450 m
constexpr double THIN_GROUND_MAX_KT = 30.0;
constexpr double THIN_GROUND_TRACK_DEG = 2.0;
constexpr double THIN_GROUND_DISTANCE_NM = 0.010799136069114472;  // 20 m
constexpr double THIN_GROUND_MAX_SECONDS = 15.0;
// A taxiing aircraft is reported at every poll, every 2 s at the service's quickest: a report
// thinned out with nothing newer this long after it, and twice as long as the flight's reports
// come apart, is the last before its data ended (or paused), and the track must not end short
// of it. Joined sooner, while reports still come, it would stop the aircraft mid-taxi.
constexpr double THINNED_REPORT_WAIT_SECONDS = 5.0;
constexpr double THINNED_REPORT_WAIT_INTERVALS = 2.0;
constexpr double SECONDS_PER_HOUR = 3600.0;
// A new flight this close above the park airport is a ground report with a bad altitude.
constexpr double GATE_CEILING_FT = 10000.0;
constexpr double GATE_BAND_FT = 108.0;
constexpr double NO_PARK_AIRPORT_ELEVATION_FT = -1000.0;
constexpr double TENTHS_LIMIT = static_cast<double>(std::numeric_limits<std::int32_t>::max());

// Tenths of a second from the median, truncated toward zero and bounded to 32 bits.
Tick lf_tenthsFromMedian(double dataTime, double median)
{
    const double tenths = std::trunc(10.0 * (dataTime - median));
    if (std::isnan(tenths))
        return 0;
    return static_cast<Tick>(std::clamp(tenths, -TENTHS_LIMIT, TENTHS_LIMIT));
}

double lf_medianDataTime(const std::vector<LiveTrafficRecord>& records)
{
    std::vector<double> times;
    times.reserve(records.size());
    for (const LiveTrafficRecord& record : records)
        times.push_back(record.dataTime);
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
    return times[times.size() / 2];
}

// A report dated minutes ahead of its batch is damaged: taken, it would be its flight's newest, and
// every later report of the flight "not newer" than it.
void lf_refuseFutureReports(std::vector<LiveTrafficRecord>& records, double median)
{
    std::erase_if(records, [median](const LiveTrafficRecord& record) {
        if (!(record.dataTime - median > FUTURE_REPORT_SECONDS))
            return false;
        gf_logWarn(vald::format("{} {} report dated {:.0f} s ahead of its batch refused", "lf_scheduleReceived",
                                gf_flightKeyText(record.flight), record.dataTime - median));
        return true;
    });
}

void lf_givePlayTicks(std::vector<LiveTrafficRecord>& records, std::uint32_t delaySeconds, double median)
{
    const Tick base = static_cast<Tick>(delaySeconds) * TICKS_PER_SECOND + tickCounter.load();
    for (LiveTrafficRecord& record : records)
        record.playTick = base + 10 * lf_tenthsFromMedian(record.dataTime, median);
}

double lf_trackDifferenceDeg(double a, double b)
{
    const double difference = std::fmod(std::fabs(a - b), 360.0);
    return difference > 180.0 ? 360.0 - difference : difference;
}

bool lf_speedJump(double lastKt, double newKt)
{
    return (lastKt > SLOW_KT && newKt >= JUMP_FACTOR * lastKt) || (newKt > SLOW_KT && lastKt >= JUMP_FACTOR * newKt) ||
           (lastKt <= SLOW_KT && newKt >= JUMP_FROM_STANDSTILL_KT) ||
           (newKt <= SLOW_KT && lastKt >= JUMP_FROM_STANDSTILL_KT);
}

// A report on a straight line that comes sooner than the aircraft covers a few hundred metres
// (in the air) or twenty metres (taxiing) adds nothing.
bool lf_thinnedOut(const TrackPoint& last, const LiveTrafficRecord& record, double dt)
{
    const double gs = record.groundSpeedKt;
    const double turn = lf_trackDifferenceDeg(record.trackDeg, last.track);
    if (record.airborne)
        return gs > THIN_AIR_MIN_KT && turn <= THIN_AIR_TRACK_DEG &&
               dt <= THIN_AIR_DISTANCE_NM / gs * SECONDS_PER_HOUR;
    if (gs > THIN_GROUND_MAX_KT || turn > THIN_GROUND_TRACK_DEG)
        return false;
    const double limit =
        gs == 0.0 ? THIN_GROUND_MAX_SECONDS
                  : std::min(THIN_GROUND_MAX_SECONDS, THIN_GROUND_DISTANCE_NM / gs * SECONDS_PER_HOUR);
    return dt <= limit;
}

bool lf_justAboveParkAirport(double altitudeFt)
{
    if (!(altitudeFt > 0.0 && altitudeFt < GATE_CEILING_FT))
        return false;
    const std::optional<double> elevation = lf_parkAirportElevation();
    return std::fabs(altitudeFt - elevation.value_or(NO_PARK_AIRPORT_ELEVATION_FT)) <= GATE_BAND_FT;
}

// The aircraft with a report kept back, by hexid, with the tick at which it joins the track;
// and the earliest of those ticks. Nothing is looked at while none is due.
std::unordered_map<std::uint32_t, Tick> keptBackDue;
Tick firstKeptBackDue = std::numeric_limits<Tick>::max();

// A report thinned out of a taxiing aircraft's track is kept back in case its data ends there. One
// no newer than the report kept back (the feed sending its last reports again) changes nothing: it
// must not put the join off, or a track whose data ends there would end short of it.
void lf_keepBackThinned(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    if (aircraft.phase != FlightPhase::taxi || record.airborne)
        return;
    if (aircraft.thinnedReport && !(record.dataTime > aircraft.thinnedReport->dataTime))
        return;
    aircraft.thinnedReport = record;
    aircraft.thinnedTick = tickCounter.load();
    const double waitSeconds =
        std::max(THINNED_REPORT_WAIT_SECONDS, THINNED_REPORT_WAIT_INTERVALS * aircraft.reportIntervalSeconds);
    const Tick due = aircraft.thinnedTick + static_cast<Tick>(std::ceil(waitSeconds * TICKS_PER_SECOND));
    keptBackDue.insert_or_assign(aircraft.hexid, due);
    firstKeptBackDue = std::min(firstKeptBackDue, due);
}

// The batch the worker takes records from: each live poll and each history batch is one, numbered as
// handed over (under intakeMutex); the records handled now are of takenBatch.
std::uint64_t intakeBatch = 0, historyBatch = 0, lastBatch = 0;
std::uint64_t takenBatch = 0;

// The flight's newest report, before thinning and point acceptance, with how long after the one
// before it came: new data, which moves the data clock. A report newer than one of the same batch
// is not: a poll answer that lists a flight twice, whatever the order, is one answer, and one sent
// again while the feed pauses must not move the clock through its older report making the record.
void lf_noteNewestReport(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    NewestReport& newest = aircraft.newest;
    if (!(record.dataTime > newest.dataTime))
        return;
    const bool newData = newest.dataTime > 0.0 && newest.batch != takenBatch;
    if (newData)
        aircraft.reportIntervalSeconds = record.dataTime - newest.dataTime;
    newest = gf_newestReportOf(record, gf_clockTakesReport(newData));
    newest.batch = takenBatch;
}

// thin: a report that adds nothing to a straight track is left out (and kept back).
bool lf_acceptsKnown(LiveAircraft& aircraft, const LiveTrafficRecord& record, bool thin)
{
    if (aircraft.state == SimState::liveryrespawn || aircraft.state == SimState::removingfromsim)
        return false;
    if (!aircraft.track.empty()) {
        const TrackPoint& last = aircraft.track.back();
        const double dt = record.dataTime - aircraft.recordTime;
        if (!(dt > NEWER_THAN_SECONDS))
            return false;
        // The last point of an aircraft holding for a pause is its own stop, not a report.
        if (!gf_heldForPause(aircraft) && lf_speedJump(last.groundSpeed, record.groundSpeedKt))
            return false;
        lf_noteNewestReport(aircraft, record);
        if (thin && aircraft.trackEndWait < 1 && lf_thinnedOut(last, record, dt)) {
            lf_keepBackThinned(aircraft, record);
            return false;
        }
    } else {
        lf_noteNewestReport(aircraft, record);
    }
    if (aircraft.state == SimState::buffer && lf_justAboveParkAirport(record.altitudeFt))
        return false;
    return lf_respawnCheck(aircraft, record);
}

void lf_takeKnown(LiveAircraft& aircraft, const LiveTrafficRecord& record)
{
    if (aircraft.thinnedReport) {
        aircraft.thinnedReport.reset();
        keptBackDue.erase(aircraft.hexid);
    }
    aircraft.recordTime = record.dataTime;
    TrackPoint point = gf_trackPointOf(record);
    decodeExisting(aircraft, point);
}

// The reports kept back with nothing newer after them join their tracks.
void lf_joinThinnedReports()
{
    const Tick now = tickCounter.load();
    if (now < firstKeptBackDue)
        return;
    std::vector<std::uint32_t> due;
    firstKeptBackDue = std::numeric_limits<Tick>::max();
    for (const auto& [hexid, dueTick] : keptBackDue) {
        if (dueTick <= now)
            due.push_back(hexid);
        else
            firstKeptBackDue = std::min(firstKeptBackDue, dueTick);
    }
    for (const std::uint32_t hexid : due) {
        keptBackDue.erase(hexid);
        LiveAircraft* aircraft = gf_liveByHexid(hexid);
        if (aircraft == nullptr || !aircraft->thinnedReport)
            continue;
        const LiveTrafficRecord record = *aircraft->thinnedReport;
        aircraft->thinnedReport.reset();
        if (lf_acceptsKnown(*aircraft, record, false))
            lf_takeKnown(*aircraft, record);
    }
}

bool lf_sameFlightUnderAnotherHexid(const FlightIdentity& flight)
{
    if (flight.callsign.empty())
        return false;
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&flight](const LiveAircraft& aircraft) {
        return aircraft.identity.callsign == flight.callsign && aircraft.identity.type == flight.type;
    });
}

// Records taken a tick from the present intake, set when the batch is handed over (under
// intakeMutex).
std::size_t intakeShare = MIN_RECORDS_PER_TICK;

}  // namespace

std::size_t gf_intakeShareOf(std::size_t batchSize)
{
    return std::max(MIN_RECORDS_PER_TICK, (batchSize + INTAKE_SPREAD_TICKS - 1) / INTAKE_SPREAD_TICKS);
}

void lf_scheduleReceived(std::vector<LiveTrafficRecord>& records, TrafficBatchKind kind, std::uint32_t delaySeconds)
{
    if (records.empty())
        return;
    const double median = lf_medianDataTime(records);
    lf_refuseFutureReports(records, median);
    lf_givePlayTicks(records, delaySeconds, median);
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        if (kind == TrafficBatchKind::history) {
            historyIntake.insert(historyIntake.end(), records.begin(), records.end());
            historyBatch = ++lastBatch;
        } else if (intakeOpen && intake.empty()) {
            intake.swap(records);
            intakeShare = gf_intakeShareOf(intake.size());
            intakeBatch = ++lastBatch;
        }
    }
    records.clear();
}

void lf_emptyIntake()
{
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        intake.clear();
        historyIntake.clear();
        intakeShare = MIN_RECORDS_PER_TICK;
    }
    keptBackDue.clear();
    firstKeptBackDue = std::numeric_limits<Tick>::max();
    gf_resetDataClock();
}

void lf_takeHistory()
{
    std::vector<LiveTrafficRecord> taken;
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        taken.swap(historyIntake);
        takenBatch = historyBatch;
    }
    for (const LiveTrafficRecord& record : taken)
        lf_handleReceivedFlight(record);
}

void lf_takeFromIntake()
{
    std::vector<LiveTrafficRecord> taken;
    {
        std::lock_guard<std::mutex> lock(intakeMutex);
        takenBatch = intakeBatch;
        taken.reserve(std::min(intakeShare, intake.size()));
        for (std::size_t i = 0; i < intakeShare && !intake.empty(); ++i) {
            taken.push_back(std::move(intake.back()));
            intake.pop_back();
        }
    }
    for (const LiveTrafficRecord& record : taken)
        lf_handleReceivedFlight(record);
    lf_joinThinnedReports();
}

void lf_handleReceivedFlight(const LiveTrafficRecord& record)
{
    gf_assertEngineOwner();
    if (LiveAircraft* known = gf_liveByHexid(record.hexId)) {
        if (lf_acceptsKnown(*known, record, true))
            lf_takeKnown(*known, record);
        return;
    }
    if (lf_sameFlightUnderAnotherHexid(record.flight))
        return;
    LiveTrafficRecord flight = record;
    lf_newLiveFlight(flight);
}

void lf_newLiveFlight(LiveTrafficRecord& record)
{
    if (!record.flight.registration.empty()) {
        const std::optional<DbaseRecord> reference = gf_findRegcode(record.flight.registration);
        if (reference && !reference->type.empty())
            record.flight.type = reference->type;
    }
    if (gf_isKnownType(record.flight.type))
        lf_addNewLiveAc(record);
}

void lf_addNewLiveAc(LiveTrafficRecord& record)
{
    const AircraftCategory category = gf_typeCategory(record.flight.type);
    if (static_cast<std::int32_t>(category) > static_cast<std::int32_t>(AircraftCategory::Rotorcraft) ||
        !gf_categoryEnabled(category))
        return;
    if (lf_justAboveParkAirport(record.altitudeFt))
        return;
    record.flight.callsign2 = record.flight.callsign;
    record.flight.callsign3.clear();
    record.flight.coupledSearched = false;
    AircraftInstance instance = gf_makeAircraftInstance(record.flight);
    instance.hexid = record.hexId;
    instance.currentTurnRate = instance.turnRate;
    const CategoryConstants& constants = gf_categoryConstants(instance.category);
    instance.maxClimbStep = constants.maxClimbStepFt;
    instance.pushSpeed = constants.pushSpeedKt;
    LiveAircraft& aircraft = liveAircraft.emplace_back(gf_trackPointOf(record), instance, record.dataTime);
    // A new record's first report may be old data sent again: it does not move the data clock.
    aircraft.newest = gf_newestReportOf(record, gf_clockTakesReport(false));
    aircraft.newest.batch = takenBatch;
}

void lf_setBufferedIntake(bool open)
{
    std::lock_guard<std::mutex> lock(intakeMutex);
    intakeOpen = open;
}
