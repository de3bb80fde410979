#pragma once
// Where to find the simulator: the SimConnect.cfg files and the simulator's registry ports.
//
// SimConnect.cfg is read from three folders in this order, a later file's keys overriding:
// the public documents folder, the user's documents folder, the current directory. Section
// "SimConnect" serves configuration index 0, "SimConnect.<n>" index n. Keys, all optional and
// compared without regard to case: Protocol (Auto, Pipe, IPv4, IPv6), Address, Port,
// MaxReceiveSize (only a larger value counts), DisableNagle (non-zero: TCP_NODELAY).
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vald::simconnect {

enum class Protocol { pipe, ipv6, ipv4 };

struct ConnectSettings {
    Protocol protocol = Protocol::pipe;
    std::string address;
    std::string port;
    std::uint32_t maxReceiveSize = 41088;
    bool disableNagle = false;
};

// The keys of one section of an INI file (names lower-cased, values trimmed); nothing when the
// file or the section is missing. Lines: "[section]", "key=value", ';' comments.
[[nodiscard]] std::optional<std::map<std::string, std::string>> gf_readIniSection(const std::filesystem::path& file,
                                                                                  std::string_view section);

// "SimConnect" for index 0, else "SimConnect.<index>".
std::string gf_configSectionName(std::uint32_t configIndex);

// The SimConnect.cfg files in the order they are read.
std::vector<std::filesystem::path> gf_simConnectCfgFiles();

// Whether any of the files has the section.
bool gf_configSectionExists(std::uint32_t configIndex);

// Applies the section of each file in order to settings.
void gf_readConfigSection(std::uint32_t configIndex, ConnectSettings& settings);

// The simulator's local TCP port of the family (AF_INET6 or AF_INET) from the registry;
// empty when it is missing or longer than 9 characters.
std::string gf_readPortFromRegistry(int family);

}  // namespace vald::simconnect
