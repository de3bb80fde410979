#pragma once
// The maker's download site: the folder it serves under /downloads/, built at start from the
// scenario and the plain sample data.
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "standins/service/data_crypt.hpp"
#include "standins/service/scenario.hpp"

namespace service_standin {

inline constexpr const char* kProgramId = "Corv_P3D";
inline constexpr const char* kInstallerEntry = "install_new_version.exe";

struct SiteSetup {
    std::filesystem::path siteDir;  // becomes the /downloads/ folder
    std::filesystem::path dataDir;  // plain dbase.xml, airports.xml, AIG-regcodes.xml
    std::optional<DataKey> key;     // without a key no data file is published
};

// "setup_Corv_P3D_d_v<version>.zip"
std::string releaseZipName(const std::string& version);
// versions.json: every published version as {"major", "minor", "patch"}; throws ScenarioError
// on a version text that is not three numbers.
nlohmann::json versionsJson(const SiteVersions& versions);

// Writes versions.json, <dataMajor>/*.enc, release/<zip>, docs/ReleaseNotes.pdf and the park
// file of the scenario's airport. A missing plain data file is reported to warnings and left
// out (the site then answers 404 for it), as are all of them without a key. Files already in the folder stay served.
void buildSite(const Scenario& scenario, const SiteSetup& setup, std::ostream& warnings);

// The file under the site folder for a request path below /downloads/; empty for a path that
// leaves the folder or names no regular file.
[[nodiscard]] std::optional<std::filesystem::path> siteFile(const std::filesystem::path& siteDir,
                                                            const std::string& relative);

}  // namespace service_standin
