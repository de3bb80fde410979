#include "engine/creation_queue.hpp"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "engine/creation_answers.hpp"
#include "engine/data_clock.hpp"
#include "engine/engine_state.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_records.hpp"

namespace {

constexpr std::size_t ADDING_STACK_CAPACITY = 64;
constexpr double FARTHER_MARGIN_NM = 0.1;

// Built at its first use: the tests' names for the containers may bind to them before this file's
// own globals are made.
WaitingCreations& lf_waiting()
{
    static WaitingCreations waiting;
    return waiting;
}

// Takes every request for the aircraft with this hexid out of the queue, keeping the order of the
// others; true when one was taken.
bool lf_unqueueCreation(CreationQueue& queue, std::uint32_t hexid)
{
    const auto before = queue.size();
    std::erase_if(queue, [hexid](const CreationRequest& request) { return request.hexid == hexid; });
    return queue.size() != before;
}

CreationRequest lf_creationRequestOf(const LiveAircraft& aircraft)
{
    const SimPosition& at = aircraft.simPosition;
    CreationRequest request;
    request.position = SimInitPosition{at.lat,
                                       at.lon,
                                       at.altitude,
                                       at.pitch * RAD_TO_DEG,
                                       at.bank * RAD_TO_DEG,
                                       at.heading * RAD_TO_DEG,
                                       aircraft.track.empty() || !aircraft.track.front().airborne ? 1u : 0u,
                                       0};
    request.tailNumber = aircraft.identity.callsign;
    request.liveryTitle = std::string(aircraft.liveryTitle);
    request.hexid = aircraft.hexid;
    return request;
}

// Sent to the simulator and not yet released as active: a loaded simulator shows it many seconds
// later.
bool lf_creationSent(const LiveAircraft& aircraft)
{
    return aircraft.state == SimState::adding2sim && !aircraft.dequeued && !gf_creationWaits(aircraft.hexid);
}

// The aircraft holds a place in the simulator: active, answered and waiting to be released (unless
// it is to be removed then), or away for a respawn.
bool lf_holdsPlace(const LiveAircraft& aircraft)
{
    if (aircraft.state == SimState::active ||
        (aircraft.state == SimState::adding2sim && aircraft.objectId != 0 && !aircraft.removeWhenCreated))
        return true;
    return aircraft.respawning && aircraft.state != SimState::removingfromsim;
}

// Newcomer, and the shown aircraft that gives its place up to it.
struct HandOver {
    std::uint32_t newcomer = 0;
    std::uint32_t giver = 0;
};
std::vector<HandOver> handOvers;

bool lf_promised(std::uint32_t hexid)
{
    return std::any_of(handOvers.begin(), handOvers.end(),
                       [hexid](const HandOver& handOver) { return handOver.giver == hexid; });
}

bool lf_keptPlaceHeld(std::uint32_t hexid);

// Hand-overs whose newcomer is shown or gone (or is to go), or whose giver has gone, are over. A
// newcomer whose creation was given up goes on waiting for its place while that creation keeps it.
void lf_endHandOvers()
{
    std::erase_if(handOvers, [](const HandOver& handOver) {
        const LiveAircraft* newcomer = gf_liveByHexid(handOver.newcomer);
        const LiveAircraft* giver = gf_liveByHexid(handOver.giver);
        if (giver == nullptr || giver->state != SimState::active)
            return true;
        if (lf_keptPlaceHeld(handOver.newcomer))
            return false;
        return newcomer == nullptr || newcomer->state != SimState::adding2sim || newcomer->objectId != 0 ||
               newcomer->dequeued || newcomer->removeWhenCreated;
    });
}

constexpr Tick GIVEN_UP_MEMORY_TICKS =
    std::chrono::duration_cast<std::chrono::seconds>(GIVEN_UP_CREATION_MEMORY).count() * TICKS_PER_SECOND;
constexpr std::size_t GIVEN_UP_CAPACITY = CREATION_MEMORY_CAPACITY;

struct KeptLive {
    LiveAircraft aircraft;
    Tick keptAt = 0;
    bool placeTaken = false;  // a nearer newcomer took the place it kept
};
std::vector<KeptLive> keptLive;
std::vector<StaticAircraft> keptStatics;
std::vector<GivenUpCreation> givenUpCreations;

void lf_forgetOldCreations()
{
    const Tick now = tickCounter.load();
    std::erase_if(givenUpCreations,
                  [now](const GivenUpCreation& given) { return now - given.givenUpAt >= GIVEN_UP_MEMORY_TICKS; });
}

// Creations of the flight given up and not answered yet.
std::size_t lf_unansweredCount(std::uint32_t hexid)
{
    return static_cast<std::size_t>(
        std::count_if(givenUpCreations.begin(), givenUpCreations.end(),
                      [hexid](const GivenUpCreation& given) { return given.hexid == hexid && given.objectId == 0; }));
}

// When the flight's last point known was due to be reached.
Tick lf_lastPointTick(const LiveAircraft& aircraft)
{
    return aircraft.track.empty() ? std::numeric_limits<Tick>::min() : aircraft.track.back().playTick;
}

// Where the flight is now: the first point of its track not yet due, else its last point.
LatLon lf_positionNow(const LiveAircraft& aircraft)
{
    const Tick now = tickCounter.load();
    for (const TrackPoint& point : aircraft.track)
        if (point.playTick >= now)
            return LatLon{point.lat, point.lon};
    return aircraft.track.empty() ? LatLon{aircraft.simPosition.lat, aircraft.simPosition.lon}
                                  : LatLon{aircraft.track.back().lat, aircraft.track.back().lon};
}

double lf_distanceNow(const LiveAircraft& aircraft)
{
    return gf_distanceNm(LatLon{engineUserSnapshot.latitude, engineUserSnapshot.longitude}, lf_positionNow(aircraft));
}

// One more aircraft shown, by the nearest-first rule: into a free place, or into the place of an
// aircraft farther away, which goes once this one is shown.
bool lf_nearestFirst(const LiveAircraft& aircraft)
{
    const std::int32_t limit = MAX_LIVE_SEL.value();
    if (limit <= 0)
        return false;
    if (gf_shownCount() < static_cast<std::size_t>(limit))
        return true;
    return gf_farthestActiveBeyond(lf_distanceNow(aircraft), true) != nullptr;
}

KeptLive* lf_keptLive(std::uint32_t hexid)
{
    const auto found = std::find_if(keptLive.begin(), keptLive.end(),
                                    [hexid](const KeptLive& kept) { return kept.aircraft.hexid == hexid; });
    return found == keptLive.end() ? nullptr : &*found;
}

// The flight's newest known: its record in buffer, if it has one, else the record kept.
const LiveAircraft& lf_newestOf(const KeptLive& kept)
{
    const LiveAircraft* live = gf_liveByHexid(kept.aircraft.hexid);
    return live != nullptr ? *live : kept.aircraft;
}

// A flight whose creation was given up keeps its place at the live limit while that creation may
// still be answered: its late object is the flight's aircraft, and a flight let into the place
// meanwhile would only be made to be removed. Not once its own record counts again (placed anew,
// or shown), nor once a nearer newcomer took the place, nor once its data has ended in the air
// (asked of the flight's newest record: the one kept learns only what a record dropped for now
// passes on).
bool lf_holdsKeptPlace(const KeptLive& kept)
{
    if (kept.placeTaken || !gf_givenUpMayBeAnswered(kept.aircraft.hexid))
        return false;
    const LiveAircraft* live = gf_liveByHexid(kept.aircraft.hexid);
    if (live != nullptr && (live->state != SimState::buffer || live->respawning))
        return false;
    const LiveAircraft& newest = lf_newestOf(kept);
    return newest.track.empty() || !newest.track.back().airborne || !gf_dataEnded(newest);
}

bool lf_keptPlaceHeld(std::uint32_t hexid)
{
    const KeptLive* kept = lf_keptLive(hexid);
    return kept != nullptr && lf_holdsKeptPlace(*kept);
}

std::size_t lf_keptPlacesHeld()
{
    return static_cast<std::size_t>(std::count_if(keptLive.begin(), keptLive.end(), lf_holdsKeptPlace));
}

}  // namespace

void gf_placeLiveCreation(std::uint32_t hexid) { lf_waiting().addingStack.push_back(hexid); }

void gf_placeStaticCreation(const CreationRequest& request) { lf_waiting().statics.push_back(request); }

void gf_serveAddingStack()
{
    std::vector<std::uint32_t>& addingStack = lf_waiting().addingStack;
    if (addingStack.empty())
        return;
    const std::uint32_t hexid = addingStack.back();
    addingStack.pop_back();
    const LiveAircraft* found = gf_liveByHexid(hexid);
    if (found == nullptr)
        return;
    if (found->identity.callsign.empty()) {
        gf_logWarn(vald::format("{} {} objectid = 0?", "lf_handleAddingStack", gf_flightKeyText(found->identity)));
        return;
    }
    // An aircraft that respawns is missing from the simulator until it is made again: it goes
    // ahead of the newcomers.
    if (found->respawning)
        lf_waiting().live.push_front(lf_creationRequestOf(*found));
    else
        lf_waiting().live.push_back(lf_creationRequestOf(*found));
}

bool gf_handOnCreation()
{
    WaitingCreations& waiting = lf_waiting();
    for (CreationQueue* queue : {&waiting.live, &waiting.statics}) {
        // An aircraft whose creation given up may still be answered waits for that answer.
        const auto first = std::find_if(queue->begin(), queue->end(), [](const CreationRequest& request) {
            return !gf_givenUpMayBeAnswered(request.hexid);
        });
        if (first == queue->end())
            continue;
        gf_noteCreationHandedOn(first->hexid);
        gf_queueCreateAc(*first);
        queue->erase(first);
        return queue == &waiting.live;
    }
    return false;
}

bool gf_withdrawCreation(std::uint32_t hexid)
{
    WaitingCreations& waiting = lf_waiting();
    const bool placed = std::erase(waiting.addingStack, hexid) != 0;
    const bool queued = lf_unqueueCreation(waiting.live, hexid) || lf_unqueueCreation(waiting.statics, hexid);
    return placed || queued;
}

bool gf_creationWaits(std::uint32_t hexid)
{
    const WaitingCreations& waiting = lf_waiting();
    return std::find(waiting.addingStack.begin(), waiting.addingStack.end(), hexid) != waiting.addingStack.end() ||
           std::any_of(waiting.live.begin(), waiting.live.end(),
                       [hexid](const CreationRequest& request) { return request.hexid == hexid; });
}

std::size_t gf_liveCreationsQueued() { return lf_waiting().live.size(); }

std::size_t gf_creationsUnderWay()
{
    return static_cast<std::size_t>(std::count_if(liveAircraft.begin(), liveAircraft.end(), lf_creationSent)) +
           lf_waiting().addingStack.size() + lf_waiting().live.size();
}

void gf_noteHandOver(std::uint32_t newcomer, std::uint32_t giver) { handOvers.push_back(HandOver{newcomer, giver}); }

bool gf_givesWay(std::uint32_t hexid)
{
    lf_endHandOvers();
    return lf_promised(hexid);
}

LiveAircraft* gf_farthestActiveBeyond(double distanceNm, bool givingWay)
{
    gf_assertEngineOwner();
    if (!givingWay)
        lf_endHandOvers();
    const LatLon user{engineUserSnapshot.latitude, engineUserSnapshot.longitude};
    double best = distanceNm;
    LiveAircraft* farthest = nullptr;
    for (LiveAircraft& aircraft : liveAircraft) {
        if (aircraft.state != SimState::active)
            continue;
        const double distance = gf_distanceNm(user, LatLon{aircraft.simPosition.lat, aircraft.simPosition.lon});
        if (distance > best + FARTHER_MARGIN_NM && (givingWay || !lf_promised(aircraft.hexid))) {
            farthest = &aircraft;
            best = distance;
        }
    }
    return farthest;
}

std::size_t gf_liveCount()
{
    const auto counted = std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& aircraft) {
        const bool away = aircraft.state == SimState::liveryrespawn || aircraft.state == SimState::buffer;
        return aircraft.state == SimState::active || (aircraft.respawning && away);
    });
    lf_endHandOvers();
    return static_cast<std::size_t>(counted) + gf_creationsUnderWay() + lf_keptPlacesHeld() - handOvers.size();
}

bool gf_holdsKeptPlace(std::uint32_t hexid) { return lf_keptPlaceHeld(hexid); }

std::optional<KeptPlace> gf_farthestKeptPlace(double distanceNm)
{
    std::optional<KeptPlace> farthest;
    for (const KeptLive& kept : keptLive) {
        if (!lf_holdsKeptPlace(kept))
            continue;
        const double distance = lf_distanceNow(lf_newestOf(kept));
        if (distance > (farthest ? farthest->distanceNm : distanceNm) + FARTHER_MARGIN_NM)
            farthest = KeptPlace{kept.aircraft.hexid, distance};
    }
    return farthest;
}

PlaceToTake gf_placeToTake(double distanceNm)
{
    PlaceToTake place;
    const LiveAircraft* giver = gf_farthestActiveBeyond(distanceNm, false);
    const LatLon user{engineUserSnapshot.latitude, engineUserSnapshot.longitude};
    const std::optional<KeptPlace> kept = gf_farthestKeptPlace(
        giver != nullptr ? gf_distanceNm(user, LatLon{giver->simPosition.lat, giver->simPosition.lon}) - FARTHER_MARGIN_NM
                         : distanceNm);
    if (kept)
        place.keptHexid = kept->hexid;
    else if (giver != nullptr)
        place.giverHexid = giver->hexid;
    return place;
}

void gf_takePlace(std::uint32_t newcomer, const PlaceToTake& place)
{
    if (place.keptHexid != 0) {
        gf_releaseKeptPlace(place.keptHexid);
        return;
    }
    const LiveAircraft* giver = gf_liveByHexid(place.giverHexid);
    if (giver != nullptr && giver->state == SimState::active)
        gf_noteHandOver(newcomer, giver->hexid);
}

void gf_releaseKeptPlace(std::uint32_t hexid)
{
    if (KeptLive* kept = lf_keptLive(hexid))
        kept->placeTaken = true;
}

std::size_t gf_shownCount()
{
    return static_cast<std::size_t>(std::count_if(liveAircraft.begin(), liveAircraft.end(), lf_holdsPlace));
}

void gf_reserveCreationQueues() { lf_waiting().addingStack.reserve(ADDING_STACK_CAPACITY); }

void gf_resetCreationQueues()
{
    WaitingCreations& waiting = lf_waiting();
    waiting.addingStack.clear();
    waiting.live = CreationQueue();
    waiting.statics = CreationQueue();
    handOvers.clear();
}

WaitingCreations& gf_waitingCreationsForTest() { return lf_waiting(); }

void lf_renewWaitingCreation(const LiveAircraft& aircraft)
{
    for (CreationRequest& request : lf_waiting().live) {
        if (request.hexid != aircraft.hexid)
            continue;
        request.tailNumber = aircraft.identity.callsign;
        request.liveryTitle = aircraft.liveryTitle;
    }
}

void gf_noteGivenUp(GivenUpCreation creation)
{
    gf_assertEngineOwner();
    lf_forgetOldCreations();
    if (givenUpCreations.size() >= GIVEN_UP_CAPACITY)
        givenUpCreations.erase(givenUpCreations.begin());
    creation.givenUpAt = tickCounter.load();
    givenUpCreations.push_back(std::move(creation));
}

std::optional<GivenUpCreation> gf_takeGivenUpCreation(std::uint32_t hexid, std::uint32_t sendId)
{
    lf_forgetOldCreations();
    const auto found =
        std::find_if(givenUpCreations.begin(), givenUpCreations.end(), [hexid, sendId](const GivenUpCreation& given) {
            return given.hexid == hexid && given.sendId == sendId;
        });
    if (found == givenUpCreations.end())
        return std::nullopt;
    std::optional<GivenUpCreation> taken(std::move(*found));
    givenUpCreations.erase(found);
    return taken;
}

void gf_noteAnsweredLate(GivenUpCreation creation)
{
    if (creation.objectId != 0)
        givenUpCreations.push_back(std::move(creation));
}

void gf_keepGivenUp(const LiveAircraft& aircraft)
{
    gf_assertEngineOwner();
    const Tick now = tickCounter.load();
    std::erase_if(keptLive, [&aircraft, now](const KeptLive& kept) {
        return kept.aircraft.hexid == aircraft.hexid || now - kept.keptAt >= GIVEN_UP_MEMORY_TICKS;
    });
    if (keptLive.size() >= GIVEN_UP_CAPACITY)
        keptLive.erase(keptLive.begin());
    keptLive.push_back(KeptLive{aircraft, now});
}

void gf_takeNewerPoints(LiveAircraft& record, const LiveAircraft& newer)
{
    const Tick last = lf_lastPointTick(record);
    for (const TrackPoint& point : newer.track)
        if (point.playTick > last)
            record.track.push_back(point);
    record.recordTime = std::max(record.recordTime, newer.recordTime);
    if (newer.newest.dataTime > record.newest.dataTime)
        record.newest = newer.newest;
}

void gf_keptLiveTakesNewerPoints(const LiveAircraft& dropped)
{
    for (KeptLive& kept : keptLive)
        if (kept.aircraft.hexid == dropped.hexid)
            gf_takeNewerPoints(kept.aircraft, dropped);
}

std::optional<LiveAircraft> gf_takeGivenUpLive(std::uint32_t hexid)
{
    const auto found = std::find_if(keptLive.begin(), keptLive.end(),
                                    [hexid](const KeptLive& kept) { return kept.aircraft.hexid == hexid; });
    if (found == keptLive.end())
        return std::nullopt;
    std::optional<LiveAircraft> taken(std::move(found->aircraft));
    keptLive.erase(found);
    return taken;
}

void gf_forgetGivenUpLive(std::uint32_t hexid)
{
    static_cast<void>(gf_takeGivenUpLive(hexid));
    for (GivenUpCreation& given : givenUpCreations)
        if (given.hexid == hexid && given.objectId == 0)
            given.superseded = true;
}

LateLiveVerdict gf_judgeLateLive(std::uint32_t hexid, std::uint32_t sendId, std::uint32_t objectId)
{
    using Kind = LateLiveVerdict::Kind;
    LateLiveVerdict verdict;
    verdict.shown = gf_takeGivenUpCreation(hexid, sendId);
    if (verdict.shown)
        verdict.shown->objectId = objectId;
    const LiveAircraft* aircraft = gf_liveByHexid(hexid);
    // Given up before the flight was shown or removed: a record kept now is a later creation's.
    const bool superseded = verdict.shown && verdict.shown->superseded;
    std::optional<LiveAircraft>& kept = verdict.kept;
    kept = superseded ? std::nullopt : gf_takeGivenUpLive(hexid);
    verdict.name = aircraft != nullptr ? gf_flightKeyText(aircraft->identity)
                   : kept              ? gf_flightKeyText(kept->identity)
                   : verdict.shown     ? gf_flightKeyText(verdict.shown->identity)
                                       : vald::format("{:x}", hexid);
    // A flight whose data has ended in the air since its creation was given up has gone as surely
    // as one removed; one whose data ended on the ground stands where it ended, as it would stand
    // had the creation been answered in time (a parked arrival on its stand).
    if (aircraft == nullptr && kept && !kept->track.empty() && gf_dataEnded(*kept) && kept->track.back().airborne)
        kept.reset();
    if (!kept)
        return verdict;
    if (aircraft != nullptr && aircraft->state == SimState::adding2sim) {
        // The flight waits for a creation of its own: the object takes its place, as a prompt
        // answer would have been shown before it (that creation withdrawn while it waits to be
        // sent; sent, its own answer is one too many). Not for a flight shown already, nor one
        // whose removal was asked.
        kept.reset();
        if (aircraft->objectId != 0 || aircraft->removeWhenCreated)
            return verdict;
        // Its place was judged when it was placed; the answer may come minutes later, when the
        // flights shown have moved on, and it is judged again as a newcomer.
        verdict.kind = lf_nearestFirst(*aircraft) ? Kind::inPlaceOfCreation : Kind::beyondLimit;
        return verdict;
    }
    if (aircraft != nullptr && (aircraft->state != SimState::buffer || aircraft->respawning)) {
        kept.reset();
        return verdict;
    }
    if (!lf_nearestFirst(aircraft != nullptr ? *aircraft : *kept)) {
        kept.reset();
        return verdict;
    }
    verdict.kind = aircraft == nullptr ? Kind::bringBack : Kind::joinBuffered;
    return verdict;
}

void gf_keepGivenUp(const StaticAircraft& aircraft)
{
    gf_assertEngineOwner();
    std::erase_if(keptStatics, [&aircraft](const StaticAircraft& kept) { return kept.hexid == aircraft.hexid; });
    if (keptStatics.size() >= GIVEN_UP_CAPACITY)
        keptStatics.erase(keptStatics.begin());
    keptStatics.push_back(aircraft);
}

bool gf_givenUpStaticWaits() { return !keptStatics.empty(); }

std::optional<StaticAircraft> gf_takeGivenUpStatic(std::uint32_t hexid)
{
    const auto found = std::find_if(keptStatics.begin(), keptStatics.end(),
                                    [hexid](const StaticAircraft& kept) { return kept.hexid == hexid; });
    if (found == keptStatics.end())
        return std::nullopt;
    std::optional<StaticAircraft> taken(std::move(*found));
    keptStatics.erase(found);
    return taken;
}

std::optional<StaticAircraft> gf_takeFirstGivenUpStatic()
{
    lf_forgetOldCreations();
    const auto first = std::find_if(keptStatics.begin(), keptStatics.end(),
                                    [](const StaticAircraft& kept) { return lf_unansweredCount(kept.hexid) <= 1; });
    if (first == keptStatics.end())
        return std::nullopt;
    return gf_takeGivenUpStatic(first->hexid);
}

void gf_forgetGivenUpStatics() { keptStatics.clear(); }

void gf_resetGivenUpCreations()
{
    keptLive.clear();
    keptStatics.clear();
    givenUpCreations.clear();
}
