#pragma once
// A pause of the traffic feed is not the end of a flight.
//
// The traffic service pauses now and then (a restart, a network drop, an error answer), for tens
// of seconds to minutes, sending nothing new or its last reports again; the data clock
// (engine/data_clock) stands still meanwhile. A live aircraft whose track runs out while the feed
// pauses (no new data for more than a poll's worth) and its own data has not run out on that clock
// is at the feed's pause, not at the end of its flight: the track end notes which it is when the
// track runs out (gf_noteTrackEnd), and the note holds until a received point moves the aircraft
// on (gf_heldForPause). While the feed flows nothing of this applies.
// - On the ground it stops and holds there, up to the holding limit, as at the end of its data: a
//   taxiing or pushed-back aircraft where its track ends; an arrival in its landing roll and a
//   departure in its take-off run at the end of a roll-out, dead-reckoned as when the data of a
//   landing roll ends. A roll held so whose data has ended since (a minute of flowing data without
//   a report of it: its flight left the range meanwhile) goes, as a roll whose data ends goes after
//   its dead reckoning. (In the air nothing can hold: the rules of the air stay as they are.)
// - While it holds for a pause, the rules that remove a ground aircraft beside another at its track
//   end (a taxiing one within 1.2 times their summed half spans, the holder of the stand it stops
//   on) and the park search at its hold ask whether its data has ended (a minute of flowing data),
//   not whether it has run out (15 s): its own reports may come back later than the others'.
// - When its data comes again it goes on from where it holds (gf_resumeFromPause): a report on the
//   ground within HOLDING_THRESHOLD_METERS drives it on (a landing roll over); one farther away puts it there at once,
//   standing until that report plays, and a pushed-back aircraft taxis from there; one in the air
//   has it removed, to be made anew where its data flies. No report of it is refused for the speed
//   it held at.
// - One that goes on the ground while it holds for a pause (beside another once its data has ended,
//   standing in another's wings, or at the holding limit) is remembered for the holding time on the data
//   clock (gf_wentInPause): its flight, made anew, is shown where its data stands, on a stand or
//   off one, instead of waiting to move as a new flight standing off the stands does.
// A track that runs out after its data has run out is the end of that data, and every rule stays
// as it is: the aircraft holds up to the holding limit, goes within a minute of its newest report
// beside another taxiing one, is removed when its data turns up farther than the threshold from
// where it holds; a landing roll is dead-reckoned and then removed, a take-off run carried on.
//
// Worker thread only. The track end notes and asks, the standing pairs note; the position stream
// (decodeExisting), the intake (the speed-jump rule), the ground movement (the park search at a
// hold) and the spawn step ask.
#include <cstdint>

#include "engine/aircraft_records.hpp"

// The track has run out: at a fresh end (nothing held or dead-reckoned there yet) whether the feed
// pauses (the aircraft's data has not run out) is noted for as long as it waits there.
void gf_noteTrackEnd(LiveAircraft& aircraft);
// The aircraft waits at its track end (holds, or rolls to a stop) for a pause of the feed.
[[nodiscard]] bool gf_heldForPause(const LiveAircraft& aircraft);
// Its data is gone for the rules that remove a ground aircraft at its track end beside another:
// ended while it waits for a pause, run out otherwise. Asked by the track end.
[[nodiscard]] bool gf_holdDataGone(const LiveAircraft& aircraft);
// A ground aircraft in its landing roll or take-off run that waits for a pause: it is dead-reckoned
// to a stop as a roll-out, and then holds.
[[nodiscard]] bool gf_rollsToAStop(const LiveAircraft& aircraft);

// A landing roll or take-off run stopped for a pause, whose data has ended since: it goes.
[[nodiscard]] bool gf_rollEnded(const LiveAircraft& aircraft);

// The first received point of an aircraft that holds for a pause: it drives on to a point on the
// ground nearby, is put at once where a point on the ground farther away lies (standing there until
// that point plays), or is removed for a point in the air. True when the point is then to be taken
// as any other.
[[nodiscard]] bool gf_resumeFromPause(LiveAircraft& aircraft, TrackPoint& point);

// The aircraft goes (at its track end, or parted from one standing in its wings): one on the ground
// that waits at its track end for a pause is remembered.
void gf_noteGone(const LiveAircraft& aircraft);
// The flight's aircraft went on the ground at its track end while it held for a pause, within the
// holding time on the data clock: made anew it is placed where its data stands.
[[nodiscard]] bool gf_wentInPause(std::uint32_t hexid);
// Forgets them all (a new run, tests).
void gf_resetPauseHolds();
