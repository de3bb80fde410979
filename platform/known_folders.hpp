#pragma once
// The user's standard folders, from the XDG environment on this platform. Every call reads the
// environment again (nothing is cached), so a test can move them with an environment override.
// A variable that is unset, empty or not an absolute path counts as absent, as XDG asks.
//
//   roaming application data  $XDG_CONFIG_HOME, else $HOME/.config
//   documents                 $XDG_DOCUMENTS_DIR, else $HOME/Documents
//   public documents          $CORV_PUBLIC_DOCUMENTS, else /usr/local/share/Corv_P3D-public
//                             (a machine-wide folder shared by all users, as on Windows)
//   runtime                   $XDG_RUNTIME_DIR, else the system's temporary folder
//
// Each answers an empty optional when the folder cannot be determined (no variable and no HOME,
// or no temporary folder); they never throw.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vald {

[[nodiscard]] std::optional<std::filesystem::path> gf_roamingAppDataFolder();
[[nodiscard]] std::optional<std::filesystem::path> gf_documentsFolder();
[[nodiscard]] std::optional<std::filesystem::path> gf_publicDocumentsFolder();
[[nodiscard]] std::optional<std::filesystem::path> gf_runtimeFolder();

// A Windows object name made a file name of the runtime folder: characters other than letters,
// digits, '.', '-' and '_' become '_', then extension (with its dot) is appended.
std::string gf_runtimeFileName(std::string_view objectName, std::string_view extension);

}  // namespace vald
