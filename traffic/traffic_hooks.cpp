#include "traffic/traffic_hooks.hpp"

#include <mutex>

#include "foundation/log.hpp"
#include "foundation/run_state.hpp"

namespace {

TrafficHooks lf_defaultHooks()
{
    TrafficHooks hooks;
    hooks.userPosition = [] { return UserPositionSnapshot{}; };
    hooks.userStandName = [] { return std::string(); };
    hooks.blockedCallsignSeen = [](std::uint32_t) {};
    hooks.scheduleReceived = [](std::vector<LiveTrafficRecord>& records, TrafficBatchKind, std::uint32_t) {
        records.clear();
    };
    hooks.categoryEnabled = [](AircraftCategory) { return true; };
    hooks.publishEngineQnh = [](std::int32_t) {};
    hooks.parkAirport = [] { return ParkAirportSnapshot{}; };
    hooks.reservedStandName = [] { return std::string(); };
    hooks.showStatus = [](const std::string& text, bool log) {
        if (log && !text.empty())
            gf_logUnlessStopping(text);
    };
    hooks.clearStatus = [] {};
    hooks.requestStop = [](std::uint32_t, std::int32_t) { stopRequested.store(true); };
    hooks.setAuthenticated = [](bool) {};
    return hooks;
}

std::mutex& lf_hooksMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<const TrafficHooks>& lf_current()
{
    static std::shared_ptr<const TrafficHooks> current = std::make_shared<const TrafficHooks>(lf_defaultHooks());
    return current;
}

template <typename Hook>
void lf_take(Hook& target, Hook& offered)
{
    if (offered)
        target = std::move(offered);
}

}  // namespace

void gf_registerTrafficHooks(TrafficHooks hooks)
{
    std::lock_guard<std::mutex> lock(lf_hooksMutex());
    auto next = std::make_shared<TrafficHooks>(*lf_current());
    lf_take(next->userPosition, hooks.userPosition);
    lf_take(next->userStandName, hooks.userStandName);
    lf_take(next->blockedCallsignSeen, hooks.blockedCallsignSeen);
    lf_take(next->scheduleReceived, hooks.scheduleReceived);
    lf_take(next->categoryEnabled, hooks.categoryEnabled);
    lf_take(next->publishEngineQnh, hooks.publishEngineQnh);
    lf_take(next->parkAirport, hooks.parkAirport);
    lf_take(next->reservedStandName, hooks.reservedStandName);
    lf_take(next->showStatus, hooks.showStatus);
    lf_take(next->clearStatus, hooks.clearStatus);
    lf_take(next->requestStop, hooks.requestStop);
    lf_take(next->setAuthenticated, hooks.setAuthenticated);
    lf_current() = std::move(next);
}

std::shared_ptr<const TrafficHooks> gf_trafficHooks()
{
    std::lock_guard<std::mutex> lock(lf_hooksMutex());
    return lf_current();
}

void gf_resetTrafficHooks()
{
    std::lock_guard<std::mutex> lock(lf_hooksMutex());
    lf_current() = std::make_shared<const TrafficHooks>(lf_defaultHooks());
}

std::array<bool, 6> gf_enabledCategories(const TrafficHooks& hooks)
{
    std::array<bool, 6> enabled{};
    for (std::size_t i = 0; i < enabled.size(); ++i)
        enabled[i] = hooks.categoryEnabled(static_cast<AircraftCategory>(i));
    return enabled;
}
