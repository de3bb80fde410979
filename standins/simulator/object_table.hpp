#pragma once
// The simulator's objects: the user aircraft and the AI aircraft that clients create. Ids are
// never reused; AI ids start well above the user's.
#include "standins/simulator/requests.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace standin_sim {

inline constexpr std::uint32_t kUserObjectId = 1;
inline constexpr std::uint32_t kFirstAiObjectId = 100;

// Light mask bits, as the "LIGHT STATES" and "Light On States" datums report them.
namespace light {
inline constexpr std::uint32_t Nav = 0x0001;
inline constexpr std::uint32_t Beacon = 0x0002;
inline constexpr std::uint32_t Landing = 0x0004;
inline constexpr std::uint32_t Taxi = 0x0008;
inline constexpr std::uint32_t Strobe = 0x0010;
inline constexpr std::uint32_t Logo = 0x0100;
inline constexpr std::uint32_t Cabin = 0x0200;
inline constexpr std::uint32_t All = Nav | Beacon | Landing | Taxi | Strobe | Logo | Cabin;
}  // namespace light

struct SimObject {
    std::uint32_t id = 0;
    bool isUser = false;
    std::uint32_t ownerSession = 0;  // the connection that created it; 0 for the user aircraft
    std::uint32_t creationSendId = 0;
    std::string title;
    std::string atcId;
    std::string atcModel;
    double latitudeDeg = 0, longitudeDeg = 0, altitudeFt = 0;
    double pitchRad = 0, bankRad = 0, headingRad = 0;
    double verticalSpeedFps = 0, trueAirspeedKt = 0, groundSpeedKt = 0;
    bool onGround = false;
    double staticCgToGroundFt = 8.5, staticPitchRad = 0.0;
    std::uint32_t lightMask = 0;
    bool released = false, freezeLatLon = false, freezeAltitude = false, freezeAttitude = false;
    std::uint32_t flaps = 0, spoilers = 0, throttle = 0;
    bool gearDown = true, enginesRunning = false;
    double spoilerHandlePct = 0, throttleLeverPct[2] = {0, 0};
    std::string flightPlanPath;
};

struct CreationOutcome {
    std::uint32_t objectId = 0;  // 0 when refused
    std::string refusal;         // why, when refused
};

class ObjectTable {
public:
    ObjectTable();

    SimObject& user() { return user_; }
    const SimObject& user() const { return user_; }
    // The object of an id; 0 names the user aircraft, as it does on the wire.
    SimObject* find(std::uint32_t id);

    // Ground elevation of the flat world around the user (feet); objects on the ground sit on it.
    double groundElevationFt() const { return groundElevationFt_; }
    void setGroundElevationFt(double feet) { groundElevationFt_ = feet; }

    // Titles the simulator does not have: their creation is refused. Compared without case.
    void refuseTitle(const std::string& title);
    // From now on only these titles are installed; any other is refused, as an aircraft the
    // simulator does not have (compared byte for byte, as the simulator does).
    void setInstalledTitles(std::set<std::string> titles);
    bool isRefused(const std::string& title) const;

    [[nodiscard]] CreationOutcome createAircraft(const CreateAircraftRequest& request, std::uint32_t ownerSession,
                                                 std::uint32_t sendId);
    // The id of an aircraft that another program (not a client here) adds and removes again; it
    // is never in the table, and never reused.
    std::uint32_t takeForeignId() { return nextAiId_++; }
    // Removes an AI object; the user aircraft and unknown ids stay (false).
    [[nodiscard]] bool remove(std::uint32_t id);
    // Ids of the AI objects a connection created, in ascending order (they go when it closes).
    std::vector<std::uint32_t> ownedBy(std::uint32_t ownerSession) const;
    // Every aircraft within the radius of the user aircraft: the user first, then AI by id.
    std::vector<const SimObject*> withinRadius(double radiusMetres) const;
    const std::map<std::uint32_t, SimObject>& aiObjects() const { return ai_; }

    // Lets the simulator's own AI fly every object that a client does not hold: an object
    // keeps its place only while it is released and frozen.
    void advanceAi(double seconds);
    // An AI object is on the ground when less than a foot above it (after a move or a set).
    void refreshOnGround(SimObject& object) const;

private:
    SimObject user_;
    std::map<std::uint32_t, SimObject> ai_;
    std::set<std::string> refusedTitles_;  // lower case
    std::optional<std::set<std::string>> installedTitles_;  // byte for byte; none: every title
    std::uint32_t nextAiId_ = kFirstAiObjectId;
    double groundElevationFt_ = 0;
};

// Great-circle distance on the sphere the program uses (radius 10800/pi nautical miles).
double distanceMetres(double lat1Deg, double lon1Deg, double lat2Deg, double lon2Deg);

}  // namespace standin_sim
