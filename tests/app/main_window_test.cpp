// The main window's handlers on the headless port: runs on worker threads that never overlap
// and never outlive the loop, handler exceptions on the error line, the close box, and the
// window position saved when the program quits.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "app/main_window.hpp"
#include "app/window_controls.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "platform/window_headless.hpp"
#include "tests/app/app_test_support.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { corv_test::resetWindowState(); }
    void TearDown() override
    {
        if (ui_.joinable())
            ui_.join();
        window_.reset();
        gf_setCommandHandler(nullptr);
        corv_test::resetWindowState();
        MAIN_WINDOW_X.setValue(MAIN_WINDOW_X.defaultValue());
        MAIN_WINDOW_Y.setValue(MAIN_WINDOW_Y.defaultValue());
    }

    // The window with its message loop on a thread of its own, as the UI thread.
    void start(WorkerProcedure worker, int x = 400, int y = 20)
    {
        window_ = std::make_unique<MainWindow>(port_, std::move(worker));
        vald::gf_setWindowPort(&port_);
        vald::WindowSpec spec{"Corv_P3D", x, y, 880, 516, {}};
        ASSERT_TRUE(port_.createWindow(spec, *window_));
        ui_ = std::thread([this] { result_ = port_.runLoop(); });
    }
    // Waits for the loop to end, then for the window (which joins its worker) to go.
    int finish()
    {
        ui_.join();
        window_.reset();
        return result_;
    }

    corv_test::TempDir config_;
    corv_test::ScopedEnv env_{"XDG_CONFIG_HOME", config_.path().string()};
    vald::HeadlessUiPort port_;
    std::unique_ptr<MainWindow> window_;
    std::thread ui_;
    int result_ = -99;
};

TEST_F(MainWindowTest, EachRunWaitsForThePreviousWorkerAndNoneOutlivesTheWindow)
{
    std::atomic<int> active{0};
    std::atomic<int> mostActive{0};
    std::atomic<int> finished{0};
    start([&] {
        const int now = ++active;
        mostActive = std::max(mostActive.load(), now);
        // Long enough that an overlapping start would be seen.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        --active;
        ++finished;
    });
    for (int run = 0; run < 4; ++run)
        port_.post(vald::UiMessage::StartRun);
    port_.post(vald::UiMessage::Quit);
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(finished.load(), 4) << "every run ended before the window went away";
    EXPECT_EQ(mostActive.load(), 1) << "two runs overlapped";
}

TEST_F(MainWindowTest, AnExceptionInAHandlerIsShownOnTheErrorLineAndTheWindowGoesOn)
{
    gf_setCommandHandler([](vald::ControlId, vald::ControlEvent) -> bool { throw std::runtime_error("boom"); });
    start([] { throw std::logic_error("worker broke"); });
    window_->onCommand(32818, vald::ControlEvent::SelectionChanged);
    EXPECT_EQ(gf_messageLines().errorText, "lf_HandleWMCOMMAND exception boom");

    port_.post(vald::UiMessage::StartRun);
    port_.post(vald::UiMessage::Quit);
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(gf_messageLines().errorText, "lf_workerThread exception worker broke");
}

TEST_F(MainWindowTest, TheCloseBoxAsksForAStopAndWithoutARunEndsTheProgram)
{
    start([] {});
    window_->onClose();
    EXPECT_EQ(finish(), 0);
    EXPECT_TRUE(userClosing.load());
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(closingReason.load(), closing_reason::USER_CLOSED_SIM);
    EXPECT_EQ(gf_messageLines().statusText, "Close window button clicked, closing Corv_P3D ...");
}

TEST_F(MainWindowTest, ClosingDuringARunLeavesTheEndToTheRunAndKeepsAnEarlierReason)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> running;
    start([&] {
        running.set_value();
        released.wait();
    });
    closingReason = closing_reason::READER_ERROR;
    exitCode = 3;
    port_.post(vald::UiMessage::StartRun);
    running.get_future().wait();
    window_->onClose();
    EXPECT_EQ(closingReason.load(), closing_reason::READER_ERROR) << "the first reason wins";
    // The loop is still running: the run has not ended yet.
    EXPECT_TRUE(window_->workerActive());
    release.set_value();
    EXPECT_EQ(finish(), 3) << "the run's end quits with the program's exit code";
}

TEST_F(MainWindowTest, QuittingSavesTheWindowPosition)
{
    start([] {}, 500, -10);
    port_.post(vald::UiMessage::Quit);
    EXPECT_EQ(finish(), 0);
    const std::string saved = corv_test::readFile(config_ / "Corv_P3D" / "parameters.xml");
    EXPECT_NE(saved.find("name=\"MAIN_WINDOW_X\" value=\"500\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("name=\"MAIN_WINDOW_Y\" value=\"-10\""), std::string::npos) << saved;
}

TEST_F(MainWindowTest, AMinimisedWindowKeepsThePositionSavedBefore)
{
    MAIN_WINDOW_X.setValue(300);
    MAIN_WINDOW_Y.setValue(40);
    start([] {}, -32000, -32000);
    port_.post(vald::UiMessage::Quit);
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(MAIN_WINDOW_X.value(), 300);
    EXPECT_EQ(MAIN_WINDOW_Y.value(), 40);
}

TEST_F(MainWindowTest, AMessageBoxFromTheWorkerIsShownByTheUiThreadBeforeTheRunGoesOn)
{
    start([] {
        gf_messageBox("Could not open folder with parameters.xml", "Corv");
        gf_requestUserClose();
    });
    port_.post(vald::UiMessage::StartRun);
    EXPECT_EQ(finish(), 0);
    using Box = std::pair<std::string, std::string>;
    EXPECT_EQ(port_.boxes(), std::vector<Box>{Box("Corv", "Could not open folder with parameters.xml")});
}

}  // namespace
