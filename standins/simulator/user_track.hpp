#pragma once
// The user aircraft's script: who it is and where it goes. Points are given at times in
// simulator seconds; between them the position is interpolated, after the last it stays.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace standin_sim {

struct TrackPoint {
    double timeSeconds = 0;
    double latitudeDeg = 0, longitudeDeg = 0;
    double altitudeFt = 0, groundAltitudeFt = 0;
    double headingDeg = 0, pitchDeg = 0, bankDeg = 0;
    double groundSpeedKt = 0;
    bool onGround = false;
};

struct UserScript {
    std::string title;
    std::string model;  // ATC MODEL
    std::string atcId;
    std::uint32_t lightMask = 0;
    std::vector<TrackPoint> track;  // at least one point, times ascending
};

// On the ground at Amsterdam Schiphol (EHAM), parked, engines off.
UserScript defaultUserScript();

// Reads a JSON script: {"title", "model", "atcId", "lights", "track": [{"t", "lat", "lon",
// "altFt", "groundAltFt", "headingDeg", "pitchDeg", "bankDeg", "groundSpeedKt", "onGround"}]}.
// Missing names keep the defaults. Throws std::runtime_error naming the fault.
UserScript loadUserScript(const std::filesystem::path& path);

struct UserPose {
    TrackPoint point;               // interpolated
    double verticalSpeedFps = 0;    // slope of the segment the time falls in
};
UserPose poseAt(const std::vector<TrackPoint>& track, double timeSeconds);

}  // namespace standin_sim
