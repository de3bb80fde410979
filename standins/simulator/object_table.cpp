#include "standins/simulator/object_table.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

namespace standin_sim {

namespace {

constexpr double kEarthRadiusMetres = 10800.0 / std::numbers::pi * 1852.0;
constexpr double kOnGroundBelowFt = 1.0;

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}
double degrees(double radians) {
    return radians * 180.0 / std::numbers::pi;
}

std::string lowered(const std::string& text) {
    std::string out = text;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// Moves a position along a true course (radians) by a distance on the sphere.
void moveAlong(double& latDeg, double& lonDeg, double courseRad, double metres) {
    const double delta = metres / kEarthRadiusMetres;
    const double lat1 = radians(latDeg);
    const double lon1 = radians(lonDeg);
    const double lat2 = std::asin(std::sin(lat1) * std::cos(delta) + std::cos(lat1) * std::sin(delta) * std::cos(courseRad));
    const double lon2 = lon1 + std::atan2(std::sin(courseRad) * std::sin(delta) * std::cos(lat1),
                                          std::cos(delta) - std::sin(lat1) * std::sin(lat2));
    latDeg = degrees(lat2);
    lonDeg = std::remainder(degrees(lon2), 360.0);
}

}  // namespace

double distanceMetres(double lat1Deg, double lon1Deg, double lat2Deg, double lon2Deg) {
    const double dLat = radians(lat2Deg - lat1Deg);
    const double dLon = radians(lon2Deg - lon1Deg);
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(radians(lat1Deg)) * std::cos(radians(lat2Deg)) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2.0 * kEarthRadiusMetres * std::asin(std::min(1.0, std::sqrt(a)));
}

ObjectTable::ObjectTable() {
    user_.id = kUserObjectId;
    user_.isUser = true;
}

SimObject* ObjectTable::find(std::uint32_t id) {
    if (id == 0 || id == user_.id) return &user_;
    auto it = ai_.find(id);
    return it == ai_.end() ? nullptr : &it->second;
}

void ObjectTable::refuseTitle(const std::string& title) {
    refusedTitles_.insert(lowered(title));
}

void ObjectTable::setInstalledTitles(std::set<std::string> titles) { installedTitles_ = std::move(titles); }

bool ObjectTable::isRefused(const std::string& title) const {
    if (installedTitles_ && installedTitles_->count(title) == 0) return true;
    return refusedTitles_.count(lowered(title)) > 0;
}

CreationOutcome ObjectTable::createAircraft(const CreateAircraftRequest& request, std::uint32_t ownerSession,
                                            std::uint32_t sendId) {
    if (request.containerTitle.empty()) return {0, "empty title"};
    if (isRefused(request.containerTitle)) return {0, "title not installed"};
    SimObject object;
    object.id = nextAiId_++;
    object.ownerSession = ownerSession;
    object.creationSendId = sendId;
    object.title = request.containerTitle;
    object.atcId = request.tailNumber;
    const InitPosition& at = request.position;
    object.latitudeDeg = at.latitude;
    object.longitudeDeg = at.longitude;
    object.altitudeFt = at.onGround != 0 ? groundElevationFt_ : at.altitude;
    object.pitchRad = radians(at.pitch);
    object.bankRad = radians(at.bank);
    object.headingRad = radians(at.heading);
    object.trueAirspeedKt = at.airspeed;
    object.groundSpeedKt = at.airspeed;
    refreshOnGround(object);
    const std::uint32_t id = object.id;
    ai_.emplace(id, std::move(object));
    return {id, {}};
}

bool ObjectTable::remove(std::uint32_t id) {
    return ai_.erase(id) > 0;
}

std::vector<std::uint32_t> ObjectTable::ownedBy(std::uint32_t ownerSession) const {
    std::vector<std::uint32_t> ids;
    for (const auto& [id, object] : ai_) {
        if (object.ownerSession == ownerSession) ids.push_back(id);
    }
    return ids;
}

std::vector<const SimObject*> ObjectTable::withinRadius(double radiusMetres) const {
    std::vector<const SimObject*> found{&user_};
    for (const auto& [id, object] : ai_) {
        const double metres = distanceMetres(user_.latitudeDeg, user_.longitudeDeg, object.latitudeDeg, object.longitudeDeg);
        if (metres <= radiusMetres) found.push_back(&object);
    }
    return found;
}

void ObjectTable::refreshOnGround(SimObject& object) const {
    if (object.isUser) return;  // the user's script says where it is
    object.onGround = object.altitudeFt - groundElevationFt_ < kOnGroundBelowFt;
}

void ObjectTable::advanceAi(double seconds) {
    if (seconds <= 0) return;
    for (auto& [id, object] : ai_) {
        if (!(object.released && object.freezeLatLon) && object.trueAirspeedKt > 0) {
            moveAlong(object.latitudeDeg, object.longitudeDeg, object.headingRad,
                      object.trueAirspeedKt * 1852.0 / 3600.0 * seconds);
        }
        if (!(object.released && object.freezeAltitude) && object.verticalSpeedFps != 0) {
            object.altitudeFt = std::max(groundElevationFt_, object.altitudeFt + object.verticalSpeedFps * seconds);
        }
        object.groundSpeedKt = object.released && object.freezeLatLon ? 0.0 : object.trueAirspeedKt;
        refreshOnGround(object);
    }
}

}  // namespace standin_sim
