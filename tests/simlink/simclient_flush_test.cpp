// The frame flush: what the worker queued reaches the simulator stand-in in order at a frame, and
// the rules for the user aircraft, flaps, failures, the request-error flag and a busy mutex.
#include <future>
#include <mutex>
#include <thread>

#include "foundation/run_state.hpp"
#include "simlink/sim_flush.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/simlink/simclient_test_support.hpp"

namespace corv_test {
namespace {

constexpr std::uint32_t MARKER_GROUP = 999;

// Holds simSendMutex on another thread, as the worker would, until it goes out of scope.
class BusyMutex {
public:
    BusyMutex()
    {
        std::future<void> holding = holding_.get_future();
        holder_ = std::thread([this, release = release_.get_future()] {
            std::lock_guard<std::mutex> held(simSendMutex);
            holding_.set_value();
            release.wait();
        });
        holding.wait();
    }
    ~BusyMutex()
    {
        release_.set_value();
        holder_.join();
    }

private:
    std::promise<void> holding_;
    std::promise<void> release_;
    std::thread holder_;
};

PositionSetRecord position(std::uint32_t objectId, double lat)
{
    PositionSetRecord record;
    record.position.lat = lat;
    record.position.lon = 4.7;
    record.position.altitude = 1200.0;
    record.objectId = objectId;
    return record;
}

// The title is built here and gone when the request is sent: the request owns its copy.
CreationRequest creation(const std::string& title, const std::string& tailNumber, std::uint32_t hexid)
{
    CreationRequest request;
    request.position.latitude = 52.3;
    request.position.longitude = 4.76;
    request.position.onGround = 1;
    request.tailNumber = tailNumber;
    request.liveryTitle = std::string(title.begin(), title.end());
    request.hexid = hexid;
    return request;
}

// A position, two events (one of them flaps), a creation and two removals, queued as the worker
// queues them.
void queueOneOfEach()
{
    gf_positionFillBuffer().push_back(position(1, 52.0));  // the user aircraft
    gf_positionFillBuffer().push_back(position(150, 52.1));
    gf_swapPositionBuffers();
    gf_queueClientEvent(QueuedClientEvent{150, NAV_LIGHTS_SET, 1});
    gf_queueClientEvent(QueuedClientEvent{150, FLAPS_SET, 3072});
    gf_queueCreateAc(creation("Stand-in Boeing 737-800", "KLM1234", 10001));
    gf_queueRemoveAc(1);
    gf_queueRemoveAc(150);
}

SimSendQueues queued()
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    return gf_simSendQueues();
}

std::size_t queuedCount()
{
    const SimSendQueues queues = queued();
    return queues.positions[0].size() + queues.positions[1].size() + queues.clientEvents.size() +
           queues.creations.size() + queues.removals.size();
}

// A client connection to the stand-in, set as the simulator connection of the client.
class FrameFlushTest : public SimClientTest {
protected:
    FrameFlushTest()
    {
        EXPECT_EQ(SimConnect_Open(&handle, "Corv_P3D", nullptr, 0, nullptr, 0), S_OK);
        simConnection.store(handle);
        userObjectId.store(1);
    }
    ~FrameFlushTest() override
    {
        simConnection.store(nullptr);
        if (handle != nullptr) {
            EXPECT_EQ(SimConnect_Close(handle), S_OK);
        }
    }

    // The packets the stand-in received since the last call (after the open at the first), up to
    // a marker sent now: the stand-in journals packets in the order they arrive.
    std::vector<nlohmann::json> packetsUpToNow()
    {
        const std::uint32_t marker = ++markers;
        EXPECT_EQ(SimConnect_SetNotificationGroupPriority(handle, MARKER_GROUP, marker), S_OK);
        const auto isMarker = [](const nlohmann::json& line) {
            return packetHas(line, "SetNotificationGroupPriority", {{"groupId", MARKER_GROUP}});
        };
        simulator.waitForJournal([&](const nlohmann::json& line) { return isMarker(line) && line["priority"] == marker; });
        std::vector<nlohmann::json> sent;
        std::uint32_t markersSeen = 0;
        for (nlohmann::json& line : simulator.packets()) {
            if (isMarker(line))
                ++markersSeen;
            else if (markersSeen == marker - 1 && line["packet"] != "Open")
                sent.push_back(std::move(line));
        }
        return sent;
    }

    SimulatorStandin simulator{folders.root() / "journal.jsonl"};
    HANDLE handle = nullptr;
    std::uint32_t markers = 0;
};

TEST_F(FrameFlushTest, SendsEveryQueueInOrderButNothingToTheUserAircraft)
{
    LogCapture log;
    queueOneOfEach();
    lf_flushSendQueues();
    EXPECT_EQ(queuedCount(), 0u);

    const std::vector<nlohmann::json> sent = packetsUpToNow();
    ASSERT_EQ(sent.size(), 7u) << nlohmann::json(sent).dump();
    EXPECT_TRUE(packetHas(sent[0], "SetDataOnSimObject",
                          {{"defineId", 402}, {"objectId", 150}, {"count", 1}, {"unitSize", 64}}));
    EXPECT_TRUE(packetHas(sent[1], "TransmitClientEvent", {{"objectId", 150}, {"eventId", 208}, {"groupId", 301}}));
    // Flaps between two releases of the AI's control.
    EXPECT_TRUE(packetHas(sent[2], "AIReleaseControl", {{"objectId", 150}, {"requestId", 103}}));
    EXPECT_TRUE(packetHas(sent[3], "TransmitClientEvent", {{"objectId", 150}, {"eventId", 218}, {"data", 3072}}));
    EXPECT_TRUE(packetHas(sent[4], "AIReleaseControl", {{"objectId", 150}, {"requestId", 103}}));
    EXPECT_TRUE(packetHas(sent[5], "AICreateNonATCAircraft",
                          {{"containerTitle", "Stand-in Boeing 737-800"}, {"tailNumber", "KLM1234"}, {"requestId", 104}}));
    EXPECT_TRUE(packetHas(sent[6], "AIRemoveObject", {{"objectId", 150}, {"requestId", 105}}));

    // The creation waits for its object under the send id the simulator will name.
    ASSERT_EQ(gf_pendingCreations().size(), 1u);
    EXPECT_EQ(gf_pendingCreations()[0].sendId, sent[5]["sendId"].get<std::uint32_t>());
    EXPECT_EQ(gf_pendingCreations()[0].hexid, 10001u);
    EXPECT_EQ(gf_pendingCreations()[0].callsign, "KLM1234");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"==> SimConnect call to remove ac with objectid 1"}));
    EXPECT_FALSE(simRequestErrorFlag.load());
}

TEST_F(FrameFlushTest, BusyMutexSkipsTheFrameAndLosesNothing)
{
    queueOneOfEach();
    const std::size_t before = queuedCount();
    {
        BusyMutex worker;
        lf_flushSendQueues();
    }
    EXPECT_EQ(queuedCount(), before);
    EXPECT_TRUE(packetsUpToNow().empty());

    lf_flushSendQueues();
    EXPECT_EQ(packetsUpToNow().size(), 7u);
}

TEST_F(FrameFlushTest, RequestErrorFlagDropsTheQueuesOnceTheMutexIsFree)
{
    queueOneOfEach();
    simRequestErrorFlag.store(true);
    {
        BusyMutex worker;
        lf_flushSendQueues();
    }
    EXPECT_EQ(queuedCount(), 7u);  // they were the worker's while it held the mutex
    lf_flushSendQueues();
    EXPECT_EQ(queuedCount(), 0u);
    EXPECT_TRUE(packetsUpToNow().empty());
    EXPECT_TRUE(gf_pendingCreations().empty());
}

// Without a working connection every request fails.
class BrokenLinkFlushTest : public SimClientTest {
protected:
    BrokenLinkFlushTest()
    {
        simConnection.store(reinterpret_cast<HANDLE>(&brokenLink));
        userObjectId.store(1);
    }
    ~BrokenLinkFlushTest() override { simConnection.store(nullptr); }

    int brokenLink = 0;
};

TEST_F(BrokenLinkFlushTest, FailedClientEventIsOnlyShownButAFailedCreationIsARequestError)
{
    gf_queueClientEvent(QueuedClientEvent{150, FLAPS_SET, 0});
    lf_flushSendQueues();
    EXPECT_TRUE(window->hasStatus("SimConnect TransmitClientEvent: 218 fails"));
    EXPECT_FALSE(simRequestErrorFlag.load());
    EXPECT_FALSE(stopRequested.load());

    gf_queueCreateAc(creation("Stand-in Boeing 737-800", "KLM1234", 10001));
    gf_queueRemoveAc(150);
    lf_flushSendQueues();
    EXPECT_TRUE(simRequestErrorFlag.load());
    EXPECT_TRUE(window->hasStatus("SimConnect request error"));
    EXPECT_EQ(closingReason.load(), closing_reason::SIMCONNECT_ERROR);
    EXPECT_EQ(restartDelaySeconds.load(), 9);
    // The removal after the failed creation was still tried in the same frame.
    EXPECT_EQ(queuedCount(), 0u);
    EXPECT_TRUE(gf_pendingCreations().empty());
}

TEST_F(FrameFlushTest, CreationThatDoesNotFitThePacketFailsForThatAircraftOnly)
{
    gf_queueCreateAc(creation(std::string(300, 'T'), "KLM1234", 10001));
    gf_queueCreateAc(creation("Stand-in Boeing 737-800", "TOOLONGCALLSIGN", 4660));
    gf_queueCreateAc(creation("Stand-in Boeing 737-800", "KLM5", 10005));
    lf_flushSendQueues();
    const std::vector<SimResult> results = drainResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].kind, SIM_RESULT_CREATION_FAILED);
    EXPECT_EQ(results[0].hexid, 10001u);
    EXPECT_EQ(results[1].hexid, 4660u);
    EXPECT_FALSE(simRequestErrorFlag.load());
    EXPECT_FALSE(stopRequested.load());
    ASSERT_EQ(gf_pendingCreations().size(), 1u);
    EXPECT_EQ(gf_pendingCreations()[0].hexid, 10005u);
    EXPECT_EQ(packetsUpToNow().size(), 1u);
}

TEST_F(SimClientTest, PositionHandOverDropsOrWaitsByFrameRateWhenTheFlushHoldsTheMutex)
{
    gf_positionFillBuffer().push_back(position(150, 52.0));
    simFrameRate.store(50.0F);
    {
        BusyMutex flush;
        gf_swapPositionBuffers();
    }
    EXPECT_TRUE(gf_positionFillBuffer().empty());
    EXPECT_TRUE(queued().flushBuffer().empty());

    gf_positionFillBuffer().push_back(position(150, 52.1));
    simFrameRate.store(60.0F);
    std::thread handOver;
    {
        BusyMutex flush;
        handOver = std::thread([] { gf_swapPositionBuffers(); });
    }
    handOver.join();
    ASSERT_EQ(queued().flushBuffer().size(), 1u);
    EXPECT_EQ(queued().flushBuffer()[0].position.lat, 52.1);
    EXPECT_TRUE(gf_positionFillBuffer().empty());
}

}  // namespace
}  // namespace corv_test
