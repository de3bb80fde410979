// The stand searches over the stands of a real park-position file, written and read back.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "engine/stand_search.hpp"
#include "parking/apf_file.hpp"
#include "refdata/dbase.hpp"
#include "tests/support/temp_dir.hpp"
#include "traffic/traffic_hooks.hpp"

namespace {

constexpr double LAT = 40.64;
constexpr double LON = -73.78;

LatLon northOf(double metres) { return LatLon{LAT + metres / METRES_PER_NM / 60.0, LON}; }

Stand standAt(const std::string& id, double metresNorth, double radiusM, bool cargo, bool ramp, bool heli)
{
    const LatLon at = northOf(metresNorth);
    return Stand({}, id, Stand::Place{at.lat, at.lon, 0.5}, radiusM, cargo, ramp, heli);
}

AircraftInstance aircraft(const std::string& callsign, double halfSpanM, AircraftCategory category)
{
    AircraftInstance made;
    made.identity.airline = "KLM";
    made.identity.type = "A320";
    made.identity.callsign = callsign;
    made.halfSpan = halfSpanM / METRES_PER_NM;
    made.category = category;
    return made;
}

class StandSearchFileTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        gf_resetStandRecords();
        gf_clearDbaseTables();
        gf_resetTrafficHooks();
    }

    // Writes the airport as a handmade learned file (every stand in full, with its options),
    // reads it back and numbers the stands in file order.
    void writeAndRead(const ApfAirport& airport)
    {
        const std::filesystem::path file = dir_ / "KJFK.xml";
        handmadeAirport = true;
        ASSERT_TRUE(gf_writeApf(airport, file, ApfWriteMode::learned));
        gf_resetStandRecords();
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_file(file.c_str()));
        lf_readParkpositions(doc);
        for (std::size_t i = 0; i < parkStands.size(); ++i)
            parkStands[i].number = static_cast<std::uint32_t>(i + 1);
    }

    corv_test::TempDir dir_;
};

TEST_F(StandSearchFileTest, StandsOfAParkFileServeEveryKindOfAircraft)
{
    TrafficHooks hooks;
    hooks.parkAirport = [] { return ParkAirportSnapshot{"KJFK", LatLon{LAT, LON}, 13.0}; };
    gf_registerTrafficHooks(std::move(hooks));
    ApfAirport airport{"KJFK", "Kennedy", "", "stock", 0, 0, 13, {}};
    airport.stands.push_back(standAt("G1", 0.0, 20.0, false, false, false));
    airport.stands.push_back(standAt("G2", 80.0, 22.0, false, false, false));
    airport.stands.push_back(standAt("R1", 160.0, 20.0, false, true, false));
    airport.stands.push_back(standAt("C1", 240.0, 30.0, true, false, false));
    airport.stands.push_back(standAt("H1", 320.0, 10.0, false, true, true));
    airport.stands.push_back(standAt("nowhere", 0.0, 20.0, false, false, false));
    airport.stands.back().lat = 0.0;
    airport.stands.back().lon = 0.0;
    StandOption used;
    used.airline = "KLM";
    used.type = "A320";
    used.callsign = "KLM12";
    used.halfHours = 1ULL << 20;
    used.number = 1;
    used.day = 3;
    airport.stands[1].options.push_back(used);
    writeAndRead(airport);
    ASSERT_EQ(parkStands.size(), 5U) << "a stand without a position is not read";

    const AircraftInstance airliner = aircraft("KLM12", 17.9, AircraftCategory::Large);
    EXPECT_EQ(gf_findNearestStand(northOf(5.0), airliner, STAND_NAME_RADIUS_NM, true)->id, "G1");
    EXPECT_EQ(gf_findNearestStand(northOf(318.0), aircraft("N12H", 6.0, AircraftCategory::Rotorcraft),
                                  STAND_NAME_RADIUS_NM, false)->id,
              "H1");
    // In the half-hour it uses G2 itself; in the next one its own stand is preferred.
    EXPECT_EQ(gf_findFreeStandForSlot(WeekdayAndSlot{3, 20}, airliner, false)->id, "G1");
    EXPECT_EQ(gf_findFreeStandForSlot(WeekdayAndSlot{3, 21}, airliner, false)->id, "G2");
    AircraftInstance freighter = airliner;
    freighter.cargo = true;
    EXPECT_EQ(gf_findFreeStandForSlot(WeekdayAndSlot{3, 20}, freighter, false)->id, "C1");
    EXPECT_EQ(gf_findFreeStandForSlot(WeekdayAndSlot{3, 20}, aircraft("N123", 5.0, AircraftCategory::Light), false)
                  ->id,
              "R1");
    // 40 m from G2 and from R1, beyond the narrow reach: the flight's own stand is the fallback.
    EXPECT_EQ(gf_findNearestStand(northOf(120.0), airliner, STAND_NARROW_RADIUS_NM, false), nullptr);
    EXPECT_EQ(gf_findNearestStand(northOf(120.0), airliner, STAND_NARROW_RADIUS_NM, true)->id, "G2");
}

}  // namespace
