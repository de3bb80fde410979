#pragma once
// Two live aircraft shown standing still on the ground (parked, pushed back, or taxiing on a
// stationary stretch) closer than their summed half spans, at least one of whose data has ended
// (engine/data_clock: the clock has run a minute past its newest report), do not stay so: once a
// second the one whose data ended first goes, with the log line "{stand}: {callsign} removed, its
// data ended and {other} stands in its wings". Two whose data both still report stand where their
// data has them, however long the feed pauses, since the clock stands still then; static aircraft
// keep their own rules. Worker thread only; the tick driver calls it.

// Once a second: parts two standing still in each other's wings, one of whose data has ended.
void gf_clearStandingOverlaps();
