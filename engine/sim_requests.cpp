#include "engine/sim_requests.hpp"

#include <mutex>

#include "simlink/sim_queues.hpp"
#include "simlink/sim_records.hpp"
#include "simlink/sim_state.hpp"

namespace {

// The library side; nothing is asked without a connection or after a failed request.
bool lf_libraryInRange(std::uint32_t radiusMetres)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    const HANDLE connection = simConnection.load();
    if (connection == nullptr || simRequestErrorFlag.load())
        return true;
    return SimConnect_RequestDataOnSimObjectType(connection, SIM_REQUEST_AIRCRAFT_IN_RANGE,
                                                 SIM_DEFINE_AIRCRAFT_IN_RANGE, radiusMetres,
                                                 SIM_OBJECT_TYPE_AIRCRAFT) >= 0;
}

bool lf_libraryStaticCg(std::uint32_t objectId)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    const HANDLE connection = simConnection.load();
    if (connection == nullptr || simRequestErrorFlag.load())
        return true;
    return SimConnect_RequestDataOnSimObject(connection, SIM_REQUEST_STATIC_CG, SIM_DEFINE_STATIC_CG, objectId,
                                             SIM_PERIOD_ONCE, 0, 0, 0, 0) >= 0;
}

bool lf_libraryAllLightsToggle(std::uint32_t objectId)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    const HANDLE connection = simConnection.load();
    if (connection == nullptr || simRequestErrorFlag.load())
        return true;
    return SimConnect_TransmitClientEvent(connection, objectId, ALL_LIGHTS_TOGGLE, 0, SIM_NOTIFICATION_GROUP, 0) >= 0;
}

// Without a connection there is no simulator to take the plan.
bool lf_libraryFlightPlan(std::uint32_t objectId, const std::string& path)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    const HANDLE connection = simConnection.load();
    if (connection == nullptr)
        return false;
    return SimConnect_AISetAircraftFlightPlan(connection, objectId, path.c_str(), SIM_REQUEST_AI_FLIGHT_PLAN) == 0;
}

EngineSimRequests lf_libraryRequests()
{
    return EngineSimRequests{&lf_libraryInRange, &lf_libraryStaticCg, &lf_libraryAllLightsToggle,
                             &lf_libraryFlightPlan};
}

// Worker thread only (set by tests before the engine runs).
EngineSimRequests requests = lf_libraryRequests();

}  // namespace

void gf_setEngineSimRequests(EngineSimRequests replacement)
{
    if (replacement.aircraftInRange)
        requests.aircraftInRange = std::move(replacement.aircraftInRange);
    if (replacement.staticCg)
        requests.staticCg = std::move(replacement.staticCg);
    if (replacement.allLightsToggle)
        requests.allLightsToggle = std::move(replacement.allLightsToggle);
    if (replacement.flightPlan)
        requests.flightPlan = std::move(replacement.flightPlan);
}

void gf_resetEngineSimRequests() { requests = lf_libraryRequests(); }

const EngineSimRequests& gf_engineSimRequests() { return requests; }
