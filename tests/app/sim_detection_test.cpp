// Finding the simulator's installation in the registry (the file-backed stand-in): one version
// installed fills the install path, two or none without a path is a user error, and a missing
// SetupPath is reported like no installation.
#include <gtest/gtest.h>

#include "app/message_lines.hpp"
#include "app/sim_detection.hpp"
#include "tests/app/run_test_support.hpp"

namespace corv_test {
namespace {

const std::string V5_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5";
const std::string V6_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6";

class SimDetectionTest : public RunTest {
protected:
    void writeRegistry(const std::string& text) { writeFile(registry_.path() / "registry.txt", text); }
    // The user error's text, or "no error".
    static std::string detect()
    {
        gf_detectInstalledSimulators();
        try {
            lf_detectSimulator();
        } catch (const vald::UserErrorException& e) {
            return e.what();
        }
        return "no error";
    }

    TempDir registry_;
    ScopedEnv registryFile_{"CORV_REGISTRY_FILE", (registry_.path() / "registry.txt").string()};
};

TEST_F(SimDetectionTest, OneInstalledVersionGivesTheInstallPathShownAndSaved)
{
    writeRegistry(V6_KEY + "\\SetupPath=/opt/Prepar3D v6/\n" + V5_KEY + "Other\\SetupPath=/nowhere\n");
    EXPECT_EQ(detect(), "no error");
    EXPECT_FALSE(p3dV5Installed.load()) << "a key with a longer name is another key";
    EXPECT_TRUE(p3dV6Installed.load());
    EXPECT_EQ(ALL_INSTALL_PATH.value(), "/opt/Prepar3D v6/");
    EXPECT_EQ(SIM_INSTALL_PATH.value(), "/opt/Prepar3D v6/");
    EXPECT_EQ(saved(SIM_INSTALL_PATH.name()), "/opt/Prepar3D v6/");
}

TEST_F(SimDetectionTest, BothVersionsInstalledAskTheUserToChooseEvenWhenOneHasNoSetupPath)
{
    writeRegistry(V5_KEY + "\\SetupPath=/opt/p3d5\n" + V6_KEY + "\\=\n");
    const std::string error = detect();
    EXPECT_NE(error.find("More than one P3D version detected"), std::string::npos) << error;
    EXPECT_NE(error.find("153"), std::string::npos) << error;
    EXPECT_EQ(SIM_INSTALL_PATH.value(), "");
}

TEST_F(SimDetectionTest, AnInstalledVersionWithoutSetupPathIsUserError151)
{
    ALL_INSTALL_PATH.setValue("typed before");
    writeRegistry(V5_KEY + "\\Version=5.4\n");
    const std::string error = detect();
    EXPECT_NE(error.find("151"), std::string::npos) << error;
    EXPECT_NE(error.find("No P3D install path detected"), std::string::npos) << error;
    EXPECT_EQ(ALL_INSTALL_PATH.value(), "");
}

TEST_F(SimDetectionTest, NoSimulatorIsAnErrorOnlyWithoutConfiguredFolders)
{
    EXPECT_NE(detect().find("151"), std::string::npos) << "no registry file at all";
    writeRegistry("HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5\\SetupPath=/home/p3d\n");
    EXPECT_NE(detect().find("151"), std::string::npos);
    EXPECT_EQ(gf_messageLines().statusText, "P3D not detected?");

    lfolder3.setValue("/data/liveries");
    EXPECT_EQ(detect(), "no error");
    EXPECT_EQ(gf_messageLines().statusText, "P3D not detected?");
    EXPECT_EQ(SIM_INSTALL_PATH.value(), "");
}

}  // namespace
}  // namespace corv_test
