#include "engine/creation_queue.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <iterator>
#include <limits>
#include <optional>
#include <unordered_map>
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
// Noted by the spawn step; a hand-over that is over no longer counts, and is forgotten by the
// once-a-tick step.
std::vector<HandOver> handOvers;

constexpr Tick GIVEN_UP_MEMORY_TICKS =
    std::chrono::duration_cast<std::chrono::seconds>(GIVEN_UP_CREATION_MEMORY).count() * TICKS_PER_SECOND;
constexpr std::size_t GIVEN_UP_CAPACITY = CREATION_MEMORY_CAPACITY;

// The creations handed on, each until it is answered in time or given up; oldest first.
struct SentCreation {
    std::uint32_t hexid = 0;
    Tick sentAt = 0;
};
std::vector<SentCreation> handedOn;

// The creations given up, by the flight's (or static's) hexid, each list in the order noted.
struct NotedGivenUp {
    GivenUpCreation creation;
    std::uint64_t noted = 0;  // the order noted, for the capacity
};
std::unordered_map<std::uint32_t, std::vector<NotedGivenUp>> givenUpCreations;
std::size_t givenUpCount = 0;
std::uint64_t givenUpNoted = 0;
Tick oldestGivenUpAt = std::numeric_limits<Tick>::max();  // none is older

struct KeptLive {
    LiveAircraft aircraft;
    Tick keptAt = 0;
    bool placeTaken = false;  // a nearer newcomer took the place it kept
};
// In the order kept, with each one's place in the list by the flight's hexid.
std::vector<KeptLive> keptLive;
std::unordered_map<std::uint32_t, std::size_t> keptSlot;
std::vector<StaticAircraft> keptStatics;

Tick lastTidyTick = std::numeric_limits<Tick>::min();

std::vector<NotedGivenUp>* lf_givenUpOf(std::uint32_t hexid)
{
    const auto found = givenUpCreations.find(hexid);
    return found == givenUpCreations.end() ? nullptr : &found->second;
}

// Creations of the flight given up and not answered yet.
std::size_t lf_unansweredCount(std::uint32_t hexid)
{
    const std::vector<NotedGivenUp>* given = lf_givenUpOf(hexid);
    return given == nullptr ? 0
                            : static_cast<std::size_t>(std::count_if(
                                  given->begin(), given->end(),
                                  [](const NotedGivenUp& noted) { return noted.creation.objectId == 0; }));
}

void lf_addGivenUp(GivenUpCreation creation)
{
    if (givenUpCount >= GIVEN_UP_CAPACITY) {
        // Answers are being lost: the one noted first goes.
        auto oldest = givenUpCreations.end();
        for (auto flight = givenUpCreations.begin(); flight != givenUpCreations.end(); ++flight)
            if (oldest == givenUpCreations.end() || flight->second.front().noted < oldest->second.front().noted)
                oldest = flight;
        oldest->second.erase(oldest->second.begin());
        --givenUpCount;
        if (oldest->second.empty())
            givenUpCreations.erase(oldest);
    }
    const std::uint32_t hexid = creation.hexid;
    oldestGivenUpAt = std::min(oldestGivenUpAt, creation.givenUpAt);
    givenUpCreations[hexid].push_back(NotedGivenUp{std::move(creation), ++givenUpNoted});
    ++givenUpCount;
}

// The oldest creation of the aircraft handed on, taken out; nothing when none is noted.
std::optional<Tick> lf_takeHandedOn(std::uint32_t hexid)
{
    const auto found = std::find_if(handedOn.begin(), handedOn.end(),
                                    [hexid](const SentCreation& sent) { return sent.hexid == hexid; });
    if (found == handedOn.end())
        return std::nullopt;
    const Tick sentAt = found->sentAt;
    handedOn.erase(found);
    return sentAt;
}

KeptLive* lf_keptLive(std::uint32_t hexid)
{
    const auto found = keptSlot.find(hexid);
    return found == keptSlot.end() ? nullptr : &keptLive[found->second];
}

// The kept record at that place goes, the others keeping their order.
void lf_eraseKept(std::size_t slot)
{
    keptSlot.erase(keptLive[slot].aircraft.hexid);
    keptLive.erase(keptLive.begin() + static_cast<std::ptrdiff_t>(slot));
    for (std::size_t i = slot; i < keptLive.size(); ++i)
        keptSlot[keptLive[i].aircraft.hexid] = i;
}

// What has aged past the memory goes: the creations handed on and the records kept, in the order
// of their ticks, from the front; the creations given up when the oldest is old.
void lf_forgetOldGivenUp(Tick now)
{
    const auto old = [now](Tick at) { return now - at >= GIVEN_UP_MEMORY_TICKS; };
    handedOn.erase(handedOn.begin(), std::find_if(handedOn.begin(), handedOn.end(),
                                                  [&old](const SentCreation& sent) { return !old(sent.sentAt); }));
    while (!keptLive.empty() && old(keptLive.front().keptAt))
        lf_eraseKept(0);
    if (givenUpCount == 0 || !old(oldestGivenUpAt))
        return;
    oldestGivenUpAt = std::numeric_limits<Tick>::max();
    for (auto flight = givenUpCreations.begin(); flight != givenUpCreations.end();) {
        givenUpCount -= std::erase_if(flight->second, [&old](const NotedGivenUp& noted) {
            return old(noted.creation.givenUpAt);
        });
        for (const NotedGivenUp& noted : flight->second)
            oldestGivenUpAt = std::min(oldestGivenUpAt, noted.creation.givenUpAt);
        flight = flight->second.empty() ? givenUpCreations.erase(flight) : std::next(flight);
    }
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

// The flight's newest known: its record (flight; in buffer, if it has one), else the record kept.
const LiveAircraft& lf_newestOf(const KeptLive& kept, const LiveAircraft* flight)
{
    return flight != nullptr ? *flight : kept.aircraft;
}

// A flight whose creation was given up keeps its place at the live limit while that creation may
// still be answered: its late object is the flight's aircraft, and a flight let into the place
// meanwhile would only be made to be removed. Not once its own record (flight, if it has one)
// counts again (placed anew, or shown), nor once a nearer newcomer took the place, nor once its
// data has ended in the air (asked of the flight's newest record: the one kept learns only what a
// record dropped for now passes on).
bool lf_holdsKeptPlace(const KeptLive& kept, const LiveAircraft* flight)
{
    if (kept.placeTaken || !gf_givenUpMayBeAnswered(kept.aircraft.hexid))
        return false;
    if (flight != nullptr && (flight->state != SimState::buffer || flight->respawning))
        return false;
    const LiveAircraft& newest = lf_newestOf(kept, flight);
    return newest.track.empty() || !newest.track.back().airborne || !gf_dataEnded(newest);
}

// The flight keeps its place; flight: its record, if it has one.
bool lf_keptPlaceHeld(std::uint32_t hexid, const LiveAircraft* flight)
{
    const KeptLive* kept = lf_keptLive(hexid);
    return kept != nullptr && lf_holdsKeptPlace(*kept, flight);
}

// Whether a hexid may be one of a few, by a hash of each into 4,096 bits: a record whose bit is
// clear is none of them, so that a walk over the records looks few of them up by key.
class HexidFilter {
public:
    void add(std::uint32_t hexid) { bits_[lf_bit(hexid) / 64] |= std::uint64_t{1} << (lf_bit(hexid) % 64); }
    [[nodiscard]] bool mayHold(std::uint32_t hexid) const
    {
        return (bits_[lf_bit(hexid) / 64] >> (lf_bit(hexid) % 64) & 1) != 0;
    }

private:
    static std::uint32_t lf_bit(std::uint32_t hexid) { return (hexid * 0x9E3779B1u) >> 20; }
    std::array<std::uint64_t, 64> bits_{};
};

// The records of the flights that keep a place and of those in the hand-overs (nullptr where a
// flight has none), found in one walk over the live records: nothing searches the records for each
// kept place or hand-over.
struct FlightRecords {
    std::vector<const LiveAircraft*> kept;       // by place in keptLive
    std::vector<const LiveAircraft*> newcomers;  // by place in handOvers
    std::vector<const LiveAircraft*> givers;
};

// withKept: those of the kept places too, else only those of the hand-overs.
FlightRecords lf_flightRecords(bool withKept)
{
    FlightRecords found;
    found.kept.assign(withKept ? keptLive.size() : 0, nullptr);
    found.newcomers.assign(handOvers.size(), nullptr);
    found.givers.assign(handOvers.size(), nullptr);
    if (found.kept.empty() && handOvers.empty())
        return found;
    HexidFilter filter;
    for (std::size_t slot = 0; slot < found.kept.size(); ++slot)
        filter.add(keptLive[slot].aircraft.hexid);
    for (const HandOver& handOver : handOvers) {
        filter.add(handOver.newcomer);
        filter.add(handOver.giver);
    }
    // The first record of each hexid, as gf_liveByHexid finds it.
    const auto note = [](const LiveAircraft*& record, const LiveAircraft& aircraft) {
        if (record == nullptr)
            record = &aircraft;
    };
    for (const LiveAircraft& aircraft : liveAircraft) {
        const std::uint32_t hexid = aircraft.hexid;
        if (!filter.mayHold(hexid))
            continue;
        if (withKept)
            if (const auto slot = keptSlot.find(hexid); slot != keptSlot.end())
                note(found.kept[slot->second], aircraft);
        for (std::size_t i = 0; i < handOvers.size(); ++i) {
            if (handOvers[i].newcomer == hexid)
                note(found.newcomers[i], aircraft);
            if (handOvers[i].giver == hexid)
                note(found.givers[i], aircraft);
        }
    }
    return found;
}

std::size_t lf_keptPlacesHeld(const FlightRecords& records)
{
    std::size_t held = 0;
    for (std::size_t slot = 0; slot < keptLive.size(); ++slot)
        held += lf_holdsKeptPlace(keptLive[slot], records.kept[slot]) ? 1 : 0;
    return held;
}

// The hand-over still holds: its giver is shown, and its newcomer waits for its creation, or keeps
// its place while a creation of it given up may still be answered. Once the newcomer is shown or
// gone (or is to go), or the giver has gone, it is over.
bool lf_handOverHolds(std::size_t i, const FlightRecords& records)
{
    const LiveAircraft* giver = records.givers[i];
    if (giver == nullptr || giver->state != SimState::active)
        return false;
    const LiveAircraft* newcomer = records.newcomers[i];
    if (lf_keptPlaceHeld(handOvers[i].newcomer, newcomer))
        return true;
    return newcomer != nullptr && newcomer->state == SimState::adding2sim && newcomer->objectId == 0 &&
           !newcomer->dequeued && !newcomer->removeWhenCreated;
}

std::size_t lf_handOversHolding(const FlightRecords& records)
{
    std::size_t holding = 0;
    for (std::size_t i = 0; i < handOvers.size(); ++i)
        holding += lf_handOverHolds(i, records) ? 1 : 0;
    return holding;
}

// The aircraft that have promised their places by hand-overs that still hold.
std::vector<std::uint32_t> lf_promisedPlaces(const FlightRecords& records)
{
    std::vector<std::uint32_t> promised;
    for (std::size_t i = 0; i < handOvers.size(); ++i)
        if (lf_handOverHolds(i, records))
            promised.push_back(handOvers[i].giver);
    return promised;
}

// The active live aircraft farthest from the user beyond distanceNm, each step more than 0.1 nm
// farther, passing over those in promised (all are candidates without it).
LiveAircraft* lf_farthestActive(double distanceNm, const std::vector<std::uint32_t>* promised)
{
    const LatLon user{engineUserSnapshot.latitude, engineUserSnapshot.longitude};
    double best = distanceNm;
    LiveAircraft* farthest = nullptr;
    for (LiveAircraft& aircraft : liveAircraft) {
        if (aircraft.state != SimState::active)
            continue;
        const double distance = gf_distanceNm(user, LatLon{aircraft.simPosition.lat, aircraft.simPosition.lon});
        if (distance > best + FARTHER_MARGIN_NM &&
            (promised == nullptr ||
             std::find(promised->begin(), promised->end(), aircraft.hexid) == promised->end())) {
            farthest = &aircraft;
            best = distance;
        }
    }
    return farthest;
}

struct KeptPlace {
    std::uint32_t hexid = 0;
    double distanceNm = 0.0;  // where the flight is now, by its newest record
};

// The kept place of the flight farthest from the user beyond distanceNm, each step more than 0.1 nm
// farther; nothing when none is.
std::optional<KeptPlace> lf_farthestKeptPlace(double distanceNm, const FlightRecords& records)
{
    std::optional<KeptPlace> farthest;
    for (std::size_t slot = 0; slot < keptLive.size(); ++slot) {
        const KeptLive& kept = keptLive[slot];
        const LiveAircraft* flight = records.kept[slot];
        if (!lf_holdsKeptPlace(kept, flight))
            continue;
        const double distance = lf_distanceNow(lf_newestOf(kept, flight));
        if (distance > (farthest ? farthest->distanceNm : distanceNm) + FARTHER_MARGIN_NM)
            farthest = KeptPlace{kept.aircraft.hexid, distance};
    }
    return farthest;
}

void lf_endHandOversOf(std::uint32_t newcomer)
{
    std::erase_if(handOvers, [newcomer](const HandOver& handOver) { return handOver.newcomer == newcomer; });
}

}  // namespace

void gf_placeLiveCreation(std::uint32_t hexid)
{
    lf_endHandOversOf(hexid);
    lf_waiting().addingStack.push_back(hexid);
}

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
        if (handedOn.size() >= GIVEN_UP_CAPACITY)
            handedOn.erase(handedOn.begin());
        handedOn.push_back(SentCreation{first->hexid, tickCounter.load()});
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
    const std::vector<std::uint32_t> promised = lf_promisedPlaces(lf_flightRecords(false));
    return std::find(promised.begin(), promised.end(), hexid) != promised.end();
}

LiveAircraft* gf_farthestActiveBeyond(double distanceNm, bool givingWay)
{
    gf_assertEngineOwner();
    if (givingWay)
        return lf_farthestActive(distanceNm, nullptr);
    const std::vector<std::uint32_t> promised = lf_promisedPlaces(lf_flightRecords(false));
    return lf_farthestActive(distanceNm, &promised);
}

std::size_t gf_liveCount()
{
    const auto counted = std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& aircraft) {
        const bool away = aircraft.state == SimState::liveryrespawn || aircraft.state == SimState::buffer;
        return aircraft.state == SimState::active || (aircraft.respawning && away);
    });
    const FlightRecords records = lf_flightRecords(true);
    return static_cast<std::size_t>(counted) + gf_creationsUnderWay() + lf_keptPlacesHeld(records) -
           lf_handOversHolding(records);
}

bool gf_holdsKeptPlace(const LiveAircraft& flight) { return lf_keptPlaceHeld(flight.hexid, &flight); }

bool gf_holdsKeptPlace(std::uint32_t hexid) { return lf_keptPlaceHeld(hexid, gf_liveByHexid(hexid)); }

PlaceToTake gf_placeToTake(double distanceNm)
{
    gf_assertEngineOwner();
    PlaceToTake place;
    const FlightRecords records = lf_flightRecords(true);
    const std::vector<std::uint32_t> promised = lf_promisedPlaces(records);
    const LiveAircraft* giver = lf_farthestActive(distanceNm, &promised);
    const LatLon user{engineUserSnapshot.latitude, engineUserSnapshot.longitude};
    const std::optional<KeptPlace> kept = lf_farthestKeptPlace(
        giver != nullptr ? gf_distanceNm(user, LatLon{giver->simPosition.lat, giver->simPosition.lon}) - FARTHER_MARGIN_NM
                         : distanceNm,
        records);
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
    if (KeptLive* kept = lf_keptLive(hexid)) {
        kept->placeTaken = true;
        lf_endHandOversOf(hexid);
    }
}

std::vector<PlaceToGive> gf_placesToGive()
{
    gf_assertEngineOwner();
    const FlightRecords records = lf_flightRecords(true);
    std::vector<std::uint32_t> promisedTo;  // newcomers of the hand-overs that hold
    for (std::size_t i = 0; i < handOvers.size(); ++i)
        if (lf_handOverHolds(i, records))
            promisedTo.push_back(handOvers[i].newcomer);
    const auto promised = [&promisedTo](std::uint32_t hexid) -> std::size_t {
        return std::find(promisedTo.begin(), promisedTo.end(), hexid) != promisedTo.end() ? 1 : 0;
    };
    // The requests that wait, by hexid: each one counts.
    std::unordered_map<std::uint32_t, std::size_t> requests;
    const WaitingCreations& waiting = lf_waiting();
    for (const std::uint32_t hexid : waiting.addingStack)
        ++requests[hexid];
    for (const CreationRequest& request : waiting.live)
        ++requests[request.hexid];
    const LatLon user{engineUserSnapshot.latitude, engineUserSnapshot.longitude};
    std::vector<PlaceToGive> places;
    for (LiveAircraft& aircraft : liveAircraft) {
        if (aircraft.state != SimState::adding2sim || aircraft.dequeued || aircraft.removeWhenCreated)
            continue;
        const auto found = requests.find(aircraft.hexid);
        if (found == requests.end())
            continue;
        const double distance = gf_distanceNm(user, LatLon{aircraft.simPosition.lat, aircraft.simPosition.lon});
        places.push_back(PlaceToGive{&aircraft, 0, distance, found->second - promised(aircraft.hexid)});
    }
    for (std::size_t slot = 0; slot < keptLive.size(); ++slot) {
        const KeptLive& kept = keptLive[slot];
        const LiveAircraft* flight = records.kept[slot];
        if (lf_holdsKeptPlace(kept, flight))
            places.push_back(PlaceToGive{nullptr, kept.aircraft.hexid, lf_distanceNow(lf_newestOf(kept, flight)),
                                         1 - promised(kept.aircraft.hexid)});
    }
    std::stable_sort(places.begin(), places.end(),
                     [](const PlaceToGive& a, const PlaceToGive& b) { return a.distanceNm > b.distanceNm; });
    return places;
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

void gf_tidyCreations()
{
    const Tick now = tickCounter.load();
    if (now == lastTidyTick)
        return;
    lastTidyTick = now;
    if (!handOvers.empty()) {
        const FlightRecords records = lf_flightRecords(false);
        std::vector<HandOver> holding;
        for (std::size_t i = 0; i < handOvers.size(); ++i)
            if (lf_handOverHolds(i, records))
                holding.push_back(handOvers[i]);
        handOvers = std::move(holding);
    }
    lf_forgetOldGivenUp(now);
    gf_forgetOldAnswers();
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

void gf_noteAnswerInTime(std::uint32_t hexid, bool timed)
{
    const std::optional<Tick> sentAt = lf_takeHandedOn(hexid);
    if (sentAt && timed)
        gf_learnAnswerTime(tickCounter.load() - *sentAt);
}

void gf_noteGivenUp(std::uint32_t hexid, std::optional<GivenUpCreation> sentAs)
{
    gf_assertEngineOwner();
    const std::optional<Tick> sentAt = lf_takeHandedOn(hexid);
    if (!sentAs)
        return;
    sentAs->givenUpAt = tickCounter.load();
    sentAs->sentAt = sentAt;
    lf_addGivenUp(std::move(*sentAs));
}

void gf_noteAnswerLate(std::uint32_t hexid, std::uint32_t sendId, bool timed)
{
    std::vector<NotedGivenUp>* given = lf_givenUpOf(hexid);
    if (given == nullptr)
        return;
    const auto answered = std::find_if(given->begin(), given->end(), [sendId](const NotedGivenUp& noted) {
        return noted.creation.sendId == sendId && noted.creation.sentAt;
    });
    if (answered == given->end())
        return;
    if (timed)
        gf_learnAnswerTime(tickCounter.load() - *answered->creation.sentAt);
    answered->creation.sentAt.reset();
}

bool gf_givenUpMayBeAnswered(std::uint32_t hexid)
{
    const std::vector<NotedGivenUp>* given = lf_givenUpOf(hexid);
    if (given == nullptr)
        return false;
    const Tick now = tickCounter.load();
    const AnswerAllowance allowance = gf_answerAllowance();
    return std::any_of(given->begin(), given->end(), [now, allowance](const NotedGivenUp& noted) {
        return noted.creation.sentAt && (now - *noted.creation.sentAt < allowance.afterSending ||
                                         now - noted.creation.givenUpAt < allowance.afterGivingUp);
    });
}

std::optional<GivenUpCreation> gf_takeGivenUpCreation(std::uint32_t hexid, std::uint32_t sendId)
{
    std::vector<NotedGivenUp>* given = lf_givenUpOf(hexid);
    if (given == nullptr)
        return std::nullopt;
    const auto found = std::find_if(given->begin(), given->end(),
                                    [sendId](const NotedGivenUp& noted) { return noted.creation.sendId == sendId; });
    if (found == given->end())
        return std::nullopt;
    std::optional<GivenUpCreation> taken(std::move(found->creation));
    given->erase(found);
    --givenUpCount;
    if (given->empty())
        givenUpCreations.erase(hexid);
    return taken;
}

void gf_keepAnsweredForRefusal(GivenUpCreation creation)
{
    if (creation.objectId == 0)
        return;
    creation.sentAt.reset();
    lf_addGivenUp(std::move(creation));
}

void gf_keepGivenUp(const LiveAircraft& aircraft)
{
    gf_assertEngineOwner();
    if (const auto same = keptSlot.find(aircraft.hexid); same != keptSlot.end())
        lf_eraseKept(same->second);
    if (keptLive.size() >= GIVEN_UP_CAPACITY)
        lf_eraseKept(0);
    keptSlot[aircraft.hexid] = keptLive.size();
    keptLive.push_back(KeptLive{aircraft, tickCounter.load()});
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
    if (KeptLive* kept = lf_keptLive(dropped.hexid))
        gf_takeNewerPoints(kept->aircraft, dropped);
}

std::optional<LiveAircraft> gf_takeGivenUpLive(std::uint32_t hexid)
{
    const auto found = keptSlot.find(hexid);
    if (found == keptSlot.end())
        return std::nullopt;
    const std::size_t slot = found->second;
    std::optional<LiveAircraft> taken(std::move(keptLive[slot].aircraft));
    lf_eraseKept(slot);
    return taken;
}

void gf_forgetGivenUpLive(std::uint32_t hexid)
{
    static_cast<void>(gf_takeGivenUpLive(hexid));
    if (std::vector<NotedGivenUp>* given = lf_givenUpOf(hexid))
        for (NotedGivenUp& noted : *given)
            if (noted.creation.objectId == 0)
                noted.creation.superseded = true;
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
    keptSlot.clear();
    keptStatics.clear();
    handedOn.clear();
    givenUpCreations.clear();
    givenUpCount = 0;
    givenUpNoted = 0;
    oldestGivenUpAt = std::numeric_limits<Tick>::max();
    lastTidyTick = std::numeric_limits<Tick>::min();
}
