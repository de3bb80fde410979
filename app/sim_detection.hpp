#pragma once
// Where Prepar3D v5 or v6 is installed, as the simulator's installer records it in the registry
// (HKEY_LOCAL_MACHINE\SOFTWARE\Lockheed Martin\Prepar3D v5 or v6, string value "SetupPath").
// The user can always type the path into the ALL_INSTALL_PATH field instead.
#include <atomic>
#include <string>

// User errors of the detection.
inline constexpr int USER_ERROR_NO_INSTALL_PATH = 151;
inline constexpr int USER_ERROR_TWO_VERSIONS = 153;

// Whether each version's key exists; set once per process by gf_detectInstalledSimulators.
extern std::atomic<bool> p3dV5Installed;
extern std::atomic<bool> p3dV6Installed;

// The key of a version (5 or 6) under HKEY_LOCAL_MACHINE; empty for any other version.
std::string gf_p3dKeyName(int version);
// True when the version's key exists; never throws.
bool gf_isP3dInstalled(int version);
// The version's "SetupPath"; empty when the key or the value is missing. Never throws.
std::string gf_p3dSetupPath(int version);

// Reads both keys into p3dV5Installed and p3dV6Installed.
void gf_detectInstalledSimulators();

// Fills ALL_INSTALL_PATH and SIM_INSTALL_PATH (saved) from the registry. Both versions
// installed: user error 153. None: the status line says so; without any livery or scenery
// folder configured, user error 151 as well. One version without a SetupPath: user error 151.
void lf_detectSimulator();
