// One AI aircraft's whole life through the simulator client, with this test playing the worker
// and the simulator stand-in running as a process: created, released and frozen, moved by the
// positions of a few seconds of ticks, removed; each step checked in the simulator's journal.
#include <thread>

#include "simlink/sim_client.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "tests/simlink/simclient_test_support.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/simulator_standin.hpp"

namespace corv_test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr std::chrono::milliseconds LIMIT = 30s;
constexpr std::uint32_t HEXID = 0x484C5A;
constexpr double START_LAT = 52.31;
constexpr double LAT_STEP = 1e-5;  // per tick: about 0.7 m/s north

class SimClientWholeLifeTest : public SimClientTest {
protected:
    SimClientWholeLifeTest() : simulator(folders.root() / "journal.jsonl") {}
    ~SimClientWholeLifeTest() override
    {
        if (client.joinable()) {
            client.request_stop();
            client.join();
        }
    }

    std::vector<json> journal(const std::function<bool(const json&)>& match) const
    {
        std::vector<json> lines;
        for (const json& line : simulator.journal())
            if (match(line))
                lines.push_back(line);
        return lines;
    }
    bool journalShows(const std::function<bool(const json&)>& match) const
    {
        return waitUntil([&] { return !journal(match).empty(); }, LIMIT);
    }

    SimulatorStandin simulator;
    std::jthread client;
};

TEST_F(SimClientWholeLifeTest, AnAiAircraftIsCreatedReleasedFrozenMovedAndRemoved)
{
    ASSERT_TRUE(simulator.process().waitForLine("READY", LIMIT)) << simulator.process().errorOutput();
    client = std::jthread([](std::stop_token token) { SimClient(std::move(token)); });
    ASSERT_TRUE(waitUntil([] { return simConnected.load(); }, LIMIT));
    ASSERT_TRUE(waitUntil([] { return gf_userPositionKnown(gf_getUserPosition()); }, LIMIT));

    static const std::string title = "Stand-in Boeing 737-800";
    CreationRequest request;
    request.position = SimInitPosition{START_LAT, 4.76, 0.0, 0.0, 0.0, 90.0, 1, 0};
    request.tailNumber = "KLM1234";
    request.liveryTitle = title;
    request.hexid = HEXID;
    gf_queueCreateAc(request);

    // The client asks for the new object's description when the simulator announces it, without
    // waiting for the worker's look around the user, and takes it as ours.
    std::optional<SimResult> created;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const SimResult& result : drainResults())
                if (result.kind == SIM_RESULT_LIVE_CREATED)
                    created = result;
            return created.has_value();
        },
        LIMIT));
    EXPECT_EQ(created->hexid, HEXID);
    const std::uint32_t objectId = created->objectId;
    const auto isCreated = [&](const json& l) {
        return l["kind"] == "created" && l["objectId"] == objectId && l["atcId"] == "KLM1234" && l["title"] == title;
    };
    EXPECT_FALSE(journal(isCreated).empty());
    EXPECT_TRUE(journalShows([&](const json& l) { return l["kind"] == "released" && l["objectId"] == objectId; }));
    for (const std::uint32_t freeze : {FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET})
        EXPECT_TRUE(journalShows([&](const json& l) {
            return packetHas(l, "TransmitClientEvent", {{"objectId", objectId}, {"eventId", freeze}, {"data", 1}});
        })) << freeze;

    // Two seconds of ticks, each handing the simulator its position, as the engine does; then
    // the aircraft stands at its last position, handed over each tick until a frame has sent it
    // (a tick whose hand-over meets a frame being sent loses its position).
    constexpr int TICKS = 200;
    const double lastLat = START_LAT + TICKS * LAT_STEP;
    const auto isPosition = [&](const json& l) {
        return l["kind"] == "packet" && l["packet"] == "SetDataOnSimObject" && l["objectId"] == objectId &&
               l["defineId"] == SIM_DEFINE_POSITION_SET;
    };
    const auto isLast = [&](const json& l) {
        return isPosition(l) && std::abs(l["values"]["Plane Latitude"].get<double>() - lastLat) < 1e-9;
    };
    int tick = 0;
    const auto handOver = [&] {
        tick = std::min(tick + 1, TICKS);
        SimPosition position;
        position.lat = START_LAT + tick * LAT_STEP;
        position.lon = 4.76;
        gf_positionFillBuffer().push_back(PositionSetRecord{position, objectId});
        gf_swapPositionBuffers();
        return tick == TICKS && !journal(isLast).empty();
    };
    // waitUntil calls it every 10 ms: one tick each.
    ASSERT_TRUE(waitUntil(handOver, LIMIT));
    // However many frames a loaded machine ran, no position went backwards and the last arrived.
    const std::vector<json> positions = journal(isPosition);
    EXPECT_TRUE(isLast(positions.back()));
    for (std::size_t i = 1; i < positions.size(); ++i)
        EXPECT_GE(positions[i]["values"]["Plane Latitude"].get<double>(),
                  positions[i - 1]["values"]["Plane Latitude"].get<double>());
    EXPECT_TRUE(journal([](const json& l) { return l["kind"] == "exception"; }).empty());

    gf_queueRemoveAc(objectId);
    EXPECT_TRUE(journalShows(
        [&](const json& l) { return l["kind"] == "removed" && l["objectId"] == objectId && l["reason"] == "request"; }));
    std::optional<SimResult> removed;
    EXPECT_TRUE(waitUntil(
        [&] {
            for (const SimResult& result : drainResults())
                if (result.kind == SIM_RESULT_OBJECT_REMOVED && result.objectId == objectId)
                    removed = result;
            return removed.has_value();
        },
        LIMIT));
}

}  // namespace
}  // namespace corv_test
