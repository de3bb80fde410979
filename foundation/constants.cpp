#include "foundation/constants.hpp"

#include "foundation/text.hpp"
#include "platform/known_folders.hpp"

std::filesystem::path gf_dataFolder()
{
    const std::optional<std::filesystem::path> roaming = vald::gf_roamingAppDataFolder();
    if (!roaming || roaming->empty())
        return std::filesystem::path(DATA_FOLDER_NAME);
    return *roaming / DATA_FOLDER_NAME;
}

std::filesystem::path gf_parametersPath() { return gf_dataFolder() / PARAMETERS_FILE_NAME; }

std::string gf_parametersPathUtf8() { return gf_pathToUtf8(gf_parametersPath()); }
