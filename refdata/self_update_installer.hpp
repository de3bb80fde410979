#pragma once
// The program-release half of the self-update: the release zip is downloaded into the program
// folder, its installer unpacked, and the installer moved into the folder new_version beside the
// release notes and a README.txt that says whether installing needs administrator rights.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/user_error.hpp"

// Downloads "setup_Corv_P3D_d_v<version>.zip", unpacks its installer as install_new_version.exe,
// empties (or creates) new_version and moves the installer there. True when
// new_version/install_new_version.exe is in place. An archive with an entry whose name is not a
// plain file name (a folder part, an absolute path, "..") is refused as a whole. Throws a
// filesystem error when new_version cannot be examined or created.
[[nodiscard]] bool lf_downloadInstaller(const VersionData& published);

// Downloads ReleaseNotes.pdf into target.
[[nodiscard]] bool lf_downloadReleaseNotes(const std::filesystem::path& target);

// Opens the folder of new_version/install_new_version.exe in the file browser; when that fails a
// warning box says "Could not open File Explorer at new version". True when it opened.
[[nodiscard]] bool lf_openExplorerAtNewVersion();

// Where a program counts as installed for all users, so that writing there needs the rights of
// an administrator (Program Files on Windows), and whether this process has those rights.
struct InstallerRightsContext {
    std::vector<std::filesystem::path> protectedFolders;
    std::function<bool()> elevated;
};
// The default: /opt and /usr, elevated when running as root.
InstallerRightsContext gf_defaultInstallerRightsContext();
// Replaces the context (tests); gf_defaultInstallerRightsContext() puts the default back.
void gf_setInstallerRightsContext(InstallerRightsContext context);

// The message of README.txt: "A new version is available. Run the installer as Administrator"
// when programFolder lies in a protected folder, cannot be written and the process is not
// elevated; otherwise "A new version is available.\nThe installer can be executed normally (no
// Administrator rights required)."
std::string gf_installerRights(const std::filesystem::path& programFolder);

// Whether name can be used as a file name in one folder: not empty, no folder separator, no
// drive or stream colon, not "." or "..".
bool gf_isPlainFileName(const std::string& name);
