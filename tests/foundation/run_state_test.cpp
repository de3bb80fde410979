// Stop requests: the first reason wins, the user's closing always closes.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "foundation/run_state.hpp"

namespace {

class RunStateTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        stopRequested = false;
        userClosing = false;
        restartDelaySeconds = 0;
        closingReason = closing_reason::NOT_YET_SET;
    }
};

TEST_F(RunStateTest, FirstReasonAndItsDelayWin)
{
    std::atomic<std::uint32_t>& reason = closingReason;

    gf_requestStop(closing_reason::SIMCONNECT_ERROR, 9);
    gf_requestStop(closing_reason::READER_ERROR, 15);
    EXPECT_TRUE(stopRequested.load());
    EXPECT_FALSE(userClosing.load());
    EXPECT_EQ(reason.load(), closing_reason::SIMCONNECT_ERROR);
    EXPECT_EQ(gf_closingReason(), closing_reason::SIMCONNECT_ERROR);
    EXPECT_EQ(restartDelaySeconds.load(), 9);
}

TEST_F(RunStateTest, UserClosingAfterAnotherReasonKeepsThatReasonButCloses)
{
    std::atomic<std::uint32_t>& reason = closingReason;

    gf_requestStop(closing_reason::NEW_SETTINGS, 2);
    gf_requestStop(closing_reason::USER_CLOSED_SIM, 0);
    EXPECT_TRUE(userClosing.load());
    EXPECT_EQ(reason.load(), closing_reason::NEW_SETTINGS);
    EXPECT_EQ(restartDelaySeconds.load(), 2);
}

TEST_F(RunStateTest, UserClosingFirstSetsItsReasonAndBlocksLaterOnes)
{
    std::atomic<std::uint32_t>& reason = closingReason;

    gf_requestStop(closing_reason::USER_CLOSED_SIM, 0);
    gf_requestStop(closing_reason::SIM_WAS_CLOSED, 0);
    EXPECT_EQ(reason.load(), closing_reason::USER_CLOSED_SIM);
    EXPECT_TRUE(stopRequested.load());
}

TEST_F(RunStateTest, StopPendingWithoutReasonTakesNoLaterReason)
{
    std::atomic<std::uint32_t>& reason = closingReason;
    stopRequested = true;
    gf_requestStop(closing_reason::READER_ERROR, 15);
    EXPECT_EQ(reason.load(), closing_reason::NOT_YET_SET);
    EXPECT_EQ(restartDelaySeconds.load(), 0);
}

TEST_F(RunStateTest, ReasonTexts)
{
    EXPECT_EQ(gf_closingReasonText(closing_reason::NOT_YET_SET), "NOT YET SET");
    EXPECT_EQ(gf_closingReasonText(closing_reason::SIMCONNECT_ERROR), "SIMCONNECT ERROR");
    EXPECT_EQ(gf_closingReasonText(closing_reason::NEW_VERSION), "NEW VERSION");
    EXPECT_THROW(gf_closingReasonText(9), std::out_of_range);
}

TEST_F(RunStateTest, AStopRequestRacingTheResetIsWhollyKeptOrWhollyForgotten)
{
    std::atomic<std::uint32_t>& reason = closingReason;
    for (int round = 0; round < 2000; ++round) {
        gf_requestStop(closing_reason::NEW_FLIGHT, 30);
        std::thread requester([] { gf_requestStop(closing_reason::READER_ERROR, 15); });
        gf_clearStopRequest();
        requester.join();
        // A stop flag without a reason would end the next run as NOT YET SET.
        ASSERT_EQ(stopRequested.load(), reason.load() != closing_reason::NOT_YET_SET) << "round " << round;
        gf_clearStopRequest();
    }
    EXPECT_FALSE(stopRequested.load());
    EXPECT_EQ(reason.load(), closing_reason::NOT_YET_SET);
}

}  // namespace
