#include "engine/engine_state.hpp"

#include <algorithm>

#include "foundation/thread_owner.hpp"

std::atomic<Tick> tickCounter{0};
std::vector<LiveAircraft> liveAircraft;
std::vector<StaticAircraft> staticAircraft;
std::deque<std::uint32_t> removalQueue;
std::vector<SimResult> deferredResults;
bool fastInRangeRequests = false;
Tick creationsHeldUntil = 0;
std::mutex intakeMutex;
std::vector<LiveTrafficRecord> intake;
std::vector<LiveTrafficRecord> historyIntake;
bool intakeOpen = false;
std::atomic<std::int32_t> engineQnh{STANDARD_QNH};
std::vector<std::string> ghostList;
std::list<std::uint32_t> coupledCallsignQueue;
UserAircraftSnapshot engineUserSnapshot;

namespace {

ThreadOwner engineOwner("the engine's aircraft lists");

}  // namespace

void gf_assertEngineOwner() { engineOwner.assertOwner(); }

void gf_releaseEngineOwner() { engineOwner.release(); }

LiveAircraft* gf_liveByHexid(std::uint32_t hexid)
{
    const auto found = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                    [hexid](const LiveAircraft& aircraft) { return aircraft.hexid == hexid; });
    return found == liveAircraft.end() ? nullptr : &*found;
}
