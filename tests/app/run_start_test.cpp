// The waits of the run start on a simulated clock: for the user aircraft, whose failed request
// restarts the run, and for the first traffic, whose time-out ends the run as READER ERROR.
#include <gtest/gtest.h>

#include "app/closing.hpp"
#include "app/run_session.hpp"
#include "tests/app/run_test_support.hpp"
#include "traffic/service_client.hpp"

namespace corv_test {
namespace {

using namespace std::chrono_literals;

class RunStartTest : public RunTest {
protected:
    void TearDown() override
    {
        simRequestErrorFlag = false;
        trafficReader.resetForRun();
        RunTest::TearDown();
    }
    SimulatedRunClock clock_;
};

TEST_F(RunStartTest, TheUserAircraftWaitEndsOnACloseAndAFailedRequestRestartsTheRun)
{
    clock_.onSleep = [this] {
        if (clock_.slept() == 3s)
            gf_requestUserClose();
    };
    EXPECT_FALSE(lf_requestUserAcGndAir()) << "no simulator: waits until the close";
    EXPECT_EQ(clock_.slept(), 3s);

    gf_resetRunStateForTest();
    simConnected = true;  // but no connection to send the on-ground request on
    EXPECT_FALSE(lf_requestUserAcGndAir());
    EXPECT_EQ(closingReason.load(), closing_reason::SIMCONNECT_ERROR);
    EXPECT_EQ(restartDelaySeconds.load(), 9);
}

TEST_F(RunStartTest, WithoutTrafficForTenSecondsTheRunEndsAsReaderError)
{
    EXPECT_FALSE(lf_waitForFirstTraffic());
    EXPECT_EQ(closingReason.load(), closing_reason::READER_ERROR);
    EXPECT_EQ(restartDelaySeconds.load(), READER_ERROR_RESTART_SECONDS);
    EXPECT_GT(clock_.slept(), 10s);
    EXPECT_LE(clock_.slept(), 10100ms);

    gf_resetRunStateForTest();
    clock_.onSleep = [] { trafficReader.running = true; };
    EXPECT_TRUE(lf_waitForFirstTraffic());
    EXPECT_FALSE(stopRequested.load());
}

}  // namespace
}  // namespace corv_test
