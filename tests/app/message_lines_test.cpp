// The message line: an error holds off status texts, a status ages out after 25 seconds of a
// run, and what reaches the log.
#include <gtest/gtest.h>

#include "app/message_lines.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "tests/app/app_test_support.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

class MessageLinesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        corv_test::resetWindowState();
        gf_openLog();
        vald::gf_setWindowPort(&port_);
    }
    void TearDown() override
    {
        corv_test::resetWindowState();
        gf_closeLogForTest();
    }
    // The log without its header line.
    std::string logBody()
    {
        gf_closeLogForTest();
        const std::string text = corv_test::readFile(dir_ / "Log.txt");
        return text.substr(text.find('\n') + 1);
    }

    corv_test::TempDir dir_{true};
    corv_test::RecordingPort port_;
};

TEST_F(MessageLinesTest, StatusDuringAnErrorIsDroppedAndNotLogged)
{
    gf_showError("Reading data files failed!");
    gf_showStatus("Loading parameters", true);

    const MessageLines lines = gf_messageLines();
    EXPECT_EQ(lines.errorText, "Reading data files failed!");
    EXPECT_EQ(lines.statusText, "");
    EXPECT_EQ(lines.statusSecond, 0);
    EXPECT_EQ(logBody(), "Error Reading data files failed!\n");
}

TEST_F(MessageLinesTest, AnErrorReplacesTheStatusAndOnlyAnExplicitClearRemovesIt)
{
    gf_showStatus("Waiting for Prepar3Dv5 ...", false);
    gf_showError("No P3D install path detected");
    EXPECT_EQ(gf_messageLines().statusText, "");

    gf_clearStatus();
    EXPECT_EQ(gf_messageLines().errorText, "No P3D install path detected");

    gf_clearErrorLine();
    gf_clearStatus();
    gf_showStatus("Install path exists", false);
    EXPECT_EQ(gf_messageLines().errorText, "");
    EXPECT_EQ(gf_messageLines().statusText, "Install path exists");
}

TEST_F(MessageLinesTest, AStatusSetAtSecondZeroAgesOutWhenTheCounterReaches26)
{
    gf_showStatus("Holding for 1 seconds...", false);
    EXPECT_EQ(gf_messageLines().statusSecond, 1);
    for (int second = 1; second <= 25; ++second)
        gf_ageStatusLine();
    EXPECT_EQ(gf_messageLines().statusText, "Holding for 1 seconds...") << "still there at counter 25";
    gf_ageStatusLine();
    EXPECT_EQ(gf_messageLines().statusText, "");
    EXPECT_EQ(gf_messageLines().statusSecond, 0);
}

TEST_F(MessageLinesTest, AgeingCountsFromTheSecondTheStatusWasSetAndLeavesErrorsAlone)
{
    for (int second = 0; second < 10; ++second)
        gf_ageStatusLine();
    gf_showStatus("New destination: EHAM", false);
    EXPECT_EQ(gf_messageLines().statusSecond, 10);
    for (int second = 0; second < 24; ++second)
        gf_ageStatusLine();
    EXPECT_EQ(gf_messageLines().statusText, "New destination: EHAM");
    gf_ageStatusLine();
    EXPECT_EQ(gf_messageLines().statusText, "");

    gf_showError("SimConnect request error");
    for (int second = 0; second < 40; ++second)
        gf_ageStatusLine();
    EXPECT_EQ(gf_messageLines().errorText, "SimConnect request error");
}

TEST_F(MessageLinesTest, LoggingFollowsTheFlagTheTextAndPendingStops)
{
    gf_showStatus("logged", true);
    gf_showStatus("not logged", false);
    gf_showStatus("", true);
    EXPECT_EQ(gf_messageLines().statusText, "");
    userClosing = true;
    gf_showStatus("closing", true);
    gf_showError("late error");
    EXPECT_EQ(gf_messageLines().errorText, "late error") << "still shown while closing";
    EXPECT_EQ(logBody(), "logged\n");
}

TEST_F(MessageLinesTest, EveryChangeRepaintsTheMessageLineAndReachesTheHeadlessEcho)
{
    gf_showStatus("first", false);
    gf_showError("broken");
    gf_showStatus("dropped", false);

    const auto lines = port_.lines();
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0], std::make_pair(std::string("first"), false));
    EXPECT_EQ(lines[1], std::make_pair(std::string("broken"), true));
    for (const vald::PixelRect& rect : port_.invalidated())
        EXPECT_EQ(rect, vald::MESSAGE_LINE_RECT);
    EXPECT_EQ(port_.invalidated().size(), 2U);
}

}  // namespace
