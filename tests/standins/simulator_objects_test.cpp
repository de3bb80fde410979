// The simulator stand-in's object table and the user aircraft's script.
#include "standins/simulator/installed_titles.hpp"
#include "standins/simulator/object_table.hpp"
#include "standins/simulator/user_track.hpp"
#include "tests/support/temp_dir.hpp"

#include <gtest/gtest.h>
#include <set>
#include <stdexcept>

namespace {

using namespace standin_sim;

CreateAircraftRequest creation(const std::string& title, double lat, double lon, double altFt, bool onGround,
                               std::uint32_t airspeedKt = 0) {
    CreateAircraftRequest request;
    request.containerTitle = title;
    request.tailNumber = "TAIL1";
    request.position.latitude = lat;
    request.position.longitude = lon;
    request.position.altitude = altFt;
    request.position.heading = 90.0;
    request.position.onGround = onGround ? 1 : 0;
    request.position.airspeed = airspeedKt;
    return request;
}

TEST(SimulatorObjects, AiIdsLieAboveTheUserAndAreNeverReused) {
    ObjectTable table;
    const auto first = table.createAircraft(creation("A", 52.3, 4.7, 0, true), 1, 10).objectId;
    const auto second = table.createAircraft(creation("B", 52.3, 4.7, 0, true), 2, 11).objectId;
    EXPECT_GT(first, kUserObjectId + 1);  // the program ignores ids below 3
    EXPECT_GT(second, first);
    EXPECT_TRUE(table.remove(second));
    const auto third = table.createAircraft(creation("C", 52.3, 4.7, 0, true), 1, 12).objectId;
    EXPECT_GT(third, second);
    EXPECT_EQ(table.ownedBy(1), (std::vector<std::uint32_t>{first, third}));

    EXPECT_FALSE(table.remove(kUserObjectId));
    EXPECT_FALSE(table.remove(second));
    EXPECT_EQ(table.find(0), &table.user());  // object id 0 names the user aircraft
}

TEST(SimulatorObjects, RefusedAndEmptyTitlesCreateNothing) {
    ObjectTable table;
    table.refuseTitle("Boeing 747-400 Missing Livery");
    const auto refused = table.createAircraft(creation("boeing 747-400 MISSING livery", 52.3, 4.7, 0, true), 1, 7);
    EXPECT_EQ(refused.objectId, 0u);
    EXPECT_FALSE(refused.refusal.empty());
    EXPECT_EQ(table.createAircraft(creation("", 52.3, 4.7, 0, true), 1, 8).objectId, 0u);
    EXPECT_TRUE(table.aiObjects().empty());
}

// The installed aircraft, as the simulator reads them: a title in a Windows code page is known by
// its bytes only; the same title in UTF-8 is another title, and refused.
TEST(SimulatorObjects, OnlyTitlesInstalledByteForByteCanBeCreated) {
    corv_test::TempDir dir;
    corv_test::writeFile(dir / "A320 DLH" / "aircraft.cfg",
                         "[General]\r\natc_model=A320\r\ntitle=General title\r\n[fltsim.0]\r\n"
                         "title = Lufthansa D\xC4LA \x80 \r\nsim=plane\r\n[FLTSIM.1]\r\nTitle=Lufthansa plain\r\n");
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string("[fltsim.0]\ntitle=KLM 737\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    corv_test::writeFile(dir / "B738" / "Sim.CFG", utf16);
    corv_test::writeFile(dir / "B738" / "aircraft.cfg.bak", "[fltsim.0]\ntitle=Backup\n");
    const std::set<std::string> titles = readInstalledTitles({dir.path()});
    EXPECT_EQ(titles, (std::set<std::string>{"KLM 737", "Lufthansa D\xC4LA \x80", "Lufthansa plain"}));

    ObjectTable table;
    table.setInstalledTitles(titles);
    EXPECT_NE(table.createAircraft(creation("Lufthansa D\xC4LA \x80", 52.3, 4.7, 0, true), 1, 7).objectId, 0u);
    EXPECT_EQ(table.createAircraft(creation("Lufthansa D\xC3\x84LA \xE2\x82\xAC", 52.3, 4.7, 0, true), 1, 8).objectId, 0u);
    EXPECT_EQ(table.createAircraft(creation("lufthansa plain", 52.3, 4.7, 0, true), 1, 9).objectId, 0u);
    EXPECT_EQ(table.createAircraft(creation("General title", 52.3, 4.7, 0, true), 1, 10).objectId, 0u);
    EXPECT_NE(table.createAircraft(creation("KLM 737", 52.3, 4.7, 0, true), 1, 11).objectId, 0u);
}

TEST(SimulatorObjects, CreatedAircraftSitOnTheGroundOrKeepTheirAltitude) {
    ObjectTable table;
    table.setGroundElevationFt(-11.0);
    const auto parked = table.createAircraft(creation("A", 52.3, 4.7, 500.0, true), 1, 1).objectId;
    const auto flying = table.createAircraft(creation("B", 52.4, 4.8, 3000.0, false), 1, 2).objectId;
    EXPECT_DOUBLE_EQ(table.find(parked)->altitudeFt, -11.0);
    EXPECT_TRUE(table.find(parked)->onGround);
    EXPECT_DOUBLE_EQ(table.find(flying)->altitudeFt, 3000.0);
    EXPECT_FALSE(table.find(flying)->onGround);
    EXPECT_EQ(table.find(flying)->atcId, "TAIL1");
}

TEST(SimulatorObjects, RadiusSearchListsTheUserFirstThenAiInRange) {
    ObjectTable table;
    table.user().latitudeDeg = 52.0;
    table.user().longitudeDeg = 4.0;
    // 0.1 degree of latitude is about 11.1 km.
    const auto near = table.createAircraft(creation("Near", 52.1, 4.0, 0, true), 1, 1).objectId;
    const auto far = table.createAircraft(creation("Far", 52.3, 4.0, 0, true), 1, 2).objectId;
    const auto found = table.withinRadius(20000.0);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[0]->isUser);
    EXPECT_EQ(found[1]->id, near);
    EXPECT_EQ(table.withinRadius(40000.0).back()->id, far);
    EXPECT_EQ(table.withinRadius(0.0).size(), 1u);
    EXPECT_NEAR(distanceMetres(52.0, 4.0, 52.1, 4.0), 11119.0, 30.0);
}

TEST(SimulatorObjects, OnlyReleasedAndFrozenAircraftStayWhereTheyAreSet) {
    ObjectTable table;
    const auto free = table.createAircraft(creation("A", 52.0, 4.0, 3000.0, false, 360), 1, 1).objectId;
    const auto releasedOnly = table.createAircraft(creation("B", 52.0, 4.0, 3000.0, false, 360), 1, 2).objectId;
    const auto held = table.createAircraft(creation("C", 52.0, 4.0, 3000.0, false, 360), 1, 3).objectId;
    table.find(releasedOnly)->released = true;
    SimObject& frozen = *table.find(held);
    frozen.released = frozen.freezeLatLon = frozen.freezeAltitude = frozen.freezeAttitude = true;
    frozen.verticalSpeedFps = -20.0;

    table.advanceAi(10.0);  // 360 kt heading east: one nautical mile
    EXPECT_NEAR(distanceMetres(52.0, 4.0, table.find(free)->latitudeDeg, table.find(free)->longitudeDeg), 1852.0, 5.0);
    EXPECT_GT(table.find(releasedOnly)->longitudeDeg, 4.0);
    EXPECT_DOUBLE_EQ(frozen.latitudeDeg, 52.0);
    EXPECT_DOUBLE_EQ(frozen.longitudeDeg, 4.0);
    EXPECT_DOUBLE_EQ(frozen.altitudeFt, 3000.0);
}

TEST(SimulatorObjects, UserTrackInterpolatesAndHoldsAfterItsEnd) {
    std::vector<TrackPoint> track(2);
    track[0].latitudeDeg = 52.0;
    track[0].headingDeg = 350.0;
    track[0].altitudeFt = 1000.0;
    track[1].timeSeconds = 100.0;
    track[1].latitudeDeg = 53.0;
    track[1].headingDeg = 10.0;
    track[1].altitudeFt = 3000.0;
    const UserPose middle = poseAt(track, 50.0);
    EXPECT_DOUBLE_EQ(middle.point.latitudeDeg, 52.5);
    EXPECT_NEAR(middle.point.headingDeg, 0.0, 1e-9);  // through north, not through south
    EXPECT_DOUBLE_EQ(middle.point.altitudeFt, 2000.0);
    EXPECT_DOUBLE_EQ(middle.verticalSpeedFps, 20.0);
    const UserPose after = poseAt(track, 500.0);
    EXPECT_DOUBLE_EQ(after.point.latitudeDeg, 53.0);
    EXPECT_DOUBLE_EQ(after.verticalSpeedFps, 0.0);
}

TEST(SimulatorObjects, UserScriptFileFillsGapsAndRejectsBadTracks) {
    corv_test::TempDir dir;
    corv_test::writeFile(dir / "user.json", R"({"title": "My Cub", "model": "J3", "track": [
        {"t": 0, "lat": 51.0, "lon": 3.0, "altFt": 20, "onGround": true},
        {"t": 60, "lat": 51.1, "lon": 3.0, "altFt": 2000}]})");
    const UserScript script = loadUserScript(dir / "user.json");
    EXPECT_EQ(script.title, "My Cub");
    EXPECT_EQ(script.model, "J3");
    EXPECT_EQ(script.atcId, defaultUserScript().atcId);
    ASSERT_EQ(script.track.size(), 2u);
    EXPECT_DOUBLE_EQ(script.track[0].groundAltitudeFt, 20.0);  // on the ground: the ground is where it stands
    EXPECT_DOUBLE_EQ(script.track[1].groundAltitudeFt, 20.0);  // the ground stays as it was
    EXPECT_FALSE(script.track[1].onGround);

    corv_test::writeFile(dir / "backwards.json", R"({"track": [{"t": 5, "lat": 1, "lon": 1}, {"t": 5, "lat": 2, "lon": 2}]})");
    EXPECT_THROW(loadUserScript(dir / "backwards.json"), std::runtime_error);
    corv_test::writeFile(dir / "nolat.json", R"({"track": [{"t": 0, "lon": 1}]})");
    EXPECT_THROW(loadUserScript(dir / "nolat.json"), std::runtime_error);
    corv_test::writeFile(dir / "broken.json", "{\"track\": [");
    EXPECT_THROW(loadUserScript(dir / "broken.json"), std::runtime_error);
}

}  // namespace
