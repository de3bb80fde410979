// The application shell: command-line switches, the saved window position (also from a broken
// parameters.xml) and the single-instance lock.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/application.hpp"
#include "foundation/constants.hpp"
#include "foundation/parameters.hpp"
#include "platform/single_instance.hpp"
#include "tests/app/app_test_support.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

TEST(CommandLineTest, TheLastProductionSwitchDecidesWithoutRegardToCase)
{
    using Args = std::vector<std::string>;
    EXPECT_EQ(lf_productionSwitch(Args{}), std::nullopt);
    EXPECT_EQ(lf_productionSwitch(Args{"--production"}), true);
    EXPECT_EQ(lf_productionSwitch(Args{"/PRODUCTION"}), true);
    EXPECT_EQ(lf_productionSwitch(Args{"--production", "--no-production"}), false);
    EXPECT_EQ(lf_productionSwitch(Args{"/No-Production", "extra", "--Production"}), true);
    EXPECT_EQ(lf_productionSwitch(Args{"-production", "production", "--productions"}), std::nullopt);
}

class WindowPositionTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        MAIN_WINDOW_X.setValue(MAIN_WINDOW_X.defaultValue());
        MAIN_WINDOW_Y.setValue(MAIN_WINDOW_Y.defaultValue());
    }
    std::filesystem::path parameters() const { return config_ / "Corv_P3D" / "parameters.xml"; }

    corv_test::TempDir config_;
    corv_test::ScopedEnv env_{"XDG_CONFIG_HOME", config_.path().string()};
};

TEST_F(WindowPositionTest, ABrokenParametersFileOpensTheWindowAtTheDefaultsAndIsKept)
{
    const std::string broken =
        "<?xml version=\"1.0\"?>\n<parameters>\n  <parameter name=\"MAIN_WINDOW_X\" value=\"123\"/>\n";
    corv_test::writeFile(parameters(), broken);
    MAIN_WINDOW_X.setValue(777);

    const WindowPosition position = lf_readWindowPosition();
    EXPECT_EQ(position.x, 400);
    EXPECT_EQ(position.y, 20);
    EXPECT_FALSE(std::filesystem::exists(parameters()));
    EXPECT_EQ(corv_test::readFile(config_ / "Corv_P3D" / "parameters0.xml"), broken);
}

TEST_F(WindowPositionTest, TheSavedPositionIsUsedUnlessItSitsAtALimit)
{
    corv_test::writeFile(parameters(), "<?xml version=\"1.0\"?>\n<parameters>\n"
                                       "  <parameter name=\"MAIN_WINDOW_X\" value=\"-30000\"/>\n"
                                       "  <parameter name=\"MAIN_WINDOW_Y\" value=\"-10\"/>\n</parameters>\n");
    WindowPosition position = lf_readWindowPosition();
    EXPECT_EQ(position.x, 400) << "a coordinate at its limit goes back to the default";
    EXPECT_EQ(position.y, -10);
    EXPECT_NE(corv_test::readFile(parameters()).find("name=\"MAIN_WINDOW_X\" value=\"400\""), std::string::npos);

    std::filesystem::remove(parameters());
    position = lf_readWindowPosition();
    EXPECT_EQ(position.x, 400) << "no file: the defaults";
    EXPECT_EQ(position.y, 20);
}

TEST(SingleInstanceTest, OnlyOneHolderAtATimeAndTheLockGoesWithIt)
{
    corv_test::TempDir runtime;
    EXPECT_EQ(vald::SingleInstance::lockFileName("Local\\$Corv_P3D$"), "Local__Corv_P3D_.lock");
    {
        const vald::SingleInstance first("Local\\$Corv_P3D$", runtime.path());
        EXPECT_EQ(first.state(), vald::SingleInstance::State::Acquired);
        EXPECT_EQ(first.lockFile(), runtime / "Local__Corv_P3D_.lock");
        const vald::SingleInstance second("Local\\$Corv_P3D$", runtime.path());
        EXPECT_EQ(second.state(), vald::SingleInstance::State::AlreadyRunning);
        const vald::SingleInstance other("Local\\$Other$", runtime.path());
        EXPECT_EQ(other.state(), vald::SingleInstance::State::Acquired);
    }
    const vald::SingleInstance again("Local\\$Corv_P3D$", runtime.path());
    EXPECT_EQ(again.state(), vald::SingleInstance::State::Acquired);

    const vald::SingleInstance nowhere("Local\\$Corv_P3D$", runtime / "missing");
    EXPECT_EQ(nowhere.state(), vald::SingleInstance::State::Unavailable);
}

}  // namespace
