#include "app/sim_detection.hpp"

#include <exception>

#include "app/message_lines.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameters.hpp"
#include "foundation/user_error.hpp"
#include "platform/registry.hpp"

std::atomic<bool> p3dV5Installed{false};
std::atomic<bool> p3dV6Installed{false};

namespace {

constexpr int BOTH_VERSIONS = 11;
const char* const NO_INSTALL_PATH_TEXT =
    "No P3D install path detected, type full Install Path above, and press Enter";

bool lf_anyFolderConfigured()
{
    for (const StringParameter* folder : LIVERY_FOLDERS)
        if (!folder->value().empty())
            return true;
    for (const StringParameter* folder : SCENERY_FOLDERS)
        if (!folder->value().empty())
            return true;
    return false;
}

[[noreturn]] void lf_throwNoInstallPath()
{
    ALL_INSTALL_PATH.setValue(std::string());
    gf_showStringParameter(ALL_INSTALL_PATH);
    throw vald::UserErrorException(USER_ERROR_NO_INSTALL_PATH, NO_INSTALL_PATH_TEXT);
}

}  // namespace

std::string gf_p3dKeyName(int version)
{
    if (version != 5 && version != 6)
        return std::string();
    return vald::format("SOFTWARE\\Lockheed Martin\\Prepar3D v{}", version);
}

bool gf_isP3dInstalled(int version)
{
    const std::string key = gf_p3dKeyName(version);
    if (key.empty())
        return false;
    try {
        return gf_regKeyExists("HKEY_LOCAL_MACHINE\\" + key);
    } catch (const std::exception&) {
        return false;
    }
}

std::string gf_p3dSetupPath(int version)
{
    const std::string key = gf_p3dKeyName(version);
    if (key.empty())
        return std::string();
    try {
        return gf_regReadString("HKEY_LOCAL_MACHINE\\" + key, "SetupPath").value_or(std::string());
    } catch (const std::exception&) {
        return std::string();
    }
}

void gf_detectInstalledSimulators()
{
    p3dV5Installed.store(gf_isP3dInstalled(5));
    p3dV6Installed.store(gf_isP3dInstalled(6));
}

void lf_detectSimulator()
{
    const bool v5 = p3dV5Installed.load();
    const bool v6 = p3dV6Installed.load();
    const int found = v5 && v6 ? BOTH_VERSIONS : (v5 ? 5 : (v6 ? 6 : 0));
    if (found == BOTH_VERSIONS)
        throw vald::UserErrorException(
            USER_ERROR_TWO_VERSIONS,
            "More than one P3D version detected, type full Install Path to wanted version above and press Enter");
    if (found == 0) {
        gf_showStatus("P3D not detected?", true);
        // Without a simulator the program can still work on the folders the user configured.
        if (lf_anyFolderConfigured())
            return;
        lf_throwNoInstallPath();
    }
    gf_log(vald::format("P3Dv{} detected", found));
    const std::string path = gf_p3dSetupPath(found);
    if (path.empty())
        lf_throwNoInstallPath();
    ALL_INSTALL_PATH.setValue(path);
    gf_setStringParamText(ALL_INSTALL_PATH);
    SIM_INSTALL_PATH.setValue(path);
    gf_writeParameter(SIM_INSTALL_PATH);
}
