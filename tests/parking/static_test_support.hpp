#pragma once
// A park airport for the static-parking tests: installed liveries, stands laid out in a row
// 100 m apart at (52.30, 4.76), parked traffic handed in by the test, the program clock fixed on
// a Monday at 10:05 (half-hour 20) and every list of the engine and the planner emptied.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "engine/engine_state.hpp"
#include "engine/stand_records.hpp"
#include "engine/static_parking_step.hpp"
#include "engine/traffic_driver.hpp"
#include "foundation/format.hpp"
#include "foundation/time_slots.hpp"
#include "parking/park_airport.hpp"
#include "parking/static_planning.hpp"
#include "parking/week_search.hpp"
#include "refdata/airports.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_queues.hpp"
#include "tests/liveries/livery_test_support.hpp"
#include "tests/traffic/traffic_test_support.hpp"
#include "traffic/service_client.hpp"

namespace corv_test {

inline constexpr double ROW_LAT = 52.30;
inline constexpr double ROW_LON = 4.76;
inline constexpr double STAND_STEP_LON = 0.00147;  // about 100 m
// Monday 20 November 2023, 10:05 UTC: after the sample flights' data times, so that the reader takes them.
inline constexpr UtcSeconds MONDAY_1005 = 19681LL * 86400 + 10 * 3600 + 5 * 60;
inline UtcSeconds testClock = MONDAY_1005;

inline std::uint64_t weekSlot(int weekday, int halfHour) { return gf_weekSlotValue(WeekdayAndSlot{weekday, halfHour}); }

inline std::uint64_t halfHourBits(std::initializer_list<int> halfHours)
{
    std::uint64_t bits = 0;
    for (const int h : halfHours)
        bits |= std::uint64_t{1} << h;
    return bits;
}

inline StandOption weekOption(const std::string& callsign, std::uint32_t day, std::initializer_list<int> halfHours,
                              const std::string& type = "A320", bool real = true, const std::string& suffix = "",
                              const std::string& registration = "")
{
    StandOption o;
    o.airline = "KLM";
    o.type = type;
    o.registration = registration;
    o.callsign = callsign;
    o.callsignSuffix = suffix;
    o.halfHours = halfHourBits(halfHours);
    o.day = day;
    o.real = real ? 1 : 0;
    return o;
}

class StaticParkingTest : public LiveryDatabaseTest {
protected:
    void SetUp() override
    {
        LiveryDatabaseTest::SetUp();
        process({livery("KLM", "A320", "KLM 320"), livery("KLM", "B738", "KLM 738"), livery("ZZZ", "B744", "Generic 744"),
                 livery("ZZZ", "C172", "Generic 172"), livery("PVT", "C172", "PVT 172")});
        resetPlanning();
        parkStands.reserve(64);  // the tests keep references to the stands they add
        staticAircraft.reserve(64);
        testClock = MONDAY_1005;
        gf_setUtcNowForTest([] { return testClock; });
        MAX_PARK_SEL.setValue(500);
        parking_percentage.setValue(50);
        CUSTOM_PARKING_PERCENTAGE.setValue(-1);
        RT_PARKTRAFFIC_ONLY.setValue(false);
        MAX_FIT.setValue(47);
        WEEK.setValue(false);
        PARK_SOFT.setValue(false);
        INITIAL_LOAD_ONLY.setValue(false);
        gf_setParkedTrafficSource([this](std::vector<ParkedTrafficRecord>& records) {
            records = parked;
            return fetchSucceeds;
        });
    }

    void TearDown() override
    {
        resetPlanning();
        gf_resetClockForTest();
        LiveryDatabaseTest::TearDown();
    }

    static void resetPlanning()
    {
        lf_resetTraffic();
        gf_resetSimSendQueues();
        gf_resetParkAirportForTest();
        trafficReader.takeSeen();
        vald::gf_resetDisplayForTest();
        // A test that registers the parking hooks also sets the closest-stand question, which
        // would send a later test's airport choice to the download site.
        gf_resetClosestStandQueryForTest();
    }

    // A stand of the row at place index (100 m apart); the number is its place in the list.
    static Stand& addStand(const std::string& id, int place, std::vector<StandOption> options = {},
                           double radiusM = 30.0)
    {
        std::uint32_t n = 0;
        for (StandOption& o : options)
            o.number = ++n;
        Stand& stand = parkStands.emplace_back(std::move(options), id,
                                               Stand::Place{ROW_LAT, ROW_LON + place * STAND_STEP_LON, 0.5},
                                               radiusM, false, false, false);
        stand.number = static_cast<std::uint32_t>(parkStands.size());
        return stand;
    }

    static void makeAdjacent(Stand& a, Stand& b)
    {
        a.adjacent.push_back(b.number);
        b.adjacent.push_back(a.number);
    }

    static ParkedTrafficRecord parkedAt(std::uint32_t hexId, const std::string& callsign, int place, int age,
                                        const std::string& type = "A320", const std::string& airline = "KLM")
    {
        ParkedTrafficRecord r;
        r.flight.airline = airline;
        r.flight.type = type;
        r.flight.callsign = callsign;
        r.lat = ROW_LAT;
        r.lon = ROW_LON + place * STAND_STEP_LON;
        r.hexId = hexId;
        r.slot = age;
        r.stand = vald::format("S{}", place);  // not "S" + to_string: a false -Wrestrict of GCC 12 at -O3
        return r;
    }

    static StaticAircraft& activeStatic(const std::string& callsign, std::uint32_t standNumber, std::uint32_t sourceFlag,
                                        std::uint32_t objectId, const std::string& type = "A320")
    {
        FlightIdentity flight;
        flight.airline = "KLM";
        flight.type = type;
        flight.callsign = callsign;
        const Stand& stand = parkStands.at(standNumber - 1);
        StaticAircraft& s = staticAircraft.emplace_back(gf_makeAircraftInstance(flight), standNumber,
                                                        StandPlacement{stand.lat, stand.lon, stand.heading}, false);
        s.state = SimState::active;
        s.objectId = objectId;
        s.sourceFlag = sourceFlag;
        s.hexid = objectId;
        return s;
    }

    // The traffic reader accepts a live report of this flight while collecting.
    static void seenLive(const std::string& hexText, const std::string& callsign)
    {
        nlohmann::json a = liveArray();
        a[0] = hexText;
        a[13] = callsign;
        LiveFilterSettings settings;
        settings.userPosition = {52.3, 4.76};
        trafficReader.workLine = a;
        trafficReader.processLine(settings);
        trafficReader.liveRecords.clear();
    }

    static std::vector<std::uint32_t> plannedStands()
    {
        std::vector<std::uint32_t> stands;
        for (const ParkPosition& p : parkPositions)
            stands.push_back(p.standNumber);
        std::sort(stands.begin(), stands.end());
        return stands;
    }

    static std::size_t standsMarkedPlanned() { return lf_plannedStandCount(); }

    std::vector<ParkedTrafficRecord> parked;
    bool fetchSucceeds = true;
};

}  // namespace corv_test
