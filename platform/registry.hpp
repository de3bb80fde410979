#pragma once
// The registry of this platform: a small text file of string values, read with the same key
// paths and value names that the program reads from the Windows registry.
//
// File: $CORV_REGISTRY_FILE when that variable is set, else
//       <roaming application data>/Corv_P3D/registry.txt   ($XDG_CONFIG_HOME, else ~/.config).
//
// Format: UTF-8 text, one value per line:
//
//     <key path>\<value name>=<value>
//
// e.g.  HKEY_LOCAL_MACHINE\SOFTWARE\Lockheed Martin\Prepar3D v5\SetupPath=/opt/p3d5
//       HKEY_CURRENT_USER\SOFTWARE\Lockheed Martin\Prepar3D v5\SimConnect_Port_IPv4=50123
//
// - The key path starts with the root key's full name (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER).
// - The value name is what follows the last '\' before the first '='; the value is everything
//   after that '=' up to the line end (a trailing '\r' is dropped). Value names hold no '\'.
// - An empty value name ("<key path>\=") is the key's default value; such a line alone makes a
//   key exist without any named value.
// - Key paths and value names compare without regard to ASCII case, as on Windows.
// - Empty lines and lines starting with '#' or ';' are ignored; when a value appears twice,
//   the last line wins.
// - A key exists when a line names a value of it or of a key below it.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The file above; read from the environment at each call.
std::filesystem::path gf_registryFile();

// The string value, or nothing when the file, the key or the value is missing.
[[nodiscard]] std::optional<std::string> gf_regReadString(std::string_view keyPath, std::string_view valueName);

// Whether the key exists (see above); false when the file is missing.
bool gf_regKeyExists(std::string_view keyPath);

// Sets a value, replacing an earlier line of the same key and value name, creating the file
// and its folder when needed (tests and set-up). False when the file cannot be written.
[[nodiscard]] bool gf_regWriteString(std::string_view keyPath, std::string_view valueName, std::string_view value);
