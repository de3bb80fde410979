#include "platform/known_folders.hpp"

#include <cstdlib>
#include <system_error>

namespace vald {

namespace {

std::optional<std::filesystem::path> lf_absoluteFromEnv(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    std::filesystem::path path(value);
    if (!path.is_absolute())
        return std::nullopt;
    return path;
}

std::optional<std::filesystem::path> lf_fromEnvOrHome(const char* name, const char* underHome)
{
    if (auto path = lf_absoluteFromEnv(name))
        return path;
    if (auto home = lf_absoluteFromEnv("HOME"))
        return *home / underHome;
    return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> gf_roamingAppDataFolder()
{
    return lf_fromEnvOrHome("XDG_CONFIG_HOME", ".config");
}

std::optional<std::filesystem::path> gf_documentsFolder()
{
    return lf_fromEnvOrHome("XDG_DOCUMENTS_DIR", "Documents");
}

std::optional<std::filesystem::path> gf_publicDocumentsFolder()
{
    if (auto path = lf_absoluteFromEnv("CORV_PUBLIC_DOCUMENTS"))
        return path;
    return std::filesystem::path("/usr/local/share/Corv_P3D-public");
}

std::optional<std::filesystem::path> gf_runtimeFolder()
{
    if (auto path = lf_absoluteFromEnv("XDG_RUNTIME_DIR"))
        return path;
    std::error_code error;
    std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (error || temp.empty())
        return std::nullopt;
    return temp;
}

std::string gf_runtimeFileName(std::string_view objectName, std::string_view extension)
{
    std::string name;
    name.reserve(objectName.size() + extension.size());
    for (const char c : objectName) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        name += plain ? c : '_';
    }
    name.append(extension);
    return name;
}

}  // namespace vald
