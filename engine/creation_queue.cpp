#include "engine/creation_queue.hpp"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <utility>
#include <vector>

#include "engine/engine_state.hpp"
#include "simlink/sim_records.hpp"

std::vector<std::uint32_t> addingStack;
CreationQueue liveCreationQueue;
CreationQueue staticCreationQueue;

namespace {

constexpr Tick GIVEN_UP_MEMORY_TICKS =
    std::chrono::duration_cast<std::chrono::seconds>(GIVEN_UP_CREATION_MEMORY).count() * TICKS_PER_SECOND;
constexpr std::size_t GIVEN_UP_CAPACITY = CREATION_MEMORY_CAPACITY;

struct KeptLive {
    LiveAircraft aircraft;
    Tick keptAt = 0;
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

}  // namespace

bool gf_creationWaits(std::uint32_t hexid)
{
    return std::find(addingStack.begin(), addingStack.end(), hexid) != addingStack.end() ||
           std::any_of(liveCreationQueue.begin(), liveCreationQueue.end(),
                       [hexid](const CreationRequest& request) { return request.hexid == hexid; });
}

void lf_renewWaitingCreation(const LiveAircraft& aircraft)
{
    for (CreationRequest& request : liveCreationQueue) {
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
    if (creation.objectId != 0 && lf_unansweredCount(creation.hexid) != 0)
        givenUpCreations.push_back(std::move(creation));
}

std::optional<GivenUpCreation> gf_passLateObjectOn(const GivenUpCreation& refused)
{
    lf_forgetOldCreations();
    const std::uint32_t hexid = refused.hexid;
    const auto next = std::find_if(givenUpCreations.begin(), givenUpCreations.end(), [hexid](const GivenUpCreation& given) {
        return given.hexid == hexid && given.objectId == 0;
    });
    if (next == givenUpCreations.end())
        return std::nullopt;
    GivenUpCreation taken = std::move(*next);
    givenUpCreations.erase(next);
    taken.objectId = refused.objectId;
    taken.respawnDueBefore = refused.respawnDueBefore;
    taken.respawnNewLiveryBefore = refused.respawnNewLiveryBefore;
    gf_noteAnsweredLate(taken);
    return taken;
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

std::size_t gf_liveCreationsWaiting() { return addingStack.size() + liveCreationQueue.size(); }

bool lf_unqueueCreation(CreationQueue& queue, std::uint32_t hexid)
{
    const auto before = queue.size();
    std::erase_if(queue, [hexid](const CreationRequest& request) { return request.hexid == hexid; });
    return queue.size() != before;
}
