// The standard folders come from the environment at each call, with the documented fallbacks.
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/known_folders.hpp"
#include "tests/support/temp_dir.hpp"

using corv_test::ScopedEnv;
namespace fs = std::filesystem;

TEST(KnownFolders, XdgVariablesWinAndAreReadAtEachCall)
{
    ScopedEnv home("HOME", "/home/pilot");
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/tmp/cfg");
        ScopedEnv documents("XDG_DOCUMENTS_DIR", "/tmp/docs");
        ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1000");
        ScopedEnv shared("CORV_PUBLIC_DOCUMENTS", "/srv/public");
        EXPECT_EQ(vald::gf_roamingAppDataFolder(), fs::path("/tmp/cfg"));
        EXPECT_EQ(vald::gf_documentsFolder(), fs::path("/tmp/docs"));
        EXPECT_EQ(vald::gf_runtimeFolder(), fs::path("/run/user/1000"));
        EXPECT_EQ(vald::gf_publicDocumentsFolder(), fs::path("/srv/public"));
    }
    EXPECT_EQ(vald::gf_roamingAppDataFolder(), fs::path("/home/pilot/.config"));
}

TEST(KnownFolders, EmptyOrRelativeVariablesFallBack)
{
    ScopedEnv home("HOME", "/home/pilot");
    ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");
    ScopedEnv documents("XDG_DOCUMENTS_DIR", "");
    ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnv shared("CORV_PUBLIC_DOCUMENTS", "");
    EXPECT_EQ(vald::gf_roamingAppDataFolder(), fs::path("/home/pilot/.config"));
    EXPECT_EQ(vald::gf_documentsFolder(), fs::path("/home/pilot/Documents"));
    EXPECT_EQ(vald::gf_publicDocumentsFolder(), fs::path("/usr/local/share/Corv_P3D-public"));
    EXPECT_EQ(vald::gf_runtimeFolder(), fs::temp_directory_path());
}

TEST(KnownFolders, NoHomeAndNoVariableMeansUnknown)
{
    ScopedEnv home("HOME", std::nullopt);
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv documents("XDG_DOCUMENTS_DIR", std::nullopt);
    EXPECT_FALSE(vald::gf_roamingAppDataFolder().has_value());
    EXPECT_FALSE(vald::gf_documentsFolder().has_value());
}

TEST(KnownFolders, RuntimeFileNamesStayInsideTheRuntimeFolder)
{
    // Object names carry Windows separators and '$'; none may reach the file system as a path.
    EXPECT_EQ(vald::gf_runtimeFileName("Local\\$Corv_P3D$", ".lock"), "Local__Corv_P3D_.lock");
    const std::string name = vald::gf_runtimeFileName("../x/y", ".sock");
    EXPECT_EQ(name, ".._x_y.sock");
    EXPECT_EQ(fs::path(name).filename(), fs::path(name));
}
