#pragma once
// The road of a received flight into the engine. The traffic reader hands each parsed reply to
// lf_scheduleReceived, which gives every point its play-out tick and puts the batch where the
// worker will take it: the replayed history batches whole, a live poll as the intake. On the
// worker, lf_takeHistory and lf_takeFromIntake pass the records to lf_handleReceivedFlight, which
// turns each into a new point of a known aircraft or, through lf_newLiveFlight and
// lf_addNewLiveAc, into a new LiveAircraft in buffer.
//
// A known aircraft's newest report is noted before thinning leaves it out of the track: the stand
// rules judge where the data is. The intake is the data clock's one writer (engine/data_clock): a
// report newer than its flight's newest from an earlier batch moves it (one batch is one poll
// answer or history batch, whatever the order of a flight's reports in it), and every newest
// report notes its reading. A taxiing aircraft's report thinned out is kept back and joins the
// track when no newer one follows within 5 s and twice the flight's report interval, so that a
// track ends where its data ends; a report no newer than the one kept back (sent again) does not
// put the join off. While nothing is kept back the join looks at nothing. The first report after
// an aircraft held for a pause of the feed is not judged as a speed jump from its own stop
// (engine/pause_holds decides where it goes on from).
#include <cstdint>
#include <vector>

// A report this far ahead of its batch's median data time is refused.
inline constexpr double FUTURE_REPORT_SECONDS = 300.0;

#include "traffic/traffic_records.hpp"

// Traffic reader thread, after each reply. A report dated more than FUTURE_REPORT_SECONDS ahead of
// the batch's median data time is refused with a warning: damaged data, which would leave its
// flight's later reports "not newer" and freeze it. Each point plays at delay × 100 + the current tick,
// moved by its data time's distance from the batch's median in whole tenths of a second
// (truncated toward zero). A history batch is queued for the worker whole; a live poll becomes
// the intake when the run takes flights and the intake is empty. records is left empty: what was
// not taken is dropped.
void lf_scheduleReceived(std::vector<LiveTrafficRecord>& records, TrafficBatchKind kind, std::uint32_t delaySeconds);

// Worker: every queued history record, in the order received.
void lf_takeHistory();
// Worker: the tick's share of the intake, each the last one.
void lf_takeFromIntake();
// The records a tick takes from a live batch of batchSize: a batch is in within half a second,
// at least two records a tick.
std::size_t gf_intakeShareOf(std::size_t batchSize);

// One received flight: ignored, a new point of the aircraft with its hexid, or a new aircraft.
void lf_handleReceivedFlight(const LiveTrafficRecord& record);
// A flight without an aircraft: its type corrected from the registration; a known type goes on.
void lf_newLiveFlight(LiveTrafficRecord& record);
// Builds the new LiveAircraft at the end of the live vector, in buffer and phase birth, unless
// its category is switched off or it flies just above the park airport.
void lf_addNewLiveAc(LiveTrafficRecord& record);

// Both intakes emptied (under the intake mutex): a new run takes nothing of the last one.
void lf_emptyIntake();
// Sets whether the run takes live polls (under the intake mutex).
void lf_setBufferedIntake(bool open);
