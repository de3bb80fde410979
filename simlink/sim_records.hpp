#pragma once
// The records handed between the engine (worker thread) and the simulator client thread, and the
// identifier tables that both sides use for every connection: system events, data definitions,
// requests and client events. Plain value types; the queues that carry them are in
// simlink/sim_queues.hpp.
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/clock.hpp"

#include "simlink/simconnect/simconnect.hpp"

// System events subscribed on each open.
enum SimSystemEvent : std::uint32_t {
    SIM_EVENT_SIM = 201,               // "Sim"
    SIM_EVENT_OBJECT_ADDED = 202,      // "ObjectAdded"
    SIM_EVENT_OBJECT_REMOVED = 203,    // "ObjectRemoved"
    SIM_EVENT_FRAME = 204,             // "Frame"
    SIM_EVENT_POSITION_CHANGED = 205,  // "PositionChanged"
    SIM_EVENT_FLIGHT_LOADED = 206,     // "FlightLoaded"
};

// Data definitions.
enum SimDataDefine : std::uint32_t {
    SIM_DEFINE_TOUCHDOWN = 401,      // spoilers and the two throttle levers, percent
    SIM_DEFINE_POSITION_SET = 402,   // PositionSetRecord
    SIM_DEFINE_USER_POSITION = 403,  // UserAircraftSnapshot
    SIM_DEFINE_AIRCRAFT_IN_RANGE = 404,
    SIM_DEFINE_STATIC_CG = 405,
    SIM_DEFINE_LIGHT_STATES = 406,  // defined, never requested
    SIM_DEFINE_USER_TITLE = 407,
    SIM_DEFINE_USER_MODEL = 408,
    SIM_DEFINE_USER_ON_GROUND = 409,
};

// Request ids.
enum SimRequestId : std::uint32_t {
    SIM_REQUEST_AIRCRAFT_IN_RANGE = 101,
    SIM_REQUEST_STATIC_CG = 102,
    SIM_REQUEST_AI_RELEASE = 103,
    SIM_REQUEST_AI_CREATE = 104,
    SIM_REQUEST_AI_REMOVE = 105,
    SIM_REQUEST_USER_TITLE = 106,
    SIM_REQUEST_USER_MODEL = 107,
    SIM_REQUEST_USER_ON_GROUND = 108,
    SIM_REQUEST_USER_POSITION = 109,
    SIM_REQUEST_AI_FLIGHT_PLAN = 110,
    SIM_REQUEST_NEW_AIRCRAFT = 111,  // an aircraft the simulator announced, described once (define 404)
};

// Periods of a data request on one object.
enum SimRequestPeriod : std::uint32_t {
    SIM_PERIOD_ONCE = 1,
    SIM_PERIOD_EVERY_SECOND = 4,
};

// Client events, each mapped to the simulator event of the same name.
enum SimClientEvent : std::uint32_t {
    BEACON_LIGHTS_SET = 207,
    NAV_LIGHTS_SET = 208,
    TAXI_LIGHTS_SET = 209,
    STROBES_SET = 210,
    LANDING_LIGHTS_SET = 211,
    CABIN_LIGHTS_SET = 212,
    LOGO_LIGHTS_SET = 213,
    ALL_LIGHTS_TOGGLE = 214,
    FREEZE_LATITUDE_LONGITUDE_SET = 215,
    FREEZE_ALTITUDE_SET = 216,
    FREEZE_ATTITUDE_SET = 217,
    FLAPS_SET = 218,
    SPOILERS_SET = 219,
    GEAR_SET = 220,
    ENGINE_AUTO_START = 221,  // the one event outside the notification group
    ENGINE_AUTO_SHUTDOWN = 222,
    THROTTLE_SET = 223,
};

// Every client event is transmitted with this notification group.
inline constexpr std::uint32_t SIM_NOTIFICATION_GROUP = 301;

// The user aircraft as last reported (the order of the user-position definition).
struct UserAircraftSnapshot {
    double latitude = 0.0;        // degrees
    double longitude = 0.0;       // degrees
    double pitch = 0.0;           // radians
    double bank = 0.0;            // radians
    double heading = 0.0;         // true heading, radians
    double altitude = 0.0;        // feet; a negative report is stored as 0.0
    double altAboveGround = 0.0;  // feet
    double groundSpeed = 0.0;     // knots
    std::int64_t zuluTime = 0;    // seconds of the UTC day
    std::int64_t zuluDayOfYear = 0;
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0;  // light mask
};

// A reported position of exactly 0/0 means the simulator has not told it yet.
inline bool gf_userPositionKnown(const UserAircraftSnapshot& snapshot)
{
    return std::fabs(snapshot.latitude) > 0.0001 || std::fabs(snapshot.longitude) > 0.0001;
}

// Aircraft numbers (hexids) up to this one are static aircraft, those above live ones (their
// transponder addresses).
inline constexpr std::uint32_t LAST_STATIC_HEXID = 10000;

// One AI aircraft to create. The position goes into the creation packet as it stands
// (angles in degrees, onGround 1 or 0, airspeed 0 from the engine).
struct CreationRequest {
    SimInitPosition position;
    std::string tailNumber;        // the callsign; comes back as the object's "ATC ID"
    std::string liveryTitle;       // owned: the request crosses to the client thread
    std::uint32_t hexid = 0;       // at most 10000 for a static aircraft, above for a live one
};

// A position of an AI aircraft in the order of the position-set definition; its 64 bytes are
// the data block sent for that definition.
struct SimPosition {
    double lat = 0.0;            // degrees
    double lon = 0.0;            // degrees
    double pitch = 0.0;          // radians
    double bank = 0.0;           // radians
    double heading = 0.0;        // radians
    double altitude = 0.0;       // feet
    double verticalSpeed = 0.0;  // feet per second
    double speed = 0.0;          // true airspeed, knots
};

struct PositionSetRecord {
    SimPosition position;
    std::uint32_t objectId = 0;
};

struct QueuedClientEvent {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;  // SimClientEvent
    std::uint32_t data = 0;
};

// A creation sent to the simulator and not yet answered (client thread only).
struct PendingCreation {
    std::uint32_t sendId = 0;  // packet send id of the creation request
    std::uint32_t hexid = 0;
    std::string callsign;      // the tail number sent
    SteadyTime sentAt{};       // when it was sent; one left unanswered too long is dropped
    // Dropped unanswered already at this time: an object the simulator removed before it was
    // described may have been this creation.
    SteadyTime answerBy = SteadyTime::max();
};

// The client gives a creation up when the simulator has neither made nor refused it this long
// after it was sent, so that a lost answer does not keep its aircraft out; the engine takes this as
// the least a slow simulator may take to answer before it has seen an answer.
inline constexpr std::chrono::seconds CREATION_GIVE_UP_TIME{120};
// A creation given up unanswered may still be answered this long: the client remembers it for a
// late answer, and the engine keeps what the creation was sent as (and the flight's record) as
// long, so that the answer finds both. Past this many at once (more than the simulator's object
// limit: answers are being lost) the oldest are forgotten, on both sides alike.
inline constexpr std::chrono::minutes GIVEN_UP_CREATION_MEMORY{10};
inline constexpr std::size_t CREATION_MEMORY_CAPACITY = 1000;

enum SimResultKind : std::uint32_t {
    SIM_RESULT_LIVE_CREATED = 0,         // value2: height above ground (ft)
    SIM_RESULT_STATIC_CREATED = 1,
    SIM_RESULT_OBJECT_REMOVED = 2,
    SIM_RESULT_FOREIGN_NEAR_GROUND = 3,  // hexid: SIM ON GROUND; value1 ground alt, value2 height (ft)
    SIM_RESULT_STATIC_CG = 4,            // value1: static CG to ground (ft), value2: static pitch (rad)
    SIM_RESULT_BLOCKED = 5,              // a live flight blocked by the user
    // value1: why (CREATION_NOT_ANSWERED, ..._TITLE_REFUSED, ..._SIMULATOR_FULL); value2: for one
    // not answered, the send id of the creation given up, by which a late answer names it.
    SIM_RESULT_CREATION_FAILED = 6,
    // A creation given up unanswered that the simulator made after all (the engine decides whether
    // it is the flight's aircraft); value1: its send id, value2: height above ground (ft).
    SIM_RESULT_LATE_CREATED = 7,
    // A creation given up unanswered that the simulator refused after all; value1: why
    // (CREATION_TITLE_REFUSED or CREATION_SIMULATOR_FULL), value2: its send id.
    SIM_RESULT_LATE_REFUSED = 8,
    // The object taken as a creation that the simulator refused since answers another live
    // creation with its tail number: hexid that one's; value1 its send id, value2 1.0 when it had
    // been given up (an answer late), 0.0 when it was answered in time.
    SIM_RESULT_OBJECT_PASSED_ON = 9,
};

// Why a creation failed. A title the simulator refused is not offered again; a creation never
// answered or refused for want of room leaves the title usable, and for want of room the next
// creations wait until an object goes or a few seconds pass.
inline constexpr double CREATION_NOT_ANSWERED = 0.0;
inline constexpr double CREATION_TITLE_REFUSED = 1.0;
inline constexpr double CREATION_SIMULATOR_FULL = 2.0;

// What the simulator client (and the live-record reader, for a blocked callsign) hands the engine.
struct SimResult {
    std::uint32_t objectId = 0;  // 0 where none
    std::uint32_t hexid = 0;     // aircraft number; for kind 3 the object's on-ground flag
    std::int32_t counter = 0;    // 0 when pushed; the engine counts ticks in it while it waits
    std::uint32_t kind = 0;      // SimResultKind
    double value1 = 0.0;
    double value2 = 0.0;
};
