// The life of the run's threads: the closing waits for the simulator client before it resets
// what the client uses, never starts a second client beside one that outlived its wait, and at
// the program's end leaves at once rather than destroy what such a thread still uses; a failure
// of the worker ends the run through the one stop request, whose first reason wins.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/closing.hpp"
#include "app/message_lines.hpp"
#include "app/run_state.hpp"
#include "app/sim_client_thread.hpp"
#include "app/worker.hpp"
#include "foundation/run_state.hpp"
#include "foundation/thread_owner.hpp"
#include "parking/park_airport.hpp"
#include "simlink/sim_dispatch.hpp"
#include "simlink/sim_flush.hpp"
#include "simlink/sim_state.hpp"
#include "tests/app/run_test_support.hpp"

namespace corv_test {
namespace {

using namespace std::chrono_literals;
using vald::UiMessage;

class RunSafetyTest : public RunTest {
protected:
    void TearDown() override
    {
        release_.store(true);
        EXPECT_TRUE(gf_finishSimClientThread(10s));
        gf_setSimClientProcedureForTest(nullptr);
        RunTest::TearDown();
    }

    // A client that ignores its stop until released.
    void startStubbornClient()
    {
        gf_setSimClientProcedureForTest([this](std::stop_token) {
            while (!release_.load())
                std::this_thread::sleep_for(1ms);
        });
        ASSERT_TRUE(gf_startSimClientThread());
    }

    SimulatedRunClock clock_;
    std::atomic<bool> release_{false};
};

TEST_F(RunSafetyTest, ARestartResetsTheSimulatorStateOnlyAfterTheClientHasEnded)
{
    // The client writes the user position on its last steps, after its stop.
    gf_setSimClientProcedureForTest([](std::stop_token token) {
        while (!token.stop_requested())
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(200ms);
        UserAircraftSnapshot last;
        last.latitude = 52.3;
        last.longitude = 4.76;
        gf_setUserSnapshot(last);
    });
    ASSERT_TRUE(gf_startSimClientThread());
    gf_requestStop(closing_reason::NEW_SETTINGS, 1);

    lf_closingDown();
    ASSERT_TRUE(gf_finishSimClientThread(10s));
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::StartRun});
    EXPECT_FALSE(gf_userPositionKnown(gf_userSnapshot())) << "the client wrote after the reset";
    EXPECT_FALSE(stopRequested.load());
    EXPECT_EQ(closingReason.load(), closing_reason::NOT_YET_SET);
}

TEST_F(RunSafetyTest, AClientThatOutlivesItsWaitEndsTheProgramAndNoSecondClientStartsBesideIt)
{
    startStubbornClient();
    gf_requestStop(closing_reason::SIMCONNECT_ERROR, SIMCONNECT_ERROR_RESTART_SECONDS);

    lf_closingDown();
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit}) << "no restart beside a running client";
    EXPECT_FALSE(restartPending.load());
    EXPECT_TRUE(gf_simClientRunning());
    EXPECT_FALSE(gf_startSimClientThread());

    release_.store(true);
    for (int poll = 0; poll < 6000 && gf_simClientRunning(); ++poll)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(gf_simClientRunning());
    release_.store(false);
    startStubbornClient();  // once it has ended, a new run may start one
    EXPECT_TRUE(gf_simClientRunning());
}

TEST_F(RunSafetyTest, AtTheEndAThreadStillRunningMakesTheProgramLeaveAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            startStubbornClient();
            EXPECT_FALSE(gf_finishSimClientThread(10ms));
            gf_leaveIfThreadsRemain(3);
            std::exit(0);
        },
        ::testing::ExitedWithCode(3), "");
    // With every thread ended it returns.
    gf_leaveIfThreadsRemain(3);
}

TEST_F(RunSafetyTest, AUserErrorOfTheWorkerStopsTheRunAndKeepsAnEarlierReason)
{
    productionMode = true;  // nobody waits at the window after a system error
    std::filesystem::remove_all(DOCS_FOLDER);  // not started from its program folder: a user error
    lf_workerThread();
    EXPECT_NE(gf_messageLines().errorText, "");
    EXPECT_EQ(closingReason.load(), closing_reason::SYSTEM_ERROR);
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});

    resetAll();
    vald::gf_setWindowPort(&port_);
    port_.clear();
    productionMode = true;
    gf_requestStop(closing_reason::NEW_FLIGHT, 30);
    lf_workerThread();
    EXPECT_EQ(closingReason.load(), closing_reason::NEW_FLIGHT) << "the first reason wins";
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
}

TEST_F(RunSafetyTest, TheWorkersAndTheClientsListsRefuseAnotherThread)
{
#if CORV_OWNER_CHECKS
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    gf_parkAirports().clear();  // this thread runs the worker here
    EXPECT_DEATH(std::thread([] { gf_parkAirports().clear(); }).join(), "parkAirports touched from a thread");
    gf_resetSimDispatchState();
    gf_pendingCreations().clear();
    EXPECT_DEATH(std::thread([] { gf_pendingCreations().clear(); }).join(), "pendingCreations touched");
    // Released at the end of a run, the list belongs to the next run's worker.
    gf_releaseParkAirports();
    std::thread([] { gf_parkAirports().clear(); }).join();
    gf_releaseParkAirports();
#else
    GTEST_SKIP() << "owner checks are compiled out of this build";
#endif
}

}  // namespace
}  // namespace corv_test
