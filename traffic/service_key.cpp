#include "traffic/service_key.hpp"

#include <cstdlib>
#include <fstream>
#include <string_view>

#include "foundation/constants.hpp"
#include "foundation/strings.hpp"

namespace {

constexpr std::string_view KEY_FILE_NAME = "license.txt";
constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

}  // namespace

std::filesystem::path gf_serviceKeyPath()
{
    const char* configured = std::getenv("CORV_SERVICE_KEY_FILE");
    if (configured != nullptr && *configured != '\0')
        return configured;
    return gf_dataFolder() / KEY_FILE_NAME;
}

std::optional<std::string> gf_readServiceKey()
{
    std::ifstream in(gf_serviceKeyPath(), std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    std::string_view text(line);
    if (text.substr(0, UTF8_BOM.size()) == UTF8_BOM)
        text.remove_prefix(UTF8_BOM.size());
    std::string key = gf_trim(text);
    if (key.empty())
        return std::nullopt;
    return key;
}
