#include "simlink/simconnect/config.hpp"

#include <sys/socket.h>

#include <fstream>

#include "foundation/format.hpp"
#include "platform/known_folders.hpp"
#include "platform/registry.hpp"

namespace vald::simconnect {

namespace {

const char* const CFG_FILE_NAME = "SimConnect.cfg";
const char* const PORT_KEY = "HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5";
constexpr std::size_t PORT_TEXT_MAX_CHARS = 9;

std::string lf_lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string_view lf_trim(std::string_view text)
{
    const char* const blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The leading decimal digits as a number, 0 when there are none (a profile integer).
std::uint32_t lf_profileInt(std::string_view text)
{
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > 0xFFFFFFFFu)
            return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(value);
}

void lf_applySection(const std::map<std::string, std::string>& keys, ConnectSettings& settings)
{
    if (const auto it = keys.find("protocol"); it != keys.end()) {
        const std::string protocol = lf_lower(it->second);
        if (protocol == "auto" || protocol == "pipe") {
            settings.protocol = Protocol::pipe;
        } else if (protocol == "ipv4" || protocol == "ipv6") {
            const bool v6 = protocol == "ipv6";
            settings.protocol = v6 ? Protocol::ipv6 : Protocol::ipv4;
            if (!settings.port.empty())
                settings.port = gf_readPortFromRegistry(v6 ? AF_INET6 : AF_INET);
        }
    }
    if (const auto it = keys.find("address"); it != keys.end())
        settings.address = it->second;
    if (const auto it = keys.find("port"); it != keys.end())
        settings.port = it->second;
    if (const auto it = keys.find("maxreceivesize"); it != keys.end()) {
        const std::uint32_t size = lf_profileInt(it->second);
        if (size > settings.maxReceiveSize)
            settings.maxReceiveSize = size;
    }
    if (const auto it = keys.find("disablenagle"); it != keys.end())
        settings.disableNagle = lf_profileInt(it->second) != 0;
}

}  // namespace

std::optional<std::map<std::string, std::string>> gf_readIniSection(const std::filesystem::path& file,
                                                                    std::string_view section)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    const std::string wanted = lf_lower(section);
    std::optional<std::map<std::string, std::string>> keys;
    bool inSection = false;
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view text = lf_trim(line);
        if (text.empty() || text.front() == ';')
            continue;
        if (text.front() == '[') {
            const std::size_t close = text.find(']');
            const std::string name = lf_lower(lf_trim(text.substr(1, close == std::string_view::npos ? text.npos : close - 1)));
            // The first section of a name is the one read, as Windows does.
            if (inSection)
                break;
            inSection = name == wanted;
            if (inSection)
                keys.emplace();
            continue;
        }
        const std::size_t equals = text.find('=');
        if (!inSection || equals == std::string_view::npos)
            continue;
        keys->emplace(lf_lower(lf_trim(text.substr(0, equals))), std::string(lf_trim(text.substr(equals + 1))));
    }
    return keys;
}

std::string gf_configSectionName(std::uint32_t configIndex)
{
    return configIndex == 0 ? std::string("SimConnect") : vald::format("SimConnect.{}", configIndex);
}

std::vector<std::filesystem::path> gf_simConnectCfgFiles()
{
    std::vector<std::filesystem::path> files;
    if (const auto folder = gf_publicDocumentsFolder())
        files.push_back(*folder / CFG_FILE_NAME);
    if (const auto folder = gf_documentsFolder())
        files.push_back(*folder / CFG_FILE_NAME);
    files.emplace_back(CFG_FILE_NAME);
    return files;
}

bool gf_configSectionExists(std::uint32_t configIndex)
{
    const std::string section = gf_configSectionName(configIndex);
    for (const auto& file : gf_simConnectCfgFiles()) {
        if (gf_readIniSection(file, section))
            return true;
    }
    return false;
}

void gf_readConfigSection(std::uint32_t configIndex, ConnectSettings& settings)
{
    const std::string section = gf_configSectionName(configIndex);
    for (const auto& file : gf_simConnectCfgFiles()) {
        if (const auto keys = gf_readIniSection(file, section))
            lf_applySection(*keys, settings);
    }
}

std::string gf_readPortFromRegistry(int family)
{
    const auto port = gf_regReadString(PORT_KEY, family == AF_INET6 ? "SimConnect_Port_IPv6" : "SimConnect_Port_IPv4");
    if (!port || port->size() > PORT_TEXT_MAX_CHARS)
        return {};
    return *port;
}

}  // namespace vald::simconnect
