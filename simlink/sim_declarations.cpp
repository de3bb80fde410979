#include "simlink/sim_declarations.hpp"

#include <cstdint>

#include "simlink/sim_records.hpp"

namespace {

// Data types of the wire format.
constexpr std::uint32_t DATA_INT64 = 2;
constexpr std::uint32_t DATA_FLOAT64 = 4;
constexpr std::uint32_t DATA_STRING32 = 6;
constexpr std::uint32_t DATA_STRINGV = 11;
constexpr std::uint32_t GROUP_PRIORITY_HIGHEST = 1;

struct Datum {
    std::uint32_t defineId;
    const char* name;
    const char* units;
    std::uint32_t type;
};

struct EventName {
    std::uint32_t id;
    const char* name;
};

// The data definitions, datum by datum, in the order they are declared.
constexpr Datum DATUMS[] = {
    {SIM_DEFINE_USER_TITLE, "TITLE", nullptr, DATA_STRINGV},
    {SIM_DEFINE_USER_MODEL, "ATC MODEL", nullptr, DATA_STRING32},
    {SIM_DEFINE_USER_ON_GROUND, "SIM ON GROUND", "Bool", DATA_INT64},

    {SIM_DEFINE_POSITION_SET, "Plane Latitude", "degree", DATA_FLOAT64},
    {SIM_DEFINE_POSITION_SET, "Plane Longitude", "degree", DATA_FLOAT64},
    {SIM_DEFINE_POSITION_SET, "Plane Pitch degrees", "radians", DATA_FLOAT64},
    {SIM_DEFINE_POSITION_SET, "Plane Bank degrees", "radians", DATA_FLOAT64},
    {SIM_DEFINE_POSITION_SET, "Plane Heading degrees true", "radians", DATA_FLOAT64},
    {SIM_DEFINE_POSITION_SET, "Plane Altitude", "feet", DATA_FLOAT64},
    {SIM_DEFINE_POSITION_SET, "Vertical Speed", "feet per second", DATA_FLOAT64},
    {SIM_DEFINE_POSITION_SET, "Airspeed True", "knots", DATA_FLOAT64},

    {SIM_DEFINE_USER_POSITION, "Plane Latitude", "degree", DATA_FLOAT64},
    {SIM_DEFINE_USER_POSITION, "Plane Longitude", "degree", DATA_FLOAT64},
    {SIM_DEFINE_USER_POSITION, "Plane Pitch degrees", "radians", DATA_FLOAT64},
    {SIM_DEFINE_USER_POSITION, "Plane Bank degrees", "radians", DATA_FLOAT64},
    {SIM_DEFINE_USER_POSITION, "Plane Heading degrees true", "radians", DATA_FLOAT64},
    {SIM_DEFINE_USER_POSITION, "Plane Altitude", "feet", DATA_FLOAT64},
    {SIM_DEFINE_USER_POSITION, "Plane Alt Above Ground", "feet", DATA_FLOAT64},
    {SIM_DEFINE_USER_POSITION, "Ground Velocity", "knots", DATA_FLOAT64},
    {SIM_DEFINE_USER_POSITION, "ZULU TIME", "Seconds", DATA_INT64},
    {SIM_DEFINE_USER_POSITION, "ZULU DAY OF YEAR", "Number", DATA_INT64},
    {SIM_DEFINE_USER_POSITION, "ZULU YEAR", "Number", DATA_INT64},
    {SIM_DEFINE_USER_POSITION, "LIGHT STATES", "Mask", DATA_INT64},

    {SIM_DEFINE_STATIC_CG, "Static CG to Ground", "feet", DATA_FLOAT64},
    {SIM_DEFINE_STATIC_CG, "Static Pitch", "radians", DATA_FLOAT64},

    {SIM_DEFINE_LIGHT_STATES, "Light On States", "Mask", DATA_INT64},

    {SIM_DEFINE_AIRCRAFT_IN_RANGE, "Plane Alt Above Ground", "feet", DATA_FLOAT64},
    {SIM_DEFINE_AIRCRAFT_IN_RANGE, "Ground Altitude", "feet", DATA_FLOAT64},
    {SIM_DEFINE_AIRCRAFT_IN_RANGE, "SIM ON GROUND", "Bool", DATA_INT64},
    {SIM_DEFINE_AIRCRAFT_IN_RANGE, "ATC ID", nullptr, DATA_STRING32},

    {SIM_DEFINE_TOUCHDOWN, "SPOILERS HANDLE POSITION", "percent", DATA_FLOAT64},
    {SIM_DEFINE_TOUCHDOWN, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", DATA_FLOAT64},
    {SIM_DEFINE_TOUCHDOWN, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", DATA_FLOAT64},
};

constexpr EventName SYSTEM_EVENTS[] = {
    {SIM_EVENT_SIM, "Sim"},
    {SIM_EVENT_OBJECT_ADDED, "ObjectAdded"},
    {SIM_EVENT_OBJECT_REMOVED, "ObjectRemoved"},
    {SIM_EVENT_POSITION_CHANGED, "PositionChanged"},
    {SIM_EVENT_FLIGHT_LOADED, "FlightLoaded"},
    {SIM_EVENT_FRAME, "Frame"},
};

// Each client event goes to the simulator event of its name.
constexpr EventName CLIENT_EVENTS[] = {
    {GEAR_SET, "GEAR_SET"},
    {ENGINE_AUTO_START, "ENGINE_AUTO_START"},
    {ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
    {THROTTLE_SET, "THROTTLE_SET"},
    {FLAPS_SET, "FLAPS_SET"},
    {SPOILERS_SET, "SPOILERS_SET"},
    {NAV_LIGHTS_SET, "NAV_LIGHTS_SET"},
    {BEACON_LIGHTS_SET, "BEACON_LIGHTS_SET"},
    {LANDING_LIGHTS_SET, "LANDING_LIGHTS_SET"},
    {TAXI_LIGHTS_SET, "TAXI_LIGHTS_SET"},
    {STROBES_SET, "STROBES_SET"},
    {LOGO_LIGHTS_SET, "LOGO_LIGHTS_SET"},
    {CABIN_LIGHTS_SET, "CABIN_LIGHTS_SET"},
    {ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
    {FREEZE_LATITUDE_LONGITUDE_SET, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"},
    {FREEZE_ATTITUDE_SET, "FREEZE_ATTITUDE_SET"},
};

// ENGINE_AUTO_START stays out of the group: it is transmitted to each aircraft alone.
constexpr std::uint32_t GROUP_EVENTS[] = {
    NAV_LIGHTS_SET,       BEACON_LIGHTS_SET,  LANDING_LIGHTS_SET,
    TAXI_LIGHTS_SET,      STROBES_SET,        LOGO_LIGHTS_SET,
    CABIN_LIGHTS_SET,     ALL_LIGHTS_TOGGLE,  FLAPS_SET,
    SPOILERS_SET,         GEAR_SET,           ENGINE_AUTO_SHUTDOWN,
    THROTTLE_SET,         FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET,
    FREEZE_ATTITUDE_SET,
};

// The results of the declarations are not looked at: every name in them is a constant of ours
// that fits its field, so only a broken connection can refuse one, and that shows at the next
// dispatch.
void lf_addEventToGroup(HANDLE connection, std::uint32_t eventId)
{
    static_cast<void>(SimConnect_AddClientEventToNotificationGroup(connection, SIM_NOTIFICATION_GROUP, eventId, true));
}

}  // namespace

void lf_defineSimData(HANDLE connection)
{
    for (const EventName& event : SYSTEM_EVENTS)
        static_cast<void>(SimConnect_SubscribeToSystemEvent(connection, event.id, event.name));
    for (const Datum& datum : DATUMS)
        static_cast<void>(SimConnect_AddToDataDefinition(connection, datum.defineId, datum.name, datum.units,
                                                         datum.type, 0.0F, SIM_UNUSED_DATUM_ID));
    for (const EventName& event : CLIENT_EVENTS)
        static_cast<void>(SimConnect_MapClientEventToSimEvent(connection, event.id, event.name));
    for (const std::uint32_t eventId : GROUP_EVENTS)
        lf_addEventToGroup(connection, eventId);
    static_cast<void>(
        SimConnect_SetNotificationGroupPriority(connection, SIM_NOTIFICATION_GROUP, GROUP_PRIORITY_HIGHEST));
}
