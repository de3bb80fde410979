// The free-stand search over the stands of a real park-position file, written and read back: its
// passes by kind of aircraft and the next half-hour of a small airport.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "engine/stand_search.hpp"
#include "parking/apf_file.hpp"
#include "refdata/dbase.hpp"
#include "tests/support/temp_dir.hpp"
#include "engine/engine_hooks.hpp"

namespace {

LatLon northOf(double metres) { return LatLon{40.64 + metres / METRES_PER_NM / 60.0, -73.78}; }

Stand standAt(const std::string& id, double metresNorth, double radiusM, bool cargo, bool ramp, bool heli)
{
    const LatLon at = northOf(metresNorth);
    return Stand({}, id, Stand::Place{at.lat, at.lon, 0.5}, radiusM, cargo, ramp, heli);
}

StandOption usedAt20(const std::string& callsign)
{
    StandOption option{"KLM", "A320", "", callsign, "", 1ULL << 20, 1, 3, 1, 1};
    return option;
}

AircraftInstance aircraft(const std::string& callsign, double halfSpanM, AircraftCategory category)
{
    AircraftInstance made;
    made.identity = FlightIdentity{"KLM", "A320", "", "", callsign, "", "", "", false};
    made.halfSpan = halfSpanM / METRES_PER_NM;
    made.category = category;
    return made;
}

std::string idOf(const Stand* stand) { return stand == nullptr ? "none" : stand->id; }

class StandSearchFileTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        gf_resetStandRecords();
        gf_clearDbaseTables();
        gf_resetEngineHooks();
    }
    corv_test::TempDir dir_;
};

TEST_F(StandSearchFileTest, FreeStandsOfAParkFileServeEveryKindOfAircraft)
{
    EngineHooks hooks;  // at a 'K' airport the gates come before the ramp
    hooks.parkAirport = [] { return ParkAirportSnapshot{"KJFK", northOf(0.0), 13.0}; };
    gf_setEngineHooks(std::move(hooks));
    ApfAirport airport{"KJFK", "Kennedy", "", "stock", 0, 0, 13, {}};
    airport.stands = {standAt("G1", 0.0, 20.0, false, false, false), standAt("G2", 80.0, 22.0, false, false, false),
                      standAt("R1", 160.0, 20.0, false, true, false), standAt("C1", 240.0, 30.0, true, false, false),
                      standAt("H1", 320.0, 10.0, false, true, true),  standAt("none", 0.0, 20.0, false, false, false)};
    airport.stands.back().lat = airport.stands.back().lon = 0.0;
    airport.stands[1].options.push_back(usedAt20("KLM12"));
    airport.stands[2].options.push_back(usedAt20("EZY1"));
    airport.stands[4].options.push_back(usedAt20("N12H"));
    handmadeAirport = true;  // every stand in full, with its options
    const std::filesystem::path file = dir_ / "KJFK.xml";
    ASSERT_TRUE(gf_writeApf(airport, file, ApfWriteMode::learned));
    gf_resetStandRecords();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(file.c_str()));
    lf_readParkpositions(doc, "test.xml");
    ASSERT_EQ(parkStands.size(), 5U) << "a stand without a position is not read";
    for (std::size_t i = 0; i < parkStands.size(); ++i)
        parkStands[i].number = static_cast<std::uint32_t>(i + 1);

    const AircraftInstance airliner = aircraft("KLM12", 17.9, AircraftCategory::Large);
    const AircraftInstance helicopter = aircraft("N12H", 6.0, AircraftCategory::Rotorcraft);
    AircraftInstance freighter = airliner;
    freighter.cargo = true;
    const WeekdayAndSlot at20{3, 20};
    EXPECT_EQ(idOf(gf_findFreeStandForSlot(at20, airliner, false)), "G1") << "G2 is used at 20";
    EXPECT_EQ(idOf(gf_findFreeStandForSlot(WeekdayAndSlot{3, 21}, airliner, false)), "G2") << "the flight's own";
    EXPECT_EQ(idOf(gf_findFreeStandForSlot(at20, freighter, false)), "C1");
    EXPECT_EQ(idOf(gf_findFreeStandForSlot(WeekdayAndSlot{3, 22}, aircraft("N1", 5.0, AircraftCategory::Light), false)),
              "R1");
    EXPECT_EQ(idOf(gf_findFreeStandForSlot(at20, aircraft("KLM1", 60.0, AircraftCategory::Heavy), false)), "G1")
        << "too big for every stand: the any-size pass";
    // The helipad and the ramp are used at 20: a small airport tries the next half-hour once.
    EXPECT_EQ(idOf(gf_findFreeStandForSlot(at20, helicopter, false)), "none");
    EXPECT_EQ(idOf(gf_findFreeStandForSlot(at20, helicopter, true)), "H1");
    for (int i = 0; i < 6; ++i)
        parkStands.push_back(parkStands[4]);  // 11 stands
    EXPECT_EQ(idOf(gf_findFreeStandForSlot(at20, helicopter, true)), "none");
    parkStands.erase(parkStands.begin() + 5, parkStands.end());

}

}  // namespace
