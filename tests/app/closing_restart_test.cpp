// The closing of a run on a simulated clock: by its reason the program restarts after the
// reason's delay, quits, quits ten seconds after a new flight, or waits for the user after a
// system error; a close during the countdown ends the program; a reader gone without its
// stopped flag does not hold the closing; and whatever fails, WM_APP+1 or WM_APP+2 is posted.
#include <gtest/gtest.h>

#include "app/closing.hpp"
#include "app/commands.hpp"
#include "app/run_state.hpp"
#include "app/message_lines.hpp"
#include "foundation/log.hpp"
#include "liveries/livery_choice.hpp"
#include "tests/app/run_test_support.hpp"
#include "traffic/service_client.hpp"

namespace corv_test {
namespace {

using namespace std::chrono_literals;
using vald::UiMessage;

class ClosingRestartTest : public RunTest {
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        SCAN_LIVERIES.setValue(true);
        SCAN_AIRPORTS.setValue(true);
    }
    std::vector<std::string> countdown() const
    {
        std::vector<std::string> texts;
        for (const auto& [text, error] : port_.lines())
            if (text.rfind("Restarting after", 0) == 0)
                texts.push_back(text);
        return texts;
    }
    SimulatedRunClock clock_;
};

TEST_F(ClosingRestartTest, AReaderErrorRestartsAfterFifteenSecondsWithTheLiveriesScanOffAndAFreshState)
{
    gf_requestStop(closing_reason::READER_ERROR, READER_ERROR_RESTART_SECONDS);
    gf_requestStop(closing_reason::SIMCONNECT_ERROR, 9);  // second: ignored
    secondCounter = 77;
    addLive(40001, "KLM1", SimState::active);
    gf_showError("The Traffic Reader has stopped with an error");
    DESTINATION.setValue("EHAM");
    gf_rememberLivery(40001, "Demo Boeing 737-800 KLM");

    lf_closingDown();

    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::StartRun});
    const std::vector<std::string> steps = countdown();
    ASSERT_EQ(steps.size(), 15U);
    EXPECT_EQ(steps.front(), "Restarting after 15 seconds");
    EXPECT_EQ(steps.back(), "Restarting after 1 second");
    EXPECT_EQ(clock_.slept(), 15s);
    EXPECT_EQ(saved(SCAN_LIVERIES.name()), "false");
    EXPECT_TRUE(SCAN_AIRPORTS.value()) << "an airport scan that did not complete runs at the next start";
    EXPECT_TRUE(airportScanHeld.load()) << "but not at the error restarts of this process";
    EXPECT_EQ(saved(DESTINATION.name()), "");
    EXPECT_TRUE(restartPending.load());
    EXPECT_FALSE(stopRequested.load());
    EXPECT_EQ(closingReason.load(), closing_reason::NOT_YET_SET);
    EXPECT_EQ(secondCounter.load(), 0);
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_EQ(gf_rememberedLiveryCount(), 0U) << "the new run chooses its liveries afresh";
    EXPECT_EQ(gf_messageLines().errorText, "");
}

TEST_F(ClosingRestartTest, NewSettingsRestartAfterTheirDelayKeepingTheScans)
{
    gf_requestStop(closing_reason::NEW_SETTINGS, 2);
    gf_lockParkingControls();  // the run ends in the middle of a static-parking update
    lf_closingDown();
    EXPECT_FALSE(controlsLocked.load());
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::StartRun});
    EXPECT_EQ(countdown(), (std::vector<std::string>{"Restarting after 2 seconds", "Restarting after 1 second"}));
    EXPECT_TRUE(SCAN_LIVERIES.value());
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_FALSE(airportScanHeld.load());
}

TEST_F(ClosingRestartTest, OtherReasonsQuitAndANewFlightQuitsTenSecondsAfterItsMessage)
{
    for (const std::uint32_t reason :
         {closing_reason::SIM_WAS_CLOSED, closing_reason::USER_CLOSED_SIM, closing_reason::NEW_VERSION}) {
        port_.clear();
        gf_resetRunStateForTest();
        gf_requestStop(reason, 0);
        lf_closingDown();
        EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit}) << reason;
    }
    EXPECT_EQ(clock_.slept(), 0s);

    port_.clear();
    gf_resetRunStateForTest();
    gf_requestStop(closing_reason::NEW_FLIGHT, 0);
    lf_closingDown();
    EXPECT_EQ(gf_messageLines().statusText, "New flight detected, Corv_P3D will close, please restart manually ...");
    EXPECT_EQ(clock_.slept(), 10s);
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
}

TEST_F(ClosingRestartTest, ASystemErrorWaitsForTheUserExceptInProductionMode)
{
    closingReason = closing_reason::SYSTEM_ERROR;
    gf_showError("No P3D install path detected");
    clock_.onSleep = [this] {
        EXPECT_TRUE(port_.posted().empty()) << "nothing posted while waiting";
        if (clock_.slept() == 2s)
            gf_requestUserClose();
    };
    lf_closingDown();
    EXPECT_EQ(clock_.slept(), 2s);
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
    EXPECT_EQ(gf_messageLines().errorText, "No P3D install path detected") << "shown to the end";

    clock_.onSleep = nullptr;
    port_.clear();
    gf_resetRunStateForTest();
    productionMode = true;
    closingReason = closing_reason::SYSTEM_ERROR;
    lf_closingDown();
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
    EXPECT_EQ(exitCode.load(), PRODUCTION_FAILURE_EXIT_CODE) << "nobody is there to close";
    EXPECT_EQ(clock_.slept(), 2s);
}

TEST_F(ClosingRestartTest, AUserCloseBeforeOrDuringTheCountdownEndsTheProgram)
{
    gf_requestStop(closing_reason::READER_ERROR, READER_ERROR_RESTART_SECONDS);
    clock_.onSleep = [this] {
        if (clock_.slept() == 3500ms)
            gf_requestUserClose();
    };
    lf_closingDown();
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
    EXPECT_LE(clock_.slept(), 3600ms) << "the countdown ends at the close";
    EXPECT_TRUE(userClosing.load());

    clock_.onSleep = nullptr;
    port_.clear();
    gf_resetRunStateForTest();
    gf_requestStop(closing_reason::SIMCONNECT_ERROR, 9);
    gf_requestUserClose();
    lf_closingDown();
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
    EXPECT_EQ(closingReason.load(), closing_reason::SIMCONNECT_ERROR) << "the first reason is kept";
}

TEST_F(ClosingRestartTest, AFailureInsideTheClosingStillEndsTheProgram)
{
    stopRequested = true;
    closingReason = 42;  // no such reason: its text cannot be found
    lf_closingDown();
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
    EXPECT_NE(gf_messageLines().statusText.find("lf_closingDown exception"), std::string::npos);
}

TEST_F(ClosingRestartTest, AReaderThatEndedWithoutItsStoppedFlagDoesNotHoldTheClosing)
{
    // Logged in; the traffic reader ended on a refused reply, the weather reader never started.
    ScopedEnv api("CORV_API_BASE", "http://127.0.0.1:1");
    weatherReader.guid = "guid-1";
    trafficReader.guid = "guid-1";
    gf_requestStop(closing_reason::SIM_WAS_CLOSED, 0);
    gf_openLog();
    lf_closingDown();
    gf_closeLogForTest();
    // Both readers counted as ended: the closing went on to the logout (refused here) instead
    // of waiting out its bound for the reader that had ended already.
    const std::string log = readFile("Log.txt");
    EXPECT_EQ(log.find("did not end in time"), std::string::npos) << log;
    EXPECT_EQ(log.find("Not logged out"), std::string::npos) << log;
    EXPECT_NE(log.find("Deauthentication failed"), std::string::npos) << log;
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
    EXPECT_TRUE(trafficReader.stop.load());
    weatherReader.resetForRun();
    trafficReader.resetForRun();
}

}  // namespace
}  // namespace corv_test
