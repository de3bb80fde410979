#pragma once
// Where clients find the simulator on this platform: the named pipe is a Unix-domain socket in
// the runtime folder, and the TCP ports are published in the file-backed registry.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace standin_sim {

inline constexpr const char* kDefaultPipeName = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";
// Where the simulator announces its local SimConnect ports.
inline constexpr const char* kPortsKey = "HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5";
inline constexpr const char* kPortIPv4Value = "SimConnect_Port_IPv4";
inline constexpr const char* kPortIPv6Value = "SimConnect_Port_IPv6";
// Where the installer records the installation folder of a major version (5 or 6).
std::string installKey(int majorVersion);
inline constexpr const char* kSetupPathValue = "SetupPath";

// The socket's file name for a pipe name: every character other than A-Z a-z 0-9 '.' '-' '_'
// becomes '_', then ".sock" (the whole pipe name, server part included).
std::string pipeSocketFileName(const std::string& pipeName);
// The runtime folder: $XDG_RUNTIME_DIR when set and not empty, else the temporary folder.
std::filesystem::path runtimeFolder();
std::filesystem::path pipeSocketPath(const std::string& pipeName);

// The registry file: $CORV_REGISTRY_FILE, else <$XDG_CONFIG_HOME or ~/.config>/Corv_P3D/registry.txt;
// nothing when none of these can be told.
[[nodiscard]] std::optional<std::filesystem::path> registryFilePath();

struct RegistryValue {
    std::string key;   // full key path, root key included
    std::string name;  // value name
    std::string value;
};

// Sets the values in the registry file, replacing earlier lines of the same key and value name
// (compared without ASCII case) and keeping every other line. The file is replaced as a whole
// (written beside it, then renamed), so a reader never sees half of it. Throws
// std::runtime_error when it cannot be written.
void publishRegistryValues(const std::filesystem::path& file, const std::vector<RegistryValue>& values);

}  // namespace standin_sim
