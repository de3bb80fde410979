#include "app/collision_rules.hpp"

#include <cmath>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "engine/engine_state.hpp"
#include "engine/removal.hpp"
#include "engine/static_neighbours.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/parameters.hpp"
#include "simlink/sim_state.hpp"

namespace {

constexpr double GROUND_LIVE_MARGIN = 1.15;
constexpr double GROUND_STATIC_MARGIN = 1.1;
constexpr double AIR_LOW_HEIGHT_FT = 500.0;
constexpr double AIR_GROUND_RANGE_NM = 1.0;
constexpr double AIR_GROUND_OFFSET_FT = 50.0;
constexpr double AIR_RANGE_NM = 4.0;
constexpr double AIR_ALTITUDE_BAND_FT = 1000.0;
constexpr double AIR_OFFSET_FT = 700.0;

LatLon lastStaticCheck;

LatLon lf_position(const UserAircraftSnapshot& user) { return LatLon{user.latitude, user.longitude}; }
LatLon lf_position(const LiveAircraft& aircraft) { return LatLon{aircraft.simPosition.lat, aircraft.simPosition.lon}; }

bool lf_moved(const LatLon& from, const LatLon& to) { return !gf_samePlace(from, to); }

bool lf_groundCollision(const UserForCollision& user)
{
    const LatLon userPosition = lf_position(user.snapshot);
    for (LiveAircraft& aircraft : liveAircraft) {
        if (!aircraft.onGround)
            continue;
        const double distance = gf_distanceNm(userPosition, lf_position(aircraft));
        if (aircraft.state == SimState::active &&
            gf_wingsTouch(user.halfSpanNm, aircraft.halfSpan, distance, GROUND_LIVE_MARGIN)) {
            removeAircraftFromSim(aircraft);
            return true;
        }
    }
    if (!lf_moved(lastStaticCheck, userPosition))
        return false;
    lastStaticCheck = userPosition;
    for (StaticAircraft& aircraft : staticAircraft) {
        if (aircraft.state != SimState::active)
            continue;
        const double distance = gf_distanceNm(userPosition, LatLon{aircraft.standLat, aircraft.standLon});
        if (gf_wingsTouch(user.halfSpanNm, aircraft.halfSpan, distance, GROUND_STATIC_MARGIN)) {
            removeAircraftFromSim(aircraft);
            return true;
        }
    }
    return false;
}

bool lf_airCollision(const UserForCollision& user)
{
    const UserAircraftSnapshot& self = user.snapshot;
    const LatLon userPosition = lf_position(self);
    for (LiveAircraft& aircraft : liveAircraft) {
        if (aircraft.state != SimState::active)
            continue;
        const LatLon position = lf_position(aircraft);
        const double distance = gf_distanceNm(userPosition, position);
        const double bearing = gf_bearingRad(userPosition, position);
        const bool onTheRunwayAhead =
            aircraft.onGround && self.altAboveGround < AIR_LOW_HEIGHT_FT && distance <= AIR_GROUND_RANGE_NM &&
            gf_offsetFromUserHeadingFt(bearing, self.heading, distance) <= AIR_GROUND_OFFSET_FT;
        const bool onCollisionCourse =
            distance <= AIR_RANGE_NM && std::fabs(aircraft.simPosition.altitude - self.altitude) < AIR_ALTITUDE_BAND_FT &&
            gf_offsetFromOtherHeadingFt(aircraft.simPosition.heading, bearing, distance) <= AIR_OFFSET_FT;
        if (onTheRunwayAhead || onCollisionCourse) {
            removeAircraftFromSim(aircraft);
            return true;
        }
    }
    return false;
}

}  // namespace

UserForCollision gf_userForCollision()
{
    return UserForCollision{gf_userSnapshot(), userOnGround.load(), gf_userHalfSpanNm().value_or(0.0)};
}

double gf_offsetFromUserHeadingFt(double bearingToOtherRad, double userHeadingRad, double distanceNm)
{
    const double angle = gf_wrapPi(bearingToOtherRad - userHeadingRad);
    return std::sin(std::fabs(angle)) * distanceNm * FEET_PER_NM;
}

double gf_offsetFromOtherHeadingFt(double otherHeadingRad, double bearingToOtherRad, double distanceNm)
{
    const double angleDeg = gf_wrapPi(otherHeadingRad - bearingToOtherRad) * RAD_TO_DEG;
    const double offsetAngleDeg = angleDeg >= 0.0 ? std::fabs(90.0 - angleDeg) : std::fabs(angleDeg + 90.0);
    return std::cos(offsetAngleDeg * DEG_TO_RAD) * distanceNm * FEET_PER_NM;
}

bool lf_checkUserCollisions(const UserForCollision& user)
{
    if (user.onGround)
        return COLLISION_USER_GND.value() && lf_groundCollision(user);
    return COLLISION_USER_AIR.value() && lf_airCollision(user);
}

void lf_avoidStaticsOfMovingLive()
{
    if (!COLLISION_LIVE_PARKED_GND.value() || staticAircraft.empty())
        return;
    // Built once for the pass, when the first aircraft needs it.
    std::optional<StaticGrid> grid;
    for (LiveAircraft& aircraft : liveAircraft) {
        if (!aircraft.onGround || (aircraft.phase != FlightPhase::taxi && aircraft.phase != FlightPhase::parking))
            continue;
        const LatLon position = lf_position(aircraft);
        if (!lf_moved(aircraft.lastCheckPosition, position))
            continue;
        aircraft.lastCheckPosition = position;
        if (aircraft.state != SimState::active)
            continue;
        if (!grid)
            grid.emplace();
        lf_avoidStatics(aircraft, &*grid);
    }
}

namespace {

// The first active static aircraft (lowest index) under each twin callsign and registration, so
// that each live aircraft on the ground is one lookup instead of a pass over the statics.
class StaticTwins {
public:
    StaticTwins()
    {
        for (std::size_t i = 0; i < staticAircraft.size(); ++i) {
            const StaticAircraft& twin = staticAircraft[i];
            if (twin.state != SimState::active)
                continue;
            byCallsign_.try_emplace(twin.identity.callsign, i);
            // An empty registration is no key: it makes no two aircraft the same (gf_sameRegistration).
            if (!twin.identity.registration.empty())
                byRegistration_.try_emplace(twin.identity.registration, i);
        }
    }

    std::optional<std::size_t> of(const LiveAircraft& live) const
    {
        std::optional<std::size_t> first;
        if (const auto it = byCallsign_.find(live.identity.callsign + "*"); it != byCallsign_.end())
            first = it->second;
        if (const auto it = byRegistration_.find(live.identity.registration); it != byRegistration_.end())
            first = std::min(first.value_or(it->second), it->second);
        return first;
    }

private:
    std::unordered_map<std::string_view, std::size_t> byCallsign_;
    std::unordered_map<std::string_view, std::size_t> byRegistration_;
};

}  // namespace

bool lf_removeStaticTwinOfGroundLive()
{
    std::optional<StaticTwins> twins;
    for (const LiveAircraft& live : liveAircraft) {
        if (!live.onGround || live.state != SimState::active)
            continue;
        if (!twins)
            twins.emplace();
        if (const std::optional<std::size_t> twin = twins->of(live)) {
            removeAircraftFromSim(staticAircraft[*twin]);
            return true;
        }
    }
    return false;
}

void gf_resetCollisionRulesForTest() { lastStaticCheck = LatLon{}; }
