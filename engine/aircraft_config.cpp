#include "engine/aircraft_config.hpp"

#include <mutex>
#include <utility>

#include "foundation/log.hpp"
#include "simlink/sim_client.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_records.hpp"
#include "simlink/sim_state.hpp"

namespace {

constexpr std::uint32_t ROTOR_THROTTLE_STEP = 4;
constexpr double FULL_PERCENT = 100.0;

// The library side: written at once under the send mutex, like the worker's other direct requests;
// nothing without a connection or after a failed request.
bool lf_libraryTouchdownWriter(std::uint32_t objectId, const TouchdownSettings& settings)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    const HANDLE connection = simConnection.load();
    if (connection == nullptr || simRequestErrorFlag.load() || objectId <= userObjectId.load())
        return true;
    const double data[3] = {settings.spoilersPercent, settings.throttle1Percent, settings.throttle2Percent};
    return SimConnect_SetDataOnSimObject(connection, SIM_DEFINE_TOUCHDOWN, objectId, 0, 1, sizeof(data), data) >= 0;
}

// Worker thread only (tests set it before the engine runs).
TouchdownWriter touchdownWriter = &lf_libraryTouchdownWriter;

void lf_writeTouchdown(std::uint32_t objectId, const TouchdownSettings& settings)
{
    if (!touchdownWriter(objectId, settings)) {
        gf_logWarn("SimConnect request touchdown data fails");
        gf_simRequestError();
    }
}


void lf_event(const LiveAircraft& aircraft, std::uint32_t eventId, std::uint32_t data)
{
    gf_queueClientEvent(QueuedClientEvent{aircraft.objectId, eventId, data});
}

bool lf_isRotor(const LiveAircraft& aircraft) { return aircraft.category == AircraftCategory::Rotorcraft; }

}  // namespace

void lf_setGear(const LiveAircraft& aircraft, bool down)
{
    if (!lf_isRotor(aircraft))
        lf_event(aircraft, GEAR_SET, down ? 1 : 0);
}

void lf_setSpoilers(const LiveAircraft& aircraft, std::uint32_t value)
{
    if (!lf_isRotor(aircraft))
        lf_event(aircraft, SPOILERS_SET, value);
}

void lf_setLightsOf(const LiveAircraft& aircraft, const LightSet& lights) { gf_setLights(aircraft.objectId, lights); }

void lf_setCabinLightsOf(const LiveAircraft& aircraft, bool on) { gf_setCabinLights(aircraft.objectId, on ? 1 : 0); }

void lf_setThrottleOrRotor(LiveAircraft& aircraft, std::uint32_t step)
{
    gf_setThrottle(aircraft, lf_isRotor(aircraft) ? ROTOR_THROTTLE_STEP : step);
}

void gf_setTouchdownWriter(TouchdownWriter writer) { touchdownWriter = std::move(writer); }

void gf_resetTouchdownWriter() { touchdownWriter = &lf_libraryTouchdownWriter; }

bool lf_hasReverseThrust(const LiveAircraft& aircraft)
{
    return aircraft.category != AircraftCategory::Light && !lf_isRotor(aircraft);
}

void lf_writeTouchdownDeployed(const LiveAircraft& aircraft)
{
    if (aircraft.category == AircraftCategory::Light)
        return;
    double throttle = lf_hasReverseThrust(aircraft) ? -FULL_PERCENT : FULL_PERCENT;
    if (aircraft.fsltlLivery)
        throttle = -throttle;
    lf_writeTouchdown(aircraft.objectId, TouchdownSettings{FULL_PERCENT, throttle, throttle});
}

void lf_writeTouchdownCleared(const LiveAircraft& aircraft)
{
    if (aircraft.category != AircraftCategory::Light)
        lf_writeTouchdown(aircraft.objectId, TouchdownSettings{});
}
