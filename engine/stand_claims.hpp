#pragma once
// Who holds a stand and who gives way.
//
// A live aircraft holds its stand while it stands parked there, active, and has not begun to leave
// it. An arrival (a taxiing aircraft that did not come from a stand, or one that is towed) meets
// the holder of a stand it comes to, and one of the two goes. An arrival is shown about 30 s
// behind its data, and thinning and point acceptance may leave its track 15-33 m behind its
// newest report: the rules judge both. Below, "before the two could touch" is when the distance
// between them, less the way the arrival can make before its next segment starts, is within
// STAND_TOUCHING_MARGIN (1.1) times the sum of their half spans; the arrival claims the held
// stand when its track stops within 20 m of the stand's point (STAND_NARROW_RADIUS_NM), or when
// its track has ended (no report came for as long as the play-out lags the data) standing within
// the stand's own radius.
// - A holder whose data has ended (engine/data_clock: the clock, which stands still while the feed
//   pauses, has run a minute past its newest report) goes: once the two shown come within the
//   touching margin after the arrival's newest report came onto its stand (within 20 m of the
//   stand's point, moving or stopped, or bound for it: at most 8 kt, within the touching distance and 20 m more, heading at the point so that its
//   line passes within 6 m of it, or within 15 degrees up to 12 m farther out); before the two
//   could touch once the arrival's track, from the segment it drives on, comes within 20 m of the
//   stand's point, whether it has stopped there or still moves on; at once when the track stops
//   there (a claim); before the two could touch for a stop farther out within the stand's radius;
//   and at the latest at the arrival's claim. The arrival then parks on that stand, however far
//   short of it its track ends (within 55 m), unless its track stops within 20 m of another; while
//   it holds that claim (gf_holdsClaim) its track end holds it there, whoever taxis beside it. The
//   report's claim lasts while the report stays within the stand's radius or keeps coming on
//   slowly with the point ahead; data that turns away, speeds up or leaves the ground lets it go,
//   and so does another aircraft taking the stand or the holder reporting again.
// - A holder whose newest report is a minute older than the arrival's while the clock has not yet
//   run a minute past it, nor past the pause's end (a pause of the feed lies between them), is in
//   doubt: the arrival claims its stand as from a holder whose data has ended, but the holder goes
//   only once the two shown come within the touching margin (the clock may meanwhile tell, within
//   a minute of flowing data); the arrival is never removed for it, and holds at its track end.
// - A holder whose reports still put it there stays, and the arrival goes: at its claim, at the
//   end of its track, or on its way there before the two could touch. Nothing else claims the
//   stand from such a holder: not data still moving onto it, nor a stop farther out, in front of
//   the stand on the apron lane, which may be a pause on the arrival's way (waiting for a
//   push-back), where the arrival holds as any taxiing aircraft does.
// Data that passes a stand without coming within 20 m of its point or heading at it leaves its
// holder there: on the apron lane in front of a stand it passes wide of the point. Any other
// aircraft (a departure, one pausing beside a held stand) holds as before.
//
// Two aircraft standing in each other's wings are parted by engine/standing_pairs, and the live
// aircraft removed for the parked count are kept off the stands by engine/park_limits.
//
// Worker thread only, like the stands and the aircraft lists. The files that call these rules (the
// stand search, the ground movement, the track end, the position stream and the spawn step)
// include this one; it includes none of them. Whether a flight's data has ended it asks of
// engine/data_clock, and keeps no clock of its own.
#include <cstdint>

#include "engine/aircraft_records.hpp"
#include "engine/stand_records.hpp"
#include "foundation/geodesy.hpp"

// The narrow park search: a track that stops this near a stand's point parks on it, and a stand up
// to 1.8 m too small is widened only this near.
inline constexpr double STAND_NARROW_RADIUS_NM = 20.0 / METRES_PER_NM;
// Two aircraft at stands closer than this many times their summed half spans touch.
inline constexpr double STAND_TOUCHING_MARGIN = 1.1;

// The first live aircraft whose stand number is this one; nullptr when none.
LiveAircraft* gf_firstLiveOnStand(std::uint32_t standNumber);

// The aircraft came from a stand: it was parked, or pushed back from one, before it taxied.
bool gf_cameFromStand(const LiveAircraft& aircraft);

// The live aircraft other than this one that holds the stand: active, parked there and not
// leaving; nullptr when none.
LiveAircraft* gf_standHolder(const Stand& stand, const LiveAircraft& aircraft);

// The nearest stand that another live aircraft holds (gf_standHolder) within 20 m of the position,
// or, onStand, within the stand's own radius; a heli stand only for a rotorcraft, as the free
// stands. nullptr when none.
Stand* gf_heldStandAt(const LatLon& position, const LiveAircraft& aircraft, bool onStand);

// The holder's data has ended (gf_dataEnded).
bool gf_holderDataEnded(const LiveAircraft& holder);

// The holder of the stand reports no newer data than a minute before the arrival's newest report,
// while the data clock, which a pause of the feed stops, has not run a minute past it nor past the
// pause's end (gf_inDoubtAfterPause): a pause lies between the two, and the holder's data may
// still go on (its report not taken in yet) or have ended in the pause. The clock tells within a
// minute of flowing data; until then neither goes.
[[nodiscard]] bool gf_holderInDoubt(const Stand& stand, const LiveAircraft& arrival);

// An arrival meets the stand's holder: the holder goes when its data has ended, the arrival is to
// park there, and true is returned; otherwise the holder's reports still put it there, the arrival
// goes, as one that finds its stand taken, and false is returned. True when nobody holds the stand;
// false, and neither goes, while the holder is in doubt (gf_holderInDoubt) and the two shown do not
// yet touch; touching, a holder in doubt goes as one whose data has ended.
[[nodiscard]] bool gf_settleHeldStand(const Stand& stand, LiveAircraft& arrival);

// A taxiing arrival (not from a stand, unless towed) at a segment start or a new point, in one
// walk of the occupied stands near its data (its track and its newest report): a holder whose
// data has ended goes before their wings could touch once the arrival's track comes within 20 m of
// its stand's point, moving or stopped, or its track stops within the stand's radius, and at once
// when the track stops within the 20 m; a newest report coming onto such a stand claims it (the
// nearest), and the claim is kept or let go. A holder that still reports meets only the track's
// stop, a claim: the two settle which goes (gf_settleHeldStand) when the coming leg could bring
// their wings together, before they touch. False when the arrival went.
[[nodiscard]] bool gf_approachHeldStand(LiveAircraft& aircraft);

// Every tick, for a taxiing arrival whose newest report came onto a stand that an aircraft whose
// data has ended holds (its claimed stand): the holder goes once the two come within the touching
// margin. The claim goes when another takes the stand or its holder reports again. False when the
// arrival went.
[[nodiscard]] bool gf_meetClaimHolder(LiveAircraft& aircraft);

// The arrival still holds a claim on a stand: the stand is free, or its holder's data has ended.
// Its holder went, or goes, so that this arrival can park there: at its track end it holds and
// parks, whoever taxis beside it. A claim lapses once another takes the stand.
[[nodiscard]] bool gf_holdsClaim(const LiveAircraft& aircraft);
