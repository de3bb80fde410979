#pragma once
// Whether a flight's data has ended: one clock with one writer, which every rule asks.
//
// The clock runs only while the traffic feed brings new data. A report newer than its flight's
// newest one moves it on by the time since new data last came, by no more than a poll's worth
// (DATA_CLOCK_STEP_SECONDS). Nothing else moves it: not a report sent again, not the first report
// of a new record (which may be old data sent again, as when a record dropped for now is made anew
// from a feed repeating itself), and not the rest of a batch taken in after a pause, which the
// step's bound keeps from jumping by the whole pause. So the clock stands still while the service
// pauses, whether it sends nothing or its last reports again, and goes on from there when new data
// comes. Every flight notes the clock's reading at its newest report (NewestReport::clockTick).
// - A flight's data has ended once the clock has run more than DATA_ENDED_SECONDS past its newest
//   report. The held stands (a holder whose data has ended gives way to an arrival), the standing
//   pair (the one whose data ended first goes) and the late answers (a flight whose data ended in
//   the air is not shown late) ask this.
// - A flight's data has run out once the clock has run more than DATA_RAN_OUT_SECONDS past its
//   newest report. While the feed flows, a ground track ends about half a minute after its newest
//   report, when its data has run out: the track end then judges it as the end of its data. In a
//   pause the clock stops before that, and the aircraft holds where it is (for the holding time at
//   most) instead of being removed beside another, until its data comes again.
// - After a pause, a holder whose newest report is a minute older than an arriving flight's is in
//   doubt while the clock has not run a minute past the pause's end: its data may have ended in the
//   pause, or its next report may still be to come. The clock tells within that minute; a holder
//   whose reports keep coming a minute behind the others' is in doubt no longer than that.
// - The kept-off stands (engine/park_limits) forget a flight of which no record has come for a
//   minute of the clock, and a flight whose aircraft went on the ground while it held for a pause
//   is remembered (engine/pause_holds) for the holding time on the clock.
// - The feed pauses while no new data has come for more than DATA_CLOCK_STEP_SECONDS: a track that
//   runs out then is the feed's pause, not the end of its flight (engine/pause_holds).
// A report dated far in the future (damaged data) is only its own flight's newest: that flight's
// later reports are not newer than it and move nothing, while the other flights' reports move the
// clock as before, so one such report never stops it; that flight alone looks as if its data had
// ended. The intake refuses a report dated minutes ahead of its batch for that reason.
//
// Worker thread only: the intake writes (gf_clockTakesReport), the rules read.
#include "engine/aircraft_records.hpp"

// The most the clock moves at one step: a poll's worth, with room for a slow poll.
inline constexpr double DATA_CLOCK_STEP_SECONDS = 5.0;
// A ground track that ends sooner than this after its newest report, on the clock, ends in a pause.
inline constexpr double DATA_RAN_OUT_SECONDS = 15.0;

// The intake takes a report of a flight: newData when it is newer than that flight's newest report
// (not for the first report of a new record). New data moves the clock; the reading to note in the
// flight's newest report is returned.
[[nodiscard]] Tick gf_clockTakesReport(bool newData);

// The flight's data has ended: the clock has run more than DATA_ENDED_SECONDS past its newest
// report.
[[nodiscard]] bool gf_dataEnded(const LiveAircraft& aircraft);
// The flight's data has run out: the clock has run more than DATA_RAN_OUT_SECONDS past its newest
// report, or no report of it was ever taken. False while a pause keeps the clock from running.
[[nodiscard]] bool gf_dataRanOut(const LiveAircraft& aircraft);
// The first flight's newest report came in before the second's, on the clock.
[[nodiscard]] bool gf_dataEndedBefore(const LiveAircraft& first, const LiveAircraft& second);
// The feed pauses: no new data has come for more than DATA_CLOCK_STEP_SECONDS.
[[nodiscard]] bool gf_feedPaused();
// The clock's reading now: what the rules that keep their own memory of a flight measure with.
[[nodiscard]] Tick gf_dataClockNow();
// The clock has run more than DATA_ENDED_SECONDS since that reading.
[[nodiscard]] bool gf_endedSince(Tick clockReading);
// The holder's newest report is more than DATA_ENDED_SECONDS older than the arrival's while the
// holder's data has not ended, and the clock has not yet run DATA_ENDED_SECONDS past the end of the
// last pause of the feed (new data after more than DATA_CLOCK_STEP_SECONDS without any).
[[nodiscard]] bool gf_inDoubtAfterPause(const LiveAircraft& holder, const LiveAircraft& arrival);

// A new run, or a test: the clock back to its start.
void gf_resetDataClock();
