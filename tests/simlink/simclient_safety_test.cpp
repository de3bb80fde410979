// The client thread's lists stay bounded and its locks are never held while the engine or the
// window is called: results are handled with no lock held, and a flush reports its failures
// only once the send mutex is free.
#include <future>
#include <mutex>
#include <thread>

#include "foundation/clock.hpp"
#include "foundation/run_state.hpp"
#include "foundation/status_sink.hpp"
#include "simlink/sim_dispatch.hpp"
#include "simlink/sim_flush.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "tests/simlink/simclient_test_support.hpp"

namespace corv_test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t USER_OBJECT = 1;

Bytes objectEvent(std::uint32_t eventId, std::uint32_t objectId)
{
    return simMessage(5, ByteWriter().u32(0).u32(eventId).u32(objectId).u32(2).bytes());
}

Bytes inRange(std::uint32_t objectId, const std::string& atcId, double heightFt)
{
    const Bytes data = ByteWriter().f64(heightFt).f64(-11.0).i64(1).text(atcId, 32).bytes();
    return objectData(9, 101, objectId, data);
}

Bytes frame() { return simMessage(7, ByteWriter().u32(0).u32(204).u32(0).f32(30.0F).bytes()); }

// Whether another thread would have to wait for simSendMutex right now.
bool sendMutexHeld()
{
    return std::async(std::launch::async, [] {
               std::unique_lock<std::mutex> lock(simSendMutex, std::try_to_lock);
               return !lock.owns_lock();
           }).get();
}

class SimClientSafetyTest : public SimClientTest {
protected:
    ~SimClientSafetyTest() override { gf_resetClockForTest(); }
};

TEST_F(SimClientSafetyTest, AResultHandlerMayWaitForTheClientThreadToPushAnotherResult)
{
    SimResult first;
    first.objectId = 300;
    first.kind = SIM_RESULT_OBJECT_REMOVED;
    gf_pushSimResult(first);

    std::vector<std::uint32_t> handled;
    std::thread client;
    std::promise<void> pushed;
    std::future<void> pushedDone = pushed.get_future();
    gf_drainSimResults([&](const SimResult& result) {
        handled.push_back(result.objectId);
        // The client thread reports another object meanwhile, and the handler queues a removal.
        client = std::thread([&pushed] {
            SimResult second;
            second.objectId = 301;
            second.kind = SIM_RESULT_OBJECT_REMOVED;
            gf_pushSimResult(second);
            pushed.set_value();
        });
        EXPECT_EQ(pushedDone.wait_for(10s), std::future_status::ready) << "the result mutex is held by the drain";
        gf_queueRemoveAc(result.objectId);
    });
    client.join();
    EXPECT_EQ(handled, std::vector<std::uint32_t>{300});
    const std::vector<SimResult> next = drainResults();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].objectId, 301u);
}

TEST_F(SimClientSafetyTest, AFailedFlushReportsOnlyOnceTheSendMutexIsFree)
{
    std::vector<bool> heldWhenShown;
    StatusSink sink;
    sink.show = [&heldWhenShown](const std::string&, bool) { heldWhenShown.push_back(sendMutexHeld()); };
    gf_setStatusSink(std::move(sink));

    // No connection: the event, the creation and the removal all fail.
    gf_queueClientEvent(QueuedClientEvent{150, NAV_LIGHTS_SET, 1});
    CreationRequest request;
    request.liveryTitle = "Boeing 737-800 Transavia";
    request.tailNumber = "TRA123";
    request.hexid = 10001;
    gf_queueCreateAc(request);
    gf_queueRemoveAc(151);
    lf_flushSendQueues();

    ASSERT_EQ(heldWhenShown.size(), 2u) << "the failed event and the request error";
    EXPECT_EQ(heldWhenShown, (std::vector<bool>{false, false}));
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(closingReason.load(), closing_reason::SIMCONNECT_ERROR);
    EXPECT_TRUE(simRequestErrorFlag.load());
    EXPECT_FALSE(sendMutexHeld());
}

TEST_F(SimClientSafetyTest, ObjectsGoneBeforeTheirDescriptionAndUnansweredCreationsAreForgottenAndReportedFailed)
{
    SteadyTime now{};
    Clock clock;
    clock.steadyNow = [&now] { return now; };
    gf_setClockForTest(clock);
    userObjectId.store(USER_OBJECT);
    gf_pendingCreations() = {{7, 10001, "KLM1234", now}};

    // Object 100 is announced and removed at once; a late description of it is no creation of ours.
    // The creation sent before it may have been it: unanswered, it is given up within seconds.
    dispatch(objectEvent(202, 100));
    gf_pendingCreations().push_back(PendingCreation{8, 10002, "KLM77", now += 1s});  // sent after: waits
    dispatch(objectEvent(203, 100));
    dispatch(inRange(100, "KLM1234", 1.5));
    now += 5s;
    dispatch(frame());
    std::vector<SimResult> results = drainResults();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].kind, SIM_RESULT_OBJECT_REMOVED);
    EXPECT_EQ(results[1].kind, SIM_RESULT_FOREIGN_NEAR_GROUND);
    EXPECT_EQ(results[2].hexid, 10001u);
    EXPECT_EQ(gf_pendingCreations().size(), 1u);

    // A creation the simulator never answers is dropped after two minutes; a young one stays.
    now += 100s;
    gf_pendingCreations().push_back(PendingCreation{9, 10003, "AFR1", now});
    now += 21s;
    dispatch(frame());
    ASSERT_EQ(gf_pendingCreations().size(), 1u);
    EXPECT_EQ(gf_pendingCreations()[0].hexid, 10003u);
    results = drainResults();
    ASSERT_EQ(results.size(), 1u) << "the engine hears of each forgotten creation";
    for (const SimResult& failed : results) {
        EXPECT_EQ(failed.kind, SIM_RESULT_CREATION_FAILED);
        EXPECT_EQ(failed.value1, 0.0) << "not the title's fault";
    }
    // One of them answered late goes to the engine, once: only the engine knows who wants it.
    for (const std::uint32_t objectId : {200u, 201u}) {
        dispatch(objectEvent(202, objectId));
        dispatch(inRange(objectId, "KLM77", 1.5));
    }
    results = drainResults();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(std::pair(results[0].objectId, results[0].hexid), std::pair(200u, 10002u));
    EXPECT_TRUE(gf_simSendQueues().removals.empty());

    // However many objects are announced and never described, the list keeps a bounded number.
    for (std::uint32_t objectId = 1000; objectId < 4000; ++objectId)
        dispatch(objectEvent(202, objectId));
    dispatch(inRange(1000, "KLM1234", 1.5));  // long forgotten: foreign
    dispatch(inRange(3999, "AFR1", 0.0));     // still announced: our creation
    results = drainResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].kind, SIM_RESULT_FOREIGN_NEAR_GROUND);
    EXPECT_EQ(results[1].kind, SIM_RESULT_LIVE_CREATED);
    EXPECT_EQ(results[1].hexid, 10003u);
}

}  // namespace
}  // namespace corv_test
